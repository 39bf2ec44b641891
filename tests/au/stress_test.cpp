// The built component under a hostile host, through the host-side API only: one thread renders
// without pause while another changes parameters, saves and restores state, resets, and adds
// and removes render-notify procedures and property listeners. Each kind of traffic runs on its
// own first, so that a failure names it, then all together. Nothing may crash or race (the
// ThreadSanitizer run checks that), every render succeeds with finite output, and no callback
// arrives after its removal has returned (a host frees what the callback uses then).
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ZerubPlatform/HostExtensions.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr OSType kSubtype = 0x5A524231;      // 'ZRB1'
constexpr OSType kManufacturer = 0x516D6F72; // 'Qmor'
constexpr UInt32 kFrames = 256;
constexpr UInt32 kChannels = 2;
// Long enough for many thousands of interleavings, short enough for every test run.
constexpr auto kDuration = std::chrono::milliseconds(1500);

enum Traffic : unsigned {
    kParameters = 1,
    kState = 2,
    kReset = 4,
    kRenderNotify = 8,
    kListeners = 16,
    kEverything = 31,
};

OSStatus Input(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32,
               UInt32 frames, AudioBufferList* data) {
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        auto* samples = static_cast<float*>(data->mBuffers[b].mData);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = 0.8f * std::sin(0.01f * static_cast<float>(time->mSampleTime + i));
    }
    return noErr;
}

// What a callback may touch: set before it is added, cleared once its removal has returned.
struct Registration {
    std::atomic<bool> live{false};
    std::atomic<int> calls{0};
    std::atomic<int> callsAfterRemoval{0};
    void Called() {
        calls.fetch_add(1, std::memory_order_relaxed);
        if (!live.load(std::memory_order_acquire))
            callsAfterRemoval.fetch_add(1, std::memory_order_relaxed);
    }
};

OSStatus RenderNotify(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                      UInt32, AudioBufferList*) {
    static_cast<Registration*>(refCon)->Called();
    return noErr;
}

void PropertyChanged(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                     AudioUnitElement) {
    static_cast<Registration*>(refCon)->Called();
}

class StressTest : public ::testing::Test {
protected:
    void SetUp() override {
        AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
        AudioComponentDescription desc = {kAudioUnitType_Effect, kSubtype, kManufacturer, 0, 0};
        AudioComponent component = AudioComponentFindNext(nullptr, &desc);
        ASSERT_NE(component, nullptr);
        ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
        AURenderCallbackStruct input = {Input, nullptr};
        ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback,
                                       kAudioUnitScope_Input, 0, &input, sizeof input),
                  noErr);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
        UInt32 size = 0;
        ASSERT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList,
                                           kAudioUnitScope_Global, 0, &size, nullptr),
                  noErr);
        ids.resize(size / sizeof(AudioUnitParameterID));
        ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList,
                                       kAudioUnitScope_Global, 0, ids.data(), &size),
                  noErr);
        for (AudioUnitParameterID id : ids) {
            AudioUnitParameterInfo info{};
            size = sizeof info;
            ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo,
                                           kAudioUnitScope_Global, id, &info, &size),
                      noErr);
            // The strings in the record are the host's to release when the unit says so.
            if (info.flags & kAudioUnitParameterFlag_CFNameRelease) {
                if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) && info.cfNameString)
                    CFRelease(info.cfNameString);
                if (info.unit == kAudioUnitParameterUnit_CustomUnit && info.unitName)
                    CFRelease(info.unitName);
            }
            infos.push_back(info);
        }
    }
    void TearDown() override {
        if (unit) AudioComponentInstanceDispose(unit);
    }

    // Renders on this thread for kDuration while a second thread sends the traffic chosen.
    void Run(unsigned traffic) {
        std::atomic<bool> stop{false};
        std::thread control([&] { Control(traffic, stop); });
        std::vector<float> samples(kFrames * kChannels);
        std::vector<unsigned char> storage(offsetof(AudioBufferList, mBuffers) +
                                           kChannels * sizeof(AudioBuffer));
        auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
        AudioTimeStamp time{};
        time.mFlags = kAudioTimeStampSampleTimeValid;
        const auto end = std::chrono::steady_clock::now() + kDuration;
        while (std::chrono::steady_clock::now() < end) {
            list->mNumberBuffers = kChannels;
            for (UInt32 c = 0; c < kChannels; ++c)
                list->mBuffers[c] = {1, kFrames * sizeof(float), samples.data() + c * kFrames};
            AudioUnitRenderActionFlags flags = 0;
            const OSStatus status = AudioUnitRender(unit, &flags, &time, 0, kFrames, list);
            ++renders;
            if (status != noErr) ++failedRenders;
            for (float s : samples)
                if (!std::isfinite(s)) ++nonFinite;
            time.mSampleTime += kFrames;
        }
        stop = true;
        control.join();
    }

    void Control(unsigned traffic, const std::atomic<bool>& stop) {
        std::mt19937 random(20261208);
        std::uniform_real_distribution<float> unit01(0.0f, 1.0f);
        Registration notify[2], listener[2];
        const AudioUnitPropertyID watched[] = {kAudioUnitProperty_ParameterList,
                                               kAudioUnitProperty_ClassInfo,
                                               kAudioUnitProperty_PresentPreset};
        for (unsigned round = 0; !stop; ++round) {
            if (traffic & kParameters) {
                for (size_t i = 0; i < ids.size(); ++i) {
                    const float v = infos[i].minValue +
                                    unit01(random) * (infos[i].maxValue - infos[i].minValue);
                    if (AudioUnitSetParameter(unit, ids[i], kAudioUnitScope_Global, 0, v, 0) !=
                        noErr)
                        ++failedControls;
                }
            }
            if (traffic & kState) {
                CFPropertyListRef state = nullptr;
                UInt32 size = sizeof state;
                if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                         0, &state, &size) != noErr ||
                    !state) {
                    ++failedControls;
                } else {
                    if (AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo,
                                             kAudioUnitScope_Global, 0, &state,
                                             sizeof state) != noErr)
                        ++failedControls;
                    CFRelease(state);
                }
            }
            if ((traffic & kReset) && AudioUnitReset(unit, kAudioUnitScope_Global, 0) != noErr)
                ++failedControls;
            if (traffic & kRenderNotify) {
                // Two procedures' worth of user data, added and removed in alternating order.
                Registration& a = notify[round % 2];
                Registration& b = notify[(round + 1) % 2];
                a.live = b.live = true;
                if (AudioUnitAddRenderNotify(unit, RenderNotify, &a) != noErr ||
                    AudioUnitAddRenderNotify(unit, RenderNotify, &b) != noErr)
                    ++failedControls;
                std::this_thread::yield();
                if (AudioUnitRemoveRenderNotify(unit, RenderNotify, &a) != noErr) ++failedControls;
                a.live = false;
                if (AudioUnitRemoveRenderNotify(unit, RenderNotify, &b) != noErr) ++failedControls;
                b.live = false;
            }
            if (traffic & kListeners) {
                const AudioUnitPropertyID id = watched[round % 3];
                for (Registration& r : listener) {
                    r.live = true;
                    if (AudioUnitAddPropertyListener(unit, id, PropertyChanged, &r) != noErr)
                        ++failedControls;
                }
                std::this_thread::yield();
                for (Registration& r : listener) {
                    if (AudioUnitRemovePropertyListenerWithUserData(unit, id, PropertyChanged,
                                                                    &r) != noErr)
                        ++failedControls;
                    r.live = false;
                }
            }
            ++controls;
        }
        for (const Registration* r : {&notify[0], &notify[1], &listener[0], &listener[1]})
            callsAfterRemoval += r->callsAfterRemoval;
    }

    void ExpectClean() {
        EXPECT_GT(renders, 0);
        EXPECT_GT(controls, 0);
        EXPECT_EQ(failedRenders, 0) << "of " << renders << " renders";
        EXPECT_EQ(nonFinite, 0) << "non-finite samples";
        EXPECT_EQ(failedControls, 0) << "refused calls in " << controls << " rounds";
        EXPECT_EQ(callsAfterRemoval, 0) << "callbacks after their removal returned";
    }

    AudioUnit unit = nullptr;
    std::vector<AudioUnitParameterID> ids;
    std::vector<AudioUnitParameterInfo> infos;
    long renders = 0, failedRenders = 0, nonFinite = 0;
    long controls = 0, failedControls = 0, callsAfterRemoval = 0;
};

} // namespace

TEST_F(StressTest, RenderAgainstParameterChanges) {
    Run(kParameters);
    ExpectClean();
}

TEST_F(StressTest, RenderAgainstStateRestoreAndReset) {
    Run(kState | kReset);
    ExpectClean();
}

TEST_F(StressTest, RenderAgainstRenderNotifyChanges) {
    Run(kRenderNotify);
    ExpectClean();
}

TEST_F(StressTest, RenderAgainstPropertyListenerChanges) {
    Run(kListeners);
    ExpectClean();
}

TEST_F(StressTest, RenderAgainstAllTrafficAtOnce) {
    Run(kEverything);
    ExpectClean();
}

// Instances disposed while other threads are inside calls on them: each call either runs on a
// live unit or is refused with badComponentInstance; none reaches a closed one.
TEST_F(StressTest, DisposeWhileOtherThreadsCallTheUnit) {
    AudioComponentDescription desc = {kAudioUnitType_Effect, kSubtype, kManufacturer, 0, 0};
    AudioComponent component = AudioComponentFindNext(nullptr, &desc);
    ASSERT_NE(component, nullptr);
    long refused = 0, other = 0;
    for (int round = 0; round < 40; ++round) {
        AudioComponentInstance victim = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(component, &victim), noErr);
        std::atomic<bool> started{false};
        std::atomic<long> roundRefused{0}, roundOther{0};
        std::thread caller([&] {
            for (int i = 0; i < 100000; ++i) {
                Float32 value = 0;
                const OSStatus status =
                    AudioUnitGetParameter(victim, 0, kAudioUnitScope_Global, 0, &value);
                started = true;
                if (status == badComponentInstance) {
                    ++roundRefused;
                    break;
                }
                if (status != noErr) ++roundOther;
            }
        });
        while (!started)
            std::this_thread::yield();
        EXPECT_EQ(AudioComponentInstanceDispose(victim), noErr);
        caller.join();
        refused += roundRefused;
        other += roundOther;
    }
    EXPECT_EQ(other, 0);
    EXPECT_GT(refused, 0); // late calls were seen and refused
}
