// Allocation failures injected through the containers' allocator: an instance that cannot be
// built whole is refused with an error, never half-built, and a registration that cannot be
// stored is refused rather than answered noErr and lost.
#include "AUTestSupport.h"
#include "containers/WDL_HeapBuf.h"

#include <AudioUnit/AudioUnit.h>

#include <cstdlib>

namespace {

// The allocation number that fails (0 the next one), counting from when it is set; -1 none.
int g_failAt = -1;
int g_allocations = 0;

void* FailOne(void* block, size_t bytes) {
    if (g_allocations++ == g_failAt) return nullptr;
    return std::realloc(block, bytes);
}

// Every allocation fails.
void* FailAll(void*, size_t) {
    return nullptr;
}

struct AllocFailure : ::testing::Test {
    void TearDown() override {
        WDL_HeapBuf::SetReallocForTesting(nullptr);
        g_failAt = -1;
    }
};

int g_told = 0;
void CountListener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++g_told;
}
OSStatus CountNotify(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                     UInt32, AudioBufferList*) {
    ++*static_cast<int*>(refCon);
    return noErr;
}

} // namespace

// Each allocation of the product's construction fails in turn: the host gets an error or a
// whole instance (every parameter answering), never a crash.
TEST_F(AllocFailure, EachFailedAllocationOfConstructionGivesErrorOrWholeInstance) {
    const AudioComponent component = ProductComponent();
    ASSERT_NE(component, nullptr);
    WDL_HeapBuf::SetReallocForTesting(FailOne);
    int refused = 0;
    for (int k = 0;; ++k) {
        g_allocations = 0;
        g_failAt = k;
        AudioUnit unit = nullptr;
        const OSStatus status = AudioComponentInstanceNew(component, &unit);
        const bool reached = g_allocations > k; // the allocation that fails was asked for
        g_failAt = -1;
        if (status != noErr) {
            EXPECT_EQ(unit, nullptr);
            ++refused;
        } else {
            ASSERT_NE(unit, nullptr);
            for (AudioUnitParameterID id = 0; id < 3; ++id) {
                AudioUnitParameterInfo info = {};
                UInt32 size = sizeof info;
                EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo,
                                               kAudioUnitScope_Global, id, &info, &size),
                          noErr)
                    << "allocation " << k << ", parameter " << id;
                // The names are the caller's to release, as the flags say.
                if (info.flags & kAudioUnitParameterFlag_CFNameRelease) {
                    if (info.cfNameString) CFRelease(info.cfNameString);
                    if (info.unitName) CFRelease(info.unitName);
                }
            }
            AudioComponentInstanceDispose(unit);
        }
        if (!reached) break;
        ASSERT_LT(k, 100000);
    }
    EXPECT_GT(refused, 0); // the parameter list's growth was among them
}

TEST_F(AllocFailure, ListenerAndRenderNotifyThatCannotBeStoredAreRefused) {
    HostUnit u(ProductComponent());
    ASSERT_NE(u.unit, nullptr);
    int notified = 0;
    WDL_HeapBuf::SetReallocForTesting(FailAll);
    EXPECT_EQ(
        AudioUnitAddPropertyListener(u.unit, kAudioUnitProperty_Latency, CountListener, nullptr),
        memFullErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(u.unit, CountNotify, &notified), memFullErr);
    WDL_HeapBuf::SetReallocForTesting(nullptr);

    // Nothing was kept: a latency change tells no one. A later registration works.
    g_told = 0;
    UInt32 hq = 1;
    ASSERT_EQ(AudioUnitSetProperty(u.unit, 64000, kAudioUnitScope_Global, 0, &hq, sizeof hq),
              noErr);
    EXPECT_EQ(g_told, 0);
    ASSERT_EQ(
        AudioUnitAddPropertyListener(u.unit, kAudioUnitProperty_Latency, CountListener, nullptr),
        noErr);
    hq = 0;
    ASSERT_EQ(AudioUnitSetProperty(u.unit, 64000, kAudioUnitScope_Global, 0, &hq, sizeof hq),
              noErr);
    EXPECT_EQ(g_told, 1);
    EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(u.unit, kAudioUnitProperty_Latency,
                                                          CountListener, nullptr),
              noErr);
}
