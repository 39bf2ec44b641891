// Internal helpers shared by the raster algorithms: row addressing, clipping arithmetic and the
// solid-colour pixel writers. Not part of the public interface.
#pragma once

#include "raster/lice_combine.h"

#include <cmath>
#include <cstddef>

namespace lice_detail {

// A run of rows of one bitmap: the first visible row at the top of an area, and the pointer
// step (in pixels) to the row below it, negative for flipped bitmaps.
struct Rows {
    LICE_pixel* ptr;
    int step;
};

// Pixel (x, y) counted from the top and the step to the row below.
inline Rows rowsAt(LICE_IBitmap* bm, int x, int y) {
    const int span = bm->getRowSpan();
    LICE_pixel* bits = bm->getBits();
    if (bm->isFlipped()) return {bits + (ptrdiff_t)(bm->getHeight() - 1 - y) * span + x, -span};
    return {bits + (ptrdiff_t)y * span + x, span};
}

// A double truncated toward zero into a range where later integer arithmetic cannot overflow;
// NaN gives 0.
inline long long toIntSat(double v, double lim = 1099511627776.0 /* 2^40 */) {
    if (!(v == v)) return 0;
    if (v > lim) return (long long)lim;
    if (v < -lim) return -(long long)lim;
    return (long long)v;
}

inline int clampInt(long long v) {
    return v > 0x7fffffff ? 0x7fffffff : v < -0x7fffffff ? -0x7fffffff : (int)v;
}

// Combines the solid colour c into *p with the operation Op at weight w, the colour's channels
// as source (alpha taken from a).
template <class Op>
inline void solidPix(LICE_pixel* p, LICE_pixel c, int a, int w) {
    Op::doPix((LICE_pixel_chan*)p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), a, w);
}

// Shapes address memory rows directly: they mirror y for a flipped bitmap up front.
struct Canvas {
    LICE_pixel* bits;
    int span, w, h;
    LICE_pixel* at(int x, int y) const { return bits + (ptrdiff_t)y * span + x; }
    bool contains(int x, int y) const {
        return (unsigned)x < (unsigned)w && (unsigned)y < (unsigned)h;
    }
};

inline bool canvasOf(LICE_IBitmap* bm, Canvas* c) {
    if (!bm) return false;
    *c = {bm->getBits(), bm->getRowSpan(), bm->getWidth(), bm->getHeight()};
    return c->bits && c->w > 0 && c->h > 0;
}

// Pens write one pixel of a solid colour at a given weight: pen(pixel, weight).
template <class Op>
struct OpPen {
    int r, g, b, a;
    explicit OpPen(LICE_pixel c)
        : r(LICE_GETR(c)), g(LICE_GETG(c)), b(LICE_GETB(c)), a(LICE_GETA(c)) {}
    void operator()(LICE_pixel* p, int w) const { Op::doPix((LICE_pixel_chan*)p, r, g, b, a, w); }
};

// A whole-word operation; the weight is implied by the operation.
template <class Fast>
struct FastPen {
    LICE_pixel c;
    explicit FastPen(LICE_pixel col) : c(col) {}
    void operator()(LICE_pixel* p, int) const { Fast::doPix(p, c); }
};

// Copy with the weight rules of shapes decided per pixel: 256 stores the colour, 128 is the
// exact half mix, other positive weights blend.
struct RulesCopyPen {
    LICE_pixel c;
    explicit RulesCopyPen(LICE_pixel col) : c(col) {}
    void operator()(LICE_pixel* p, int w) const {
        if (w == 256)
            *p = c;
        else if (w == 128)
            solidPix<_LICE_CombinePixelsHalfMixNoClamp>(p, c, LICE_GETA(c), w);
        else if (w > 0)
            solidPix<_LICE_CombinePixelsCopyNoClamp>(p, c, LICE_GETA(c), w);
    }
};

// The operations 1..5 as pens; false for values above 5.
template <class F>
inline bool withOpPen(int mode, LICE_pixel c, F&& f) {
    switch (mode & LICE_COMBINE_MASK) {
    case LICE_COMBINE_ADD:
        f(OpPen<_LICE_CombinePixelsAdd>(c));
        return true;
    case LICE_COMBINE_DIVIDE:
        f(OpPen<_LICE_CombinePixelsColorDodge>(c));
        return true;
    case LICE_COMBINE_MUL:
        f(OpPen<_LICE_CombinePixelsMulNoClamp>(c));
        return true;
    case LICE_COMBINE_OVERLAY:
        f(OpPen<_LICE_CombinePixelsOverlay>(c));
        return true;
    case LICE_COMBINE_HSVADJ:
        f(OpPen<_LICE_CombinePixelsHSVAdjust>(c));
        return true;
    default:
        return false;
    }
}

// The pen of a shape drawn at one fixed weight w.
template <class F>
inline bool withPen(int mode, int w, LICE_pixel c, F&& f) {
    if (w == 0) return false;
    if ((mode & LICE_COMBINE_MASK) != LICE_COMBINE_COPY) return withOpPen(mode, c, f);
    if (w == 256)
        f(FastPen<_LICE_CombinePixelsClobberFAST>(c));
    else if (w == 128)
        f(OpPen<_LICE_CombinePixelsHalfMixNoClamp>(c));
    else if (w > 0)
        f(OpPen<_LICE_CombinePixelsCopyNoClamp>(c));
    else
        return false;
    return true;
}

// withPen, with the whole-word mixes for the weights 64, 128 and 192 (fills).
template <class F>
inline bool withFillPen(int mode, int w, LICE_pixel c, F&& f) {
    if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY) {
        switch (w) {
        case 64:
            f(FastPen<_LICE_CombinePixelsQuarterMix2FAST>(c));
            return true;
        case 128:
            f(FastPen<_LICE_CombinePixelsHalfMix2FAST>(c));
            return true;
        case 192:
            f(FastPen<_LICE_CombinePixelsThreeQuarterMix2FAST>(c));
            return true;
        default:
            break;
        }
    }
    return withPen(mode, w, c, f);
}

// A pen for weights that vary per pixel (anti-aliasing). In copy mode rules=true applies the
// shape weight rules per pixel, rules=false always blends with the copy operation.
template <class F>
inline bool withVarPen(int mode, bool rules, LICE_pixel c, F&& f) {
    if ((mode & LICE_COMBINE_MASK) != LICE_COMBINE_COPY) return withOpPen(mode, c, f);
    if (rules)
        f(RulesCopyPen(c));
    else
        f(OpPen<_LICE_CombinePixelsCopyNoClamp>(c));
    return true;
}

// Flattens the cubic Bezier c (start, control 1, control 2, end as x, y pairs) into n segments
// whose chords stay within tol of the curve: writes the n + 1 points (x, y pairs) and returns
// n, at most kMaxBezierSegments; 0 when a coordinate is not finite or beyond +-1e7.
constexpr int kMaxBezierSegments = 1024;
inline int flattenCBezier(const double c[8], double tol, double* pts) {
    for (int i = 0; i < 8; ++i)
        if (!(std::fabs(c[i]) < 1e7)) return 0;
    if (!(tol > 0.01)) tol = 0.01;
    // The control polygon bounds the second difference of the curve.
    const double ddx = std::fabs(c[0] - 2 * c[2] + c[4]) + std::fabs(c[2] - 2 * c[4] + c[6]);
    const double ddy = std::fabs(c[1] - 2 * c[3] + c[5]) + std::fabs(c[3] - 2 * c[5] + c[7]);
    int n = (int)std::ceil(std::sqrt(0.75 * std::sqrt(ddx * ddx + ddy * ddy) / tol));
    if (n < 1) n = 1;
    if (n > kMaxBezierSegments) n = kMaxBezierSegments;
    for (int i = 0; i <= n; ++i) {
        const double t = (double)i / n, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, d = 3 * u * t * t, e = t * t * t;
        pts[2 * i] = a * c[0] + b * c[2] + d * c[4] + e * c[6];
        pts[2 * i + 1] = a * c[1] + b * c[3] + d * c[5] + e * c[7];
    }
    return n;
}

} // namespace lice_detail
