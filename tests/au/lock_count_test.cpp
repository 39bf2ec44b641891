// How often a host call takes the plug-in's mutex: the wrapper takes it once per call, the
// layers beneath it (base, product) never again. pthread_mutex_lock is interposed
// (host/RenderProbe) and counts on the armed thread only.
#include "AUTestSupport.h"
#include "host/RenderProbe.h"

#include <AudioUnit/AudioUnit.h>

namespace {

// How many times the armed thread took mutex m, and how many other mutexes it took.
struct Taken {
    long own = 0;
    int others = 0;
};

template <class Call>
Taken Count(const void* m, Call call) {
    renderprobe::Arm();
    call();
    renderprobe::Disarm();
    const renderprobe::Counts counts = renderprobe::Read();
    Taken t;
    for (int i = 0; i < counts.mutexes; ++i) {
        if (counts.mutex[i] == m)
            t.own = counts.taken[i];
        else
            ++t.others;
    }
    return t;
}

} // namespace

TEST(AULocks, AHostCallTakesThePlugInMutexOnce) {
    if (!renderprobe::LocksCounted()) GTEST_SKIP() << "the sanitizer runtime owns the locks";
    HostUnit u(ProductComponent());
    ASSERT_NE(u.unit, nullptr);
    IPlugAU* plug = u.Plug();
    ASSERT_NE(plug, nullptr);
    const void* m = plug->GetMutex(); // its pthread mutex is its first member
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);

    for (AudioUnitParameterID id = 0; id < 3; ++id) {
        const Taken set = Count(m, [&] {
            EXPECT_EQ(AudioUnitSetParameter(u.unit, id, kAudioUnitScope_Global, 0, 1.0f, 0), noErr);
        });
        EXPECT_EQ(set.own, 1) << "parameter " << id;
        EXPECT_EQ(set.others, 0);
    }
    const Taken reset =
        Count(m, [&] { EXPECT_EQ(AudioUnitReset(u.unit, kAudioUnitScope_Global, 0), noErr); });
    EXPECT_EQ(reset.own, 1);
    EXPECT_EQ(reset.others, 0);
    AudioUnitUninitialize(u.unit);
}
