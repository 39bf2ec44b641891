// The base under injected allocation failure: each allocation its construction makes fails in
// turn, and the instance either holds everything it was asked for or says it is incomplete.
#include "TestPlug.h"

#include "containers/WDL_HeapBuf.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

int g_failAt = -1; // the allocation number that fails, counted from when it is set; -1 none
int g_allocations = 0;

void* FailOne(void* block, size_t bytes) {
    if (g_allocations++ == g_failAt) return nullptr;
    return std::realloc(block, bytes);
}

struct FailureInjected : ::testing::Test {
    void SetUp() override { WDL_HeapBuf::SetReallocForTesting(FailOne); }
    void TearDown() override {
        WDL_HeapBuf::SetReallocForTesting(nullptr);
        g_failAt = -1;
    }
};

} // namespace

TEST_F(FailureInjected, ConstructionIsWholeOrSaysIncomplete) {
    int incomplete = 0;
    for (int k = 0;; ++k) {
        g_allocations = 0;
        g_failAt = k;
        TestPlug plug(5, "1-1 2-2", 3);
        const bool reached = g_allocations > k;
        g_failAt = -1;
        if (plug.IsComplete()) {
            EXPECT_EQ(plug.NParams(), 5) << "allocation " << k;
            EXPECT_EQ(plug.NPresets(), 3);
            EXPECT_EQ(plug.NChannelIO(), 2);
            EXPECT_EQ(plug.NInChannels(), 2);
            EXPECT_EQ(plug.NOutChannels(), 2);
            for (int i = 0; i < 2; ++i) {
                ASSERT_NE(plug.In(i), nullptr);
                EXPECT_EQ(plug.In(i)->src, plug.InData() + i);
            }
        } else {
            ++incomplete;
        }
        if (!reached) break;
        ASSERT_LT(k, 10000);
    }
    EXPECT_GE(incomplete, 6); // the five lists and the channel slots each failed once
}
