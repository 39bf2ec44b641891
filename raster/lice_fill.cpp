// Solid rectangles, single pixels and the small rectangle operations.
#include "raster/lice.h"
#include "raster/lice_p.h"
#include "raster/lice_simd_p.h"

#include <algorithm>
#include <type_traits>

using namespace lice_detail;

namespace {

// The rectangle clipped to the bitmap, or false when nothing of it is visible.
struct Area {
    Rows rows;
    int w, h;
};

bool clipRect(LICE_IBitmap* dest, long long x, long long y, long long w, long long h, Area* out) {
    if (!dest) return false;
    if (x < 0) w += x, x = 0;
    if (y < 0) h += y, y = 0;
    const int bw = dest->getWidth(), bh = dest->getHeight();
    if (x >= bw || y >= bh || w <= 0 || h <= 0 || !dest->getBits()) return false;
    if (w > bw - x) w = bw - x;
    if (h > bh - y) h = bh - y;
    *out = {rowsAt(dest, (int)x, (int)y), (int)w, (int)h};
    return true;
}

template <class Fn>
void forEach(const Area& a, Fn fn) {
    Rows r = a.rows;
    for (int y = 0; y < a.h; ++y, r.ptr += r.step)
        for (int x = 0; x < a.w; ++x)
            fn(r.ptr + x);
}

template <class Fast>
void fillFast(const Area& a, LICE_pixel color) {
    Rows r = a.rows;
    for (int y = 0; y < a.h; ++y, r.ptr += r.step) {
        fillRowFast<Fast>(r.ptr, a.w, color);
    }
}

template <class Op>
void fillOp(const Area& a, LICE_pixel color, int srcAlpha, int w) {
    if (std::is_same<Op, _LICE_CombinePixelsCopyNoClamp>::value && w > 0 && w < 256) {
        // The copy of a solid colour is the copy blit of a constant row.
        const LICE_pixel src = (color & 0xffffffu) | ((LICE_pixel)srcAlpha << 24);
        Rows r = a.rows;
        for (int y = 0; y < a.h; ++y, r.ptr += r.step)
            fillRowCopy(r.ptr, a.w, src, w);
        return;
    }
    forEach(a, [=](LICE_pixel* p) { solidPix<Op>(p, color, srcAlpha, w); });
}

} // namespace

void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode) {
    if (!dest) return;
    if (mode & LICE_COMBINE_USE_SOURCE_ALPHA) alpha *= LICE_GETA(color) / 255.0f;
    Area a;
    if (alpha == 0.0f || !clipRect(dest, x, y, w, h, &a)) return;
    const int wt = LICE_AlphaToWeight(alpha);
    if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY) {
        switch (wt) {
        case 64:
            fillFast<_LICE_CombinePixelsQuarterMix2FAST>(a, color);
            return;
        case 128:
            fillFast<_LICE_CombinePixelsHalfMix2FAST>(a, color);
            return;
        case 192:
            fillFast<_LICE_CombinePixelsThreeQuarterMix2FAST>(a, color);
            return;
        case 256:
            fillFast<_LICE_CombinePixelsClobberFAST>(a, color);
            return;
        default:
            break;
        }
    }
    // The weight stands in for the source alpha, held to 256 (to a byte for HSV adjust, which
    // stores it) so that weights beyond 1.0 neither wrap nor overflow.
    const int opAlpha = (mode & LICE_COMBINE_MASK) == LICE_COMBINE_HSVADJ ? (wt > 255 ? 255 : wt)
                        : wt > 256                                        ? 256
                                                                          : wt;
    LICE_DispatchSolid(mode, wt, [&](auto op) { fillOp<decltype(op)>(a, color, opAlpha, wt); });
}

void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color) {
    if (!dest) return;
    Area a;
    if (!clipRect(dest, 0, 0, dest->getWidth(), dest->getHeight(), &a)) return;
    fillFast<_LICE_CombinePixelsClobberFAST>(a, color);
}

void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask,
                    LICE_pixel orbits) {
    Area a;
    if (!clipRect(dest, x, y, w, h, &a)) return;
    forEach(a, [=](LICE_pixel* p) { *p = (*p & mask) | orbits; });
}

void LICE_PutPixel(LICE_IBitmap* dest, int x, int y, LICE_pixel color, float alpha, int mode) {
    if (!dest || !dest->getBits() || x < 0 || y < 0 || x >= dest->getWidth() ||
        y >= dest->getHeight())
        return;
    LICE_pixel* p = rowsAt(dest, x, y).ptr;
    const int w = LICE_AlphaToWeight(alpha);
    if ((mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY) {
        switch (w) {
        case 64:
            _LICE_CombinePixelsQuarterMix2FAST::doPix(p, color);
            return;
        case 128:
            _LICE_CombinePixelsHalfMix2FAST::doPix(p, color);
            return;
        case 192:
            _LICE_CombinePixelsThreeQuarterMix2FAST::doPix(p, color);
            return;
        case 256:
            *p = color;
            return;
        default:
            break;
        }
    }
    LICE_DispatchSolid(mode, w,
                       [&](auto op) { solidPix<decltype(op)>(p, color, LICE_GETA(color), w); });
}

namespace {

// 16.16 accumulators of one gradient channel: value at the area's top-left and its steps.
struct GradChan {
    long long v, dx, dy;
    GradChan(float v0, float ddx, float ddy, double scale, long long skipX, long long skipY) {
        dx = toIntSat(ddx * scale * 65536.0);
        dy = toIntSat(ddy * scale * 65536.0);
        v = toIntSat(v0 * scale * 65536.0) + skipX * dx + skipY * dy;
    }
};

// A gradient channel from its accumulator, held to -256..511 so that the clamped operations
// saturate without any product overflowing.
inline int chan(long long acc) {
    const long long v = acc >> 16;
    return v < -256 ? -256 : v > 511 ? 511 : (int)v;
}

template <class Op>
void gradFill(const Area& a, GradChan r, GradChan g, GradChan b, GradChan al) {
    Rows row = a.rows;
    for (int y = 0; y < a.h; ++y, row.ptr += row.step) {
        long long rv = r.v, gv = g.v, bv = b.v, av = al.v;
        for (int x = 0; x < a.w; ++x) {
            long long wa = av >> 16;
            const int w = wa < 0 ? 0 : wa > 256 ? 256 : (int)wa;
            Op::doPix((LICE_pixel_chan*)(row.ptr + x), chan(rv), chan(gv), chan(bv),
                      w > 255 ? 255 : w, w);
            rv += r.dx, gv += g.dx, bv += b.dx, av += al.dx;
        }
        r.v += r.dy, g.v += g.dy, b.v += b.dy, al.v += al.dy;
    }
}

} // namespace

void LICE_GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib,
                   float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy,
                   float dbdy, float dady, int mode) {
    const long long skipX = x < 0 ? -(long long)x : 0, skipY = y < 0 ? -(long long)y : 0;
    Area a;
    if (!clipRect(dest, x, y, w, h, &a)) return;
    const GradChan r(ir, drdx, drdy, 255.0, skipX, skipY), g(ig, dgdx, dgdy, 255.0, skipX, skipY);
    const GradChan b(ib, dbdx, dbdy, 255.0, skipX, skipY), al(ia, dadx, dady, 256.0, skipX, skipY);
    switch (mode & LICE_COMBINE_MASK) {
    case LICE_COMBINE_COPY:
        gradFill<_LICE_CombinePixelsCopyClamp>(a, r, g, b, al);
        break;
    case LICE_COMBINE_ADD:
        gradFill<_LICE_CombinePixelsAdd>(a, r, g, b, al);
        break;
    case LICE_COMBINE_DIVIDE:
        gradFill<_LICE_CombinePixelsColorDodge>(a, r, g, b, al);
        break;
    case LICE_COMBINE_MUL:
        gradFill<_LICE_CombinePixelsMulClamp>(a, r, g, b, al);
        break;
    case LICE_COMBINE_OVERLAY:
        gradFill<_LICE_CombinePixelsOverlay>(a, r, g, b, al);
        break;
    case LICE_COMBINE_HSVADJ:
        gradFill<_LICE_CombinePixelsHSVAdjust>(a, r, g, b, al);
        break;
    default:
        break;
    }
}

void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc,
                          float bsc, float asc, float radd, float gadd, float badd, float aadd) {
    Area a;
    if (!clipRect(dest, x, y, w, h, &a)) return;
    const auto q = [](float v) { return (int)toIntSat(v * 256.0, 1 << 22); };
    int sc[4], ad[4];
    sc[LICE_PIXEL_R] = q(rsc), sc[LICE_PIXEL_G] = q(gsc), sc[LICE_PIXEL_B] = q(bsc);
    sc[LICE_PIXEL_A] = q(asc);
    ad[LICE_PIXEL_R] = q(radd), ad[LICE_PIXEL_G] = q(gadd), ad[LICE_PIXEL_B] = q(badd);
    ad[LICE_PIXEL_A] = q(aadd);
    forEach(a, [&](LICE_pixel* p) {
        LICE_pixel_chan* c = (LICE_pixel_chan*)p;
        for (int i = 0; i < 4; ++i)
            c[i] = (LICE_pixel_chan)clamp255((ad[i] + sc[i] * c[i]) / 256);
    });
}

void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_pixel* pixel, void* ctx), void* ctx) {
    Area a;
    if (!procFunc || !clipRect(dest, x, y, w, h, &a)) return;
    forEach(a, [&](LICE_pixel* p) { procFunc(p, ctx); });
}

void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color) {
    Area a;
    if (!dest || !clipRect(dest, 0, 0, dest->getWidth(), dest->getHeight(), &a)) return;
    const LICE_pixel key = color & 0xffffffu;
    forEach(a, [key](LICE_pixel* p) {
        *p = (*p & 0xffffffu) | ((*p & 0xffffffu) == key ? 0u : 0xff000000u);
    });
}

void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor, LICE_pixel comparemask,
                     LICE_pixel keepmask) {
    if (!dest || !dest->getBits() || x < 0 || y < 0 || x >= dest->getWidth() ||
        y >= dest->getHeight())
        return;
    const int w = dest->getWidth(), h = dest->getHeight();
    const LICE_pixel key = *rowsAt(dest, x, y).ptr & comparemask;
    const auto fillRow = [&](int row) {
        LICE_pixel* p = rowsAt(dest, 0, row).ptr;
        if ((p[x] & comparemask) != key) return false;
        int l = x, r = x;
        while (l > 0 && (p[l - 1] & comparemask) == key)
            --l;
        while (r < w - 1 && (p[r + 1] & comparemask) == key)
            ++r;
        for (int i = l; i <= r; ++i)
            p[i] = newcolor | (p[i] & keepmask);
        return true;
    };
    for (int row = y; row < h && fillRow(row); ++row) {
    }
    for (int row = y - 1; row >= 0 && fillRow(row); --row) {
    }
}

void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src) {
    if (!dest || !src || !src->getBits()) return;
    Area a;
    if (!clipRect(dest, 0, 0, src->getWidth() / 2, src->getHeight() / 2, &a)) return;
    Rows d = a.rows;
    Rows s = rowsAt(src, 0, 0);
    for (int y = 0; y < a.h; ++y, d.ptr += d.step, s.ptr += 2 * s.step) {
        const LICE_pixel_chan* s0 = (const LICE_pixel_chan*)s.ptr;
        const LICE_pixel_chan* s1 = (const LICE_pixel_chan*)(s.ptr + s.step);
        LICE_pixel_chan* o = (LICE_pixel_chan*)d.ptr;
        for (int x = 0; x < a.w; ++x, s0 += 8, s1 += 8, o += 4)
            for (int i = 0; i < 4; ++i)
                o[i] = (LICE_pixel_chan)((s0[i] + s0[i + 4] + s1[i] + s1[i + 4]) >> 2);
    }
}
