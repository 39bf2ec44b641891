// Straight blits against a slow reference that maps every source pixel on its own.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using rtest::pixelAt;

std::unique_ptr<LICE_MemBitmap> makeBitmap(int w, int h, bool flipped) {
    if (flipped) return std::make_unique<rtest::FlippedBitmap>(w, h);
    return std::make_unique<LICE_MemBitmap>(w, h, 4);
}

// Source pixel (u, v) of the rectangle lands at (dstx + u - left, dsty + v - top).
void referenceBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT& r,
                   float alpha, int mode) {
    for (int v = std::max(r.top, 0); v < std::min(r.bottom, src->getHeight()); ++v)
        for (int u = std::max(r.left, 0); u < std::min(r.right, src->getWidth()); ++u) {
            const long long X = (long long)dstx + u - r.left, Y = (long long)dsty + v - r.top;
            if (X < 0 || Y < 0 || X >= dest->getWidth() || Y >= dest->getHeight()) continue;
            LICE_pixel* d = pixelAt(dest, (int)X, (int)Y);
            const LICE_pixel s = *pixelAt(src, u, v);
            if ((mode & 0xf0) == 0xf0) {
                ((unsigned char*)d)[(mode >> 2) & 3] = ((const unsigned char*)&s)[mode & 3];
            } else if ((mode & 0x100ff) == 0 && alpha == 1.0f) {
                *d = s;
            } else if ((mode & 0x100ff) == 0 && alpha == 0.5f) {
                *d = ((s >> 1) & 0x7f7f7f7f) + ((*d >> 1) & 0x7f7f7f7f);
            } else {
                *d = LICE_CombinePixels(*d, s, alpha, mode);
            }
        }
}

TEST(Blit, MatchesReferenceOnRandomRectangles) {
    rtest::Rng rng(7);
    const float alphas[] = {1.0f, 0.5f, 0.999f, 0.25f, 0.3f, -0.2f, 1.3f};
    const int modes[] = {0,       1,       2,       3,    4,    5,    0x10000, 0x10001, 0x10002,
                         0x10003, 0x10004, 0x10005, 0xf3, 0xf4, 0xfe, 6,       0x100,   0x10100};
    for (int iter = 0; iter < 1500; ++iter) {
        auto src = makeBitmap(rng.range(1, 23), rng.range(1, 19), rng.next() & 1);
        auto d1 = makeBitmap(rng.range(1, 21), rng.range(1, 17), rng.next() & 1);
        auto d2 = makeBitmap(d1->getWidth(), d1->getHeight(), d1->isFlipped());
        rtest::fillNoise(src.get(), rng);
        rtest::fillNoise(d1.get(), rng);
        LICE_Copy(d2.get(), d1.get());
        RECT r;
        r.left = rng.range(-12, 25), r.top = rng.range(-12, 22);
        r.right = r.left + rng.range(-3, 30), r.bottom = r.top + rng.range(-3, 30);
        const int dx = rng.range(-25, 25), dy = rng.range(-25, 25);
        const float alpha = alphas[rng.next() % 7];
        const int mode = modes[rng.next() % (sizeof(modes) / sizeof(modes[0]))];
        LICE_Blit(d1.get(), src.get(), dx, dy, &r, alpha, mode);
        referenceBlit(d2.get(), src.get(), dx, dy, r, alpha, mode);
        ASSERT_EQ(LICE_BitmapCmp(d1.get(), d2.get()), 0)
            << "iter " << iter << " rect " << r.left << "," << r.top << "," << r.right << ","
            << r.bottom << " at " << dx << "," << dy << " alpha " << alpha << " mode " << mode;
    }
}

TEST(Blit, NegativeSourceRectangleMovesTheDrawing) {
    LICE_MemBitmap src(10, 10, 4), dest(20, 20, 4);
    rtest::Rng rng(3);
    rtest::fillNoise(&src, rng);
    rtest::fillSolid(&dest, 0);
    const RECT r = {-5, -5, 10, 10};
    LICE_Blit(&dest, &src, 0, 0, &r, 1.0f, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 5 && y >= 5 && x < 15 && y < 15;
            ASSERT_EQ(*pixelAt(&dest, x, y), in ? *pixelAt(&src, x - 5, y - 5) : 0u) << x << y;
        }
}

TEST(Blit, ExactCopyVersusWeight255) {
    LICE_MemBitmap src(4, 1, 4), dest(4, 1, 4);
    const LICE_pixel s[4] = {0x00ffffff, 0x80102030, 0xff000000, 0x01020304};
    for (int i = 0; i < 4; ++i)
        src.getBits()[i] = s[i], dest.getBits()[i] = ~s[i];
    LICE_Blit(&dest, &src, 0, 0, nullptr, 1.0f, 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(dest.getBits()[i], s[i]); // alpha included
    for (int i = 0; i < 4; ++i)
        dest.getBits()[i] = 0xffffffff;
    LICE_Blit(&dest, &src, 0, 0, nullptr, 0.999f, 0);
    // Weight 255: D' = S + (D - S) / 256, truncated toward zero: exact S for every byte.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(dest.getBits()[i], s[i]);
    for (int i = 0; i < 4; ++i)
        dest.getBits()[i] = 0x00000000;
    LICE_Blit(&dest, &src, 0, 0, nullptr, 0.9f, 0); // weight 230
    EXPECT_EQ(dest.getBits()[0], LICE_CombinePixels(0, s[0], 0.9f, 0));
    EXPECT_NE(dest.getBits()[0], s[0]);
}

TEST(Blit, ChannelCopyTouchesOneByte) {
    LICE_MemBitmap src(3, 2, 4), dest(3, 2, 4);
    rtest::Rng rng(11);
    rtest::fillNoise(&src, rng);
    rtest::fillNoise(&dest, rng);
    LICE_MemBitmap before(3, 2, 4);
    LICE_Copy(&before, &dest);
    LICE_Blit(&dest, &src, 0, 0, nullptr, 0.1f, LICE_COMBINE_CHANNEL(3, 0)); // alpha into blue
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const LICE_pixel s = *pixelAt(&src, x, y), b = *pixelAt(&before, x, y);
            EXPECT_EQ(*pixelAt(&dest, x, y), (b & 0xffffff00u) | (s >> 24));
        }
}

TEST(Blit, NullAndEmptyDoNothing) {
    LICE_MemBitmap src(4, 4, 4), dest(4, 4, 4), empty(0, 0, 4);
    rtest::fillSolid(&src, 0xffffffff);
    rtest::fillSolid(&dest, 0x12345678);
    LICE_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
    LICE_Blit(&dest, nullptr, 0, 0, nullptr, 1.0f, 0);
    LICE_Blit(&dest, &empty, 0, 0, nullptr, 1.0f, 0);
    LICE_Blit(&empty, &src, 0, 0, nullptr, 1.0f, 0);
    LICE_Blit(&dest, &src, 0, 0, nullptr, 0.0f, 0);
    LICE_Blit(&dest, &src, 0x7fffffff, 0x7fffffff, 0, 0, 0x7fffffff, 0x7fffffff, 1.0f, 0);
    LICE_Blit(&dest, &src, -0x7fffffff, 0, -0x7fffffff, 0, 0x7fffffff, 5, 1.0f, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(*pixelAt(&dest, x, y), 0x12345678u);
}

TEST(Blit, CopyResizesAndCopiesVerbatim) {
    LICE_MemBitmap src(7, 3, 4), dest(1, 1, 4);
    rtest::Rng rng(5);
    rtest::fillNoise(&src, rng);
    LICE_Copy(&dest, &src);
    EXPECT_EQ(dest.getWidth(), 7);
    EXPECT_EQ(LICE_BitmapCmp(&dest, &src), 0);
    rtest::FlippedBitmap fl(2, 2);
    LICE_Copy(&fl, &src);
    EXPECT_EQ(LICE_BitmapCmp(&fl, &src), 0);
}

// Per channel: centre / 2 plus the neighbours / 8, a missing neighbour's share going to the
// opposite one; all low bits dropped channel by channel.
LICE_pixel blurRef(LICE_IBitmap* s, int x, int y, int w, int h) {
    LICE_pixel out = 0;
    for (int sh = 0; sh < 32; sh += 8) {
        const auto c = [&](int xx, int yy) { return (int)((*pixelAt(s, xx, yy) >> sh) & 255); };
        int v = c(x, y) / 2;
        if (x == 0)
            v += c(x + 1, y) / 4;
        else if (x == w - 1)
            v += c(x - 1, y) / 4;
        else
            v += c(x - 1, y) / 8 + c(x + 1, y) / 8;
        if (y == 0)
            v += c(x, y + 1) / 4;
        else if (y == h - 1)
            v += c(x, y - 1) / 4;
        else
            v += c(x, y - 1) / 8 + c(x, y + 1) / 8;
        out |= (LICE_pixel)v << sh;
    }
    return out;
}

TEST(Blur, MatchesPerChannelReferenceAndWorksInPlace) {
    rtest::Rng rng(9);
    LICE_MemBitmap src(13, 9, 4), dest(13, 9, 4);
    rtest::fillNoise(&src, rng);
    rtest::fillSolid(&dest, 0);
    LICE_Blur(&dest, &src, 0, 0, 0, 0, 13, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(*pixelAt(&dest, x, y), blurRef(&src, x, y, 13, 9)) << x << "," << y;

    rtest::FlippedBitmap inplace(13, 9);
    LICE_Copy(&inplace, &src);
    LICE_Blur(&inplace, &inplace, 0, 0, 0, 0, 13, 9);
    EXPECT_EQ(LICE_BitmapCmp(&inplace, &dest), 0);

    // A single row or column is left alone.
    LICE_MemBitmap thin(5, 1, 4);
    rtest::fillNoise(&thin, rng);
    LICE_MemBitmap copy(5, 1, 4);
    LICE_Copy(&copy, &thin);
    LICE_Blur(&thin, &thin, 0, 0, 0, 0, 5, 1);
    EXPECT_EQ(LICE_BitmapCmp(&thin, &copy), 0);
}

} // namespace
