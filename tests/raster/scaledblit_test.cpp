// Scaled and rotated blits: the unit-scale shortcut, mirroring, nearest and bilinear samples,
// the box sizes of strong downscales, rotation by a quarter turn.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using rtest::pixelAt;

// A pixel that names its own coordinates, so a destination pixel tells where it came from.
LICE_pixel coordPixel(int x, int y) {
    return LICE_RGBA(x, y, 0x5a, 0xff);
}

void fillCoords(LICE_IBitmap* bm) {
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x)
            *pixelAt(bm, x, y) = coordPixel(x, y);
}

TEST(ScaledBlit, UnitScaleIsAPlainBlit) {
    rtest::Rng rng(21);
    LICE_MemBitmap src(30, 20, 4), a(25, 25, 4), b(25, 25, 4);
    for (int iter = 0; iter < 200; ++iter) {
        rtest::fillNoise(&src, rng);
        rtest::fillNoise(&a, rng);
        LICE_Copy(&b, &a);
        const int dx = rng.range(-10, 20), dy = rng.range(-10, 20), w = rng.range(1, 30),
                  h = rng.range(1, 30);
        const float sx = rng.range(-5, 25) + (rng.next() & 1 ? 0.02f : 0.0f);
        const float sy = rng.range(-5, 15);
        const int mode = (rng.next() & 1) ? LICE_COMBINE_FILTER_BILINEAR : 0;
        const float alpha = (rng.next() & 1) ? 1.0f : 0.75f;
        LICE_ScaledBlit(&a, &src, dx, dy, w, h, sx, sy, w + 0.0005f, (float)h, alpha, mode);
        const RECT r = {(int)(sx + 0.5f), (int)(sy + 0.5f), (int)(sx + 0.5f) + w,
                        (int)(sy + 0.5f) + h};
        LICE_Blit(&b, &src, dx, dy, &r, alpha, mode);
        ASSERT_EQ(LICE_BitmapCmp(&a, &b), 0) << iter;
    }
}

TEST(ScaledBlit, BilinearAtHalfPixelResamples) {
    LICE_MemBitmap src(4, 1, 4), dest(3, 1, 4);
    const LICE_pixel s[4] = {0x00000000, 0xffffffff, 0x10203040, 0x80808080};
    for (int i = 0; i < 4; ++i)
        src.getBits()[i] = s[i];
    rtest::fillSolid(&dest, 0);
    LICE_ScaledBlit(&dest, &src, 0, 0, 3, 1, 0.5f, 0.0f, 3.0f, 1.0f, 1.0f,
                    LICE_COMBINE_FILTER_BILINEAR);
    // Last row of the source: horizontal taps only, (p0 * 0x8000 + p1 * 0x8000) >> 16.
    for (int i = 0; i < 3; ++i)
        for (int sh = 0; sh < 32; sh += 8) {
            const int p0 = (s[i] >> sh) & 255, p1 = (s[i + 1] >> sh) & 255;
            EXPECT_EQ((int)((dest.getBits()[i] >> sh) & 255), (p0 + p1) * 0x8000 >> 16);
        }
}

TEST(ScaledBlit, NearestMatchesPlainWalk) {
    // Exactly representable steps, so the plain 16.16 positions are exact too.
    rtest::Rng rng(4);
    const float steps[] = {0.25f, 0.5f, 1.5f, 2.0f, 3.0f};
    for (int iter = 0; iter < 300; ++iter) {
        LICE_MemBitmap src(rng.range(4, 20), rng.range(4, 20), 4);
        rtest::FlippedBitmap dest(rng.range(4, 30), rng.range(4, 30));
        rtest::fillNoise(&src, rng);
        rtest::fillSolid(&dest, 0x01020304);
        const float xs = steps[rng.next() % 5], ys = steps[rng.next() % 5];
        const int dw = rng.range(1, 40), dh = rng.range(1, 40);
        const int sx = rng.range(0, src.getWidth() - 1), sy = rng.range(0, src.getHeight() - 1);
        const int dx = rng.range(0, 10), dy = rng.range(0, 10);
        const float alpha = (rng.next() & 1) ? 1.0f : 0.6f;
        LICE_ScaledBlit(&dest, &src, dx, dy, dw, dh, (float)sx, (float)sy, dw * xs, dh * ys, alpha,
                        0);
        for (int y = 0; y < dest.getHeight(); ++y)
            for (int x = 0; x < dest.getWidth(); ++x) {
                LICE_pixel want = 0x01020304;
                const double u = sx + (x - dx) * xs, v = sy + (y - dy) * ys;
                const bool drawn = x >= dx && y >= dy && x < dx + dw && y < dy + dh &&
                                   u < src.getWidth() && v < src.getHeight() &&
                                   u < std::ceil(sx + dw * xs) && v < std::ceil(sy + dh * ys);
                if (drawn)
                    want = LICE_CombinePixels(want, *pixelAt(&src, (int)u, (int)v), alpha, 0);
                ASSERT_EQ(*pixelAt(&dest, x, y), want) << iter << " at " << x << "," << y;
            }
    }
}

TEST(ScaledBlit, OffEdgeOriginKeepsTheSamples) {
    LICE_MemBitmap src(16, 16, 4), big(40, 40, 4), small(20, 20, 4);
    rtest::Rng rng(8);
    rtest::fillNoise(&src, rng);
    rtest::fillSolid(&big, 0);
    rtest::fillSolid(&small, 0);
    LICE_ScaledBlit(&big, &src, 10, 10, 32, 24, 0, 0, 16, 12, 1.0f, 0);
    LICE_ScaledBlit(&small, &src, -7, -5, 32, 24, 0, 0, 16, 12, 1.0f, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(*pixelAt(&small, x, y), *pixelAt(&big, x + 17, y + 15)) << x << "," << y;
}

TEST(ScaledBlit, RequestPastTheSourceKeepsItsLastColumn) {
    LICE_MemBitmap src(10, 1, 4), dest(24, 1, 4);
    fillCoords(&src);
    rtest::fillSolid(&dest, 0);
    LICE_ScaledBlit(&dest, &src, 0, 0, 24, 1, 0, 0, 12, 0.5f, 1.0f, 0);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(*pixelAt(&dest, x, 0), coordPixel(x / 2, 0)) << x;
    for (int x = 20; x < 24; ++x)
        EXPECT_EQ(*pixelAt(&dest, x, 0), 0u) << x;
}

TEST(ScaledBlit, NegativeWidthMirrors) {
    LICE_MemBitmap src(8, 2, 4), dest(8, 2, 4);
    fillCoords(&src);
    rtest::fillSolid(&dest, 0);
    LICE_ScaledBlit(&dest, &src, 8, 0, -8, 2, 0, 0, 8, 2, 1.0f, 0);
    // Samples sit on the left corner of each destination pixel: mirrored, column 0 reads the
    // source's right edge (outside) and stays untouched.
    EXPECT_EQ(*pixelAt(&dest, 0, 1), 0u);
    for (int x = 1; x < 8; ++x)
        EXPECT_EQ(*pixelAt(&dest, x, 1), coordPixel(8 - x, 1)) << x;
}

TEST(ScaledBlit, BoxSizesByScale) {
    // One bright pixel; the footprint and value in the destination give the kernel size.
    const auto footprint = [](int scale, int* count, int* value) {
        LICE_MemBitmap src(40, 40, 4), dest(40 / scale, 40 / scale, 4);
        rtest::fillSolid(&src, 0);
        *pixelAt(&src, 21, 21) = 0xffffffff;
        rtest::fillSolid(&dest, 0);
        LICE_ScaledBlit(&dest, &src, 0, 0, 40 / scale, 40 / scale, 0, 0, 40, 40, 1.0f,
                        LICE_COMBINE_FILTER_BILINEAR);
        *count = 0;
        for (int y = 0; y < dest.getHeight(); ++y)
            for (int x = 0; x < dest.getWidth(); ++x)
                if (*pixelAt(&dest, x, y)) ++*count, *value = LICE_GETB(*pixelAt(&dest, x, y));
    };
    int count = 0, value = 0;
    footprint(2, &count, &value); // 3 x 3 boxes around 20 and 22 both reach 21
    EXPECT_EQ(value, 255 / 9);
    EXPECT_EQ(count, 4);
    footprint(4, &count, &value); // 5 x 5: only the box around 20 reaches 21
    EXPECT_EQ(value, 255 / 25);
    EXPECT_EQ(count, 1);
    footprint(5, &count, &value);
    EXPECT_EQ(value, 255 / 25);

    // Below 1.7 the filter stays bilinear: a 1.5 step lands half-way between pixels.
    LICE_MemBitmap src(6, 6, 4), dest(4, 4, 4);
    rtest::fillSolid(&src, 0);
    *pixelAt(&src, 1, 1) = 0xffffffff;
    rtest::fillSolid(&dest, 0);
    LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 6, 6, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
    EXPECT_EQ(LICE_GETB(*pixelAt(&dest, 1, 1)), (255 * 0x4000) >> 16); // fx = fy = 0.5
    EXPECT_EQ(*pixelAt(&dest, 0, 0), 0u);
}

TEST(ScaledBlit, BoxAtTheWindowCornerCountsOnlyInsideCells) {
    LICE_MemBitmap src(8, 8, 4), dest(4, 4, 4);
    rtest::fillSolid(&src, 0);
    *pixelAt(&src, 0, 0) = 0xffffffff;
    LICE_ScaledBlit(&dest, &src, 0, 0, 4, 4, 0, 0, 8, 8, 1.0f, LICE_COMBINE_FILTER_BILINEAR);
    EXPECT_EQ(LICE_GETB(*pixelAt(&dest, 0, 0)), 255 / 4); // 2 x 2 of the 3 x 3 box inside
}

TEST(RotatedBlit, AngleZeroReproducesTheSource) {
    LICE_MemBitmap src(12, 9, 4), dest(12, 9, 4);
    rtest::Rng rng(6);
    rtest::fillNoise(&src, rng);
    rtest::fillSolid(&dest, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, 12, 9, 0, 0, 12, 9, 0.0f, false, 1.0f, 0, 0, 0);
    EXPECT_EQ(LICE_BitmapCmp(&dest, &src), 0);
}

TEST(RotatedBlit, QuarterTurn) {
    const int n = 10;
    LICE_MemBitmap src(n, n, 4), dest(n, n, 4);
    fillCoords(&src);
    rtest::fillSolid(&dest, 0);
    LICE_RotatedBlit(&dest, &src, 0, 0, n, n, 0, 0, n, n, (float)(M_PI / 2), false, 1.0f, 0, 0, 0);
    int untouched = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const LICE_pixel p = *pixelAt(&dest, x, y);
            if (!p) {
                ++untouched;
                continue;
            }
            ASSERT_EQ(LICE_GETA(p), 0xff);
            // One step right goes one row up in the source; one step down one column right.
            if (x + 1 < n && *pixelAt(&dest, x + 1, y)) {
                const LICE_pixel q = *pixelAt(&dest, x + 1, y);
                EXPECT_EQ(LICE_GETR(q), LICE_GETR(p));
                EXPECT_EQ(LICE_GETG(q), LICE_GETG(p) - 1);
            }
            if (y >= 1 && y + 1 < n && *pixelAt(&dest, x, y + 1)) {
                const LICE_pixel q = *pixelAt(&dest, x, y + 1);
                EXPECT_EQ(LICE_GETG(q), LICE_GETG(p));
                EXPECT_EQ(LICE_GETR(q), LICE_GETR(p) + 1);
            }
        }
    // The destination column that maps just past the source edge stays as it was.
    EXPECT_EQ(untouched, n);
    for (int y = 0; y < n; ++y)
        EXPECT_EQ(*pixelAt(&dest, 0, y), 0u);
}

TEST(RotatedBlit, CornersOutsideTheWindowStayUntouched) {
    LICE_MemBitmap src(20, 20, 4), dest(20, 20, 4);
    rtest::fillSolid(&src, 0xffffffff);
    rtest::fillSolid(&dest, 0x11111111);
    LICE_RotatedBlit(&dest, &src, 0, 0, 20, 20, 0, 0, 20, 20, 0.7f, false, 1.0f,
                     LICE_COMBINE_FILTER_BILINEAR, 0, 0);
    EXPECT_EQ(*pixelAt(&dest, 0, 0), 0x11111111u);
    EXPECT_EQ(*pixelAt(&dest, 19, 19), 0x11111111u);
    EXPECT_EQ(*pixelAt(&dest, 10, 10), 0xffffffffu);
}

} // namespace
