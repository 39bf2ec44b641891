// Straight blits, the copy of a whole bitmap and the 3 x 3 blur.
#include "raster/lice.h"
#include "raster/lice_p.h"
#include "raster/lice_simd_p.h"

#include "containers/WDL_TypedBuf.h"

#include <cstring>
#include <type_traits>

using namespace lice_detail;

namespace {

template <class Op>
void blitRows(Rows d, Rows s, int cols, int rows, int w) {
    // The common operations have four-pixel forms with the same arithmetic, for weights in
    // range (alpha outside 0..1 takes the scalar path).
    constexpr int kind =
        std::is_same<Op, _LICE_CombinePixelsCopyNoClamp>::value                             ? 1
        : std::is_same<Op, _LICE_CombinePixelsCopySourceAlphaNoClamp>::value                ? 2
        : std::is_same<Op, _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>::value ? 3
        : std::is_same<Op, _LICE_CombinePixelsAdd>::value                                   ? 4
        : std::is_same<Op, _LICE_CombinePixelsMulNoClamp>::value                            ? 5
        : std::is_same<Op, _LICE_CombinePixelsAddSourceAlpha>::value                        ? 6
        : std::is_same<Op, _LICE_CombinePixelsMulSourceAlphaNoClamp>::value                 ? 7
                                                                                            : 0;
    if (kind && w > 0 && w <= 256) {
        for (; rows > 0; --rows, d.ptr += d.step, s.ptr += s.step) {
            switch (kind) {
            case 1:
                blitRowCopy(d.ptr, s.ptr, cols, w);
                break;
            case 2:
                blitRowSourceAlpha(d.ptr, s.ptr, cols, w);
                break;
            case 3:
                blitRowSourceAlpha256(d.ptr, s.ptr, cols);
                break;
            case 4:
                blitRowAdd(d.ptr, s.ptr, cols, w);
                break;
            case 5:
                blitRowMul(d.ptr, s.ptr, cols, w);
                break;
            case 6:
                blitRowSourceAlphaAddMul<false>(d.ptr, s.ptr, cols, w);
                break;
            default:
                blitRowSourceAlphaAddMul<true>(d.ptr, s.ptr, cols, w);
                break;
            }
        }
        return;
    }
    for (; rows > 0; --rows, d.ptr += d.step, s.ptr += s.step) {
        LICE_pixel* dp = d.ptr;
        const LICE_pixel* sp = s.ptr;
        for (int x = 0; x < cols; ++x) {
            const LICE_pixel c = sp[x];
            Op::doPix((LICE_pixel_chan*)(dp + x), LICE_GETR(c), LICE_GETG(c), LICE_GETB(c),
                      LICE_GETA(c), w);
        }
    }
}

// The visible part of a blit: destination and source corners and the copy size.
struct BlitArea {
    int dx, dy, sx, sy, cols, rows;
};

// Clips the source rectangle to the source and the destination; false when nothing is left.
bool clipBlit(LICE_IBitmap* dest, LICE_IBitmap* src, long long dstx, long long dsty,
              const RECT* srcrect, BlitArea* out) {
    long long left = 0, top = 0, right = src->getWidth(), bottom = src->getHeight();
    if (srcrect) {
        // A rectangle starting left of or above the source moves the drawing right or down.
        if (srcrect->left < 0) dstx -= srcrect->left;
        if (srcrect->top < 0) dsty -= srcrect->top;
        if (srcrect->left > 0) left = srcrect->left;
        if (srcrect->top > 0) top = srcrect->top;
        if (srcrect->right < right) right = srcrect->right;
        if (srcrect->bottom < bottom) bottom = srcrect->bottom;
    }
    if (dstx < 0) left -= dstx, dstx = 0;
    if (dsty < 0) top -= dsty, dsty = 0;
    const int dw = dest->getWidth(), dh = dest->getHeight();
    if (dstx >= dw || dsty >= dh || left >= right || top >= bottom) return false;
    const long long cols = (right < left + (dw - dstx) ? right : left + (dw - dstx)) - left;
    const long long rows = (bottom < top + (dh - dsty) ? bottom : top + (dh - dsty)) - top;
    if (cols <= 0 || rows <= 0 || !dest->getBits() || !src->getBits()) return false;
    *out = {(int)dstx, (int)dsty, (int)left, (int)top, (int)cols, (int)rows};
    return true;
}

} // namespace

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect,
               float alpha, int mode) {
    if (!dest || !src || alpha == 0.0f) return;
    BlitArea a;
    if (!clipBlit(dest, src, dstx, dsty, srcrect, &a)) return;
    Rows d = rowsAt(dest, a.dx, a.dy);
    Rows s = rowsAt(src, a.sx, a.sy);

    if ((mode & 0xf0) == LICE_COMBINE_CHANNEL_COPY) {
        const int si = mode & 3, di = (mode >> 2) & 3;
        for (int y = 0; y < a.rows; ++y, d.ptr += d.step, s.ptr += s.step) {
            LICE_pixel_chan* dp = (LICE_pixel_chan*)d.ptr;
            const LICE_pixel_chan* sp = (const LICE_pixel_chan*)s.ptr;
            for (int x = 0; x < a.cols; ++x)
                dp[x * 4 + di] = sp[x * 4 + si];
        }
        return;
    }
    const bool plainCopy = (mode & (LICE_COMBINE_MASK | LICE_COMBINE_USE_SOURCE_ALPHA)) == 0;
    if (plainCopy && alpha == 1.0f) {
        for (int y = 0; y < a.rows; ++y, d.ptr += d.step, s.ptr += s.step)
            memmove(d.ptr, s.ptr, (size_t)a.cols * sizeof(LICE_pixel));
        return;
    }
    if (plainCopy && alpha == 0.5f) {
        for (int y = 0; y < a.rows; ++y, d.ptr += d.step, s.ptr += s.step)
            blitRowHalf(d.ptr, s.ptr, a.cols);
        return;
    }
    const int w = LICE_AlphaToWeight(alpha);
    LICE_DispatchCombine(mode, w,
                         [&](auto op) { blitRows<decltype(op)>(d, s, a.cols, a.rows, w); });
}

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch, float alpha, int mode) {
    const RECT r = {srcx, srcy, clampInt((long long)srcx + srcw), clampInt((long long)srcy + srch)};
    LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src) {
    if (!dest || !src) return;
    dest->resize(src->getWidth(), src->getHeight());
    LICE_Blit(dest, src, 0, 0, nullptr, 1.0f, LICE_COMBINE_COPY);
}

namespace {

// One blurred row: centre / 2 plus each neighbour / 8, per channel on the whole word; a missing
// neighbour (first or last column or row) lends its share to the opposite one.
void blurRow(LICE_pixel* out, const LICE_pixel* above, const LICE_pixel* row,
             const LICE_pixel* below, int cols) {
    const auto half = [](LICE_pixel v) { return (v >> 1) & 0x7f7f7f7fu; };
    const auto quarter = [](LICE_pixel v) { return (v >> 2) & 0x3f3f3f3fu; };
    const auto eighth = [](LICE_pixel v) { return (v >> 3) & 0x1f1f1f1fu; };
    for (int x = 0; x < cols; ++x) {
        LICE_pixel v = half(row[x]);
        if (x == 0)
            v += quarter(row[x + 1]);
        else if (x == cols - 1)
            v += quarter(row[x - 1]);
        else
            v += eighth(row[x - 1]) + eighth(row[x + 1]);
        if (!above)
            v += quarter(below[x]);
        else if (!below)
            v += quarter(above[x]);
        else
            v += eighth(above[x]) + eighth(below[x]);
        out[x] = v;
    }
}

} // namespace

void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch) {
    if (!dest || !src) return;
    const RECT r = {srcx, srcy, clampInt((long long)srcx + srcw), clampInt((long long)srcy + srch)};
    BlitArea a;
    if (!clipBlit(dest, src, dstx, dsty, &r, &a) || a.cols < 2 || a.rows < 2) return;

    // Blurring in place would read rows already written; work from a copy of the source area.
    WDL_TypedBuf<LICE_pixel> copy;
    Rows s = rowsAt(src, a.sx, a.sy);
    if (dest == src) {
        LICE_pixel* p = copy.Resize(a.cols * a.rows, false);
        if (!p) return;
        for (int y = 0; y < a.rows; ++y, s.ptr += s.step)
            memcpy(p + (size_t)y * a.cols, s.ptr, (size_t)a.cols * sizeof(LICE_pixel));
        s = {p, a.cols};
    }
    Rows d = rowsAt(dest, a.dx, a.dy);
    for (int y = 0; y < a.rows; ++y, d.ptr += d.step) {
        const LICE_pixel* row = s.ptr + (ptrdiff_t)y * s.step;
        blurRow(d.ptr, y > 0 ? row - s.step : nullptr, row, y < a.rows - 1 ? row + s.step : nullptr,
                a.cols);
    }
}
