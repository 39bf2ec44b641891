// Source sampling shared by the scaled, rotated and mesh blits: windows, nearest and bilinear
// samples, and the walker of the rotated and derivative-driven blits. Not part of the public
// interface.
#pragma once

#include "raster/lice_combine.h"
#include "raster/lice_p.h"
#include "raster/lice_simd_p.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace lice_detail {

// A source window: pixel (0, 0) of it, the step to the next row, and its size.
struct Window {
    const LICE_pixel* ptr;
    int step;
    int w, h;
    const LICE_pixel* at(int x, int y) const { return ptr + (ptrdiff_t)y * step + x; }
};

inline bool inside(long long v, int n) {
    return (unsigned long long)v < (unsigned long long)n;
}

// Blue/red and green/alpha of a pixel in the two 32-bit lanes of a 64-bit word: a tap weight of
// at most 65536 times a channel stays inside its lane, so two channels filter per multiply with
// the same sums as one at a time.
inline uint64_t lanesBR(LICE_pixel p) {
    return (p & 0xffu) | ((uint64_t)(p & 0xff0000u) << 16);
}
inline uint64_t lanesGA(LICE_pixel p) {
    return ((p >> 8) & 0xffu) | ((uint64_t)(p >> 24) << 32);
}
// The filtered word from the lane sums (each a channel times 65536).
inline LICE_pixel fromLanes(uint64_t br, uint64_t ga) {
    return (LICE_pixel)(((br >> 16) & 0xff) | (((ga >> 16) & 0xff) << 8) |
                        (((br >> 48) & 0xff) << 16) | (((ga >> 48) & 0xff) << 24));
}

// Bilinear sample in row r0 (r1 the row below, null on the window's last row) at column X with
// fractions fx, fy. Along the last column or row only the taps that exist are blended.
inline LICE_pixel bilinearAt(const LICE_pixel* r0, const LICE_pixel* r1, int X, bool lastCol,
                             unsigned int fx, unsigned int fy) {
    const LICE_pixel p00 = r0[X];
    if (r1 && !lastCol) {
        const LICE_pixel p01 = r0[X + 1], p10 = r1[X], p11 = r1[X + 1];
        const unsigned int w11 = (fx * fy) >> 16;
        const unsigned int w00 = 65536 - fx - fy + w11, w01 = fx - w11, w10 = fy - w11;
#if LICE_HAVE_SSE2
        return bilinearTaps(p00, p01, p10, p11, w00, w01, w10, w11);
#else
        return fromLanes(
            lanesBR(p00) * w00 + lanesBR(p01) * w01 + lanesBR(p10) * w10 + lanesBR(p11) * w11,
            lanesGA(p00) * w00 + lanesGA(p01) * w01 + lanesGA(p10) * w10 + lanesGA(p11) * w11);
#endif
    }
    if (r1) {
        const LICE_pixel p10 = r1[X];
        return fromLanes(lanesBR(p00) * (65536 - fy) + lanesBR(p10) * fy,
                         lanesGA(p00) * (65536 - fy) + lanesGA(p10) * fy);
    }
    if (!lastCol) {
        const LICE_pixel p01 = r0[X + 1];
        return fromLanes(lanesBR(p00) * (65536 - fx) + lanesBR(p01) * fx,
                         lanesGA(p00) * (65536 - fx) + lanesGA(p01) * fx);
    }
    return p00;
}

// Bilinear sample at the 16.16 position (x, y) relative to the window; false when outside.
inline bool bilinear(const Window& win, long long x, long long y, LICE_pixel* out) {
    const long long X = x >> 16, Y = y >> 16;
    if (!inside(X, win.w) || !inside(Y, win.h)) return false;
    const LICE_pixel* r0 = win.at(0, (int)Y);
    const LICE_pixel* r1 = Y == win.h - 1 ? nullptr : r0 + win.step;
    *out = bilinearAt(r0, r1, (int)X, X == win.w - 1, (unsigned int)(x & 0xffff),
                      (unsigned int)(y & 0xffff));
    return true;
}

// Writes a sampled source word through Op; the plain store needs no unpacking.
template <class Op>
inline void put(LICE_pixel* p, LICE_pixel c, int w) {
    if (std::is_same<Op, _LICE_CombinePixelsClobberNoClamp>::value)
        *p = c;
    else
        Op::doPix((LICE_pixel_chan*)p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), LICE_GETA(c), w);
}

// The walk of the rotated and derivative-driven blits, all in 16.16 relative to the window:
// the position sampled by the first pixel, its per-column and per-row steps, and the per-row
// changes of the per-column steps (zero for an affine walk). The sample of column i on row j is
// s + j * dsdy + i * (dsdx + j * dsdxdy), likewise for t. With varyingAlpha the weight walks the
// same way (weight * 65536 in a, dadx, dady, dadxdy) and is held to 0..256 per pixel.
struct DeltaWalk {
    Rows d;
    int cols, rows;
    long long s, t, dsdx, dtdx, dsdy, dtdy, dsdxdy, dtdxdy;
    bool varyingAlpha;
    long long a, dadx, dady, dadxdy;
    Window win;
};

// Draws the walk with the combine operation of mode at weight w (the base weight when alpha
// varies); bilinear when the filter bits say so. A mode outside the table draws nothing.
void drawDeltaWalk(const DeltaWalk& k, int mode, int w);

} // namespace lice_detail
