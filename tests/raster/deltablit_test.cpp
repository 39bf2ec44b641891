// Derivative-driven blits and mesh warps against the blits they generalise, and against a walk
// that computes every sample position directly instead of accumulating steps.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using rtest::pixelAt;

const int kModes[] = {0,
                      LICE_COMBINE_FILTER_BILINEAR,
                      LICE_COMBINE_USE_SOURCE_ALPHA,
                      LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_FILTER_BILINEAR,
                      LICE_COMBINE_ADD,
                      LICE_COMBINE_MUL | LICE_COMBINE_USE_SOURCE_ALPHA};

// Two copies of one noisy destination, drawn into by the two sides of a comparison.
struct Pair {
    LICE_MemBitmap a, b, orig;
    Pair(int w, int h, rtest::Rng& rng) : a(w, h, 4), b(w, h, 4), orig(w, h, 4) {
        rtest::fillNoise(&orig, rng);
        LICE_Copy(&a, &orig);
        LICE_Copy(&b, &orig);
    }
    void resetB() { LICE_Copy(&b, &orig); }
    // 0 when equal, else the box of the differences as text.
    std::string diff() {
        int box[4];
        if (!LICE_BitmapCmpEx(&a, &b, 0xffffffff, box)) return "";
        return "differ in " + std::to_string(box[2]) + "x" + std::to_string(box[3]) + " at " +
               std::to_string(box[0]) + "," + std::to_string(box[1]);
    }
};

// Source positions of a (divw x divh) grid over a plain scale of (sx, sy, sw, sh).
template <class P>
std::vector<P> scaleMesh(int divw, int divh, double sx, double sy, double sw, double sh) {
    std::vector<P> pts;
    for (int j = 0; j < divh; ++j)
        for (int i = 0; i < divw; ++i) {
            pts.push_back((P)(sx + sw * i / (divw - 1)));
            pts.push_back((P)(sy + sh * j / (divh - 1)));
        }
    return pts;
}

TEST(TransformBlit, PlainScaleMeshIsAScaledBlit) {
    rtest::Rng rng(5);
    LICE_MemBitmap src(24, 16, 4);
    rtest::fillNoise(&src, rng);
    // Scales whose steps are exact in 16.16; the bilinear ones stay below the box filter's 1.7.
    struct Case {
        int dx, dy, dw, dh;
        double sx, sy, sw, sh;
        int div;
    } cases[] = {{3, 2, 48, 32, 0, 0, 24, 16, 2},   {-7, -5, 32, 64, 0, 0, 24, 16, 3},
                 {1, 1, 16, 8, 0, 0, 24, 16, 2},    {0, 4, 12, 40, 2, 3, 9, 10, 2},
                 {-3, 0, 96, 12, 4.5, 1, 24, 3, 5}, {10, 10, 40, 40, 0, 0, 24, 16, 2}};
    for (const Case& c : cases)
        for (int mode : kModes)
            for (float alpha : {1.0f, 0.7f}) {
                const bool filtered = mode & LICE_COMBINE_FILTER_BILINEAR;
                if (filtered && (c.sx != 0 || c.sw / c.dw >= 1.7)) continue;
                Pair p(40, 30, rng);
                LICE_ScaledBlit(&p.a, &src, c.dx, c.dy, c.dw, c.dh, (float)c.sx, (float)c.sy,
                                (float)c.sw, (float)c.sh, alpha, mode);
                const auto pts = scaleMesh<float>(c.div, c.div, c.sx, c.sy, c.sw, c.sh);
                LICE_TransformBlit(&p.b, &src, c.dx, c.dy, c.dw, c.dh, pts.data(), c.div, c.div,
                                   alpha, mode);
                EXPECT_EQ(p.diff(), "") << c.dw << "x" << c.dh << " mode " << mode << " " << alpha;
                // The double form draws the same, and the alpha form with alpha 1 everywhere.
                const auto pts2 = scaleMesh<double>(c.div, c.div, c.sx, c.sy, c.sw, c.sh);
                p.resetB();
                LICE_TransformBlit2(&p.b, &src, c.dx, c.dy, c.dw, c.dh, pts2.data(), c.div, c.div,
                                    alpha, mode);
                EXPECT_EQ(p.diff(), "");
                if (alpha != 1.0f) continue;
                p.resetB();
                std::vector<double> pts3;
                for (size_t i = 0; i < pts2.size(); i += 2)
                    pts3.insert(pts3.end(), {pts2[i], pts2[i + 1], 1.0});
                LICE_TransformBlit2Alpha(&p.b, &src, c.dx, c.dy, c.dw, c.dh, pts3.data(), c.div,
                                         c.div, mode);
                EXPECT_EQ(p.diff(), "");
            }
}

TEST(TransformBlit, CellsTileTheDestinationOnce) {
    // A warped mesh: every destination pixel of the rectangle is written exactly once (add of
    // one), and each grid corner samples its own source point.
    LICE_MemBitmap src(64, 64, 4), dest(50, 40, 4);
    rtest::fillSolid(&src, 0x01010101);
    const int divw = 4, divh = 3;
    std::vector<double> pts;
    for (int j = 0; j < divh; ++j)
        for (int i = 0; i < divw; ++i)
            pts.insert(pts.end(), {8.0 + 14 * i + 3 * j, 5.0 + 20 * j + (i % 2) * 4.5});
    rtest::fillSolid(&dest, 0);
    LICE_TransformBlit2(&dest, &src, 4, 3, 37, 29, pts.data(), divw, divh, 1.0f, LICE_COMBINE_ADD);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool in = x >= 4 && x < 41 && y >= 3 && y < 32;
            ASSERT_EQ(*pixelAt(&dest, x, y), in ? 0x01010101u : 0u) << x << "," << y;
        }
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            *pixelAt(&src, x, y) = LICE_RGBA(x, y, 0, 255);
    LICE_TransformBlit2(&dest, &src, 4, 3, 37, 29, pts.data(), divw, divh, 1.0f, 0);
    for (int j = 0; j + 1 < divh; ++j)
        for (int i = 0; i + 1 < divw; ++i) {
            const double* p = &pts[(j * divw + i) * 2];
            const int x = 4 + 37 * i / (divw - 1), y = 3 + 29 * j / (divh - 1);
            EXPECT_EQ(*pixelAt(&dest, x, y), LICE_RGBA((int)p[0], (int)p[1], 0, 255)) << i << j;
        }
}

TEST(DeltaBlit, ConstantStepsAreTheRotatedBlit) {
    rtest::Rng rng(9);
    LICE_MemBitmap src(20, 14, 4);
    rtest::fillNoise(&src, rng);
    const double pi = 3.14159265358979323846;
    // (angle, destination rectangle, source rectangle): sizes for which the start the rotated
    // blit computes stays within 1/65536 of its single-precision value.
    struct Case {
        double angle;
        int dx, dy, dw, dh;
        float sx, sy, sw, sh;
        bool clip;
    } cases[] = {{0, 2, 1, 30, 21, 2, 1, 15, 10.5f, true},
                 {0, -4, -2, 40, 28, 0, 0, 20, 14, false},
                 {pi / 2, 0, 0, 14, 14, 3, 0, 14, 14, false},
                 {pi, 5, -3, 20, 14, 0.2f, 0.2f, 20, 14, false},
                 {0, 6, 3, 10, 7, 4, 2, 12.5f, 8.75f, true}};
    for (const Case& c : cases)
        for (int mode : kModes)
            for (float alpha : {1.0f, 0.6f}) {
                Pair p(32, 24, rng);
                LICE_RotatedBlit(&p.a, &src, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh,
                                 (float)c.angle, c.clip, alpha, mode);
                const double co = std::cos((double)(float)c.angle),
                             si = std::sin((double)(float)c.angle);
                const double xs = (double)c.sw / c.dw, ys = (double)c.sh / c.dh;
                const double s0 = c.sx - ((c.dh * xs * si + c.dw * xs * co - c.sw) * 0.5);
                const double t0 = c.sy - ((c.dh * ys * co - c.dw * ys * si - c.sh) * 0.5);
                if (c.clip) {
                    // Unrotated, the walk starts at the window's corner as the delta blit's does.
                    ASSERT_TRUE(s0 == c.sx && t0 == c.sy);
                }
                LICE_DeltaBlit(&p.b, &src, c.dx, c.dy, c.dw, c.dh, (float)s0, (float)t0, c.sw, c.sh,
                               xs * co, -ys * si, xs * si, ys * co, 0, 0, c.clip, alpha, mode);
                EXPECT_EQ(p.diff(), "") << "angle " << c.angle << " mode " << mode;
                // With every alpha derivative 0 the alpha form draws the same.
                p.resetB();
                LICE_DeltaBlitAlpha(&p.b, &src, c.dx, c.dy, c.dw, c.dh, (float)s0, (float)t0, c.sw,
                                    c.sh, xs * co, -ys * si, xs * si, ys * co, 0, 0, c.clip, alpha,
                                    mode, 0, 0, 0);
                EXPECT_EQ(p.diff(), "") << "alpha form, angle " << c.angle << " mode " << mode;
            }
}

// The nearest-sample walk with each position computed on its own in 16.16 from the start.
void referenceWalk(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                   double s0, double t0, const double d[6], const double* alpha) {
    const auto fx = [](double v) { return (long long)(v * 65536.0); };
    for (int j = 0; j < dsth; ++j)
        for (int i = 0; i < dstw; ++i) {
            const int x = dstx + i, y = dsty + j;
            if (x < 0 || y < 0 || x >= dest->getWidth() || y >= dest->getHeight()) continue;
            const long long s = fx(s0) + j * fx(d[2]) + i * (fx(d[0]) + j * fx(d[4]));
            const long long t = fx(t0) + j * fx(d[3]) + i * (fx(d[1]) + j * fx(d[5]));
            const long long X = s >> 16, Y = t >> 16;
            if (X < 0 || Y < 0 || X >= src->getWidth() || Y >= src->getHeight()) continue;
            const LICE_pixel c = *pixelAt(src, (int)X, (int)Y);
            int w = 256;
            if (alpha) {
                const long long a = fx(alpha[0] * 256) + j * fx(alpha[2] * 256) +
                                    i * (fx(alpha[1] * 256) + j * fx(alpha[3] * 256));
                w = a < 0 ? 0 : a >> 16 > 256 ? 256 : (int)(a >> 16);
            }
            if (w == 0) continue;
            LICE_pixel_chan* p = (LICE_pixel_chan*)pixelAt(dest, x, y);
            for (int ch = 0; ch < 4; ++ch) {
                const int sv = (c >> (8 * ch)) & 255;
                p[ch] = (LICE_pixel_chan)(sv + ((p[ch] - sv) * (256 - w)) / 256);
            }
        }
}

TEST(DeltaBlit, ChangingStepsFollowTheDirectWalk) {
    rtest::Rng rng(31);
    LICE_MemBitmap src(40, 30, 4);
    for (int iter = 0; iter < 60; ++iter) {
        rtest::fillNoise(&src, rng);
        const bool flipped = iter % 3 == 0;
        rtest::FlippedBitmap fa(36, 28), fb(36, 28);
        LICE_MemBitmap ma(36, 28, 4), mb(36, 28, 4);
        LICE_IBitmap* a = flipped ? (LICE_IBitmap*)&fa : &ma;
        LICE_IBitmap* b = flipped ? (LICE_IBitmap*)&fb : &mb;
        rtest::fillNoise(a, rng);
        LICE_Copy(b, a);
        // Steps in multiples of 1/64: exact in 16.16 however the clipping moves the walk.
        const auto q = [&](int lo, int hi) { return rng.range(lo, hi) / 64.0; };
        const double d[6] = {q(-80, 80), q(-40, 40), q(-40, 40), q(-80, 80), q(-3, 3), q(-3, 3)};
        const double s0 = q(0, 40 * 64), t0 = q(0, 30 * 64);
        const int dx = rng.range(-20, 20), dy = rng.range(-20, 20);
        const int dw = rng.range(1, 50), dh = rng.range(1, 50);
        const bool withAlpha = iter & 1;
        const double al[4] = {q(0, 80), q(-4, 4), q(-4, 4), q(-1, 1)};
        if (withAlpha)
            LICE_DeltaBlitAlpha(a, &src, dx, dy, dw, dh, (float)s0, (float)t0, 0, 0, d[0], d[1],
                                d[2], d[3], d[4], d[5], false, (float)al[0], 0, al[1], al[2],
                                al[3]);
        else
            LICE_DeltaBlit(a, &src, dx, dy, dw, dh, (float)s0, (float)t0, 0, 0, d[0], d[1], d[2],
                           d[3], d[4], d[5], false, 1.0f, 0);
        referenceWalk(b, &src, dx, dy, dw, dh, s0, t0, d, withAlpha ? al : nullptr);
        ASSERT_EQ(LICE_BitmapCmp(a, b), 0) << "iteration " << iter;
    }
}

TEST(DeltaBlit, ClipsToTheSourceRectangle) {
    LICE_MemBitmap src(10, 10, 4), dest(10, 10, 4);
    rtest::fillSolid(&src, 0xffffffff);
    rtest::fillSolid(&dest, 0);
    // Unit steps from (2, 3): the rectangle 4 x 2 is all that is drawn.
    LICE_DeltaBlit(&dest, &src, 0, 0, 10, 10, 2, 3, 4, 2, 1, 0, 0, 1, 0, 0, true, 1.0f, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(*pixelAt(&dest, x, y), x < 4 && y < 2 ? 0xffffffffu : 0u) << x << "," << y;
}

} // namespace
