// Rendering through the wrapper against the circuit's per-sample definition: changing block
// lengths, rates, channel counts and settings; bad input samples; inputs that go away; scratch
// memory that moves.
#include "effect/DriveCircuit.h"
#include "effect/Zerub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using Unit = std::unique_ptr<IPlugAU, PlugDeleter>;

// The host's input: a render callback serving whole signals, one per channel.
struct Source {
    std::vector<std::vector<float>> channels;
    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t,
                           UInt32, UInt32 frames, AudioBufferList* list) {
        const Source* self = static_cast<const Source*>(refCon);
        const size_t start = static_cast<size_t>(t->mSampleTime);
        for (UInt32 j = 0; j < list->mNumberBuffers; ++j) {
            float* dst = static_cast<float*>(list->mBuffers[j].mData);
            if (!dst) return -1;
            for (UInt32 s = 0; s < frames; ++s)
                dst[s] = self->channels[j][start + s];
        }
        return noErr;
    }
};

struct Output {
    Output(int channels, int n) : data(2, std::vector<float>(n, -5.0f)) {
        list.mNumberBuffers = static_cast<UInt32>(channels);
        for (int c = 0; c < 2; ++c)
            list.mBuffers[c] = {1, static_cast<UInt32>(n * 4), data[c].data()};
    }
    AudioBufferList* Get() { return reinterpret_cast<AudioBufferList*>(&list); }
    std::vector<std::vector<float>> data;
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } list;
};

OSStatus Render(IPlugAU& unit, double sampleTime, int n, Output& out) {
    AudioTimeStamp t = {};
    t.mSampleTime = sampleTime;
    t.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    WDL_MutexLock lock(unit.GetMutex());
    return unit.RenderProc(&flags, &t, 0, static_cast<UInt32>(n), out.Get());
}

// An initialised unit with the given channel count and rate, fed by source.
Unit MakeUnit(Source& source, int channels, double rate, UInt32 maxFrames) {
    Unit unit(MakePlug(nullptr));
    AudioStreamBasicDescription format = {};
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = format.mBytesPerFrame = 4;
    format.mFramesPerPacket = 1;
    format.mBitsPerChannel = 32;
    format.mChannelsPerFrame = static_cast<UInt32>(channels);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                sizeof format),
              noErr);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                sizeof format),
              noErr);
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                &maxFrames, sizeof maxFrames),
              noErr);
    AURenderCallbackStruct cb = {Source::Render, &source};
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    return unit;
}

std::vector<float> Noise(int n, unsigned seed, float scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-scale, scale);
    std::vector<float> x(n);
    for (float& v : x)
        v = u(rng);
    return x;
}

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The definition, per sample, for the channels the host sees.
struct Reference {
    DriveCircuit circuit[2];
    double gain = 0.5, level = 0.5;
    bool bypassed = false;

    void Check(const Source& source, const Output& out, int channels, double rate, long start,
               int n) {
        for (int c = 0; c < channels; ++c)
            circuit[c].Calc(rate);
        for (int s = 0; s < n; ++s)
            for (int c = 0; c < channels; ++c) {
                const float x = source.channels[c][start + s];
                const float expected =
                    bypassed ? x : static_cast<float>(circuit[c].Process(x, gain, level));
                ASSERT_TRUE(SameBits(out.data[c][s], expected))
                    << "channel " << c << ", frame " << start + s << ": " << out.data[c][s]
                    << " != " << expected;
            }
    }
};

void SetParam(IPlugAU& unit, int idx, double value) {
    ASSERT_EQ(unit.SetParamProc(static_cast<AudioUnitParameterID>(idx), kAudioUnitScope_Global, 0,
                                static_cast<AudioUnitParameterValue>(value), 0),
              noErr);
}

} // namespace

TEST(AURenderBlocks, ChangingLengthsRatesAndSettingsEqualTheDefinition) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> length(1, 4096);
    for (int channels : {1, 2})
        for (double rate : {11025.0, 48000.0, 192000.0}) {
            SCOPED_TRACE(testing::Message() << channels << " channels at " << rate);
            const int total = 40000;
            Source source;
            source.channels = {Noise(total, 1, 1.5f), Noise(total, 2, 0.3f)};
            Unit unit = MakeUnit(source, channels, rate, 4096);
            Reference ref;
            long t = 0;
            for (int block = 0; t < total; ++block) {
                const int n =
                    std::min<int>(block == 0 ? 1 : length(rng), total - static_cast<int>(t));
                // Settings change between blocks only; the wrapper's value is single precision.
                if (block % 3 == 1) {
                    ref.gain = static_cast<float>(block % 7 / 6.0);
                    SetParam(*unit, Zerub::kGain, ref.gain);
                }
                if (block % 4 == 2) {
                    ref.level = static_cast<float>(block % 5 / 4.0);
                    SetParam(*unit, Zerub::kLevel, ref.level);
                }
                if (block % 5 == 3) {
                    ref.bypassed = !ref.bypassed;
                    SetParam(*unit, Zerub::kBypass, ref.bypassed ? 1.0 : 0.0);
                }
                Output out(channels, n);
                ASSERT_EQ(Render(*unit, static_cast<double>(t), n, out), noErr);
                ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, channels, rate, t, n));
                t += n;
            }
        }
}

TEST(AURenderBlocks, NonFiniteInputRecoversAtOnceAndResetClearsTheCircuits) {
    const int n = 256;
    Source source;
    source.channels = {Noise(8 * n, 3, 0.8f), Noise(8 * n, 4, 0.8f)};
    source.channels[0][300] = std::numeric_limits<float>::quiet_NaN();
    source.channels[1][301] = std::numeric_limits<float>::infinity();
    source.channels[0][700] = -std::numeric_limits<float>::infinity();
    source.channels[1][1000] = 3e38f;
    Unit unit = MakeUnit(source, 2, 48000.0, 1024);
    Reference ref;
    float peakAfter = 0.0f;
    for (int block = 0; block < 8; ++block) {
        if (block == 5) {
            // A host reset: the filter memories go, the smoothed controls stay.
            WDL_MutexLock lock(unit->GetMutex());
            unit->Reset();
            ref.circuit[0].ClearFilterMemories();
            ref.circuit[1].ClearFilterMemories();
        }
        Output out(2, n);
        ASSERT_EQ(Render(*unit, block * n, n, out), noErr);
        ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 48000.0, block * n, n));
        for (int c = 0; c < 2; ++c)
            for (int s = 0; s < n; ++s) {
                ASSERT_TRUE(std::isfinite(out.data[c][s]));
                if (block >= 6) peakAfter = std::max(peakAfter, std::fabs(out.data[c][s]));
            }
    }
    EXPECT_GT(peakAfter, 0.01f); // sound, not a channel decayed to silence
}

TEST(AURenderBlocks, ReallocatedScratchIsNeverReadAgain) {
    // A larger maximum moves the scratch blocks; a second render of the same timestamp pulls
    // nothing, so it must not read the input the old block held (freed memory).
    const int n = 256;
    Source source;
    source.channels = {Noise(n, 5, 0.9f), Noise(n, 6, 0.9f)};
    Unit unit = MakeUnit(source, 2, 44100.0, n);
    Output first(2, n);
    ASSERT_EQ(Render(*unit, 0, n, first), noErr);
    UInt32 frames = 8192;
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                &frames, sizeof frames),
              noErr);
    Output again(2, n);
    ASSERT_EQ(Render(*unit, 0, n, again), noErr);
    // The change reset the circuits' memories and the moved input is silence: silence out.
    for (int c = 0; c < 2; ++c)
        for (int s = 0; s < n; ++s)
            ASSERT_EQ(again.data[c][s], 0.0f) << "channel " << c << ", frame " << s;
}

TEST(AURenderBlocks, DisconnectedInputIsSilence) {
    const int n = 128;
    Source source;
    source.channels = {Noise(4 * n, 7, 0.7f), Noise(4 * n, 8, 0.7f)};
    Unit unit = MakeUnit(source, 2, 44100.0, n);
    Reference ref;
    Source silence;
    silence.channels.assign(2, std::vector<float>(4 * n, 0.0f));

    Output out(2, n);
    ASSERT_EQ(Render(*unit, 0, n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 0, n));

    // The render callback removed.
    AURenderCallbackStruct none = {nullptr, nullptr};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                &none, sizeof none),
              noErr);
    ASSERT_EQ(Render(*unit, n, n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(silence, out, 2, 44100.0, n, n));

    // Connected again, then a connection without a source.
    AURenderCallbackStruct cb = {Source::Render, &source};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    ASSERT_EQ(Render(*unit, 2 * n, n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 2 * n, n));
    AudioUnitConnection noSource = {nullptr, 0, 0};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                &noSource, sizeof noSource),
              noErr);
    ASSERT_EQ(Render(*unit, 3 * n, n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(silence, out, 2, 44100.0, 3 * n, n));
}

TEST(AURenderBlocks, InputBufferLeftWithoutMemoryIsSilence) {
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
    source.channels = {Noise(2 * n, 9, 0.7f), Noise(2 * n, 10, 0.7f)};
    Unit unit = MakeUnit(source, 2, 44100.0, n);
    Dropping dropping{&source};
    AURenderCallbackStruct cb = {Dropping::Render, &dropping};
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb,
                                sizeof cb),
              noErr);
    Reference ref;
    Output out(2, n);
    ASSERT_EQ(Render(*unit, 0, n, out), noErr);
    ASSERT_NO_FATAL_FAILURE(ref.Check(source, out, 2, 44100.0, 0, n));
    dropping.drop = true;
    ASSERT_EQ(Render(*unit, n, n, out), noErr);
    Source expected = source;
    std::fill(expected.channels[1].begin(), expected.channels[1].end(), 0.0f);
    ASSERT_NO_FATAL_FAILURE(ref.Check(expected, out, 2, 44100.0, n, n));
}

// A unit that ran mono and is then set to stereo writes both host buffers.
TEST(AURenderBlocks, ChannelCountChangedBetweenInitialisationsIsRenderedWhole) {
    Source source;
    source.channels = {Noise(512, 11, 0.5f), Noise(512, 12, 0.5f)};
    Unit unit = MakeUnit(source, 1, 44100.0, 256);
    Output mono(1, 256);
    ASSERT_EQ(Render(*unit, 0.0, 256, mono), noErr);

    unit->DoUninitialize();
    AudioStreamBasicDescription format = {};
    format.mSampleRate = 44100.0;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = format.mBytesPerFrame = 4;
    format.mFramesPerPacket = 1;
    format.mBitsPerChannel = 32;
    format.mChannelsPerFrame = 2;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        ASSERT_EQ(
            unit->SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format),
            noErr);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    Output stereo(2, 256);
    ASSERT_EQ(Render(*unit, 256.0, 256, stereo), noErr);
    for (int s = 0; s < 256; ++s)
        ASSERT_NE(stereo.data[1][s], -5.0f) << "channel 1 not written at frame " << s;
}
