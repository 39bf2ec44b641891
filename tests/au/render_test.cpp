#include "AUTestSupport.h"
#include "effect/DriveCircuit.h"
#include "effect/Zerub.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using Unit = std::unique_ptr<IPlugAU, PlugDeleter>;

// A host's input side: a render callback serving a stereo signal, counting its calls.
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

// Two output buffers of n frames each, or null buffers the unit must fill with its own memory.
struct Output {
    explicit Output(int n, bool withMemory = true) : left(n), right(n) {
        list.mNumberBuffers = 2;
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

Unit StereoUnitWithSource(Source& source, int n) {
    Unit unit(MakePlug(nullptr));
    source.channels = {Tone(n, 0.03), Tone(n, 0.05)};
    AURenderCallbackStruct cb = {Source::Render, &source};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    EXPECT_EQ(unit->GetInputType(0), IPlugAU::eRenderCallback);
    UInt32 frames = 256;
    unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                      sizeof frames);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    return unit;
}

OSStatus Render(IPlugAU& unit, const AudioTimeStamp& t, UInt32 n, Output& out) {
    AudioUnitRenderActionFlags flags = 0;
    WDL_MutexLock lock(unit.GetMutex());
    return unit.RenderProc(&flags, &t, 0, n, out.Get());
}

} // namespace

TEST(AURender, OutputEqualsTheCircuitRunDirectly) {
    const int n = 1024, block = 256;
    Source source;
    Unit unit = StereoUnitWithSource(source, n);
    DriveCircuit left, right;
    for (int start = 0; start < n; start += block) {
        Output out(block);
        ASSERT_EQ(Render(*unit, At(start), block, out), noErr);
        left.Calc(44100.0);
        right.Calc(44100.0);
        for (int s = 0; s < block; ++s) {
            ASSERT_EQ(out.left[s], float(left.Process(source.channels[0][start + s], 0.5, 0.5)));
            ASSERT_EQ(out.right[s], float(right.Process(source.channels[1][start + s], 0.5, 0.5)));
        }
    }
}

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

TEST(AURender, AHugeRateRunsTheCircuitAtItsTopRateNotAt1Hz) {
    DriveCircuit top, huge, infinite, low;
    top.Calc(192000.0);
    huge.Calc(2147483648.0);
    infinite.Calc(HUGE_VAL);
    low.Calc(1.0);
    for (int s = 0; s < 256; ++s) {
        const double x = 0.5 * std::sin(s * 0.05);
        const double y = top.Process(x, 0.7, 0.6);
        ASSERT_EQ(huge.Process(x, 0.7, 0.6), y) << s;
        ASSERT_EQ(infinite.Process(x, 0.7, 0.6), y) << s;
        low.Process(x, 0.7, 0.6);
    }
    EXPECT_NE(low.Process(0.5, 0.7, 0.6), top.Process(0.5, 0.7, 0.6));
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

TEST(AURender, BypassPassesInputThrough) {
    Source source;
    Unit unit = StereoUnitWithSource(source, 512);
    UInt32 on = 1;
    unit->SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, sizeof on);
    Output out(100);
    ASSERT_EQ(Render(*unit, At(0), 100, out), noErr);
    for (int s = 0; s < 100; ++s) {
        ASSERT_EQ(out.left[s], source.channels[0][s]);
        ASSERT_EQ(out.right[s], source.channels[1][s]);
    }
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
    AudioStreamBasicDescription mono = {};
    mono.mSampleRate = 44100.0;
    mono.mFormatID = kAudioFormatLinearPCM;
    mono.mFormatFlags = 41;
    mono.mBytesPerPacket = mono.mBytesPerFrame = 4;
    mono.mFramesPerPacket = 1;
    mono.mBitsPerChannel = 32;
    mono.mChannelsPerFrame = 1;
    unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono,
                      sizeof mono);
    unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &mono,
                      sizeof mono);
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
    EXPECT_EQ(out.right[5], 0.0f); // the host's second buffer was not offered and stays untouched
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
