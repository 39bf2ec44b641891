// Lines, circles, arcs, rounded rectangles, polygons and glyph stamps.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using rtest::pixelAt;

// Drawing with ADD of colour 0x01010101 onto zero counts how often each pixel was written.
const LICE_pixel kOne = 0x01010101;

int countWrites(LICE_IBitmap* bm, int* maxWrites) {
    int n = 0;
    *maxWrites = 0;
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x) {
            const int v = LICE_GETB(*pixelAt(bm, x, y));
            if (v) ++n;
            if (v > *maxWrites) *maxWrites = v;
        }
    return n;
}

TEST(Line, EveryPixelOnceFromEitherEnd) {
    rtest::Rng rng(31);
    for (int iter = 0; iter < 300; ++iter) {
        const int x1 = rng.range(0, 39), y1 = rng.range(0, 29), x2 = rng.range(0, 39),
                  y2 = rng.range(0, 29);
        LICE_MemBitmap a(40, 30, 4), b(40, 30, 4);
        rtest::fillSolid(&a, 0);
        rtest::fillSolid(&b, 0);
        LICE_Line(&a, x1, y1, x2, y2, kOne, 1.0f, LICE_COMBINE_ADD, false);
        LICE_Line(&b, x2, y2, x1, y1, kOne, 1.0f, LICE_COMBINE_ADD, false);
        int most = 0;
        const int n = countWrites(&a, &most);
        ASSERT_EQ(most, 1) << iter;
        ASSERT_EQ(n, std::max(std::abs(x2 - x1), std::abs(y2 - y1)) + 1) << iter;
        // Reversed, the same pixels, except that the middle pixel of an even-length walk
        // rounds from the start end and may sit one step over when it falls on a half.
        int box[4];
        if (LICE_BitmapCmp(&a, &b, box)) {
            const int span = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
            const bool xMajor = std::abs(x2 - x1) > std::abs(y2 - y1);
            ASSERT_EQ(span % 2, 0) << iter;
            ASSERT_EQ(xMajor ? box[2] : box[3], 1) << iter;
            ASSERT_EQ(xMajor ? box[0] : box[1], (xMajor ? x1 + x2 : y1 + y2) / 2) << iter;
        }
        if (x1 == x2 || y1 == y2 || std::abs(x2 - x1) == std::abs(y2 - y1)) {
            ASSERT_EQ(LICE_BitmapCmp(&a, &b), 0) << iter;
        }
        EXPECT_NE(LICE_GETB(*pixelAt(&a, x1, y1)), 0);
        EXPECT_NE(LICE_GETB(*pixelAt(&a, x2, y2)), 0);
    }
    LICE_MemBitmap bm(20, 3, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, 0, 0, 10, 0, kOne, 1.0f, LICE_COMBINE_ADD, false);
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 11);
}

TEST(Line, PlainWalkRoundsHalvesUp) {
    LICE_MemBitmap bm(9, 3, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, 0, 0, 8, 2, 0xffffffff, 1.0f, 0, false); // slope 1/4
    // From the start: row of pixel k is round(k / 4); from the end, mirrored.
    const int rows[9] = {0, 0, 1, 1, 1, 1, 1, 2, 2};
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(*pixelAt(&bm, x, rows[x]), 0xffffffffu) << x;
}

TEST(Line, ClippedFromOutsideAndWhollyOutside) {
    LICE_MemBitmap bm(16, 16, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, -10, -10, 30, 30, kOne, 1.0f, LICE_COMBINE_ADD, false);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(*pixelAt(&bm, i, i), kOne) << i;
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 16);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, -10, 5, -1, 30, kOne, 1.0f, LICE_COMBINE_ADD, true);
    LICE_Line(&bm, 20, -5, 40, 60, kOne, 1.0f, LICE_COMBINE_ADD, false);
    LICE_Line(&bm, -2000000000, 3, 2000000000, 4, kOne, 1.0f, LICE_COMBINE_ADD, true);
    EXPECT_LE(countWrites(&bm, &most), 16 * 2);
    rtest::FlippedBitmap fl(8, 8);
    rtest::fillSolid(&fl, 0);
    LICE_Line(&fl, 0, 0, 7, 0, kOne, 1.0f, 0, false); // top row of the picture
    EXPECT_EQ(*pixelAt(&fl, 3, 0), kOne);
}

TEST(Line, WholeWordAlphasInCopyMode) {
    rtest::Rng rng(5);
    const LICE_pixel c = 0xfedcba98;
    LICE_MemBitmap bm(30, 30, 4), before(30, 30, 4);
    rtest::fillNoise(&bm, rng);
    LICE_Copy(&before, &bm);
    LICE_Line(&bm, 2, 3, 27, 3, c, 0.5f, 0, false);  // horizontal
    LICE_Line(&bm, 5, 6, 5, 28, c, 0.5f, 0, false);  // vertical
    LICE_Line(&bm, 8, 8, 20, 20, c, 0.5f, 0, false); // diagonal
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const LICE_pixel d = *pixelAt(&before, x, y);
            const bool on = (y == 3 && x >= 2 && x <= 27) || (x == 5 && y >= 6 && y <= 28) ||
                            (x == y && x >= 8 && x <= 20);
            const LICE_pixel want = on ? ((c >> 1) & 0x7f7f7f7f) + ((d >> 1) & 0x7f7f7f7f) : d;
            ASSERT_EQ(*pixelAt(&bm, x, y), want) << x << "," << y;
        }
}

TEST(Line, AntiAliasedPairsShareTheWeight) {
    // White copied onto black at weight w in 1..255 gives exactly w, so pixels read as weights.
    LICE_MemBitmap bm(21, 12, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, 0, 0, 20, 10, 0xffffffff, 1.0f, 0, true);
    for (int x = 1; x < 20; ++x) {
        int sum = 0;
        for (int y = 0; y < 12; ++y)
            sum += LICE_GETB(*pixelAt(&bm, x, y));
        EXPECT_EQ(sum, 255) << "column " << x;
    }
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0xffffffffu);
    EXPECT_EQ(*pixelAt(&bm, 20, 10), 0xffffffffu);
}

TEST(Line, AntiAliasedDiagonal) {
    LICE_MemBitmap bm(6, 6, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Line(&bm, 1, 1, 4, 4, 0xffffffff, 1.0f, 0, true);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(LICE_GETB(*pixelAt(&bm, i, i)), 0x7f + 0x3f);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(LICE_GETB(*pixelAt(&bm, i + 1, i)), 0x3f);
        EXPECT_EQ(LICE_GETB(*pixelAt(&bm, i, i + 1)), 0x3f);
    }
    EXPECT_EQ(*pixelAt(&bm, 5, 4), 0u);
}

TEST(ClipLine, TranslatesToTheBox) {
    int x1 = -5, y1 = 5, x2 = 25, y2 = 5;
    EXPECT_TRUE(LICE_ClipLine(&x1, &y1, &x2, &y2, 10, 0, 20, 10));
    EXPECT_EQ(x1, 10);
    EXPECT_EQ(x2, 19);
    EXPECT_EQ(y1, 5);
    x1 = 0, y1 = 0, x2 = 5, y2 = 5;
    EXPECT_FALSE(LICE_ClipLine(&x1, &y1, &x2, &y2, 10, 10, 20, 20));
    x1 = 15, y1 = 0, x2 = 15, y2 = 100;
    EXPECT_TRUE(LICE_ClipLine(&x1, &y1, &x2, &y2, 10, 10, 20, 20));
    EXPECT_EQ(y1, 10);
    EXPECT_EQ(y2, 19);
    EXPECT_FALSE(LICE_ClipLine(&x1, &y1, &x2, &y2, 10, 10, 10, 20)); // empty box
}

TEST(DrawRect, CoversOnePixelMore) {
    LICE_MemBitmap bm(10, 10, 4);
    rtest::fillSolid(&bm, 0);
    LICE_DrawRect(&bm, 1, 2, 5, 4, kOne, 1.0f, LICE_COMBINE_ADD);
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 2 * 6 + 2 * 3); // a 6 x 5 outline
    EXPECT_EQ(LICE_GETB(*pixelAt(&bm, 6, 6)), 2);      // corners are drawn by two lines
    EXPECT_EQ(LICE_GETB(*pixelAt(&bm, 3, 2)), 1);
    EXPECT_EQ(*pixelAt(&bm, 7, 6), 0u);
}

TEST(Circle, SmallRadiiUseTheStamps) {
    const unsigned char aa2[25] = {0x0F, 0xBF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0xD1,
                                   0xBF, 0xFF, 0x4F, 0x00, 0x4F, 0xFF, 0xBF, 0xD1, 0x4F,
                                   0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xBF, 0x0F};
    LICE_MemBitmap bm(16, 16, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Circle(&bm, 7.3f, 6.8f, 2.0f, 0xffffffff, 1.0f, 0, true);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int u = x - 5, v = y - 4; // stamped at ((int)(cx - r), (int)(cy - r))
            const int want = u >= 0 && v >= 0 && u < 5 && v < 5 ? aa2[v * 5 + u] : 0;
            ASSERT_EQ(LICE_GETB(*pixelAt(&bm, x, y)), want) << x << "," << y;
        }
    LICE_MemBitmap other(16, 16, 4);
    rtest::fillSolid(&other, 0);
    LICE_Circle(&other, 7.3f, 6.8f, 2.01f, 0xffffffff, 1.0f, 0, true);
    EXPECT_NE(LICE_BitmapCmp(&bm, &other), 0);
}

TEST(Circle, EveryStampIsSymmetricAndSized) {
    // Drawn in white onto black, each pixel reads back as its coverage byte.
    for (bool aa : {false, true})
        for (int i = 0; i < 6; ++i) {
            const float r = 1.5f + 0.5f * i;
            const int n = 4 + i;
            LICE_MemBitmap bm(16, 16, 4);
            rtest::fillSolid(&bm, 0);
            LICE_Circle(&bm, 3.0f + r, 3.0f + r, r, 0xffffffff, 1.0f, 0, aa);
            const auto v = [&](int x, int y) { return LICE_GETB(*pixelAt(&bm, 3 + x, 3 + y)); };
            int inked = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    if (*pixelAt(&bm, x, y)) {
                        ++inked;
                        ASSERT_TRUE(x >= 3 && y >= 3 && x < 3 + n && y < 3 + n) << r << " " << aa;
                    }
            EXPECT_GE(inked, 2 * n - 2) << r;
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    ASSERT_EQ(v(x, y), v(n - 1 - x, y)) << "r " << r << " aa " << aa;
                    ASSERT_EQ(v(x, y), v(x, n - 1 - y)) << "r " << r << " aa " << aa;
                }
            EXPECT_EQ(v(n / 2, 0), 255) << r; // the top of the ring is fully covered
        }
}

TEST(Circle, MidpointOutlineIsSymmetricAndOnTheRadius) {
    LICE_MemBitmap bm(41, 41, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Circle(&bm, 20, 20, 15, kOne, 1.0f, LICE_COMBINE_ADD, false);
    int most = 0;
    EXPECT_GT(countWrites(&bm, &most), 80);
    EXPECT_EQ(most, 1);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x) {
            const LICE_pixel p = *pixelAt(&bm, x, y);
            ASSERT_EQ(p, *pixelAt(&bm, 40 - x, y));
            ASSERT_EQ(p, *pixelAt(&bm, y, x));
            if (p) {
                const double d = std::hypot(x - 20, y - 20);
                EXPECT_NEAR(d, 15.0, 0.75) << x << "," << y;
            }
        }
}

TEST(FillCircle, EveryCoveredPixelBlendedOnce) {
    for (float r : {0.0f, 1.0f, 2.0f, 4.4f, 7.5f, 12.0f}) {
        LICE_MemBitmap bm(32, 32, 4);
        rtest::fillSolid(&bm, 0);
        LICE_FillCircle(&bm, 15, 16, r, kOne, 1.0f, LICE_COMBINE_ADD, false);
        int most = 0;
        const int n = countWrites(&bm, &most);
        EXPECT_EQ(most, 1) << r;
        // The midpoint circle rounds the radius and covers the pixels its outline crosses.
        const int R = (int)(r + 0.5f);
        EXPECT_NEAR(n, 3.14159265 * (R + 0.5) * (R + 0.5), 2 * R + 4) << r;
        // Filled covers the outline.
        LICE_MemBitmap outline(32, 32, 4);
        rtest::fillSolid(&outline, 0);
        LICE_Circle(&outline, 15, 16, r + 0.001f, kOne, 1.0f, LICE_COMBINE_ADD, false);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (*pixelAt(&outline, x, y)) {
                    ASSERT_TRUE(*pixelAt(&bm, x, y)) << r;
                }
    }
    // At alpha 0.5 every pixel is the same single half mix.
    LICE_MemBitmap bm(32, 32, 4);
    rtest::fillSolid(&bm, 0xff000000);
    LICE_FillCircle(&bm, 16, 16, 10, 0xffffffff, 0.5f, 0, false);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const LICE_pixel p = *pixelAt(&bm, x, y);
            ASSERT_TRUE(p == 0xff000000u || p == 0xff7f7f7fu) << std::hex << p;
        }
}

TEST(FillCircle, FillsEachColumnBetweenItsOutlinePixels) {
    for (int r = 1; r <= 60; ++r) {
        const int n = 2 * r + 7;
        LICE_MemBitmap outline(n, n, 4), filled(n, n, 4);
        rtest::fillSolid(&outline, 0);
        rtest::fillSolid(&filled, 0);
        const float c = r + 3.0f;
        LICE_Circle(&outline, c, c, (float)r + 0.001f, kOne, 1.0f, LICE_COMBINE_ADD, false);
        LICE_FillCircle(&filled, c, c, (float)r, kOne, 1.0f, LICE_COMBINE_ADD, false);
        for (int x = 0; x < n; ++x) {
            int top = n, bottom = -1;
            for (int y = 0; y < n; ++y)
                if (*pixelAt(&outline, x, y)) top = std::min(top, y), bottom = std::max(bottom, y);
            for (int y = 0; y < n; ++y)
                ASSERT_EQ(*pixelAt(&filled, x, y), y >= top && y <= bottom ? kOne : 0u)
                    << "r " << r << " at " << x << "," << y;
        }
    }
}

TEST(FillCircle, AntiAliasedInteriorOnce) {
    LICE_MemBitmap bm(40, 40, 4);
    rtest::fillSolid(&bm, 0);
    LICE_FillCircle(&bm, 20, 20, 13.4f, kOne, 1.0f, LICE_COMBINE_ADD, true);
    // Interior pixels (well inside the radius) are written exactly once at full weight.
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (std::hypot(x - 20, y - 20) < 12.0) {
                ASSERT_EQ(*pixelAt(&bm, x, y), kOne);
            }
    EXPECT_EQ(*pixelAt(&bm, 2, 2), 0u);
}

TEST(Circle, FarOutsideDrawsNothing) {
    LICE_MemBitmap bm(10, 10, 4);
    rtest::fillSolid(&bm, 0);
    LICE_Circle(&bm, -20, 5, 5, kOne, 1.0f, 0, false);
    LICE_FillCircle(&bm, 5, 50, 5, kOne, 1.0f, 0, true);
    LICE_FillCircle(&bm, 5, 5, -1, kOne, 1.0f, 0, true);
    LICE_FillCircle(&bm, std::nanf(""), 5, 3, kOne, 1.0f, 0, true);
    LICE_FillCircle(&bm, 5, 5, 1e30f, kOne, 1.0f, 0, false);
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 0);
    LICE_FillCircle(&bm, 0, 0, 30, kOne, 1.0f, LICE_COMBINE_ADD, true); // covers all, clipped
    EXPECT_EQ(countWrites(&bm, &most), 100);
}

TEST(Arc, QuarterAndFullTurn) {
    LICE_MemBitmap arc(41, 41, 4), circle(41, 41, 4);
    rtest::fillSolid(&arc, 0);
    LICE_Arc(&arc, 20, 20, 12, 0, (float)(M_PI / 2), kOne, 1.0f, LICE_COMBINE_ADD, false);
    int most = 0;
    EXPECT_GT(countWrites(&arc, &most), 10);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x)
            if (*pixelAt(&arc, x, y)) {
                EXPECT_GE(x, 20) << x << "," << y; // upper right quarter
                EXPECT_LE(y, 20) << x << "," << y;
            }
    rtest::fillSolid(&arc, 0);
    rtest::fillSolid(&circle, 0);
    LICE_Arc(&arc, 20, 20, 12, 0, (float)(2 * M_PI), 0xffffffff, 1.0f, 0, true);
    LICE_Circle(&circle, 20, 20, 12, 0xffffffff, 1.0f, 0, true);
    EXPECT_EQ(LICE_BitmapCmp(&arc, &circle), 0);
}

TEST(RoundRect, SmallRadiusIsARectangle) {
    LICE_MemBitmap a(20, 20, 4), b(20, 20, 4);
    rtest::fillSolid(&a, 0);
    rtest::fillSolid(&b, 0);
    LICE_RoundRect(&a, 2, 3, 10, 8, 1, 0xffffffff, 1.0f, 0, true);
    LICE_DrawRect(&b, 2, 3, 10, 8, 0xffffffff, 1.0f, 0);
    EXPECT_EQ(LICE_BitmapCmp(&a, &b), 0);
    rtest::fillSolid(&a, 0);
    LICE_RoundRect(&a, 2, 3, 14, 12, 4, 0xffffffff, 1.0f, 0, false);
    EXPECT_EQ(*pixelAt(&a, 2, 3), 0u);           // the corner is cut
    EXPECT_EQ(*pixelAt(&a, 9, 3), 0xffffffffu);  // top edge
    EXPECT_EQ(*pixelAt(&a, 16, 9), 0xffffffffu); // right edge
}

TEST(Polygon, TriangleRowsOnceAndCollinear) {
    LICE_MemBitmap bm(30, 30, 4);
    rtest::fillSolid(&bm, 0);
    LICE_FillTriangle(&bm, 3, 7, 25, 7, 10, 7, kOne, 1.0f, LICE_COMBINE_ADD);
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 23);
    EXPECT_EQ(*pixelAt(&bm, 3, 7), kOne);
    EXPECT_EQ(*pixelAt(&bm, 25, 7), kOne);

    rtest::fillSolid(&bm, 0);
    LICE_FillTriangle(&bm, 15, 2, 27, 26, 3, 20, kOne, 1.0f, LICE_COMBINE_ADD);
    const int n = countWrites(&bm, &most);
    EXPECT_EQ(most, 1);
    const double area = std::abs((27 - 15) * (20 - 2) - (3 - 15) * (26 - 2)) / 2.0;
    EXPECT_NEAR(n, area, 60);
    // Each row is one run.
    for (int y = 0; y < 30; ++y) {
        int runs = 0;
        for (int x = 0; x < 30; ++x)
            if (*pixelAt(&bm, x, y) && (x == 0 || !*pixelAt(&bm, x - 1, y))) ++runs;
        EXPECT_LE(runs, 1) << y;
        // The truncated 16.16 edge step may stop one short of the bottom vertex.
        if (y >= 2 && y <= 25) {
            EXPECT_EQ(runs, 1) << y;
        }
        if (y < 2 || y > 26) {
            EXPECT_EQ(runs, 0) << y;
        }
    }
}

TEST(Polygon, SquareAndClipping) {
    LICE_MemBitmap bm(20, 20, 4);
    rtest::fillSolid(&bm, 0);
    const int xs[] = {-5, 30, 30, -5}, ys[] = {-5, -5, 8, 8};
    LICE_FillConvexPolygon(&bm, xs, ys, 4, kOne, 1.0f, LICE_COMBINE_ADD);
    int most = 0;
    EXPECT_EQ(countWrites(&bm, &most), 20 * 9);
    EXPECT_EQ(most, 1);
    LICE_FillConvexPolygon(&bm, xs, ys, 2, kOne, 1.0f, 0); // fewer than 3 points
    LICE_FillConvexPolygon(&bm, nullptr, ys, 4, kOne, 1.0f, 0);
    EXPECT_EQ(countWrites(&bm, &most), 20 * 9);
}

TEST(Trapezoid, EndsInclusiveAndWholeWordHalf) {
    LICE_MemBitmap bm(20, 10, 4);
    rtest::fillSolid(&bm, 0xff000000);
    LICE_FillTrapezoid(&bm, 2, 5, 1, 0, 9, 5, 0xffffffff, 0.5f, 0);
    EXPECT_EQ(*pixelAt(&bm, 2, 1), 0xfe7f7f7fu);
    EXPECT_EQ(*pixelAt(&bm, 5, 1), 0xfe7f7f7fu);
    EXPECT_EQ(*pixelAt(&bm, 6, 1), 0xff000000u);
    EXPECT_EQ(*pixelAt(&bm, 0, 5), 0xfe7f7f7fu);
    EXPECT_EQ(*pixelAt(&bm, 9, 5), 0xfe7f7f7fu);
    EXPECT_EQ(*pixelAt(&bm, 0, 6), 0xff000000u);
    LICE_FillTrapezoid(&bm, -50, -40, 0, -60, -30, 9, 0xffffffff, 1.0f, 0); // left of 0
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0xff000000u);
}

TEST(Glyph, MonoCoverageWritesTheColourWord) {
    rtest::Rng rng(17);
    const unsigned char map[6] = {0xff, 0xff, 0, 0xff, 0x80, 0xff};
    LICE_MemBitmap bm(4, 3, 4), before(4, 3, 4);
    rtest::fillNoise(&bm, rng);
    LICE_Copy(&before, &bm);
    LICE_DrawGlyph(&bm, 1, 1, 0x80c0ffee, map, 3, 2, 1.0f, 0);
    EXPECT_EQ(*pixelAt(&bm, 1, 1), 0x80c0ffeeu);
    EXPECT_EQ(*pixelAt(&bm, 2, 1), 0x80c0ffeeu);
    EXPECT_EQ(*pixelAt(&bm, 3, 1), *pixelAt(&before, 3, 1)); // coverage 0
    EXPECT_EQ(*pixelAt(&bm, 3, 2), 0x80c0ffeeu);
    LICE_pixel half = *pixelAt(&before, 2, 2);
    LICE_CombinePixels2(&half, 0xc0, 0xff, 0xee, 0x80, 0x80, 0);
    EXPECT_EQ(*pixelAt(&bm, 2, 2), half);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), *pixelAt(&before, 0, 0));

    // Clipped at the corner, a bottom-up map through the row span.
    rtest::fillSolid(&bm, 0);
    LICE_DrawGlyphEx(&bm, -1, -1, 0xffffffff, map + 3, 3, -3, 2, 1.0f, 0);
    // Map row 1 lies a span (-3) before row 0: {ff, ff, 00}, drawn from its second byte.
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0xffffffffu);
    EXPECT_EQ(*pixelAt(&bm, 1, 0), 0u);
    EXPECT_EQ(*pixelAt(&bm, 0, 1), 0u);
}

} // namespace

namespace {

// A shape drawn into a bottom-up bitmap mirrors its y coordinates first: its memory equals the
// same shape drawn top-down at y' = height - 1 - y.
TEST(Shapes, FlippedBitmapsMirrorYFirst) {
    const int W = 40, H = 30;
    const auto same = [&](auto drawFlipped, auto drawPlain, const char* what) {
        rtest::FlippedBitmap f(W, H);
        LICE_MemBitmap n(W, H, 4);
        rtest::fillSolid(&f, 0x10203040);
        rtest::fillSolid(&n, 0x10203040);
        drawFlipped(&f);
        drawPlain(&n);
        EXPECT_EQ(memcmp(f.getBits(), n.getBits(), (size_t)H * n.getRowSpan() * 4), 0) << what;
    };
    const int m = H - 1;
    same([](LICE_IBitmap* b) { LICE_Line(b, 2, 3, 37, 20, 0xffffffff, 0.6f, 0, true); },
         [&](LICE_IBitmap* b) { LICE_Line(b, 2, m - 3, 37, m - 20, 0xffffffff, 0.6f, 0, true); },
         "aa line");
    same([](LICE_IBitmap* b) { LICE_Line(b, 1, 1, 30, 8, 0xffffffff, 1.0f, 0, false); },
         [&](LICE_IBitmap* b) { LICE_Line(b, 1, m - 1, 30, m - 8, 0xffffffff, 1.0f, 0, false); },
         "line");
    same([](LICE_IBitmap* b) { LICE_Circle(b, 20, 11.3f, 8.6f, 0xff80ff80, 1.0f, 0, true); },
         [&](LICE_IBitmap* b) { LICE_Circle(b, 20, m - 11.3f, 8.6f, 0xff80ff80, 1.0f, 0, true); },
         "aa circle");
    same([](LICE_IBitmap* b) { LICE_FillCircle(b, 19, 12, 9, 0xff80ff80, 0.5f, 0, false); },
         [&](LICE_IBitmap* b) { LICE_FillCircle(b, 19, m - 12, 9, 0xff80ff80, 0.5f, 0, false); },
         "filled circle");
    same([](LICE_IBitmap* b) { LICE_FillTrapezoid(b, 3, 9, 2, 10, 30, 25, 0xffff0000, 0.7f, 0); },
         [&](LICE_IBitmap* b) {
             LICE_FillTrapezoid(b, 3, 9, m - 2, 10, 30, m - 25, 0xffff0000, 0.7f, 0);
         },
         "trapezoid");
    same(
        [](LICE_IBitmap* b) {
            const int xs[] = {5, 30, 35, 12}, ys[] = {2, 4, 22, 27};
            LICE_FillConvexPolygon(b, xs, ys, 4, 0xff0000ff, 1.0f, LICE_COMBINE_ADD);
        },
        [&](LICE_IBitmap* b) {
            const int xs[] = {5, 30, 35, 12}, ys[] = {m - 2, m - 4, m - 22, m - 27};
            LICE_FillConvexPolygon(b, xs, ys, 4, 0xff0000ff, 1.0f, LICE_COMBINE_ADD);
        },
        "polygon");
}

} // namespace
