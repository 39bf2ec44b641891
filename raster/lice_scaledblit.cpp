// Scaled and rotated blits: 16.16 fixed-point walks over the source, nearest or bilinear
// samples, and the box filter used when shrinking a lot.
#include "raster/lice.h"
#include "raster/lice_p.h"
#include "raster/lice_sample_p.h"
#include "raster/lice_simd_p.h"
#include "raster/lice_simd_scale_p.h"

#include "containers/WDL_TypedBuf.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

using namespace lice_detail;

namespace {

// The 16.16 walk of a scaled blit: destination rows and columns against source positions.
struct ScaledWalk {
    Rows d;
    int cols, rows;
    long long sx, sy, ix, iy; // start and steps, relative to the window
    Window win;
};

template <class Pix>
void walkNearest(const ScaledWalk& k, Pix pix) {
    Rows d = k.d;
    long long sy = k.sy;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step, sy += k.iy) {
        if (!inside(sy >> 16, k.win.h)) continue;
        const LICE_pixel* srow = k.win.at(0, (int)(sy >> 16));
        long long sx = k.sx;
        for (int x = 0; x < k.cols; ++x, sx += k.ix)
            if (inside(sx >> 16, k.win.w)) pix(d.ptr + x, srow[sx >> 16]);
    }
}

// Source column and fraction of every destination column, the same for every row.
struct Columns {
    WDL_TypedBuf<int> buf;
    const int* X = nullptr;
    const int* fx = nullptr;
    bool make(const ScaledWalk& k) {
        int* p = buf.Resize(k.cols * 2, false);
        if (!p) return false;
        long long sx = k.sx;
        for (int x = 0; x < k.cols; ++x, sx += k.ix) {
            p[x] = inside(sx >> 16, k.win.w) ? (int)(sx >> 16) : -1;
            p[k.cols + x] = (int)(sx & 0xffff);
        }
        X = p, fx = p + k.cols;
        return true;
    }
};

#if LICE_HAVE_SSE2
// The four-pixel form: per row, a table of the row pair's source columns, then the samples of
// the columns inside the window (a contiguous run, the walk being monotonic).
template <class Op>
bool walkBilinearSSE2(const ScaledWalk& k, const Columns& cols, int w) {
    int xa = 0, xb = k.cols;
    while (xa < xb && cols.X[xa] < 0)
        ++xa;
    while (xb > xa && cols.X[xb - 1] < 0)
        --xb;
    if (xa == xb) return true;
    const int X0 = cols.X[xa] < cols.X[xb - 1] ? cols.X[xa] : cols.X[xb - 1];
    const int X1 = cols.X[xa] < cols.X[xb - 1] ? cols.X[xb - 1] : cols.X[xa];
    // Two 16-byte entries per source column, the row buffer and the column fractions.
    const int tabWords = 4 * (X1 - X0 + 1), n = xb - xa;
    WDL_TypedBuf<unsigned long long> tabBuf;
    WDL_TypedBuf<LICE_pixel> rowBuf;
    WDL_TypedBuf<unsigned short> fxBuf;
    __m128i* tab = (__m128i*)tabBuf.Resize(tabWords, false);
    LICE_pixel* row = rowBuf.Resize(n, false);
    unsigned short* fx = fxBuf.Resize(n, false);
    if (!tab || !row || !fx) return false;
    for (int i = 0; i < n; ++i)
        fx[i] = (unsigned short)cols.fx[xa + i];
    constexpr bool store = std::is_same<Op, _LICE_CombinePixelsClobberNoClamp>::value;
    Rows d = k.d;
    long long sy = k.sy, tableY = -1;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step, sy += k.iy) {
        const long long Y = sy >> 16;
        if (!inside(Y, k.win.h)) continue;
        if (Y != tableY) {
            const LICE_pixel* r0 = k.win.at(0, (int)Y);
            bilinearTable(tab, r0, Y == k.win.h - 1 ? r0 : r0 + k.win.step, X0, X1, k.win.w);
            tableY = Y;
        }
        LICE_pixel* out = store ? d.ptr + xa : row;
        bilinearRow(out, tab, X0, cols.X + xa, fx, n, (unsigned int)(sy & 0xffff));
        if (!store)
            for (int x = xa; x < xb; ++x)
                put<Op>(d.ptr + x, row[x - xa], w);
    }
    return true;
}
#endif

template <class Op>
void walkBilinear(const ScaledWalk& k, int w) {
    Columns cols;
    if (!cols.make(k)) return;
#if LICE_HAVE_SSE2
    if (walkBilinearSSE2<Op>(k, cols, w)) return;
#endif
    const int lastX = k.win.w - 1;
    Rows d = k.d;
    long long sy = k.sy;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step, sy += k.iy) {
        const long long Y = sy >> 16;
        if (!inside(Y, k.win.h)) continue;
        const LICE_pixel* r0 = k.win.at(0, (int)Y);
        const LICE_pixel* r1 = Y == k.win.h - 1 ? nullptr : r0 + k.win.step;
        const unsigned int fy = (unsigned int)(sy & 0xffff);
        for (int x = 0; x < k.cols; ++x) {
            const int X = cols.X[x];
            if (X < 0) continue;
            put<Op>(d.ptr + x, bilinearAt(r0, r1, X, X == lastX, (unsigned int)cols.fx[x], fy), w);
        }
    }
}

// ceil(2^24 / n) for the box cell counts 1..25.
struct BoxReciprocal {
    unsigned int v[26];
    constexpr BoxReciprocal() : v() {
        for (unsigned int n = 1; n < 26; ++n)
            v[n] = ((1u << 24) + n - 1) / n;
    }
};
constexpr BoxReciprocal kBoxReciprocal{};

#if LICE_HAVE_SSE2
// The four-pixel form: per destination row the column sums of its rows, then whole boxes four
// pixels at a time; boxes cut by the window's left or right edge are summed one at a time.
template <class Op>
bool walkBoxSSE2(const ScaledWalk& k, int n, int w) {
    const int half = n / 2, W = k.win.w, H = k.win.h;
    WDL_TypedBuf<int> cxBuf;
    int* cx = cxBuf.Resize(k.cols, false);
    if (!cx) return false;
    int xa = -1, xb = -1, cmin = W, cmax = -1;
    long long sx = k.sx;
    for (int x = 0; x < k.cols; ++x, sx += k.ix) {
        cx[x] = inside(sx >> 16, W) ? (int)(sx >> 16) : -1;
        if (cx[x] < 0) continue;
        if (xa < 0) xa = x;
        xb = x + 1;
        cmin = cx[x] < cmin ? cx[x] : cmin;
        cmax = cx[x] > cmax ? cx[x] : cmax;
    }
    if (xa < 0) return true;
    const int X0 = cmin - half < 0 ? 0 : cmin - half;
    const int X1 = cmax + half > W - 1 ? W - 1 : cmax + half;
    // Destination columns whose boxes lie wholly inside the window (a contiguous run).
    int ia = xa, ib = xb;
    while (ia < ib && (cx[ia] - half < 0 || cx[ia] + half > W - 1))
        ++ia;
    while (ib > ia && (cx[ib - 1] - half < 0 || cx[ib - 1] + half > W - 1))
        --ib;
    // A halving (centres two columns apart) sums its boxes straight from the rows.
    bool halving = n == 3 && ib - ia >= 4;
    for (int x = ia; halving && x + 1 < ib; ++x)
        halving = cx[x + 1] == cx[x] + 2;
    WDL_TypedBuf<unsigned short> sumBuf;
    WDL_TypedBuf<LICE_pixel> rowBuf;
    const int sumN = 4 * (X1 - X0 + 1);
    unsigned short* sums = sumBuf.Resize(sumN, false);
    LICE_pixel* row = rowBuf.Resize(xb - xa, false);
    if (!sums || !row) return false;
    constexpr bool store = std::is_same<Op, _LICE_CombinePixelsClobberNoClamp>::value;
    Rows d = k.d;
    long long sy = k.sy;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step, sy += k.iy) {
        const long long cy = sy >> 16;
        if (!inside(cy, H)) continue;
        const int y0 = cy - half < 0 ? 0 : (int)cy - half;
        const int y1 = cy + half >= H ? H - 1 : (int)cy + half;
        const LICE_pixel* rows[5];
        for (int r = y0; r <= y1; ++r)
            rows[r - y0] = k.win.at(0, r);
        const int nrows = y1 - y0 + 1;
        if (!halving) boxColumnSums(sums, rows, nrows, X0, X1);
        // Edge boxes (and a halving's last few): the cells inside the window, divided exactly.
        const auto edge = [&](int x) {
            const int x0 = cx[x] - half < 0 ? 0 : cx[x] - half;
            const int x1 = cx[x] + half > W - 1 ? W - 1 : cx[x] + half;
            const int cells = nrows * (x1 - x0 + 1);
            LICE_pixel v = 0;
            for (int c = 0; c < 4; ++c) {
                int t = 0;
                for (int X = x0; X <= x1; ++X)
                    if (halving)
                        for (int r = 0; r < nrows; ++r)
                            t += (rows[r][X] >> (8 * c)) & 255;
                    else
                        t += sums[4 * (X - X0) + c];
                v |= (LICE_pixel)(t / cells) << (8 * c);
            }
            return v;
        };
        for (int x = xa; x < ia; ++x)
            if (cx[x] >= 0) row[x - xa] = edge(x);
        for (int x = ib; x < xb; ++x)
            if (cx[x] >= 0) row[x - xa] = edge(x);
        LICE_pixel* out = store ? d.ptr + xa : row;
        if (halving) {
            const int done = boxRowHalving(out + (ia - xa), rows, nrows, cx[ia], ib - ia, W);
            for (int x = ia + done; x < ib; ++x)
                out[x - xa] = edge(x);
        } else if (ib > ia) {
            boxRow(out + (ia - xa), sums, X0, cx + ia, ib - ia, n, nrows * n);
        }
        const auto write = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                if (cx[x] >= 0) put<Op>(d.ptr + x, row[x - xa], w);
        };
        write(xa, ia);
        if (!store) write(ia, ib);
        write(ib, xb);
    }
    return true;
}
#endif

// Box average of n x n source pixels around each sample (the kernel of a strong downscale).
template <class Op>
void walkBox(const ScaledWalk& k, int n, int w) {
#if LICE_HAVE_SSE2
    if (walkBoxSSE2<Op>(k, n, w)) return;
#endif
    Rows d = k.d;
    long long sy = k.sy;
    const int half = n / 2;
    for (int y = 0; y < k.rows; ++y, d.ptr += d.step, sy += k.iy) {
        const long long cy = sy >> 16;
        if (!inside(cy, k.win.h)) continue;
        const int y0 = cy - half < 0 ? 0 : (int)cy - half;
        const int y1 = cy + half >= k.win.h ? k.win.h - 1 : (int)cy + half;
        long long sx = k.sx;
        for (int x = 0; x < k.cols; ++x, sx += k.ix) {
            const long long cx = sx >> 16;
            if (!inside(cx, k.win.w)) continue;
            const int x0 = cx - half < 0 ? 0 : (int)cx - half;
            const int x1 = cx + half >= k.win.w ? k.win.w - 1 : (int)cx + half;
            int sum[4] = {0, 0, 0, 0};
            for (int yy = y0; yy <= y1; ++yy) {
                const LICE_pixel_chan* p = (const LICE_pixel_chan*)k.win.at(x0, yy);
                for (int xx = x0; xx <= x1; ++xx, p += 4)
                    sum[0] += p[0], sum[1] += p[1], sum[2] += p[2], sum[3] += p[3];
            }
            // sum / cnt through a reciprocal: exact for sums below 2^24 / 25.
            const unsigned int m = kBoxReciprocal.v[(y1 - y0 + 1) * (x1 - x0 + 1)];
            const auto div = [m](int v) { return (int)(((unsigned long long)v * m) >> 24); };
            Op::doPix((LICE_pixel_chan*)(d.ptr + x), div(sum[LICE_PIXEL_R]), div(sum[LICE_PIXEL_G]),
                      div(sum[LICE_PIXEL_B]), div(sum[LICE_PIXEL_A]), w);
        }
    }
}

// floor(v * 65536) as an integer that later steps cannot overflow.
inline long long fixedFloor(double v) {
    return toIntSat(std::floor(v * 65536.0));
}

} // namespace

void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                     float srcx_, float srcy_, float srcw_, float srch_, float alpha, int mode) {
    if (!dest || !src || !dstw || !dsth || alpha == 0.0f) return;
    const int filter = mode & LICE_COMBINE_FILTER_MASK;

    if (std::fabs(srcw_ - dstw) < 0.001 && std::fabs(srch_ - dsth) < 0.001) {
        const bool fractional =
            srcx_ - std::floor(srcx_) >= 0.03 || srcy_ - std::floor(srcy_) >= 0.03;
        if (filter != LICE_COMBINE_FILTER_BILINEAR || !fractional) {
            const int left = (int)toIntSat(srcx_ + 0.5, 1e9), top = (int)toIntSat(srcy_ + 0.5, 1e9);
            const RECT r = {left, top, clampInt((long long)left + dstw),
                            clampInt((long long)top + dsth)};
            LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
            return;
        }
    }

    long long dx = dstx, dy = dsty, dw = dstw, dh = dsth;
    double srcx = srcx_, srcy = srcy_;
    float srcw = srcw_, srch = srch_;
    if (dw < 0) dx += dw, srcx += srcw, srcw = -srcw, dw = -dw; // mirror left to right
    if (dh < 0) dy += dh, srcy += srch, srch = -srch, dh = -dh;

    const double xstep = (float)(srcw / (float)dw), ystep = (float)(srch / (float)dh);
    if (dx < 0) srcx -= dx * xstep, dw += dx, dx = 0;
    if (dy < 0) srcy -= dy * ystep, dh += dy, dy = 0;
    const int destW = dest->getWidth(), destH = dest->getHeight();
    if (dw <= 0 || dh <= 0 || dx >= destW || dy >= destH) return;
    if (dw > destW - dx) dw = destW - dx;
    if (dh > destH - dy) dh = destH - dy;

    const long long ix = fixedFloor(xstep), iy = fixedFloor(ystep);
    long long sx = fixedFloor(srcx), sy = fixedFloor(srcy);
    const int srcW = src->getWidth(), srcH = src->getHeight();

    // Skip destination pixels that sample before the source's first pixel or after its last.
    const auto trim = [](long long step, long long& s, long long& d, long long& n, int size) {
        if (step <= 0) return;
        if (s < 0) {
            const long long k = (step - 1 - s) / step;
            d += k, n -= k, s += k * step;
        }
        // Keep every pixel whose sample still lies inside the source.
        if ((long long)size * 65536 <= (n - 1) * step + s) {
            const long long m = ((long long)size * 65536 - s + step - 1) / step;
            if (m < n) n = m;
        }
    };
    trim(ix, sx, dx, dw, srcW);
    trim(iy, sy, dy, dh, srcH);
    if (dw <= 0 || dh <= 0) return;

    long long left = (sx + (ix < 0 ? dw * ix : 0)) / 65536;
    long long top = (sy + (iy < 0 ? dh * iy : 0)) / 65536;
    long long right = toIntSat((srcw > 0 ? srcw : 0) + srcx + 0.999999);
    long long bottom = toIntSat((srch > 0 ? srch : 0) + srcy + 0.999999);
    // A mirrored walk may start left of the source; the window never reaches outside it.
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > srcW) right = srcW;
    if (bottom > srcH) bottom = srcH;
    if (right <= left || bottom <= top || !src->getBits() || !dest->getBits()) return;

    const Rows srows = rowsAt(src, (int)left, (int)top);
    ScaledWalk k;
    k.d = rowsAt(dest, (int)dx, (int)dy);
    k.cols = (int)dw;
    k.rows = (int)dh;
    k.sx = sx - left * 65536;
    k.sy = sy - top * 65536;
    k.ix = ix;
    k.iy = iy;
    k.win = {srows.ptr, srows.step, (int)(right - left), (int)(bottom - top)};

    const int w = LICE_AlphaToWeight(alpha);
    if ((mode & 0x1ffff) == 0 && w == 256) {
        walkNearest(k, [](LICE_pixel* p, LICE_pixel c) { *p = c; });
        return;
    }
    if ((mode & 0x1ffff) == 0 && w == 128) {
        walkNearest(k, _LICE_CombinePixelsHalfMixFAST::doPix);
        return;
    }
    if (filter == LICE_COMBINE_FILTER_BILINEAR && xstep >= 1.7 && ystep >= 1.7) {
        // The kernel weights all saturate for steps this large: a uniform box, 5 x 5 once
        // more than three source pixels fall on one destination pixel.
        const int n = (ix > iy ? ix : iy) > 0x30000 ? 5 : 3;
        LICE_DispatchCombine(mode, w, [&](auto op) { walkBox<decltype(op)>(k, n, w); });
        return;
    }
    if (filter == LICE_COMBINE_FILTER_BILINEAR) {
        LICE_DispatchCombine(mode, w, [&](auto op) { walkBilinear<decltype(op)>(k, w); });
        return;
    }
    LICE_DispatchCombine(mode, w, [&](auto op) {
        walkNearest(k, [w](LICE_pixel* p, LICE_pixel c) {
            decltype(op)::doPix((LICE_pixel_chan*)p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c),
                                LICE_GETA(c), w);
        });
    });
}

void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                      float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent,
                      float rotycent) {
    if (!dest || !src || !dstw || !dsth) return;
    double left = 0, top = 0, right = src->getWidth(), bottom = src->getHeight();
    if (cliptosourcerect) {
        if (srcx > left) left = srcx;
        if (srcy > top) top = srcy;
        if ((double)srcx + srcw < right) right = (double)srcx + srcw;
        if ((double)srcy + srch < bottom) bottom = (double)srcy + srch;
    }
    long long dx = dstx, dy = dsty, dw = dstw, dh = dsth;
    double sx0 = srcx, sy0 = srcy, sw = srcw, sh = srch;
    if (dw < 0) dx += dw, sx0 += sw, sw = -sw, dw = -dw;
    if (dh < 0) dy += dh, sy0 += sh, sh = -sh, dh = -dh;

    const double c = std::cos((double)angle), s = std::sin((double)angle);
    const double xs = sw / dw, ys = sh / dh;
    const double dsdx = xs * c, dtdx = -ys * s; // one destination column
    const double dsdy = xs * s, dtdy = ys * c;  // one destination row
    sx0 -= (dh * xs * s + dw * xs * c - sw) * 0.5 - rotxcent;
    sy0 -= (dh * ys * c - dw * ys * s - sh) * 0.5 - rotycent;
    if (dx < 0) sx0 -= dx * dsdx, sy0 -= dx * dtdx, dw += dx, dx = 0;
    if (dy < 0) sx0 -= dy * dsdy, sy0 -= dy * dtdy, dh += dy, dy = 0;

    const int destW = dest->getWidth(), destH = dest->getHeight();
    const long long il = toIntSat(left), it = toIntSat(top);
    const long long ir = toIntSat(right), ib = toIntSat(bottom);
    if (dw <= 0 || dh <= 0 || dx >= destW || dy >= destH || il >= right || ib - it <= 0) return;
    const int w = LICE_AlphaToWeight(alpha);
    if (!dest->getBits() || !src->getBits()) return;

    // The window as whole pixels inside the source.
    const long long wl = il < 0 ? 0 : il, wt = it < 0 ? 0 : it;
    const long long wr = ir > src->getWidth() ? src->getWidth() : ir;
    const long long wb = ib > src->getHeight() ? src->getHeight() : ib;
    if (wr <= wl || wb <= wt) return;

    const Rows srows = rowsAt(src, (int)wl, (int)wt);
    DeltaWalk k{};
    k.d = rowsAt(dest, (int)dx, (int)dy);
    k.cols = (int)(dw < destW - dx ? dw : destW - dx);
    k.rows = (int)(dh < destH - dy ? dh : destH - dy);
    k.s = toIntSat((sx0 - wl) * 65536.0);
    k.t = toIntSat((sy0 - wt) * 65536.0);
    k.dsdx = toIntSat(dsdx * 65536.0);
    k.dtdx = toIntSat(dtdx * 65536.0);
    k.dsdy = toIntSat(dsdy * 65536.0);
    k.dtdy = toIntSat(dtdy * 65536.0);
    k.win = {srows.ptr, srows.step, (int)(wr - wl), (int)(wb - wt)};
    drawDeltaWalk(k, mode, w);
}
