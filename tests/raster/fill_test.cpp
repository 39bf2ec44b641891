// Solid fills, single pixels and the small rectangle operations.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

namespace {

using rtest::pixelAt;

// The expected solid fill of one pixel, written plainly from the weight rules.
LICE_pixel fillRef(LICE_pixel d, LICE_pixel c, int w, int mode) {
    if (w == 0) return d;
    if ((mode & 0xff) == 0) {
        if (w == 256) return c;
        if (w == 128) return ((c >> 1) & 0x7f7f7f7f) + ((d >> 1) & 0x7f7f7f7f);
        if (w == 64)
            return ((c >> 2) & 0x3f3f3f3f) + ((d >> 2) & 0x3f3f3f3f) + ((d >> 1) & 0x7f7f7f7f);
        if (w == 192)
            return ((c >> 1) & 0x7f7f7f7f) + ((c >> 2) & 0x3f3f3f3f) + ((d >> 2) & 0x3f3f3f3f);
        if (w < 0) return d;
    }
    if ((mode & 0xff) > 5) return d;
    LICE_pixel out = d;
    LICE_CombinePixels2(&out, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c),
                        (mode & 0xff) == 5 && w > 255 ? 255 : w, w, mode & 0xff);
    return out;
}

TEST(FillRect, HangingOffEveryEdgeFillsOnlyTheVisiblePart) {
    rtest::Rng rng(12);
    const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 0.0f, -0.5f};
    for (int iter = 0; iter < 400; ++iter) {
        rtest::FlippedBitmap a(20, 15);
        LICE_MemBitmap ref(20, 15, 4);
        rtest::fillNoise(&a, rng);
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 20; ++x)
                *pixelAt(&ref, x, y) = *pixelAt(&a, x, y);
        const int x = rng.range(-30, 25), y = rng.range(-30, 20), w = rng.range(-5, 60),
                  h = rng.range(-5, 60);
        const LICE_pixel c = rng.next();
        const float alpha = alphas[rng.next() % 7];
        const int mode = rng.range(0, 7);
        LICE_FillRect(&a, x, y, w, h, c, alpha, mode);
        for (int yy = 0; yy < 15; ++yy)
            for (int xx = 0; xx < 20; ++xx) {
                LICE_pixel want = *pixelAt(&ref, xx, yy);
                if (xx >= x && xx < x + w && yy >= y && yy < y + h)
                    want = fillRef(want, c, (int)(alpha * 256), mode);
                ASSERT_EQ(*pixelAt(&a, xx, yy), want)
                    << iter << " rect " << x << "," << y << "," << w << "," << h << " mode " << mode
                    << " alpha " << alpha;
            }
    }
}

TEST(FillRect, SourceAlphaScalesTheWeight) {
    LICE_MemBitmap bm(2, 2, 4);
    rtest::fillSolid(&bm, 0x00000000);
    LICE_FillRect(&bm, 0, 0, 2, 2, 0x80ff0000, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA);
    EXPECT_EQ(*pixelAt(&bm, 1, 1), 0x407f0000u); // the half mix of the colour word
    // Copy at weight 200 moves the destination alpha toward 200.
    rtest::fillSolid(&bm, 0x00000000);
    LICE_FillRect(&bm, 0, 0, 2, 2, 0xffffffff, 200 / 256.0f, 0);
    EXPECT_EQ(LICE_GETA(*pixelAt(&bm, 0, 0)), 200 + (0 - 200) * 56 / 256);
    // HSV adjust at full weight sets alpha to 255, not to a wrapped 256.
    rtest::fillSolid(&bm, 0x00336699);
    LICE_FillRect(&bm, 0, 0, 2, 2, 0x00808080, 1.0f, LICE_COMBINE_HSVADJ);
    EXPECT_EQ(LICE_GETA(*pixelAt(&bm, 0, 0)), 255);
}

TEST(FillRect, ClearAndClearRect) {
    LICE_MemBitmap bm(5, 4, 4);
    LICE_Clear(&bm, 0x12345678);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(*pixelAt(&bm, x, y), 0x12345678u);
    LICE_ClearRect(&bm, 1, 1, 10, 10, 0x00ffffff, 0);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0x12345678u);
    EXPECT_EQ(*pixelAt(&bm, 4, 3), 0x00345678u); // alpha cleared only
    LICE_ClearRect(&bm, -3, -3, 4, 4, 0xff000000, 0x00abcdef);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0x12abcdefu);
    EXPECT_EQ(*pixelAt(&bm, 1, 0), 0x12345678u);
}

TEST(PutPixel, WeightsAndClipping) {
    LICE_MemBitmap bm(3, 3, 4);
    rtest::fillSolid(&bm, 0xff000000);
    LICE_PutPixel(&bm, 1, 1, 0xffffffff, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA); // bit ignored
    EXPECT_EQ(*pixelAt(&bm, 1, 1), 0xffffffffu);
    LICE_PutPixel(&bm, 0, 0, 0xffffffff, 0.5f, 0);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0xfe7f7f7fu);   // whole-word: alpha 127 + 127
    LICE_PutPixel(&bm, 2, 2, 0x00ffffff, 0.3f, 0); // copy, the colour's alpha as source alpha
    LICE_pixel want = 0xff000000;
    LICE_CombinePixels2(&want, 255, 255, 255, 0, (int)(0.3f * 256), 0);
    EXPECT_EQ(*pixelAt(&bm, 2, 2), want);
    LICE_PutPixel(&bm, 3, 0, 0xffffffff, 1.0f, 0);
    LICE_PutPixel(&bm, -1, 0, 0xffffffff, 1.0f, 0);
    LICE_PutPixel(nullptr, 0, 0, 0xffffffff, 1.0f, 0);
    EXPECT_EQ(*pixelAt(&bm, 2, 0), 0xff000000u);
}

TEST(RectOps, GradientMultiplyAddProcessAndMasks) {
    LICE_MemBitmap bm(4, 2, 4);
    rtest::fillSolid(&bm, 0);
    // Red rises by one step per column from 0; opaque copy.
    LICE_GradRect(&bm, 0, 0, 4, 2, 0, 0, 1, 1, 1 / 255.0f, 0, 0, 0, 0, 0, 0, 0, 0);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(*pixelAt(&bm, x, 1), LICE_RGBA(x, 0, 255, 255)) << x;

    LICE_MultiplyAddRect(&bm, 0, 0, 4, 2, 2.0f, 1.0f, 0.5f, 1.0f, 10, 0, 0, -300);
    EXPECT_EQ(*pixelAt(&bm, 3, 0), LICE_RGBA(16, 0, 127, 0));

    int calls = 0;
    LICE_ProcessRect(
        &bm, -1, -1, 3, 3, [](LICE_pixel* p, void* ctx) { ++*(int*)ctx, *p = 7; }, &calls);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(*pixelAt(&bm, 1, 1), 7u);

    rtest::fillSolid(&bm, 0x00102030);
    *pixelAt(&bm, 2, 0) = 0xff102031;
    LICE_SetAlphaFromColorMask(&bm, 0xee102030);
    EXPECT_EQ(*pixelAt(&bm, 0, 0), 0x00102030u);
    EXPECT_EQ(*pixelAt(&bm, 2, 0), 0xff102031u);
}

TEST(RectOps, SimpleFillFollowsTheSeedColumn) {
    LICE_MemBitmap bm(6, 5, 4);
    rtest::fillSolid(&bm, 0);
    for (int y = 0; y < 5; ++y)
        *pixelAt(&bm, 3, y) = 0xffffff; // a wall in column 3
    *pixelAt(&bm, 1, 3) = 0xffffff;     // blocks the seed column
    LICE_SimpleFill(&bm, 1, 1, 0x00ff00, 0xffffff, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            LICE_pixel want = (x == 3 || (x == 1 && y == 3)) ? 0xffffff : 0;
            if (x < 3 && y < 3) want = 0x00ff00;
            EXPECT_EQ(*pixelAt(&bm, x, y), want) << x << "," << y;
        }
}

TEST(RectOps, HalveAveragesBlocks) {
    LICE_MemBitmap src(5, 4, 4), dest(4, 4, 4);
    rtest::Rng rng(2);
    rtest::fillNoise(&src, rng);
    rtest::fillSolid(&dest, 0x99999999);
    LICE_HalveBlitAA(&dest, &src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            if (x >= 2 || y >= 2) {
                EXPECT_EQ(*pixelAt(&dest, x, y), 0x99999999u);
                continue;
            }
            for (int sh = 0; sh < 32; sh += 8) {
                const auto c = [&](int u, int v) { return (*pixelAt(&src, u, v) >> sh) & 255; };
                const unsigned int avg = (c(2 * x, 2 * y) + c(2 * x + 1, 2 * y) +
                                          c(2 * x, 2 * y + 1) + c(2 * x + 1, 2 * y + 1)) /
                                         4;
                EXPECT_EQ((*pixelAt(&dest, x, y) >> sh) & 255, avg);
            }
        }
}

} // namespace
