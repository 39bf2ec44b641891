// Every primitive, fed coordinates far outside the bitmap and absurd alphas, writes only the
// visible pixels: the row padding beyond the width keeps its canary, and the sanitizer build
// checks that nothing outside the block is touched and no arithmetic overflows.
#include "raster/lice.h"
#include "tests/raster/raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

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
                LICE_FillCBezier(&bm, f, 0, 40, f, -f, 30, 5, f, c, 0xffffffff, alpha, mode, c & 1);
                LICE_FillCBezierX(&bm, 3, f, f, 40, 30, -f, f, 5, -c, 0xffffffff, alpha, mode,
                                  c & 1);
                const unsigned char mono[6] = {0xff, 0xa5, 0x3c, 0x81, 0xff, 0x7e};
                LICE_DrawMonoGlyph(&bm, c, -c / 4, 0xffffffff, mono, 11, 3, alpha, mode);
                LICE_DeltaBlit(&bm, &src, c, -c, big, 20, f, 1, 9, 7, 0.7, f, -0.3, 1.1, 0.01,
                               -0.02, c & 1, alpha, mode);
                LICE_DeltaBlitAlpha(&bm, &src, -c, c, 20, big, 2, f, 9, 7, f, 1, 1, -f, f, 0.5,
                                    c & 1, alpha, mode, 0.01, -f, 0.001);
                const double mesh[] = {0, 0, f, 9, 0, 1, 0, 7, 1, 9, 7, 0.5};
                LICE_TransformBlit2Alpha(&bm, &src, c, c, 20, 15, mesh, 2, 2, mode);
                const float fmesh[] = {f, 0, 9, f, 0, 7, 9, 7, 4, 4, -f, 3};
                LICE_TransformBlit(&bm, &src, -c, 2, big, 30, fmesh, 3, 2, alpha, mode);
                ASSERT_EQ(brokenCanaries(bm), 0)
                    << "mode " << mode << " alpha " << alpha << " coordinate " << c;
            }
}

// A bitmap inside a larger block: guard rows above and below, guard columns on both sides of
// every row, all holding a canary that no drawing may change.
class Guarded : public LICE_IBitmap {
public:
    static const int kRows = 6, kCols = 5;
    Guarded(int w, int h, bool flipped)
        : w_(w), h_(h), span_(w + 2 * kCols), flipped_(flipped),
          block_((size_t)span_ * (h + 2 * kRows), kCanary) {}
    LICE_pixel* getBits() override { return block_.data() + (size_t)kRows * span_ + kCols; }
    int getWidth() override { return w_; }
    int getHeight() override { return h_; }
    int getRowSpan() override { return span_; }
    bool isFlipped() override { return flipped_; }
    bool resize(int, int) override { return false; }
    bool touched() const {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (block_[(size_t)(y + kRows) * span_ + x + kCols] != kCanary) return true;
        return false;
    }
    int brokenGuards() const {
        int n = 0;
        for (int y = 0; y < h_ + 2 * kRows; ++y)
            for (int x = 0; x < span_; ++x) {
                const bool visible = y >= kRows && y < kRows + h_ && x >= kCols && x < kCols + w_;
                n += !visible && block_[(size_t)y * span_ + x] != kCanary;
            }
        return n;
    }

private:
    int w_, h_, span_;
    bool flipped_;
    std::vector<LICE_pixel> block_;
};

TEST(Bounds, RandomArgumentsStayInsideTheGuards) {
    rtest::Rng rng(1234);
    LICE_MemBitmap src(11, 9, 4);
    rtest::fillNoise(&src, rng);
    // Mostly near the bitmap, sometimes anywhere.
    const auto coord = [&]() {
        const unsigned r = rng.next();
        if (r % 8 == 0) return (int)rng.next();
        return rng.range(-30, 40);
    };
    const auto real = [&]() {
        const unsigned r = rng.next();
        if (r % 16 == 0) return (double)(int)rng.next() * 1e3;
        return rng.range(-300, 1300) / 97.0;
    };
    const auto mode = [&]() {
        const int ops[] = {0, 1, 2, 3, 4, 5, 7};
        return ops[rng.next() % 7] | (rng.next() & 1 ? LICE_COMBINE_FILTER_BILINEAR : 0) |
               (rng.next() & 1 ? LICE_COMBINE_USE_SOURCE_ALPHA : 0);
    };
    int drawn = 0;
    const int kIterations = 20000;
    for (int iter = 0; iter < kIterations; ++iter) {
        Guarded bm(rng.range(1, 23), rng.range(1, 17), iter & 1);
        const float alpha = (float)(rng.range(-300, 1200) / 1000.0);
        const int kind = iter % 6;
        double d[12];
        for (double& v : d)
            v = real();
        float fd[12];
        for (int i = 0; i < 12; ++i)
            fd[i] = (float)d[i];
        const int x = rng.next() % 8 ? rng.range(-15, 20) : coord();
        const int y = rng.next() % 8 ? rng.range(-15, 15) : coord();
        const int w = rng.next() % 8 ? rng.range(-3, 40) : coord();
        const int h = rng.next() % 8 ? rng.range(-3, 30) : coord();
        const int divw = rng.range(2, 4), divh = rng.range(2, 3);
        std::vector<double> mesh(divw * divh * 3);
        for (double& v : mesh)
            v = rng.range(-200, 1400) / 97.0;
        std::vector<float> fmesh(mesh.begin(), mesh.end());
        switch (kind) {
        case 0:
            LICE_DeltaBlit(&bm, &src, x, y, w, h, fd[0], fd[1], fd[2], fd[3], d[4] / 5 - 1,
                           d[5] / 5 - 1, d[6] / 5 - 1, d[7] / 5 - 1, d[8] / 64, d[9] / 64,
                           rng.next() & 1, alpha, mode());
            break;
        case 1:
            LICE_DeltaBlitAlpha(&bm, &src, x, y, w, h, fd[0], fd[1], fd[2], fd[3], d[4] / 5 - 1,
                                d[5] / 5 - 1, d[6] / 5 - 1, d[7] / 5 - 1, d[8] / 64, d[9] / 64,
                                rng.next() & 1, alpha, mode(), d[10] / 50, d[11] / 50, d[0] / 500);
            break;
        case 2:
            LICE_TransformBlit(&bm, &src, x, y, w, h, fmesh.data(), divw * 3 / 2, divh, alpha,
                               mode());
            break;
        case 3:
            LICE_TransformBlit2Alpha(&bm, &src, x, y, w, h, mesh.data(), divw, divh, mode());
            break;
        case 4:
            if (rng.next() & 1)
                LICE_FillCBezier(&bm, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], coord(),
                                 rng.next(), alpha, mode(), rng.next() & 1, d[8] / 10);
            else
                LICE_FillCBezierX(&bm, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], coord(),
                                  rng.next(), alpha, mode(), rng.next() & 1, d[8] / 10);
            break;
        default: {
            unsigned char bits[64];
            for (unsigned char& b : bits)
                b = (unsigned char)rng.next();
            LICE_DrawMonoGlyph(&bm, x, y, rng.next(), bits, rng.range(1, 40), rng.range(1, 12),
                               alpha, mode());
            break;
        }
        }
        ASSERT_EQ(bm.brokenGuards(), 0) << "iteration " << iter << " kind " << kind;
        drawn += bm.touched();
    }
    // The arguments reach the drawing code, not only the early returns.
    EXPECT_GT(drawn, kIterations / 8);
}

} // namespace
