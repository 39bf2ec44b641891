// Disposing an instance while calls on it are in flight: on another thread, and from inside one
// of its own calls.
#include <AudioUnit/AudioUnit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A unit whose parameter get can be held open, and whose Close records whether a call was still
// inside the unit.
struct GateUnit {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    AudioComponentInstance instance = nullptr;
    bool disposeSelf = false;
    std::atomic<int> inside{0}; // this unit's own calls in flight
};

struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    bool hold = false;
    std::atomic<int> inside{0};
    std::atomic<int> closes{0};
    std::atomic<bool> closedWhileInside{false};
    OSStatus selfDispose = -1;
    int closesAtSelfDispose = -1;
};

Gate* gGate = nullptr;

OSStatus GateOpen(void* self, AudioComponentInstance instance) {
    static_cast<GateUnit*>(self)->instance = instance;
    return noErr;
}

OSStatus GateClose(void* self) {
    if (static_cast<GateUnit*>(self)->inside.load() != 0) gGate->closedWhileInside = true;
    ++gGate->closes;
    delete static_cast<GateUnit*>(self);
    return noErr;
}

OSStatus GateGetParameter(void* self, AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                          AudioUnitParameterValue* value) {
    GateUnit* unit = static_cast<GateUnit*>(self);
    ++gGate->inside;
    ++unit->inside;
    if (unit->disposeSelf) {
        unit->disposeSelf = false;
        gGate->selfDispose = AudioComponentInstanceDispose(unit->instance);
        gGate->closesAtSelfDispose = gGate->closes.load();
    }
    {
        std::unique_lock<std::mutex> lock(gGate->mutex);
        if (gGate->hold) {
            gGate->entered = true;
            gGate->changed.notify_all();
            gGate->changed.wait(lock, [] { return gGate->released; });
        }
    }
    *value = unit->disposeSelf ? 1.0f : 0.5f; // the unit's memory is still there
    --unit->inside;
    --gGate->inside;
    return noErr;
}

AudioComponentMethod GateLookup(SInt16 selector) {
    return selector == kAudioUnitGetParameterSelect
               ? reinterpret_cast<AudioComponentMethod>(GateGetParameter)
               : nullptr;
}

AudioComponentPlugInInterface* GateFactory(const AudioComponentDescription*) {
    GateUnit* unit = new GateUnit;
    unit->iface = {GateOpen, GateClose, GateLookup, nullptr};
    return &unit->iface;
}

AudioComponent GateComponent() {
    static AudioComponent component = [] {
        AudioComponentDescription desc = {kAudioUnitType_Effect, 0x47617465 /* Gate */,
                                          0x54657374 /* Test */, 0, 0};
        return AudioComponentRegister(&desc, CFSTR("Test: Gate"), 1, GateFactory);
    }();
    return component;
}

} // namespace

TEST(ComponentInstances, DisposeWaitsForCallsInFlightAndLateCallsAreRefused) {
    Gate gate;
    gGate = &gate;
    gate.hold = true;
    AudioComponentInstance unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(GateComponent(), &unit), noErr);

    OSStatus inFlight = -1;
    Float32 value = 0;
    std::thread caller(
        [&] { inFlight = AudioUnitGetParameter(unit, 0, kAudioUnitScope_Global, 0, &value); });
    {
        std::unique_lock<std::mutex> lock(gate.mutex);
        gate.changed.wait(lock, [&] { return gate.entered; });
        gate.hold = false; // later calls pass straight through
    }
    OSStatus disposed = -1;
    std::thread disposer([&] { disposed = AudioComponentInstanceDispose(unit); });

    // Once the instance has left the table, new calls are refused without reaching the unit,
    // while the call already inside it is still running.
    Float32 late;
    OSStatus status;
    do {
        late = -1;
        status = AudioUnitGetParameter(unit, 0, kAudioUnitScope_Global, 0, &late);
        std::this_thread::yield();
    } while (status == noErr);
    EXPECT_EQ(status, badComponentInstance);
    EXPECT_EQ(late, -1.0f);
    EXPECT_EQ(gate.closes.load(), 0);
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.released = true;
    }
    gate.changed.notify_all();
    caller.join();
    disposer.join();

    EXPECT_EQ(inFlight, noErr);
    EXPECT_EQ(value, 0.5f);
    EXPECT_EQ(disposed, noErr);
    EXPECT_EQ(gate.closes.load(), 1);
    EXPECT_FALSE(gate.closedWhileInside.load());
    EXPECT_EQ(AudioComponentInstanceDispose(unit), badComponentInstance);
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, kAudioUnitScope_Global, 0, &late),
              badComponentInstance);
    gGate = nullptr;
}

TEST(ComponentInstances, AUnitDisposedFromInsideItsOwnCallClosesWhenTheCallReturns) {
    Gate gate;
    gGate = &gate;
    AudioComponentInstance unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(GateComponent(), &unit), noErr);
    static_cast<GateUnit*>(
        static_cast<void*>(GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(unit))))
        ->disposeSelf = true;

    Float32 value = 0;
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(gate.selfDispose, noErr);     // no deadlock waiting for itself
    EXPECT_EQ(gate.closesAtSelfDispose, 0); // not closed under its own call
    EXPECT_EQ(gate.closes.load(), 1);       // closed once that call returned
    EXPECT_FALSE(gate.closedWhileInside.load());
    EXPECT_EQ(AudioUnitGetParameter(unit, 0, kAudioUnitScope_Global, 0, &value),
              badComponentInstance);
    gGate = nullptr;
}

TEST(ComponentInstances, HandlesNeverGivenOutAreRefusedWithoutBeingTouched) {
    Gate gate;
    gGate = &gate;
    AudioComponentInstance unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(GateComponent(), &unit), noErr);
    alignas(16) unsigned char stray[256] = {};
    const auto forged = [](void* at) { return static_cast<AudioComponentInstance>(at); };
    Float32 value = -1;
    for (AudioComponentInstance handle :
         {forged(stray), forged(reinterpret_cast<unsigned char*>(unit) + 1), forged(nullptr)}) {
        EXPECT_EQ(AudioUnitGetParameter(handle, 0, kAudioUnitScope_Global, 0, &value),
                  badComponentInstance);
        EXPECT_EQ(AudioComponentInstanceDispose(handle), badComponentInstance);
        EXPECT_EQ(AudioComponentInstanceGetComponent(handle), nullptr);
    }
    EXPECT_EQ(value, -1.0f);
    EXPECT_EQ(std::count(stray, stray + sizeof stray, 0), static_cast<long>(sizeof stray));
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit), GateComponent());
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
    EXPECT_EQ(gate.closes.load(), 1);
    gGate = nullptr;
}

// Calls on other threads race the disposal and making of instances: every instance is closed
// exactly once, never while one of its calls is inside, and a call reaches a unit or is refused.
TEST(ComponentInstances, CallsRacingDisposalAndNewInstancesNeverReachAClosedUnit) {
    Gate gate;
    gGate = &gate;
    constexpr int kSlots = 300; // more than one block of records
    std::vector<std::atomic<AudioComponentInstance>> slots(kSlots);
    int opened = 0;
    for (auto& slot : slots) {
        AudioComponentInstance unit = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(GateComponent(), &unit), noErr);
        slot = unit;
        ++opened;
    }
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t)
        callers.emplace_back([&, t] {
            for (unsigned i = t; !done; i += 7) {
                Float32 value = 0;
                const OSStatus status =
                    AudioUnitGetParameter(slots[i % kSlots], 0, kAudioUnitScope_Global, 0, &value);
                if (status != noErr && status != badComponentInstance) ++bad;
                if (status == noErr && value != 0.5f) ++bad;
            }
        });
    for (int round = 0; round < 2000; ++round) {
        auto& slot = slots[(round * 37) % kSlots];
        ASSERT_EQ(AudioComponentInstanceDispose(slot.load()), noErr);
        AudioComponentInstance unit = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(GateComponent(), &unit), noErr);
        slot = unit;
        ++opened;
    }
    done = true;
    for (auto& caller : callers)
        caller.join();
    for (auto& slot : slots)
        EXPECT_EQ(AudioComponentInstanceDispose(slot.load()), noErr);
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(gate.closes.load(), opened);
    EXPECT_FALSE(gate.closedWhileInside.load());
    gGate = nullptr;
}
