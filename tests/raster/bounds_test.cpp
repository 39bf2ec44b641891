// Every primitive, fed coordinates far outside the bitmap and absurd alphas, writes only the
// visible pixels: the row padding beyond the width keeps its canary, and the sanitizer build
// checks that nothing outside the block is touched and no arithmetic overflows.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

const LICE_pixel kCanary = 0x5ca1ab1e;

void setCanaries(LICE_MemBitmap& bm) {
    for (int y = 0; y < bm.getHeight(); ++y)
        for (int x = bm.getWidth(); x < bm.getRowSpan(); ++x)
            bm.getBits()[y * bm.getRowSpan() + x] = kCanary;
}

int brokenCanaries(LICE_MemBitmap& bm) {
    int n = 0;
    for (int y = 0; y < bm.getHeight(); ++y)
        for (int x = bm.getWidth(); x < bm.getRowSpan(); ++x)
            n += bm.getBits()[y * bm.getRowSpan() + x] != kCanary;
    return n;
}

TEST(Bounds, NothingBeyondTheVisibleWidth) {
    LICE_MemBitmap bm(13, 11, 4), src(9, 7, 4);
    ASSERT_EQ(bm.getRowSpan(), 16);
    rtest::Rng rng(77);
    rtest::fillNoise(&src, rng);
    const int big = INT_MAX / 2;
    const int coords[] = {-big, -40, -3, 0, 5, 12, 13, 40, big};
    const float alphas[] = {1.0f, 0.5f, 0.37f, -1.0f, 1e30f, std::nanf("")};
    const int modes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10003, 0x10100, 0xf7};
    for (int mode : modes)
        for (float alpha : alphas)
            for (int c : coords) {
                rtest::fillSolid(&bm, 0x40404040);
                setCanaries(bm);
                const float f = (float)c;
                LICE_Blit(&bm, &src, c, -c / 2, nullptr, alpha, mode);
                LICE_Blit(&bm, &src, 2, 2, c, c, big, big, alpha, mode);
                LICE_ScaledBlit(&bm, &src, c, 1, 30, -25, f, 0.5f, 7.5f, 9.0f, alpha, mode);
                LICE_ScaledBlit(&bm, &src, -5, c, -40, 40, 0, f, 9, 7, alpha, mode);
                LICE_RotatedBlit(&bm, &src, c, 0, 20, 20, 0, 0, 9, 7, f, c & 1, alpha, mode, f,
                                 1.0f);
                LICE_FillRect(&bm, c, -c, big, 7, 0xff00ff00, alpha, mode);
                LICE_ClearRect(&bm, c, c, big, big, 0x00ffffff, 0x01000000);
                LICE_PutPixel(&bm, c, 3, 0xffffffff, alpha, mode);
                LICE_Blur(&bm, &bm, c, 1, 0, 0, big, big);
                LICE_GradRect(&bm, c, 0, 30, 30, 0.5f, 0.5f, 0.5f, alpha, f, 1, 1, 1, 1, f, 1, 1,
                              mode);
                LICE_MultiplyAddRect(&bm, c, c, 40, 40, alpha, 2, 1, 1, f, 0, 0, 0);
                LICE_Line(&bm, c, -c, 12 - c, c, 0xffffffff, alpha, mode, true);
                LICE_Line(&bm, -c, c, c, 5, 0xffffffff, alpha, mode, false);
                LICE_DrawRect(&bm, c, c, big, 3, 0xffffffff, alpha, mode);
                LICE_Circle(&bm, f, 5, 9.5f, 0xffffffff, alpha, mode, c & 1);
                LICE_Circle(&bm, 6, 5, 2.5f, 0xffffffff, alpha, mode, true);
                LICE_Circle(&bm, 6, 5, 0.4f, 0xffffffff, alpha, mode, true);
                LICE_FillCircle(&bm, 6, 5, 0.4f, 0xffffffff, alpha, mode, true);
                LICE_FillCircle(&bm, 6, f, 30, 0xffffffff, alpha, mode, c & 1);
                LICE_Arc(&bm, 6, 5, 8, f, f * 2, 0xffffffff, alpha, mode, true);
                LICE_RoundRect(&bm, f, 1, 20, 9, 5, 0xffffffff, alpha, mode, c & 1);
                LICE_FillTrapezoid(&bm, c, -c, -3, 0, c, 14, 0xffffffff, alpha, mode);
                LICE_FillTriangle(&bm, c, 0, 12, c, -c, 10, 0xffffffff, alpha, mode);
                const int xs[] = {c, 20, 3, -c}, ys[] = {-5, c, 40, 2};
                LICE_FillConvexPolygon(&bm, xs, ys, 4, 0xffffffff, alpha, mode);
                const unsigned char glyph[12] = {255, 128, 1, 0, 9, 200, 255, 255, 3, 4, 5, 6};
                LICE_DrawGlyph(&bm, c, c / 3, 0xffffffff, glyph, 4, 3, alpha, mode);
                LICE_SimpleFill(&bm, 12, 10, 0x12345678);
                LICE_BorderedRect(&bm, c, -c, 30, big, 0xff00ff00, 0xffff0000, alpha, mode);
                LICE_FLine(&bm, f, -f, 3.5f, f * 0.5f, 0xffffffff, alpha, mode, c & 1);
                LICE_DashedLine(&bm, c, 2, -c, 9, 2, 3, 0xffffffff, alpha, mode, true);
                LICE_DrawCBezier(&bm, f, 0, 40, f, -f, 30, 5, f, 0xffffffff, alpha, mode, true,
                                 0.2);
                ASSERT_EQ(brokenCanaries(bm), 0)
                    << "mode " << mode << " alpha " << alpha << " coordinate " << c;
            }
}

} // namespace
