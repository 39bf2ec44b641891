#include "containers/WDL_HeapBuf.h"
#include "containers/WDL_TypedBuf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

int g_failAfter = -1; // allocations left before every further one fails; -1 never fails

void* FailingRealloc(void* block, size_t bytes) {
    if (g_failAfter == 0) return nullptr;
    if (g_failAfter > 0) --g_failAfter;
    return std::realloc(block, bytes);
}

struct InjectedFailure : ::testing::Test {
    void SetUp() override { WDL_HeapBuf::SetReallocForTesting(FailingRealloc); }
    void TearDown() override {
        WDL_HeapBuf::SetReallocForTesting(nullptr);
        g_failAfter = -1;
    }
};

} // namespace

TEST(HeapBuf, NegativeAndZeroSizes) {
    WDL_HeapBuf b(64);
    EXPECT_EQ(b.Resize(-5), nullptr);
    EXPECT_EQ(b.GetSize(), 0);
    ASSERT_NE(b.Resize(8), nullptr);
    EXPECT_EQ(b.Resize(0, false), nullptr);
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_GT(b.GetAllocated(), 0); // kept: shrink was not asked for
}

TEST(HeapBuf, ShrinksOnlyBelowHalfAndFourGranules) {
    WDL_HeapBuf b(16);
    ASSERT_NE(b.Resize(1000), nullptr); // allocation 1500
    ASSERT_EQ(b.GetAllocated(), 1500);
    EXPECT_NE(b.Resize(800), nullptr); // not below half
    EXPECT_EQ(b.GetAllocated(), 1500);
    b.Shrink(700); // below half, but shrinking not asked
    EXPECT_EQ(b.GetAllocated(), 1500);
    EXPECT_EQ(b.GetSize(), 700);
    b.Shrink(900, true); // never grows
    EXPECT_EQ(b.GetSize(), 700);
    b.Shrink(700, true);
    EXPECT_EQ(b.GetAllocated(), 700);

    WDL_HeapBuf coarse(400);
    ASSERT_NE(coarse.Resize(100), nullptr); // allocation 500; 500 - 4 * 400 < 0: never shrinks
    EXPECT_NE(coarse.Resize(10), nullptr);
    EXPECT_EQ(coarse.GetAllocated(), 500);
    EXPECT_EQ(coarse.Resize(0), nullptr);
    EXPECT_EQ(coarse.GetAllocated(), 500);
}

TEST_F(InjectedFailure, FailedGrowthAnswersNullAndKeepsOldBufferAndSize) {
    WDL_HeapBuf b(16);
    char* p = static_cast<char*>(b.Resize(10));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcdefghi", 10);
    g_failAfter = 0;
    EXPECT_EQ(b.Resize(1000), nullptr);
    EXPECT_EQ(b.GetSize(), 10);
    EXPECT_EQ(b.Get(), p);
    EXPECT_STREQ(static_cast<char*>(b.Get()), "abcdefghi");

    WDL_TypedBuf<int> t(16);
    ASSERT_EQ(t.Add(nullptr, 4), nullptr); // no allocation succeeds any more
    EXPECT_EQ(t.Resize(100), nullptr);
    EXPECT_EQ(t.GetSize(), 0);
}

TEST_F(InjectedFailure, FailedShrinkKeepsData) {
    WDL_HeapBuf b(16);
    char* p = static_cast<char*>(b.Resize(1000));
    std::memset(p, 'x', 1000);
    g_failAfter = 0;
    char* q = static_cast<char*>(b.Resize(100));
    EXPECT_EQ(q, p);
    EXPECT_EQ(b.GetSize(), 100);
    EXPECT_EQ(q[99], 'x');
}

TEST_F(InjectedFailure, TypedBufAddReportsFailure) {
    WDL_TypedBuf<double> t(16);
    const double one[2] = {1.0, 2.0};
    ASSERT_NE(t.Add(one, 2), nullptr);
    g_failAfter = 0;
    EXPECT_EQ(t.Add(nullptr, 1000), nullptr);
    EXPECT_EQ(t.GetSize(), 2);
    EXPECT_EQ(t.Get()[1], 2.0);
}

TEST(TypedBuf, SizesInElementsAndOverflowRefused) {
    WDL_TypedBuf<double> t;
    ASSERT_NE(t.Resize(3), nullptr);
    EXPECT_EQ(t.GetSize(), 3);
    EXPECT_EQ(t.Heap().GetSize(), 24);
    // A byte count past 32 bits is a failed allocation.
    EXPECT_EQ(t.Resize(0x7fffffff), nullptr);
    EXPECT_EQ(t.GetSize(), 3);
}
