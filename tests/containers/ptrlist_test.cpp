#include "containers/WDL_Mutex.h"
#include "containers/WDL_PtrList.h"

#include <gtest/gtest.h>

#include <thread>

namespace {
int g_deleted = 0;
struct Counted {
    ~Counted() { ++g_deleted; }
};
} // namespace

TEST(PtrList, GetOutsideIsNullAndRemovalShifts) {
    int a = 1, b = 2, c = 3;
    WDL_PtrList<int> list;
    EXPECT_EQ(list.Get(0), nullptr);
    ASSERT_EQ(list.Add(&a), &a);
    ASSERT_EQ(list.Add(&c), &c);
    ASSERT_EQ(list.Insert(1, &b), &b);
    EXPECT_EQ(list.GetSize(), 3);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(3), nullptr);
    EXPECT_EQ(list.Find(&b), 1);
    list.Delete(0);
    EXPECT_EQ(list.Get(0), &b);
    EXPECT_EQ(list.Get(1), &c);
    EXPECT_EQ(list.Get(2), nullptr);
    list.Delete(7); // ignored
    EXPECT_EQ(list.GetSize(), 2);
}

TEST(PtrList, EmptyingDeletesWhenAsked) {
    g_deleted = 0;
    WDL_PtrList<Counted> list;
    for (int i = 0; i < 4; ++i)
        ASSERT_NE(list.Add(new Counted), nullptr);
    list.Delete(1, true);
    EXPECT_EQ(g_deleted, 1);
    list.Empty(true);
    EXPECT_EQ(g_deleted, 4);
    EXPECT_EQ(list.GetSize(), 0);
}

TEST(Mutex, IsRecursiveAndExcludesOtherThreads) {
    WDL_Mutex m;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            WDL_MutexLock outer(&m);
            WDL_MutexLock inner(&m); // same thread again: must not deadlock
            ++counter;
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 20000);
}
