// The four-pixel bilinear and box rows against the scalar sample and a plain division, and the
// filtered scaled blit end to end against a slow walk written from the sampling rules.
#include "raster/lice.h"
#include "raster/lice_sample_p.h"
#include "raster/lice_simd_scale_p.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using rtest::pixelAt;

#if LICE_HAVE_SSE2

TEST(ScaleRows, BilinearRowMatchesTheScalarSample) {
    using namespace lice_detail;
    rtest::Rng rng(17);
    for (int iter = 0; iter < 400; ++iter) {
        const int W = rng.range(1, 40);
        std::vector<LICE_pixel> r0(W), r1(W);
        for (int i = 0; i < W; ++i)
            r0[i] = rng.next(), r1[i] = iter % 5 ? rng.next() : r0[i] ^ 0xffffffffu;
        const bool lastRow = iter % 3 == 0;
        const int X0 = rng.range(0, W - 1), X1 = rng.range(X0, W - 1);
        const int n = rng.range(1, 30);
        std::vector<int> X(n);
        std::vector<unsigned short> fx(n);
        const unsigned short edges[] = {0, 1, 0x7fff, 0x8000, 0xffff};
        for (int i = 0; i < n; ++i) {
            X[i] = rng.range(X0, X1);
            fx[i] = rng.next() % 3 ? (unsigned short)rng.next() : edges[rng.next() % 5];
        }
        const unsigned int fy = iter % 4 ? rng.next() & 0xffff : edges[iter % 5];
        std::vector<unsigned long long> words(4 * (X1 - X0 + 1));
        __m128i* tab = (__m128i*)words.data();
        bilinearTable(tab, r0.data(), lastRow ? r0.data() : r1.data(), X0, X1, W);
        std::vector<LICE_pixel> got(n);
        bilinearRow(got.data(), tab, X0, X.data(), fx.data(), n, fy);
        for (int i = 0; i < n; ++i) {
            const LICE_pixel want = bilinearAt(r0.data(), lastRow ? nullptr : r1.data(), X[i],
                                               X[i] == W - 1, fx[i], fy);
            ASSERT_EQ(got[i], want)
                << "iteration " << iter << " column " << X[i] << " fx " << fx[i] << " fy " << fy;
        }
    }
}

TEST(ScaleRows, BoxDivisorsAreExact) {
    using namespace lice_detail;
    for (int c = 2; c <= 25; ++c) {
        const BoxDivisor d = kBoxDivisors[c];
        for (unsigned int v = 0; v <= 255u * c; ++v)
            ASSERT_EQ((v * d.m) >> (16 + d.s), v / c) << v << " / " << c;
    }
}

TEST(ScaleRows, HalvingDivisorsNeedNoShift) {
    for (int c : {3, 6, 9})
        EXPECT_EQ(lice_detail::kBoxDivisors[c].s, 0) << c;
}

TEST(ScaleRows, BoxRowMatchesPlainSums) {
    using namespace lice_detail;
    rtest::Rng rng(23);
    for (int iter = 0; iter < 300; ++iter) {
        const int W = rng.range(5, 40), nrows = rng.range(1, 5), n = iter & 1 ? 5 : 3;
        std::vector<std::vector<LICE_pixel>> src(nrows, std::vector<LICE_pixel>(W));
        const LICE_pixel* rows[5];
        for (int r = 0; r < nrows; ++r) {
            for (LICE_pixel& p : src[r])
                p = iter % 7 ? rng.next() : 0xffffffffu;
            rows[r] = src[r].data();
        }
        const int X0 = rng.range(0, W - n), X1 = rng.range(X0 + n - 1, W - 1);
        std::vector<unsigned short> sums(4 * (X1 - X0 + 1));
        boxColumnSums(sums.data(), rows, nrows, X0, X1);
        const int count = rng.range(1, 13);
        std::vector<int> cx(count);
        for (int& c : cx)
            c = rng.range(X0 + n / 2, X1 - n / 2);
        std::vector<LICE_pixel> got(count);
        boxRow(got.data(), sums.data(), X0, cx.data(), count, n, nrows * n);
        for (int i = 0; i < count; ++i)
            for (int ch = 0; ch < 4; ++ch) {
                int t = 0;
                for (int r = 0; r < nrows; ++r)
                    for (int x = cx[i] - n / 2; x <= cx[i] + n / 2; ++x)
                        t += (src[r][x] >> (8 * ch)) & 255;
                ASSERT_EQ((int)((got[i] >> (8 * ch)) & 255), t / (nrows * n))
                    << "iteration " << iter << " pixel " << i << " channel " << ch;
            }
    }
}

// The halving row reads nothing at or past W (rows sized W exactly) and writes whole fours.
TEST(ScaleRows, HalvingRowMatchesPlainSums) {
    using namespace lice_detail;
    rtest::Rng rng(29);
    for (int iter = 0; iter < 300; ++iter) {
        const int W = rng.range(3, 60), nrows = rng.range(1, 3);
        std::vector<std::vector<LICE_pixel>> src(nrows, std::vector<LICE_pixel>(W));
        const LICE_pixel* rows[3];
        for (int r = 0; r < nrows; ++r) {
            for (LICE_pixel& p : src[r])
                p = iter % 7 ? rng.next() : 0xffffffffu;
            rows[r] = src[r].data();
        }
        const int c = rng.range(1, W - 2), count = rng.range(1, (W - 1 - c) / 2 + 1);
        std::vector<LICE_pixel> got(count, 0x5a5a5a5au);
        const int done = boxRowHalving(got.data(), rows, nrows, c, count, W);
        ASSERT_TRUE(done % 4 == 0 && done <= count) << done;
        if (count >= 4 && c + 2 * 3 + 3 <= W - 1) {
            EXPECT_GT(done, 0) << "W " << W << " c " << c;
        }
        for (int i = 0; i < count; ++i) {
            if (i >= done) {
                EXPECT_EQ(got[i], 0x5a5a5a5au);
                continue;
            }
            for (int ch = 0; ch < 4; ++ch) {
                int t = 0;
                for (int r = 0; r < nrows; ++r)
                    for (int x = c + 2 * i - 1; x <= c + 2 * i + 1; ++x)
                        t += (src[r][x] >> (8 * ch)) & 255;
                ASSERT_EQ((int)((got[i] >> (8 * ch)) & 255), t / (nrows * 3))
                    << "iteration " << iter << " pixel " << i << " channel " << ch;
            }
        }
    }
}

#endif

// The filtered scaled blit of a source area inside the source onto an area inside the
// destination, sampled one pixel at a time from the stated rules.
void slowFilteredBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dx, int dy, int dw, int dh,
                      float sx, float sy, float sw, float sh, float alpha, int mode) {
    const double xstep = (float)(sw / (float)dw), ystep = (float)(sh / (float)dh);
    const long long ix = (long long)std::floor(xstep * 65536),
                    iy = (long long)std::floor(ystep * 65536);
    const long long left = (long long)std::floor(sx), top = (long long)std::floor(sy);
    const int right = std::min(src->getWidth(), (int)(sw + sx + 0.999999));
    const int bottom = std::min(src->getHeight(), (int)(sh + sy + 0.999999));
    const int W = right - (int)left, H = bottom - (int)top;
    const bool box = xstep >= 1.7 && ystep >= 1.7;
    const int n = std::max(ix, iy) > 0x30000 ? 5 : 3;
    const int w = (int)(alpha * 256.0);
    const auto px = [&](long long x, long long y) {
        return *pixelAt(src, (int)(x + left), (int)(y + top));
    };
    const auto ch = [](LICE_pixel p, int c) { return (long long)((p >> (8 * c)) & 255); };
    for (int j = 0; j < dh; ++j)
        for (int i = 0; i < dw; ++i) {
            const long long x = (long long)std::floor(sx * 65536.0) - left * 65536 + i * ix;
            const long long y = (long long)std::floor(sy * 65536.0) - top * 65536 + j * iy;
            const long long X = x >> 16, Y = y >> 16;
            if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
            long long v[4];
            if (box) {
                long long sum[4] = {0, 0, 0, 0}, cells = 0;
                for (long long yy = Y - n / 2; yy <= Y + n / 2; ++yy)
                    for (long long xx = X - n / 2; xx <= X + n / 2; ++xx) {
                        if (xx < 0 || yy < 0 || xx >= W || yy >= H) continue;
                        ++cells;
                        for (int c = 0; c < 4; ++c)
                            sum[c] += ch(px(xx, yy), c);
                    }
                for (int c = 0; c < 4; ++c)
                    v[c] = sum[c] / cells;
            } else {
                const long long fx = x & 0xffff, fy = y & 0xffff;
                const long long X1 = X + 1 < W ? X + 1 : X, Y1 = Y + 1 < H ? Y + 1 : Y;
                const long long w11 = (fx * fy) >> 16;
                for (int c = 0; c < 4; ++c)
                    v[c] =
                        (ch(px(X, Y), c) * (65536 - fx - fy + w11) + ch(px(X1, Y), c) * (fx - w11) +
                         ch(px(X, Y1), c) * (fy - w11) + ch(px(X1, Y1), c) * w11) >>
                        16;
            }
            LICE_pixel* p = pixelAt(dest, dx + i, dy + j);
            const LICE_pixel s = (LICE_pixel)(v[0] | v[1] << 8 | v[2] << 16 | v[3] << 24);
            if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_ADD)
                _LICE_CombinePixelsAdd::doPix((LICE_pixel_chan*)p, (int)v[2], (int)v[1], (int)v[0],
                                              (int)v[3], w);
            else if (w == 256)
                *p = s;
            else
                _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)p, (int)v[2], (int)v[1],
                                                      (int)v[0], (int)v[3], w);
        }
}

TEST(ScaledBlit, FilteredMatchesTheSlowWalk) {
    rtest::Rng rng(41);
    for (int iter = 0; iter < 300; ++iter) {
        const int SW = rng.range(1, 70), SH = rng.range(1, 50);
        rtest::FlippedBitmap fsrc(SW, SH);
        LICE_MemBitmap msrc(SW, SH, 4);
        LICE_IBitmap* src = iter % 4 == 1 ? (LICE_IBitmap*)&fsrc : &msrc;
        rtest::fillNoise(src, rng);
        // A source area inside the source, a destination area inside the destination.
        const float sx = rng.range(0, (SW - 1) * 4) / 4.0f, sy = rng.range(0, (SH - 1) * 4) / 4.0f;
        const float sw = std::max(0.25f, rng.range(1, (int)((SW - sx) * 8)) / 8.0f);
        const float sh = std::max(0.25f, rng.range(1, (int)((SH - sy) * 8)) / 8.0f);
        const int dw = rng.range(1, 45), dh = rng.range(1, 45);
        if (std::fabs(sw - dw) < 0.001 && std::fabs(sh - dh) < 0.001) continue;
        const float alpha = iter % 3 ? 1.0f : 0.7f;
        const int mode = LICE_COMBINE_FILTER_BILINEAR | (iter % 5 == 0 ? LICE_COMBINE_ADD : 0);
        LICE_MemBitmap a(48, 48, 4), b(48, 48, 4);
        rtest::fillNoise(&a, rng);
        LICE_Copy(&b, &a);
        const int dx = rng.range(0, 48 - dw), dy = rng.range(0, 48 - dh);
        LICE_ScaledBlit(&a, src, dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode);
        slowFilteredBlit(&b, src, dx, dy, dw, dh, sx, sy, sw, sh, alpha, mode);
        ASSERT_EQ(LICE_BitmapCmp(&a, &b), 0)
            << "iteration " << iter << ": " << SW << "x" << SH << " (" << sx << "," << sy << " "
            << sw << "x" << sh << ") onto " << dw << "x" << dh;
    }
}

// Exact halvings (the boxes' centres two columns apart) from areas at whole and fractional
// offsets, copied and weighted.
TEST(ScaledBlit, HalvingMatchesTheSlowWalk) {
    rtest::Rng rng(43);
    for (int iter = 0; iter < 120; ++iter) {
        const int dw = rng.range(1, 40), dh = rng.range(1, 40);
        const int SW = 2 * dw + rng.range(0, 6), SH = 2 * dh + rng.range(0, 6);
        LICE_MemBitmap src(SW, SH, 4);
        rtest::fillNoise(&src, rng);
        const float sx = rng.range(0, (SW - 2 * dw) * 2) / 2.0f;
        const float sy = rng.range(0, (SH - 2 * dh) * 2) / 2.0f;
        const float alpha = iter % 3 ? 1.0f : 0.7f;
        LICE_MemBitmap a(48, 48, 4), b(48, 48, 4);
        rtest::fillNoise(&a, rng);
        LICE_Copy(&b, &a);
        const int dx = rng.range(0, 48 - dw), dy = rng.range(0, 48 - dh);
        LICE_ScaledBlit(&a, &src, dx, dy, dw, dh, sx, sy, 2.0f * dw, 2.0f * dh, alpha,
                        LICE_COMBINE_FILTER_BILINEAR);
        slowFilteredBlit(&b, &src, dx, dy, dw, dh, sx, sy, 2.0f * dw, 2.0f * dh, alpha,
                         LICE_COMBINE_FILTER_BILINEAR);
        ASSERT_EQ(LICE_BitmapCmp(&a, &b), 0)
            << "iteration " << iter << ": " << SW << "x" << SH << " (" << sx << "," << sy
            << ") onto " << dw << "x" << dh;
    }
}

} // namespace
