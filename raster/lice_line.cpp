// Lines: clipping, axis-aligned and diagonal shortcuts, and the two-ended 16.16 walk.
#include "raster/lice.h"
#include "raster/lice_p.h"

#include <cstdlib>

using namespace lice_detail;

namespace {

enum { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

int outcode(int x, int y, int w, int h) {
    return (x < 0 ? kLeft : 0) | (x >= w ? kRight : 0) | (y < 0 ? kTop : 0) |
           (y >= h ? kBottom : 0);
}

// Cohen-Sutherland against [0, w) x [0, h); rejects after 32 passes.
bool clipToBox(int* x1, int* y1, int* x2, int* y2, int w, int h) {
    int c1 = outcode(*x1, *y1, w, h), c2 = outcode(*x2, *y2, w, h);
    for (int pass = 0; pass < 32; ++pass) {
        if (!(c1 | c2)) return true;
        if (c1 & c2) return false;
        const double dx = (double)*x2 - *x1, dy = (double)*y2 - *y1;
        const int code = c1 ? c1 : c2;
        long long x, y;
        if (code & kBottom) {
            x = *x1 + toIntSat(((double)h - *y1) * dx / dy), y = h - 1;
        } else if (code & kTop) {
            x = *x1 + toIntSat(-(double)*y1 * dx / dy), y = 0;
        } else if (code & kRight) {
            x = w - 1, y = *y1 + toIntSat(dy * ((double)w - *x1) / dx);
        } else {
            x = 0, y = *y1 + toIntSat(dy * -(double)*x1 / dx);
        }
        if (code == c1) {
            *x1 = clampInt(x), *y1 = clampInt(y);
            c1 = outcode(*x1, *y1, w, h);
        } else {
            *x2 = clampInt(x), *y2 = clampInt(y);
            c2 = outcode(*x2, *y2, w, h);
        }
    }
    return false;
}

template <class Pen>
void axisLine(const Canvas& cv, int x1, int y1, int x2, int y2, const Pen& pen, int w) {
    if (y1 == y2) {
        if (x1 > x2) std::swap(x1, x2);
        LICE_pixel* p = cv.at(x1, y1);
        for (int x = x1; x <= x2; ++x)
            pen(p++, w);
    } else {
        if (y1 > y2) std::swap(y1, y2);
        LICE_pixel* p = cv.at(x1, y1);
        for (int y = y1; y <= y2; ++y, p += cv.span)
            pen(p, w);
    }
}

// |dx| == |dy|: one pixel per step.
template <class Pen>
void diagonalLine(const Canvas& cv, int x1, int y1, int x2, int y2, const Pen& pen, int w) {
    const int n = std::abs(x2 - x1), sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    for (int i = 0; i <= n; ++i)
        pen(cv.at(x1 + i * sx, y1 + i * sy), w);
}

// Anti-aliased diagonal: each diagonal pixel with the main pen, and the two pixels completing
// the 2 x 2 square toward the next one (a step along x, a step along y) with the side pen.
template <class Main, class Side>
void diagonalLineAA(const Canvas& cv, int x1, int y1, int x2, int y2, const Main& main, int wm,
                    const Side& side, int ws) {
    const int n = std::abs(x2 - x1), sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    for (int i = 0; i <= n; ++i) {
        const int x = x1 + i * sx, y = y1 + i * sy;
        main(cv.at(x, y), wm);
        if (i < n) {
            side(cv.at(x + sx, y), ws);
            side(cv.at(x, y + sy), ws);
        }
    }
}

// The walk along the major axis of any other line, from both ends toward the middle so that
// every pixel is written once and the line looks the same drawn either way (only a middle
// pixel that falls exactly on a half may sit one step over).
struct Walk {
    const Canvas& cv;
    int x1, y1, n, minor;
    int sx, sy; // direction of x and y from the start
    bool xMajor;
    int slope; // |minor| / n in 16.16

    Walk(const Canvas& c, int ax, int ay, int bx, int by) : cv(c), x1(ax), y1(ay) {
        const int dx = bx - ax, dy = by - ay;
        xMajor = std::abs(dx) > std::abs(dy);
        n = xMajor ? std::abs(dx) : std::abs(dy);
        minor = xMajor ? std::abs(dy) : std::abs(dx);
        sx = dx < 0 ? -1 : 1;
        sy = dy < 0 ? -1 : 1;
        slope = (int)((double)minor / n * 65536.0);
    }
    // Pixel at major offset k and minor offset m from the start, or null off the bitmap.
    LICE_pixel* at(int k, int m) const {
        const int x = x1 + (xMajor ? k : m) * sx, y = y1 + (xMajor ? m : k) * sy;
        return cv.contains(x, y) ? cv.at(x, y) : nullptr;
    }
};

template <class Pen>
void plot(LICE_pixel* p, const Pen& pen, int w) {
    if (p) pen(p, w);
}

template <class Pen>
void walkLine(const Walk& k, const Pen& pen, int w) {
    plot(k.at(0, 0), pen, w);
    plot(k.at(k.n, k.minor), pen, w);
    const int steps = (k.n + 1) / 2;
    int e = 0, m = 0;
    const auto advance = [&] {
        e += k.slope;
        if (e >= 0x8000) ++m, e -= 0x10000;
    };
    for (int i = 1; i < steps; ++i) {
        advance();
        plot(k.at(i, m), pen, w);
        plot(k.at(k.n - i, k.minor - m), pen, w);
    }
    if (!(k.n & 1)) {
        advance();
        plot(k.at(k.n / 2, m), pen, w);
    }
}

template <class Pen>
void walkLineAA(const Walk& k, const Pen& pen, int w) {
    plot(k.at(0, 0), pen, w);
    plot(k.at(k.n, k.minor), pen, w);
    const int steps = (k.n + 1) / 2;
    int e = k.slope, m = 0;
    const auto pair = [&](int i, bool mirror) {
        const int f = e >> 8;
        const int wa = w == 256 ? 255 - f : ((255 - f) * w) >> 8;
        const int wb = w == 256 ? f : (f * w) >> 8;
        plot(k.at(i, m), pen, wa);
        plot(k.at(i, m + 1), pen, wb);
        if (mirror) {
            plot(k.at(k.n - i, k.minor - m), pen, wa);
            plot(k.at(k.n - i, k.minor - m - 1), pen, wb);
        }
    };
    const auto advance = [&] {
        if (e + k.slope >= 0x10000)
            ++m, e += k.slope - 0x10000;
        else
            e += k.slope;
    };
    for (int i = 1; i < steps; ++i) {
        pair(i, true);
        advance();
    }
    if (!(k.n & 1)) pair(k.n / 2, false);
}

// The four alphas with whole-word forms in copy mode, or the shape weight rules.
template <class F>
bool withLinePen(int mode, float alpha, int w, LICE_pixel c, F&& f) {
    if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY) {
        if (alpha == 1.0f) return f(FastPen<_LICE_CombinePixelsClobberFAST>(c)), true;
        if (alpha == 0.5f) return f(FastPen<_LICE_CombinePixelsHalfMix2FAST>(c)), true;
        if (alpha == 0.25f) return f(FastPen<_LICE_CombinePixelsQuarterMix2FAST>(c)), true;
        if (alpha == 0.75f) return f(FastPen<_LICE_CombinePixelsThreeQuarterMix2FAST>(c)), true;
    }
    return withPen(mode, w, c, f);
}

} // namespace

bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi) {
    if (!x1 || !y1 || !x2 || !y2) return false;
    const long long w = (long long)xhi - xlo, h = (long long)yhi - ylo;
    if (w <= 0 || h <= 0 || w > 0x7fffffff || h > 0x7fffffff) return false;
    int ax = clampInt((long long)*x1 - xlo), ay = clampInt((long long)*y1 - ylo);
    int bx = clampInt((long long)*x2 - xlo), by = clampInt((long long)*y2 - ylo);
    if (!clipToBox(&ax, &ay, &bx, &by, (int)w, (int)h)) return false;
    *x1 = ax + xlo, *y1 = ay + ylo, *x2 = bx + xlo, *y2 = by + ylo;
    return true;
}

void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha,
               int mode, bool aa) {
    Canvas cv;
    if (!canvasOf(dest, &cv)) return;
    if (dest->isFlipped()) y1 = cv.h - 1 - y1, y2 = cv.h - 1 - y2;
    if (!clipToBox(&x1, &y1, &x2, &y2, cv.w, cv.h)) return;
    const int w = LICE_AlphaToWeight(alpha);
    if (w == 0) return;

    if (x1 == x2 || y1 == y2) {
        withLinePen(mode, alpha, w, color, [&](auto pen) { axisLine(cv, x1, y1, x2, y2, pen, w); });
        return;
    }
    if (std::abs(x2 - x1) == std::abs(y2 - y1)) {
        if (!aa) {
            withLinePen(mode, alpha, w, color,
                        [&](auto pen) { diagonalLine(cv, x1, y1, x2, y2, pen, w); });
        } else if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY && alpha == 1.0f) {
            diagonalLineAA(cv, x1, y1, x2, y2,
                           FastPen<_LICE_CombinePixelsThreeQuarterMix2FAST>(color), 192,
                           FastPen<_LICE_CombinePixelsQuarterMix2FAST>(color), 64);
        } else {
            withVarPen(mode, true, color, [&](auto pen) {
                diagonalLineAA(cv, x1, y1, x2, y2, pen, (w * 3) / 4, pen, w / 4);
            });
        }
        return;
    }
    const Walk walk(cv, x1, y1, x2, y2);
    if (aa)
        withVarPen(mode, false, color, [&](auto pen) { walkLineAA(walk, pen, w); });
    else
        withPen(mode, w, color, [&](auto pen) { walkLine(walk, pen, w); });
}

void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode) {
    const int r = clampInt((long long)x + w), b = clampInt((long long)y + h);
    LICE_Line(dest, x, y, r, y, color, alpha, mode, false);
    LICE_Line(dest, r, y, r, b, color, alpha, mode, false);
    LICE_Line(dest, r, b, x, b, color, alpha, mode, false);
    LICE_Line(dest, x, b, x, y, color, alpha, mode, false);
}
