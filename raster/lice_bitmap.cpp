#include "raster/lice_bitmap.h"

#include <cstring>

namespace {

// Start of visible row y (counted from the top) and the pointer step to the row below.
const LICE_pixel* topRow(LICE_IBitmap* bm, int y, int* step) {
    const int span = bm->getRowSpan();
    const LICE_pixel* bits = bm->getBits();
    if (bm->isFlipped()) {
        *step = -span;
        return bits + (size_t)(bm->getHeight() - 1 - y) * span;
    }
    *step = span;
    return bits + (size_t)y * span;
}

} // namespace

LICE_pixel LICE_GetPixel(LICE_IBitmap* bm, int x, int y) {
    if (!bm) return 0;
    const LICE_pixel* bits = bm->getBits();
    if (!bits || x < 0 || y < 0 || x >= bm->getWidth() || y >= bm->getHeight()) return 0;
    int step;
    return topRow(bm, y, &step)[x];
}

int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut) {
    return LICE_BitmapCmpEx(a, b, 0xffffffffu, coordsOut);
}

int LICE_BitmapCmpEx(LICE_IBitmap* a, LICE_IBitmap* b, LICE_pixel mask, int* coordsOut) {
    if (!a || !b) {
        if (coordsOut) coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
        return a == b ? 0 : a ? 1 : -1;
    }
    const int w = a->getWidth(), h = a->getHeight();
    if (w != b->getWidth()) return b->getWidth() - w;
    if (h != b->getHeight()) return b->getHeight() - h;

    const bool empty = w <= 0 || h <= 0 || !a->getBits() || !b->getBits();
    int stepA = 0, stepB = 0;
    const LICE_pixel* rowA = empty ? nullptr : topRow(a, 0, &stepA);
    const LICE_pixel* rowB = empty ? nullptr : topRow(b, 0, &stepB);

    if (!coordsOut) {
        if (empty) return 0;
        for (int y = 0; y < h; ++y, rowA += stepA, rowB += stepB) {
            if (mask == 0xffffffffu) {
                const int r = memcmp(rowA, rowB, (size_t)w * sizeof(LICE_pixel));
                if (r) return r;
            } else {
                for (int x = 0; x < w; ++x)
                    if ((rowA[x] ^ rowB[x]) & mask) return 1;
            }
        }
        return 0;
    }

    int left = w, right = -1, top = -1, bottom = -1;
    if (!empty) {
        for (int y = 0; y < h; ++y, rowA += stepA, rowB += stepB) {
            int first = -1, last = -1;
            for (int x = 0; x < w; ++x) {
                if ((rowA[x] ^ rowB[x]) & mask) {
                    if (first < 0) first = x;
                    last = x;
                }
            }
            if (first < 0) continue;
            if (top < 0) top = y;
            bottom = y;
            if (first < left) left = first;
            if (last > right) right = last;
        }
    }
    if (top < 0) {
        coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
        return 0;
    }
    coordsOut[0] = left;
    coordsOut[1] = top;
    coordsOut[2] = right - left + 1;
    coordsOut[3] = bottom - top + 1;
    return 1;
}
