// The derivative-driven blits and the mesh warps built on them: one 16.16 walk over the
// destination whose per-column steps may change from row to row (the rotated blit is the case
// where they do not).
#include "raster/lice.h"
#include "raster/lice_p.h"
#include "raster/lice_sample_p.h"

#include <cmath>
#include <cstddef>
#include <type_traits>

using namespace lice_detail;

namespace {

// The operation a pixel at full weight takes where the weight varies per pixel, so that a walk
// at a constant weight of 256 draws exactly what the fixed-weight dispatch draws.
template <class Op>
struct AtFull {
    using type = Op;
};
template <>
struct AtFull<_LICE_CombinePixelsCopyNoClamp> {
    using type = _LICE_CombinePixelsClobberNoClamp;
};
template <>
struct AtFull<_LICE_CombinePixelsCopySourceAlphaNoClamp> {
    using type = _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
};

template <class Op, bool Filtered, bool Varying>
void walkDelta(const DeltaWalk& k, int w) {
    // Accumulated modulo 2^64: absurd derivatives wrap instead of overflowing, and every sample
    // is still checked against the window before it is read.
    using U = unsigned long long;
    Rows d = k.d;
    U rs = (U)k.s, rt = (U)k.t, ra = (U)k.a;
    U cs = (U)k.dsdx, ct = (U)k.dtdx, ca = (U)k.dadx;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step) {
        U s = rs, t = rt, a = ra;
        for (int x = 0; x < k.cols; ++x, s += cs, t += ct, a += ca) {
            int pw = w;
            if (Varying) {
                const long long v = (long long)a >> 16;
                pw = v < 0 ? 0 : v > 256 ? 256 : (int)v;
                if (!pw) continue;
            }
            LICE_pixel c;
            if (Filtered) {
                if (!bilinear(k.win, (long long)s, (long long)t, &c)) continue;
            } else {
                const long long X = (long long)s >> 16, Y = (long long)t >> 16;
                if (!inside(X, k.win.w) || !inside(Y, k.win.h)) continue;
                c = *k.win.at((int)X, (int)Y);
            }
            if (Varying && pw == 256)
                put<typename AtFull<Op>::type>(d.ptr + x, c, 256);
            else
                put<Op>(d.ptr + x, c, pw);
        }
        rs += (U)k.dsdy, rt += (U)k.dtdy, ra += (U)k.dady;
        cs += (U)k.dsdxdy, ct += (U)k.dtdxdy, ca += (U)k.dadxdy;
    }
}

// A walk in source pixels (position at the first destination pixel, steps, their per-row
// changes) and, when varying, in weight units (alpha * 256).
struct Deriv {
    double s, t, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
    bool varying;
    double a, dadx, dady, dadxdy;
};

// Clips the destination rectangle (moving the walk along), clamps the window (left, top,
// right, bottom in source pixels) to the source and draws.
void deltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, long long dx, long long dy, long long dw,
               long long dh, double left, double top, double right, double bottom, Deriv g,
               int mode, int w) {
    if (dw <= 0 || dh <= 0 || w == 0) return;
    if (dx < 0) {
        const double n = (double)-dx;
        g.s += n * g.dsdx, g.t += n * g.dtdx, g.a += n * g.dadx;
        g.dsdy += n * g.dsdxdy, g.dtdy += n * g.dtdxdy, g.dady += n * g.dadxdy;
        dw += dx, dx = 0;
    }
    if (dy < 0) {
        const double n = (double)-dy;
        g.s += n * g.dsdy, g.t += n * g.dtdy, g.a += n * g.dady;
        g.dsdx += n * g.dsdxdy, g.dtdx += n * g.dtdxdy, g.dadx += n * g.dadxdy;
        dh += dy, dy = 0;
    }
    const int destW = dest->getWidth(), destH = dest->getHeight();
    if (dw <= 0 || dh <= 0 || dx >= destW || dy >= destH) return;
    if (!dest->getBits() || !src->getBits()) return;
    long long wl = toIntSat(left), wt = toIntSat(top);
    long long wr = toIntSat(right), wb = toIntSat(bottom);
    if (wl < 0) wl = 0;
    if (wt < 0) wt = 0;
    if (wr > src->getWidth()) wr = src->getWidth();
    if (wb > src->getHeight()) wb = src->getHeight();
    if (wr <= wl || wb <= wt) return;

    const Rows srows = rowsAt(src, (int)wl, (int)wt);
    const auto fx = [](double v) { return toIntSat(v * 65536.0); };
    DeltaWalk k{};
    k.d = rowsAt(dest, (int)dx, (int)dy);
    k.cols = (int)(dw < destW - dx ? dw : destW - dx);
    k.rows = (int)(dh < destH - dy ? dh : destH - dy);
    k.s = fx(g.s - wl), k.t = fx(g.t - wt);
    k.dsdx = fx(g.dsdx), k.dtdx = fx(g.dtdx), k.dsdy = fx(g.dsdy), k.dtdy = fx(g.dtdy);
    k.dsdxdy = fx(g.dsdxdy), k.dtdxdy = fx(g.dtdxdy);
    k.varyingAlpha = g.varying;
    if (g.varying) {
        k.a = fx(g.a), k.dadx = fx(g.dadx), k.dady = fx(g.dady), k.dadxdy = fx(g.dadxdy);
    }
    k.win = {srows.ptr, srows.step, (int)(wr - wl), (int)(wb - wt)};
    drawDeltaWalk(k, mode, w);
}

// One mesh warp: the destination rectangle cut into (divw - 1) x (divh - 1) cells, each a
// bilinear patch between the source positions of its four corners (stride values per point:
// x, y and, with three, an alpha).
template <class P>
void meshBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
              const P* pts, int stride, int divw, int divh, float alpha, int mode) {
    if (!dest || !src || !pts || divw < 2 || divh < 2 || dstw <= 0 || dsth <= 0) return;
    const bool varying = stride == 3;
    const int w = varying ? 256 : LICE_AlphaToWeight(alpha);
    if (w == 0) return;
    const double sw = src->getWidth(), sh = src->getHeight();
    const long long destW = dest->getWidth(), destH = dest->getHeight();
    for (int j = 0; j + 1 < divh; ++j) {
        const long long y0 = dsty + (long long)dsth * j / (divh - 1);
        const long long y1 = dsty + (long long)dsth * (j + 1) / (divh - 1);
        if (y1 <= y0 || y1 <= 0 || y0 >= destH) continue;
        for (int i = 0; i + 1 < divw; ++i) {
            const long long x0 = dstx + (long long)dstw * i / (divw - 1);
            const long long x1 = dstx + (long long)dstw * (i + 1) / (divw - 1);
            if (x1 <= x0 || x1 <= 0 || x0 >= destW) continue;
            const P* p00 = pts + ((size_t)j * divw + i) * stride;
            const P* p10 = p00 + stride;
            const P* p01 = p00 + (size_t)divw * stride;
            const P* p11 = p01 + stride;
            const double cw = (double)(x1 - x0), ch = (double)(y1 - y0);
            // Corner value, steps along the cell's top edge and left edge, and the change of the
            // column step from row to row (bilinear interpolation, walked).
            const auto at = [&](int c, double* v, double* dx, double* dy, double* dxy) {
                *v = p00[c];
                *dx = ((double)p10[c] - p00[c]) / cw;
                *dy = ((double)p01[c] - p00[c]) / ch;
                *dxy = (((double)p11[c] - p01[c]) - ((double)p10[c] - p00[c])) / (cw * ch);
            };
            Deriv g{};
            at(0, &g.s, &g.dsdx, &g.dsdy, &g.dsdxdy);
            at(1, &g.t, &g.dtdx, &g.dtdy, &g.dtdxdy);
            if (varying) {
                g.varying = true;
                at(2, &g.a, &g.dadx, &g.dady, &g.dadxdy);
                g.a *= 256, g.dadx *= 256, g.dady *= 256, g.dadxdy *= 256;
            }
            deltaBlit(dest, src, x0, y0, x1 - x0, y1 - y0, 0, 0, sw, sh, g, mode, w);
        }
    }
}

// The source window of a derivative blit: its rectangle when clipping to it, else all of src.
void windowOf(LICE_IBitmap* src, float srcx, float srcy, float srcw, float srch, bool clip,
              double* l, double* t, double* r, double* b) {
    *l = 0, *t = 0, *r = src->getWidth(), *b = src->getHeight();
    if (!clip) return;
    if (srcx > *l) *l = srcx;
    if (srcy > *t) *t = srcy;
    if ((double)srcx + srcw < *r) *r = (double)srcx + srcw;
    if ((double)srcy + srch < *b) *b = (double)srcy + srch;
}

} // namespace

void lice_detail::drawDeltaWalk(const DeltaWalk& k, int mode, int w) {
    const bool filtered = (mode & LICE_COMBINE_FILTER_MASK) == LICE_COMBINE_FILTER_BILINEAR;
    // Where the weight varies, the operation is the one for partial weights (full-weight
    // pixels switch per pixel).
    LICE_DispatchCombine(mode, k.varyingAlpha ? 1 : w, [&](auto op) {
        using Op = decltype(op);
        if (k.varyingAlpha)
            filtered ? walkDelta<Op, true, true>(k, w) : walkDelta<Op, false, true>(k, w);
        else
            filtered ? walkDelta<Op, true, false>(k, w) : walkDelta<Op, false, false>(k, w);
    });
}

void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, double dsdx, double dtdx,
                    double dsdy, double dtdy, double dsdxdy, double dtdxdy, bool cliptosourcerect,
                    float alpha, int mode) {
    if (!dest || !src) return;
    double l, t, r, b;
    windowOf(src, srcx, srcy, srcw, srch, cliptosourcerect, &l, &t, &r, &b);
    const Deriv g = {srcx, srcy, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy, false, 0, 0, 0, 0};
    deltaBlit(dest, src, dstx, dsty, dstw, dsth, l, t, r, b, g, mode, LICE_AlphaToWeight(alpha));
}

void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                         double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                         bool cliptosourcerect, float alpha, int mode, double dadx, double dady,
                         double dadxdy) {
    if (!dest || !src) return;
    double l, t, r, b;
    windowOf(src, srcx, srcy, srcw, srch, cliptosourcerect, &l, &t, &r, &b);
    const Deriv g = {srcx,   srcy, dsdx,         dtdx,        dsdy,        dtdy,         dsdxdy,
                     dtdxdy, true, alpha * 256., dadx * 256., dady * 256., dadxdy * 256.};
    // The base weight only decides between "draw" and "nothing" (weight 0 everywhere).
    deltaBlit(dest, src, dstx, dsty, dstw, dsth, l, t, r, b, g, mode, 256);
}

void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode) {
    meshBlit(dest, src, dstx, dsty, dstw, dsth, srcpoints, 2, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode) {
    meshBlit(dest, src, dstx, dsty, dstw, dsth, srcpoints, 2, div_w, div_h, alpha, mode);
}

void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                              int dsth, const double* srcpoints, int div_w, int div_h, int mode) {
    meshBlit(dest, src, dstx, dsty, dstw, dsth, srcpoints, 3, div_w, div_h, 1.0f, mode);
}
