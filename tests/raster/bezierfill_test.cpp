// Filled Beziers against the exact curve (a point on it found by bisection, the area by
// Simpson's rule), and 1-bit glyphs against their bits.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using rtest::pixelAt;

struct Cubic {
    double c[8];
    double at(int k, double t) const {
        const double u = 1 - t;
        return u * u * u * c[k] + 3 * u * u * t * c[k + 2] + 3 * u * t * t * c[k + 4] +
               t * t * t * c[k + 6];
    }
    // y where the curve (increasing in x) passes x.
    double yAt(double x) const {
        double lo = 0, hi = 1;
        for (int i = 0; i < 60; ++i) {
            const double m = (lo + hi) / 2;
            (at(0, m) < x ? lo : hi) = m;
        }
        return at(1, lo);
    }
};

void fillY(LICE_IBitmap* bm, const Cubic& k, int yfill, LICE_pixel col, float alpha, int mode,
           bool aa, double tol = 0.25) {
    LICE_FillCBezier(bm, k.c[0], k.c[1], k.c[2], k.c[3], k.c[4], k.c[5], k.c[6], k.c[7], yfill, col,
                     alpha, mode, aa, tol);
}

// Curves increasing in x with gentle slopes; the second crosses its fill row.
const Cubic kCurves[] = {{{3.3, 20.2, 14.1, 4.7, 30.6, 30.9, 45.2, 9.4}},
                         {{-6.7, 3.1, 20.3, 38.8, 30.2, -9.6, 58.9, 24.3}}};

TEST(FillCBezier, CoversWhatTheOutlineEncloses) {
    for (const Cubic& k : kCurves)
        for (int yfill : {26, 17, -3}) {
            LICE_MemBitmap bm(52, 32, 4);
            rtest::fillSolid(&bm, 0);
            // Add of one: a pixel written twice would read 2.
            fillY(&bm, k, yfill, 0x01010101, 1.0f, LICE_COMBINE_ADD, false);
            int filled = 0;
            for (int x = 0; x < 52; ++x) {
                const double xc = x + 0.5;
                const bool nearEnd = std::fabs(xc - k.c[0]) < 0.6 || std::fabs(xc - k.c[6]) < 0.6;
                const bool within = xc > k.c[0] && xc < k.c[6];
                const double yc = within ? k.yAt(xc) : 0;
                for (int y = 0; y < 32; ++y) {
                    const LICE_pixel v = *pixelAt(&bm, x, y);
                    ASSERT_TRUE(v == 0 || v == 0x01010101) << x << "," << y << " written twice";
                    const double py = y + 0.5;
                    if (nearEnd || (within && std::fabs(py - yc) < 0.5)) continue;
                    const bool in = within && py > std::min(yc, (double)yfill) &&
                                    py < std::max(yc, (double)yfill);
                    EXPECT_EQ(v != 0, in) << x << "," << y << " fill row " << yfill;
                    filled += in;
                }
            }
            EXPECT_GT(filled, 40);
        }
}

TEST(FillCBezier, ColumnFormIsTheTransposedRowForm) {
    for (const Cubic& k : kCurves)
        for (bool flipped : {false, true}) {
            rtest::FlippedBitmap fa(52, 52);
            LICE_MemBitmap ma(52, 52, 4), b(52, 52, 4);
            LICE_IBitmap* a = flipped ? (LICE_IBitmap*)&fa : &ma;
            rtest::fillSolid(a, 0);
            rtest::fillSolid(&b, 0);
            fillY(a, k, 21, 0xffffffff, 1.0f, 0, false);
            LICE_FillCBezierX(&b, k.c[1], k.c[0], k.c[3], k.c[2], k.c[5], k.c[4], k.c[7], k.c[6],
                              21, 0xffffffff, 1.0f, 0, false);
            for (int y = 0; y < 52; ++y)
                for (int x = 0; x < 52; ++x)
                    ASSERT_EQ(*pixelAt(a, x, y), *pixelAt(&b, y, x)) << x << "," << y;
        }
}

TEST(FillCBezier, AntiAliasedCoverageMatchesTheArea) {
    const Cubic& k = kCurves[0];
    const int yfill = 28;
    LICE_MemBitmap bm(52, 32, 4);
    rtest::fillSolid(&bm, 0);
    fillY(&bm, k, yfill, 0xffffffff, 1.0f, 0, true, 0.02);
    // Exact area between the curve and the row: integral of (yfill - y) dx over t.
    double area = 0;
    const int n = 20000;
    for (int i = 0; i <= n; ++i) {
        const double t = (double)i / n, h = 1e-6;
        const double dx = (k.at(0, std::min(1.0, t + h)) - k.at(0, std::max(0.0, t - h))) /
                          (std::min(1.0, t + h) - std::max(0.0, t - h));
        const double f = (yfill - k.at(1, t)) * dx;
        area += f * (i == 0 || i == n ? 1 : i % 2 ? 4 : 2) / (3.0 * n);
    }
    double covered = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 52; ++x) {
            const LICE_pixel v = *pixelAt(&bm, x, y);
            covered += LICE_GETR(v) / 255.0;
            const double yc = x + 0.5 > k.c[0] + 1 && x + 0.5 < k.c[6] - 1 ? k.yAt(x + 0.5) : -1;
            // Pixels well inside are covered in full and store the colour itself.
            if (yc >= 0 && y > yc + 1.5 && y < yfill - 1) {
                ASSERT_EQ(v, 0xffffffffu) << x << "," << y;
            }
        }
    EXPECT_NEAR(covered, area, area * 0.01);
}

TEST(MonoGlyph, PixelsFollowTheBits) {
    rtest::Rng rng(3);
    const int w = 13, h = 6, rowBytes = 2;
    unsigned char bits[rowBytes * h];
    for (unsigned char& b : bits)
        b = (unsigned char)rng.next();
    const LICE_pixel bg = 0x10203040, col = 0xffa0b0c0;
    const struct {
        float alpha;
        int mode;
        LICE_pixel set;
    } cases[] = {{1.0f, 0, col},
                 {0.5f, 0, ((col >> 1) & 0x7f7f7f7f) + ((bg >> 1) & 0x7f7f7f7f)},
                 {1.0f, LICE_COMBINE_ADD, 0xffc0e0ff}};
    for (const auto& c : cases)
        for (bool flipped : {false, true}) {
            rtest::FlippedBitmap fb(12, 8);
            LICE_MemBitmap mb(12, 8, 4);
            LICE_IBitmap* bm = flipped ? (LICE_IBitmap*)&fb : &mb;
            rtest::fillSolid(bm, bg);
            const int ox = -2, oy = 3;
            LICE_DrawMonoGlyph(bm, ox, oy, col, bits, w, h, c.alpha, c.mode);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 12; ++x) {
                    const int gx = x - ox, gy = y - oy;
                    const bool set = gx >= 0 && gx < w && gy >= 0 && gy < h &&
                                     (bits[gy * rowBytes + gx / 8] >> (7 - gx % 8)) & 1;
                    EXPECT_EQ(*pixelAt(bm, x, y), set ? c.set : bg) << x << "," << y;
                }
        }
}

} // namespace
