// Stamping 8-bit coverage maps (glyphs, circle stamps) in a solid colour.
#include "raster/lice.h"
#include "raster/lice_p.h"

using namespace lice_detail;

namespace {

template <class Op>
void stamp(const Canvas& cv, bool flipped, int x0, int y0, int mx, int my, int cols, int rows,
           const LICE_pixel_chan* map, int span, LICE_pixel color, int w, bool copy) {
    const int r = LICE_GETR(color), g = LICE_GETG(color), b = LICE_GETB(color);
    const int a = LICE_GETA(color);
    for (int j = 0; j < rows; ++j) {
        const int y = y0 + j;
        LICE_pixel* out = cv.at(x0, flipped ? cv.h - 1 - y : y);
        const LICE_pixel_chan* in = map + (ptrdiff_t)(my + j) * span + mx;
        for (int i = 0; i < cols; ++i) {
            if (!in[i]) continue;
            const int pw = (w * in[i]) / 256;
            if (copy ? pw > 0 : pw != 0) Op::doPix((LICE_pixel_chan*)(out + i), r, g, b, a, pw);
        }
    }
}

} // namespace

void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                      const LICE_pixel_chan* alphas, int w, int span, int h, float alpha,
                      int mode) {
    Canvas cv;
    if (!alphas || w <= 0 || h <= 0 || !canvasOf(dest, &cv)) return;
    const int wt = LICE_AlphaToWeight(alpha);
    if (wt == 0) return;
    // Clip the map against the bitmap.
    long long x0 = x, y0 = y, x1 = (long long)x + w, y1 = (long long)y + h;
    const int mx = x0 < 0 ? (int)-x0 : 0, my = y0 < 0 ? (int)-y0 : 0;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > cv.w) x1 = cv.w;
    if (y1 > cv.h) y1 = cv.h;
    if (x0 >= x1 || y0 >= y1) return;
    const int cols = (int)(x1 - x0), rows = (int)(y1 - y0);
    const bool copy = (mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY;
    const bool flipped = dest->isFlipped();
    LICE_DispatchSolid(mode, wt, [&](auto op) {
        stamp<decltype(op)>(cv, flipped, (int)x0, (int)y0, mx, my, cols, rows, alphas, span, color,
                            wt, copy);
    });
}

void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                    const LICE_pixel_chan* alphas, int w, int h, float alpha, int mode) {
    LICE_DrawGlyphEx(dest, x, y, color, alphas, w, w, h, alpha, mode);
}

void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                        const unsigned char* bits, int w, int h, float alpha, int mode) {
    Canvas cv;
    if (!bits || w <= 0 || h <= 0 || !canvasOf(dest, &cv)) return;
    const long long x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    const long long x1 = (long long)x + w < cv.w ? (long long)x + w : cv.w;
    const long long y1 = (long long)y + h < cv.h ? (long long)y + h : cv.h;
    if (x0 >= x1 || y0 >= y1) return;
    const size_t rowBytes = ((size_t)w + 7) / 8;
    const bool flipped = dest->isFlipped();
    withFillPen(mode, LICE_AlphaToWeight(alpha), color, [&](auto pen) {
        const int wt = LICE_AlphaToWeight(alpha);
        for (long long py = y0; py < y1; ++py) {
            const unsigned char* row = bits + (size_t)(py - y) * rowBytes;
            LICE_pixel* out = cv.at(0, flipped ? cv.h - 1 - (int)py : (int)py);
            for (long long px = x0; px < x1; ++px) {
                const size_t i = (size_t)(px - x);
                if (row[i >> 3] & (0x80 >> (i & 7))) pen(out + px, wt);
            }
        }
    });
}
