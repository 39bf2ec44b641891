#include "containers/WDL_String.h"

#include <gtest/gtest.h>

#include <string>

TEST(String, EmptyIsNeverNull) {
    WDL_String s;
    EXPECT_STREQ(s.Get(), "");
    EXPECT_EQ(s.GetLength(), 0);
    s.Set(nullptr);
    EXPECT_STREQ(s.Get(), "");
}

TEST(String, SetAppendInsertWithLimits) {
    WDL_String s("hello world", 5);
    EXPECT_STREQ(s.Get(), "hello");
    s.Append(", there", 3);
    EXPECT_STREQ(s.Get(), "hello, t");
    s.Insert(">>", 0);
    EXPECT_STREQ(s.Get(), ">>hello, t");
    s.Insert("<<", 100); // past the end appends
    EXPECT_STREQ(s.Get(), ">>hello, t<<");
    s.Insert("-", 7);
    EXPECT_STREQ(s.Get(), ">>hello-, t<<");
    s.SetLen(3);
    EXPECT_STREQ(s.Get(), ">>h");
    s.Set("ab", 10); // limit beyond the text stops at its NUL
    EXPECT_EQ(s.GetLength(), 2);
}

TEST(String, SelfReferenceSurvivesGrowth) {
    WDL_String s("abc");
    for (int i = 0; i < 8; ++i)
        s.Append(s.Get());
    EXPECT_EQ(s.GetLength(), 3 * 256);
    EXPECT_EQ(std::string(s.Get()).substr(0, 6), "abcabc");
    s.Insert(s.Get() + 1, 1, 2);
    EXPECT_EQ(std::string(s.Get()).substr(0, 6), "abcbca");
}

TEST(String, Formatted) {
    WDL_String s;
    s.SetFormatted(64, "%d-%s", 42, "x");
    EXPECT_STREQ(s.Get(), "42-x");
    s.AppendFormatted(3, "%s", "abcdef");
    EXPECT_STREQ(s.Get(), "42-xabc");
    WDL_String copy(s);
    s.Set("changed");
    EXPECT_STREQ(copy.Get(), "42-xabc");
}
