// Rendering through the wrapper as a host drives it: pulls, scratch memory, refusals, inputs that
// go away, resets and channel counts. That the output is the circuit's, bit for bit, the suite
// over every wrapper checks.
#include "AUTestSupport.h"
#include "HostSideSupport.h"
#include "au/IPlugAUQuality.h"
#include "effect/DriveCircuit.h"
#include "effect/Zerub.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using Unit = std::unique_ptr<IPlugAU, PlugDeleter>;

// A host's input side: a render callback serving one signal per channel, counting its calls.
struct Source {
    std::vector<std::vector<float>> channels;
    int pulls = 0;
    std::vector<float*> lastPointers;

    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t,
                           UInt32 /*bus*/, UInt32 frames, AudioBufferList* list) {
        Source* self = static_cast<Source*>(refCon);
        ++self->pulls;
        self->lastPointers.clear();
        const size_t start = static_cast<size_t>(t->mSampleTime);
        for (UInt32 j = 0; j < list->mNumberBuffers; ++j) {
            float* dst = static_cast<float*>(list->mBuffers[j].mData);
            self->lastPointers.push_back(dst);
            if (!dst) return -1;
            for (UInt32 s = 0; s < frames; ++s)
                dst[s] = self->channels[j][start + s];
        }
        return noErr;
    }
};

struct NotifyLog {
    std::vector<AudioUnitRenderActionFlags> flags;
    static OSStatus Proc(void* refCon, AudioUnitRenderActionFlags* f, const AudioTimeStamp*, UInt32,
                         UInt32, AudioBufferList*) {
        static_cast<NotifyLog*>(refCon)->flags.push_back(*f);
        return noErr;
    }
};

std::vector<float> Tone(int n, double w) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(0.6 * std::sin(i * w));
    return x;
}

// Output buffers of n frames each (poisoned with -5), or null buffers the unit must fill with
// its own memory.
struct Output {
    explicit Output(int n, bool withMemory = true, int channels = 2)
        : left(n, -5.0f), right(n, -5.0f) {
        list.mNumberBuffers = static_cast<UInt32>(channels);
        list.mBuffers[0] = {1, static_cast<UInt32>(n * 4), withMemory ? left.data() : nullptr};
        list.mBuffers[1] = {1, static_cast<UInt32>(n * 4), withMemory ? right.data() : nullptr};
    }
    AudioBufferList* Get() { return reinterpret_cast<AudioBufferList*>(&list); }
    const float* Channel(int c) const { return static_cast<const float*>(list.mBuffers[c].mData); }

    std::vector<float> left, right;
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } list;
};

AudioTimeStamp At(double sampleTime) {
    AudioTimeStamp t = {};
    t.mSampleTime = sampleTime;
    t.mFlags = kAudioTimeStampSampleTimeValid;
    return t;
}

OSStatus Render(IPlugAU& unit, const AudioTimeStamp& t, UInt32 n, Output& out) {
    AudioUnitRenderActionFlags flags = 0;
    WDL_MutexLock lock(unit.GetMutex());
    return unit.RenderProc(&flags, &t, 0, n, out.Get());
}

void SetChannels(IPlugAU& unit, int channels, double rate) {
    const AudioStreamBasicDescription format = FloatFormat(rate, channels);
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        EXPECT_EQ(
            unit.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format),
            noErr);
}

// An initialised unit with the given channel count and rate, fed by source.
Unit MakeUnit(Source& source, int channels = 2, double rate = 44100.0, UInt32 maxFrames = 256) {
    Unit unit(MakePlug(nullptr));
    SetChannels(*unit, channels, rate);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                &maxFrames, sizeof maxFrames),
              noErr);
    AURenderCallbackStruct cb = {Source::Render, &source};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    EXPECT_EQ(unit->GetInputType(0), IPlugAU::eRenderCallback);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    return unit;
}

// The same, fed frames of noise per channel.
Unit NoisyUnit(Source& source, int frames, int channels, double rate, UInt32 maxFrames) {
    std::mt19937 rng(static_cast<unsigned>(frames));
    std::uniform_real_distribution<float> u(-0.8f, 0.8f);
    source.channels.assign(2, std::vector<float>(frames));
    for (std::vector<float>& channel : source.channels)
        for (float& v : channel)
            v = u(rng);
    return MakeUnit(source, channels, rate, maxFrames);
}

Unit StereoUnitWithSource(Source& source, int n) {
    source.channels = {Tone(n, 0.03), Tone(n, 0.05)};
    return MakeUnit(source);
}

// The definition, per sample, for the channels the host sees.
struct Reference {
    DriveCircuit circuit[2];

    void Check(const Source& source, const Output& out, int channels, double rate, long start,
               int n) {
        for (int c = 0; c < channels; ++c)
            circuit[c].Calc(rate);
        for (int s = 0; s < n; ++s)
            for (int c = 0; c < channels; ++c) {
                const float x = source.channels[c][start + s];
                const float expected = static_cast<float>(circuit[c].Process(x, 0.5, 0.5));
                ASSERT_EQ(std::memcmp(&out.Channel(c)[s], &expected, sizeof expected), 0)
                    << "channel " << c << ", frame " << start + s << ": " << out.Channel(c)[s]
                    << " != " << expected;
            }
    }
};

} // namespace

TEST(AURender, RefusesBadTimestampsBusesAndOversizeBlocks) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 512);
    NotifyLog log;
    unit->DoAddRenderNotify(NotifyLog::Proc, &log);
    Output out(257);
    EXPECT_EQ(Render(*unit, At(0), 257, out), kAudioUnitErr_TooManyFramesToProcess);
    AudioTimeStamp noSampleTime = At(0);
    noSampleTime.mFlags = kAudioTimeStampHostTimeValid;
    EXPECT_EQ(Render(*unit, noSampleTime, 64, out), kAudioUnitErr_InvalidPropertyValue);
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp t = At(0);
    EXPECT_EQ(unit->RenderProc(&flags, &t, 1, 64, out.Get()), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->RenderProc(&flags, nullptr, 0, 64, out.Get()),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(log.flags.empty());
    EXPECT_EQ(source.pulls, 0);

    EXPECT_EQ(Render(*unit, At(0), 256, out), noErr); // exactly the block size
    ASSERT_EQ(log.flags.size(), 2u);
    EXPECT_EQ(log.flags[0], kAudioUnitRenderAction_PreRender);
    EXPECT_EQ(log.flags[1], kAudioUnitRenderAction_PostRender);
    unit->DoRemoveRenderNotify(NotifyLog::Proc, &log);
    Render(*unit, At(256), 64, out);
    EXPECT_EQ(log.flags.size(), 2u);
}

TEST(AURender, RefusesAnUninitialisedUnitAndBuffersTooSmallForTheFrames) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 1024);
    NotifyLog log;
    unit->DoAddRenderNotify(NotifyLog::Proc, &log);

    // 256 frames into buffers of 64 frames each, with guard floats after them.
    const float guard = 12345.0f;
    Output small(256);
    std::fill(small.left.begin(), small.left.end(), guard);
    std::fill(small.right.begin(), small.right.end(), guard);
    small.list.mBuffers[0].mDataByteSize = 64 * 4;
    EXPECT_EQ(Render(*unit, At(0), 256, small), paramErr);
    small.list.mBuffers[0].mDataByteSize = 256 * 4;
    small.list.mBuffers[1].mDataByteSize = 256 * 4 - 1;
    EXPECT_EQ(Render(*unit, At(0), 256, small), paramErr);
    EXPECT_EQ(std::count(small.left.begin(), small.left.end(), guard), 256);
    EXPECT_EQ(std::count(small.right.begin(), small.right.end(), guard), 256);
    EXPECT_TRUE(log.flags.empty());
    EXPECT_EQ(source.pulls, 0);

    // Before initialising and after uninitialising, nothing renders.
    Output out(64);
    unit->DoUninitialize();
    EXPECT_EQ(Render(*unit, At(0), 64, out), kAudioUnitErr_Uninitialized);
    Unit fresh(MakePlug(nullptr));
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp t = At(0);
    EXPECT_EQ(fresh->RenderProc(&flags, &t, 0, 64, out.Get()), kAudioUnitErr_Uninitialized);
    EXPECT_TRUE(log.flags.empty());
    EXPECT_EQ(source.pulls, 0);

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(Render(*unit, At(0), 64, out), noErr);
    EXPECT_EQ(source.pulls, 1);
}

TEST(AURender, PullsOncePerTimestampIntoScratchAtChannelOffsets) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 512);
    Output a(64), b(64);
    ASSERT_EQ(Render(*unit, At(0), 64, a), noErr);
    ASSERT_EQ(source.pulls, 1);
    ASSERT_EQ(source.lastPointers.size(), 2u);
    EXPECT_EQ(source.lastPointers[1] - source.lastPointers[0], 64); // channel j at j * n floats
    ASSERT_EQ(Render(*unit, At(0), 64, b), noErr);
    EXPECT_EQ(source.pulls, 1); // same timestamp: no second pull
    ASSERT_EQ(Render(*unit, At(64), 64, b), noErr);
    EXPECT_EQ(source.pulls, 2);
}

TEST(AURender, NullHostBuffersGetScratchMemory) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 512);
    Output out(128, false);
    ASSERT_EQ(Render(*unit, At(0), 128, out), noErr);
    ASSERT_NE(out.Channel(0), nullptr);
    ASSERT_NE(out.Channel(1), nullptr);
    EXPECT_EQ(out.Channel(1) - out.Channel(0), 128);
    DriveCircuit right;
    right.Calc(44100.0);
    for (int s = 0; s < 128; ++s)
        ASSERT_EQ(out.Channel(1)[s], float(right.Process(source.channels[1][s], 0.5, 0.5)));
}

TEST(AURender, FailedPullIsReturnedAndNothingIsProcessed) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 512);
    source.channels.clear(); // the callback would read nothing: make it fail instead
    struct Failing {
        static OSStatus Render(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                               UInt32, AudioBufferList*) {
            return -42;
        }
    };
    AURenderCallbackStruct cb = {Failing::Render, nullptr};
    unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                      sizeof cb);
    Output out(64);
    std::fill(out.left.begin(), out.left.end(), 7.0f);
    EXPECT_EQ(Render(*unit, At(0), 64, out), -42);
    EXPECT_EQ(out.left[10], 7.0f);
}

TEST(AURender, MonoStreamLeavesTheSecondChannelOnScratch) {
    Unit unit(MakePlug(nullptr));
    Source source;
    source.channels = {Tone(256, 0.02)};
    SetChannels(*unit, 1, 44100.0);
    AURenderCallbackStruct cb = {Source::Render, &source};
    unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                      sizeof cb);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    Output out(256);
    out.list.mNumberBuffers = 1;
    ASSERT_EQ(Render(*unit, At(0), 256, out), noErr);
    ASSERT_EQ(source.lastPointers.size(), 1u);
    DriveCircuit left;
    left.Calc(44100.0);
    for (int s = 0; s < 256; ++s)
        ASSERT_EQ(out.left[s], float(left.Process(source.channels[0][s], 0.5, 0.5)));
    EXPECT_EQ(out.right[5], -5.0f); // the host's second buffer was not offered and stays untouched
}

namespace {

struct Transport {
    double tempo = 0.0, position = 0.0;
    static OSStatus BeatAndTempo(void* user, Float64* beat, Float64* tempo) {
        *beat = 3.0;
        *tempo = static_cast<Transport*>(user)->tempo;
        return noErr;
    }
    static OSStatus State(void* user, Boolean* playing, Boolean*, Float64* pos, Boolean* cycling,
                          Float64*, Float64* cycleEnd) {
        *playing = true;
        *cycling = false;
        *pos = static_cast<Transport*>(user)->position;
        *cycleEnd = 16.0;
        return noErr;
    }
    static OSStatus Musical(void*, UInt32*, Float32* num, UInt32* denom, Float64* downBeat) {
        *num = 7.0f;
        *denom = 8;
        *downBeat = 0.0;
        return noErr;
    }
};

} // namespace

TEST(AURender, TransportQueries) {
    Unit unit(MakePlug(nullptr));
    EXPECT_EQ(unit->GetTempo(), 120.0);
    EXPECT_EQ(unit->GetSamplePos(), 0);
    int num = -1, denom = -1;
    unit->GetTimeSig(&num, &denom);
    EXPECT_EQ(num, -1); // no procedure: untouched

    Transport transport;
    HostCallbackInfo info = {&transport, Transport::BeatAndTempo, Transport::Musical,
                             Transport::State, nullptr};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &info,
                                sizeof info),
              noErr);
    transport.tempo = 98.5;
    EXPECT_EQ(unit->GetTempo(), 98.5);
    transport.tempo = 0.0;
    EXPECT_EQ(unit->GetTempo(), 98.5); // a zero report keeps the last tempo
    transport.position = 1023.6;
    EXPECT_EQ(unit->GetSamplePos(), 1024);
    unit->GetTimeSig(&num, &denom);
    EXPECT_EQ(num, 7);
    EXPECT_EQ(denom, 8);

    ITimeInfo ti;
    ti.lastBar = -5.0;
    transport.tempo = 140.0;
    unit->GetTime(&ti);
    EXPECT_EQ(ti.tempo, 140.0);
    EXPECT_EQ(ti.ppqPos, 3.0);
    EXPECT_EQ(ti.samplePos, 1023.6);
    EXPECT_EQ(ti.cycleEnd, 16.0);
    EXPECT_EQ(ti.cycleStart, -1.0); // zero reports never overwrite
    EXPECT_EQ(ti.lastBar, -5.0);
    EXPECT_TRUE(ti.transportIsRunning);
    EXPECT_EQ(ti.numerator, 7);
}

TEST(AURender, ResetClearsTheFilterMemoriesButNotTheControls) {
    const int n = 256;
    Source source;
    Unit unit = NoisyUnit(source, 4 * n, 2, 48000.0, n);
    Reference ref;
    for (int block = 0; block < 4; ++block) {
        if (block == 2) {
            WDL_MutexLock lock(unit->GetMutex());
            unit->Reset();
            ref.circuit[0].ClearFilterMemories();
            ref.circuit[1].ClearFilterMemories();
        }
        Output out(n);
        ASSERT_EQ(Render(*unit, At(block * n), n, out), noErr);
        ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 48000.0, block * n, n));
    }
}

TEST(AURender, ReallocatedScratchIsNeverReadAgain) {
    // A larger maximum moves the scratch blocks; a second render of the same timestamp pulls
    // nothing, so it must not read the input the old block held (freed memory).
    const int n = 256;
    Source source;
    Unit unit = NoisyUnit(source, n, 2, 44100.0, n);
    Output first(n);
    ASSERT_EQ(Render(*unit, At(0), n, first), noErr);
    UInt32 frames = 8192;
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                &frames, sizeof frames),
              noErr);
    Output again(n);
    ASSERT_EQ(Render(*unit, At(0), n, again), noErr);
    // The change reset the circuits' memories and the moved input is silence: silence out.
    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < n; ++s)
            ASSERT_EQ(again.Channel(c)[s], 0.0f) << "channel " << c << ", frame " << s;
}

TEST(AURender, DisconnectedInputIsSilence) {
    const int n = 128;
    Source source;
    Unit unit = NoisyUnit(source, 4 * n, 2, 44100.0, n);
    Reference ref;
    Source silence;
    silence.channels.assign(2, std::vector<float>(4 * n, 0.0f));

    Output out(n);
    ASSERT_EQ(Render(*unit, At(0), n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 0, n));

    // The render callback removed.
    AURenderCallbackStruct none = {nullptr, nullptr};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                &none, sizeof none),
              noErr);
    ASSERT_EQ(Render(*unit, At(n), n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(silence, out, 2, 44100.0, n, n));

    // Connected again, then a connection without a source.
    AURenderCallbackStruct cb = {Source::Render, &source};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    ASSERT_EQ(Render(*unit, At(2 * n), n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 2 * n, n));
    AudioUnitConnection noSource = {nullptr, 0, 0};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                &noSource, sizeof noSource),
              noErr);
    ASSERT_EQ(Render(*unit, At(3 * n), n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(silence, out, 2, 44100.0, 3 * n, n));
}

TEST(AURender, InputBufferLeftWithoutMemoryIsSilence) {
    // An upstream that answers without memory for the second channel: that channel is silence,
    // not the block it delivered the time before.
    struct Dropping {
        Source* source;
        bool drop = false;
        static OSStatus Render(void* refCon, AudioUnitRenderActionFlags* flags,
                               const AudioTimeStamp* t, UInt32 bus, UInt32 frames,
                               AudioBufferList* list) {
            Dropping* self = static_cast<Dropping*>(refCon);
            const OSStatus status = Source::Render(self->source, flags, t, bus, frames, list);
            if (self->drop) list->mBuffers[1].mData = nullptr;
            return status;
        }
    };
    const int n = 64;
    Source source;
    Unit unit = NoisyUnit(source, 2 * n, 2, 44100.0, n);
    Dropping dropping{&source};
    AURenderCallbackStruct cb = {Dropping::Render, &dropping};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    Reference ref;
    Output out(n);
    ASSERT_EQ(Render(*unit, At(0), n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 0, n));
    dropping.drop = true;
    ASSERT_EQ(Render(*unit, At(n), n, out), noErr);
    Source expected = source;
    std::fill(expected.channels[1].begin(), expected.channels[1].end(), 0.0f);
    ASSERT_NO_FATAL_FAILURE(ref.Check(expected, out, 2, 44100.0, n, n));
}

// A unit that ran mono and is then set to stereo writes both host buffers.
TEST(AURender, ChannelCountChangedBetweenInitialisationsIsRenderedWhole) {
    Source source;
    Unit unit = NoisyUnit(source, 512, 1, 44100.0, 256);
    Output mono(256, true, 1);
    ASSERT_EQ(Render(*unit, At(0.0), 256, mono), noErr);

    unit->DoUninitialize();
    SetChannels(*unit, 2, 44100.0);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    Output stereo(256);
    ASSERT_EQ(Render(*unit, At(256.0), 256, stereo), noErr);
    for (int s = 0; s < 256; ++s)
        ASSERT_NE(stereo.Channel(1)[s], -5.0f) << "channel 1 not written at frame " << s;
}

namespace {

struct BypassSwitch {
    std::vector<float> out; // the left channel
    std::vector<float> in;  // what the unit was given on it
    int at = 0;             // the first bypassed frame
    int latency = 0;
};

// A tone through a unit at the quality, the bypass property switched on after `lead` frames and
// some whole blocks.
BypassSwitch SwitchBypassOn(UInt32 quality, double rate, int lead) {
    constexpr int kBlock = 256;
    const int blocks = 12, n = lead + blocks * kBlock;
    Source source;
    source.channels = {Tone(n, 0.03), Tone(n, 0.05)};
    Unit unit = MakeUnit(source, 2, rate);
    EXPECT_EQ(unit->SetProperty(kIPlugQualityPropertyID, kAudioUnitScope_Global, 0, &quality,
                                sizeof quality),
              noErr);
    BypassSwitch result;
    result.in = source.channels[0];
    result.latency = unit->GetLatency();
    result.at = lead + (blocks / 2) * kBlock;
    for (int start = 0; start < n;) {
        const int len = start == 0 ? lead : kBlock;
        if (start == result.at) {
            const UInt32 on = 1;
            EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0,
                                        &on, sizeof on),
                      noErr);
        }
        Output out(kBlock);
        EXPECT_EQ(Render(*unit, At(start), static_cast<UInt32>(len), out), noErr);
        result.out.insert(result.out.end(), out.left.begin(), out.left.begin() + len);
        start += len;
    }
    return result;
}

} // namespace

// A host compensates the latency the unit reports, bypassed or not: in HQ the bypassed output is
// the input that many frames late, from the first bypassed frame on, and the switch joins the
// processed signal where it stands, no louder than Standard's switch; Standard's bypass is the
// input itself.
TEST(AURender, BypassKeepsTheReportedLatency) {
    double worstHQ = 0.0, worstStandard = 0.0;
    for (int lead = 1; lead <= 209; lead += 13) { // switch points across the tone's period
        for (UInt32 quality : {0u, 1u}) {
            const BypassSwitch s = SwitchBypassOn(quality, 48000.0, lead);
            ASSERT_EQ(s.latency > 0, quality == 1);
            for (size_t i = static_cast<size_t>(s.at); i < s.out.size(); ++i)
                ASSERT_EQ(std::memcmp(&s.out[i], &s.in[i - static_cast<size_t>(s.latency)],
                                      sizeof(float)),
                          0)
                    << "quality " << quality << ", frame " << i << " of the switch at " << s.at;
            const double step = std::fabs(double(s.out[s.at]) - double(s.out[s.at - 1]));
            (quality ? worstHQ : worstStandard) = std::max(quality ? worstHQ : worstStandard, step);
        }
    }
    EXPECT_GT(worstStandard, 0.0);
    EXPECT_LE(worstHQ, 1.1 * worstStandard);
}
