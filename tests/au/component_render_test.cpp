// The built bundle rendered through the host API, mono and stereo, in blocks of changing length:
// every output sample equals the circuit's per-sample definition.
#include "effect/DriveCircuit.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <ZerubPlatform/HostExtensions.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Feed {
    std::vector<std::vector<float>> channels;
    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t,
                           UInt32, UInt32 frames, AudioBufferList* list) {
        const Feed* self = static_cast<const Feed*>(refCon);
        for (UInt32 c = 0; c < list->mNumberBuffers; ++c) {
            float* dst = static_cast<float*>(list->mBuffers[c].mData);
            if (!dst) return -1;
            std::memcpy(dst, self->channels[c].data() + static_cast<size_t>(t->mSampleTime),
                        frames * sizeof(float));
        }
        return noErr;
    }
};

AudioUnit Open(int channels, double rate, Feed* feed) {
    AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
    AudioComponentDescription desc = {kAudioUnitType_Effect, 0x5A524231, 0x516D6F72, 0, 0};
    AudioComponent component = AudioComponentFindNext(nullptr, &desc);
    AudioUnit unit = nullptr;
    if (!component || AudioComponentInstanceNew(component, &unit) != noErr) return nullptr;
    AudioStreamBasicDescription format = {};
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = format.mBytesPerFrame = 4;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = static_cast<UInt32>(channels);
    format.mBitsPerChannel = 32;
    const UInt32 maxFrames = 4096;
    AURenderCallbackStruct cb = {Feed::Render, feed};
    const bool ok =
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                             &format, sizeof format) == noErr &&
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                             &format, sizeof format) == noErr &&
        AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                             0, &maxFrames, sizeof maxFrames) == noErr &&
        AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                             &cb, sizeof cb) == noErr &&
        AudioUnitInitialize(unit) == noErr;
    if (!ok) {
        AudioComponentInstanceDispose(unit);
        return nullptr;
    }
    return unit;
}

} // namespace

TEST(ComponentRender, BlocksOfChangingLengthEqualTheDefinition) {
    const int total = 30000;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.2f, 1.2f);
    std::uniform_int_distribution<int> length(1, 4096);
    for (int channels : {1, 2}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        Feed feed;
        feed.channels.assign(2, std::vector<float>(total));
        for (auto& channel : feed.channels)
            for (float& v : channel)
                v = u(rng);
        feed.channels[0][12345] = std::numeric_limits<float>::quiet_NaN();
        AudioUnit unit = Open(channels, 48000.0, &feed);
        ASSERT_NE(unit, nullptr);
        ASSERT_EQ(AudioUnitSetParameter(unit, 0, kAudioUnitScope_Global, 0, 0.8f, 0), noErr);
        DriveCircuit reference[2];
        std::vector<float> out[2] = {std::vector<float>(4096), std::vector<float>(4096)};
        for (int t = 0; t < total;) {
            const int n = std::min(length(rng), total - t);
            struct {
                UInt32 count;
                AudioBuffer buffers[2];
            } list = {static_cast<UInt32>(channels),
                      {{1, static_cast<UInt32>(n * 4), out[0].data()},
                       {1, static_cast<UInt32>(n * 4), out[1].data()}}};
            AudioTimeStamp ts = {};
            ts.mSampleTime = t;
            ts.mFlags = kAudioTimeStampSampleTimeValid;
            AudioUnitRenderActionFlags flags = 0;
            ASSERT_EQ(AudioUnitRender(unit, &flags, &ts, 0, static_cast<UInt32>(n),
                                      reinterpret_cast<AudioBufferList*>(&list)),
                      noErr);
            for (int c = 0; c < channels; ++c) {
                reference[c].Calc(48000.0);
                for (int s = 0; s < n; ++s) {
                    const float expected = static_cast<float>(reference[c].Process(
                        feed.channels[c][t + s], static_cast<float>(0.8f), 0.5));
                    ASSERT_EQ(std::memcmp(&out[c][s], &expected, sizeof expected), 0)
                        << "channel " << c << ", frame " << t + s;
                    ASSERT_TRUE(std::isfinite(out[c][s]));
                }
            }
            t += n;
        }
        AudioComponentInstanceDispose(unit);
    }
}
