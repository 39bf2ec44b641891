// Bordered rectangles, float lines, dashes and Bezier outlines.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using rtest::pixelAt;

const LICE_pixel kOne = 0x01010101;

TEST(Curves, BorderedRect) {
    LICE_MemBitmap bm(10, 8, 4);
    rtest::fillSolid(&bm, 0);
    LICE_BorderedRect(&bm, 1, 1, 6, 5, 0xff0000ff, 0xffffffff, 1.0f, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 1 && x <= 6 && y >= 1 && y <= 5;
            const bool edge = inside && (x == 1 || x == 6 || y == 1 || y == 5);
            EXPECT_EQ(*pixelAt(&bm, x, y), edge     ? 0xffffffffu
                                           : inside ? 0xff0000ffu
                                                    : 0u)
                << x << "," << y;
        }
}

TEST(Curves, FloatLinesClipAndRound) {
    float x1 = -10, y1 = 5, x2 = 30, y2 = 5;
    EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 20, 10));
    EXPECT_FLOAT_EQ(x1, 0);
    EXPECT_FLOAT_EQ(x2, 20);
    x1 = -10, y1 = -10, x2 = -1, y2 = 30;
    EXPECT_FALSE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 0, 0, 20, 10));
    float nan = std::nanf("");
    EXPECT_FALSE(LICE_ClipFLine(&nan, &y1, &x2, &y2, 0, 0, 20, 10));

    LICE_MemBitmap a(12, 6, 4), b(12, 6, 4);
    rtest::fillSolid(&a, 0);
    rtest::fillSolid(&b, 0);
    LICE_FLine(&a, 1.4f, 0.6f, 9.5f, 4.2f, 0xffffffff, 1.0f, 0, false);
    LICE_Line(&b, 1, 1, 10, 4, 0xffffffff, 1.0f, 0, false);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
    LICE_FLine(&a, -1e30f, 3, 1e30f, 3, kOne, 1.0f, LICE_COMBINE_ADD, false);
    EXPECT_EQ(LICE_GETB(*pixelAt(&a, 0, 3)), 1);
    EXPECT_EQ(LICE_GETB(*pixelAt(&a, 11, 3)), 1);
}

TEST(Curves, DashesAlongTheMajorAxis) {
    LICE_MemBitmap bm(20, 3, 4);
    rtest::fillSolid(&bm, 0);
    LICE_DashedLine(&bm, 0, 1, 19, 1, 3, 2, kOne, 1.0f, LICE_COMBINE_ADD, false);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(*pixelAt(&bm, x, 1), x % 5 < 3 ? kOne : 0u) << x;
    rtest::fillSolid(&bm, 0);
    LICE_DashedLine(&bm, 19, 2, 0, 2, 4, 0, kOne, 1.0f, LICE_COMBINE_ADD, false); // solid
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(*pixelAt(&bm, x, 2), kOne) << x;
    LICE_DashedLine(&bm, 0, 0, 19, 0, 0, 3, kOne, 1.0f, LICE_COMBINE_ADD, false);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0u); // no dash length, nothing drawn
}

TEST(Curves, BezierOutlinesJoinOnce) {
    LICE_MemBitmap bm(40, 40, 4);
    rtest::fillSolid(&bm, 0);
    // Controls on the chord: a straight line, every pixel once.
    LICE_DrawCBezier(&bm, 2, 5, 10, 5, 20, 5, 30, 5, kOne, 1.0f, LICE_COMBINE_ADD, false);
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(*pixelAt(&bm, x, 5), x >= 2 && x <= 30 ? kOne : 0u) << x;

    rtest::fillSolid(&bm, 0);
    LICE_DrawQBezier(&bm, 3, 35, 3, 3, 35, 3, kOne, 1.0f, LICE_COMBINE_ADD, false);
    int inked = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const int v = LICE_GETB(*pixelAt(&bm, x, y));
            ASSERT_LE(v, 1) << x << "," << y;
            inked += v;
        }
    EXPECT_EQ(*pixelAt(&bm, 3, 35), kOne);
    EXPECT_EQ(*pixelAt(&bm, 35, 3), kOne);
    EXPECT_GT(inked, 40);
    EXPECT_EQ(*pixelAt(&bm, 3, 3), 0u); // the control point is not on the curve
}

} // namespace
