// The mode word of every raster call and the per-pixel combine operations.
//
// Mode word: bits 0-7 select the combine operation (LICE_COMBINE_COPY .. LICE_COMBINE_HSVADJ);
// (mode & 0xf0) == 0xf0 asks LICE_Blit for a single channel copy (source byte mode & 3 into
// destination byte (mode >> 2) & 3); bits 8-15 select the filter of scaling and rotating blits;
// bit 16 weights blits by the source alpha (fills and shapes: multiplies alpha by the colour's
// alpha byte / 255).
//
// Weight: a float alpha becomes w = (int)(alpha * 256.0), so 1.0 is 256 and 0.5 is 128. Alpha is
// expected in 0..1 and is not clamped to it (only to +-16, see LICE_MAX_WEIGHT). A weight of 0
// changes nothing.
//
// Each operation is a stateless struct with an inlinable
//     static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w)
// combining source channels r, g, b, a (0..255) into the four destination bytes with weight w.
// Drawing algorithms are templates over the operation; LICE_DispatchCombine picks the instance
// once per call. All divisions are signed and truncate toward zero; that rounding is part of
// the look of every control and must not be "improved".
#pragma once

#include "raster/lice_bitmap.h"

#define LICE_COMBINE_COPY 0
#define LICE_COMBINE_ADD 1
#define LICE_COMBINE_DIVIDE 2 // colour dodge
#define LICE_COMBINE_MUL 3
#define LICE_COMBINE_OVERLAY 4
#define LICE_COMBINE_HSVADJ 5
#define LICE_COMBINE_MASK 0xff
#define LICE_COMBINE_CHANNEL_COPY 0xf0
#define LICE_COMBINE_FILTER_MASK 0xff00
#define LICE_COMBINE_FILTER_BILINEAR 0x100
#define LICE_COMBINE_USE_SOURCE_ALPHA 0x10000

// Mode word of a channel copy from source byte index src into destination byte index dst.
#define LICE_COMBINE_CHANNEL(src, dst) (0xf0 | ((src)&3) | (((dst)&3) << 2))

// Weights are held to +-LICE_MAX_WEIGHT (alpha +-16): far beyond any sensible alpha, and small
// enough that no operation's integer products can overflow.
#define LICE_MAX_WEIGHT 4096
inline int LICE_ClampWeight(int w) {
    return w > LICE_MAX_WEIGHT ? LICE_MAX_WEIGHT : w < -LICE_MAX_WEIGHT ? -LICE_MAX_WEIGHT : w;
}

// Weight of a float alpha, computed in double precision and truncated toward zero; NaN gives 0.
inline int LICE_AlphaToWeight(float alpha) {
    const double v = alpha * 256.0;
    if (!(v == v)) return 0;
    return v >= LICE_MAX_WEIGHT    ? LICE_MAX_WEIGHT
           : v <= -LICE_MAX_WEIGHT ? -LICE_MAX_WEIGHT
                                   : (int)v;
}

namespace lice_detail {

inline int clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// floor(65536 / i) - 1, and 0 for i = 0: the reciprocals of the HSV conversion.
struct InvTable {
    int v[256];
    constexpr InvTable() : v() {
        for (int i = 1; i < 256; ++i)
            v[i] = 65536 / i - 1;
    }
};
inline constexpr InvTable kInvTable{};

// Source values in destination byte order.
struct Src {
    int c[4];
    Src(int r, int g, int b, int a) : c{b, g, r, a} {}
};

} // namespace lice_detail

// Copy at weight 256: stores the source.
struct _LICE_CombinePixelsClobberNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int) {
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)b;
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)g;
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)r;
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)a;
    }
};

// Plain clamped store (gradients compute channels that may leave 0..255).
struct _LICE_CombinePixelsClobberClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int) {
        using lice_detail::clamp255;
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)clamp255(b);
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)clamp255(g);
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)clamp255(r);
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)clamp255(a);
    }
};

// D' = S + ((D - S) * (256 - w)) / 256 on all four channels.
struct _LICE_CombinePixelsCopyNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        const int iw = 256 - w;
        for (int i = 0; i < 4; ++i)
            dest[i] = (LICE_pixel_chan)(s.c[i] + ((dest[i] - s.c[i]) * iw) / 256);
    }
};

struct _LICE_CombinePixelsCopyClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        const int iw = 256 - w;
        for (int i = 0; i < 4; ++i)
            dest[i] =
                (LICE_pixel_chan)lice_detail::clamp255(s.c[i] + ((dest[i] - s.c[i]) * iw) / 256);
    }
};

// D' = clamp(D + (S * w) / 256).
struct _LICE_CombinePixelsAdd {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        for (int i = 0; i < 4; ++i)
            dest[i] = (LICE_pixel_chan)lice_detail::clamp255(dest[i] + (s.c[i] * w) / 256);
    }
};

// Colour dodge: D * 256 / (256 - S * w / 256), clamped; a saturated source drives any non-zero
// destination to 255 and leaves 0 at 0.
struct _LICE_CombinePixelsColorDodge {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        for (int i = 0; i < 4; ++i) {
            const int k = (s.c[i] * w) / 256;
            int x = dest[i] * 256;
            if (k < 255) x /= 256 - k;
            dest[i] = (LICE_pixel_chan)lice_detail::clamp255(x);
        }
    }
};

// D' = ((S * w + (256 - w) * 256) * D) >> 16.
struct _LICE_CombinePixelsMulNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        const int t = (256 - w) * 256;
        for (int i = 0; i < 4; ++i)
            dest[i] = (LICE_pixel_chan)(((s.c[i] * w + t) * dest[i]) >> 16);
    }
};

struct _LICE_CombinePixelsMulClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        const int t = (256 - w) * 256;
        for (int i = 0; i < 4; ++i) {
            const int v = (s.c[i] * w + t) * dest[i];
            dest[i] = (LICE_pixel_chan)(v >= 0x1000000 ? 255 : v < 0 ? 0 : v >> 16);
        }
    }
};

// Overlay: X = ((32768 - S*w - t) * D / 256 + S*w + t) * D with t = (256 - w) * 128;
// D' = X >> 15, saturated.
struct _LICE_CombinePixelsOverlay {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        const lice_detail::Src s(r, g, b, a);
        const int t = (256 - w) * 128;
        for (int i = 0; i < 4; ++i) {
            const int d = dest[i];
            const int sw = s.c[i] * w;
            const int x = ((32768 - sw - t) * d / 256 + sw + t) * d;
            dest[i] = (LICE_pixel_chan)(x > 0x7fffff ? 255 : x < 0 ? 0 : x >> 15);
        }
    }
};

// The source colour adjusts the destination in HSV space (hue 384 units per turn): red shifts the
// hue (128 neutral), green the saturation and blue the value (128 neutral, +-1 per unit at full
// weight). The destination alpha becomes the source alpha.
struct _LICE_CombinePixelsHSVAdjust {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        if (w == 0) return;
        using lice_detail::clamp255;
        const int R = dest[LICE_PIXEL_R], G = dest[LICE_PIXEL_G], B = dest[LICE_PIXEL_B];
        int mx, mn, base, diff;
        if (R < G) {
            if (G > B) {
                mx = G, mn = R < B ? R : B, base = 128, diff = B - R;
            } else {
                mx = B, mn = R, base = 256, diff = R - G;
            }
        } else if (B < R) {
            mx = R, mn = G < B ? G : B, base = G < B ? 383 : 0, diff = G - B;
        } else {
            mx = B, mn = G, base = 256, diff = R - G;
        }
        const int df = mx - mn;
        int h = base + (diff * (invTable(df) + 1)) / 1024;
        int sat = (df * invTable(mx)) / 256;
        int val = mx;

        h += (w * (r + r / 2 - 192)) / 256;
        if (h < 0)
            h += 384;
        else if (h > 383)
            h -= 384;
        sat = clamp255(sat + (w * (g - 128)) / 128);
        val = clamp255(val + (w * (b - 128)) / 128);

        const int sector = h <= 63    ? 0
                           : h <= 127 ? 1
                           : h <= 191 ? 2
                           : h <= 255 ? 3
                           : h <= 319 ? 4
                                      : 5;
        const int f = h - 64 * sector;
        const int p = ((256 - sat) * val) / 256;
        const int rise = (val * (16384 - (64 - f) * sat)) / 16384;
        const int fall = (val * (16384 - f * sat)) / 16384;
        int nr, ng, nb;
        switch (sector) {
        case 0:
            nr = val, ng = rise, nb = p;
            break;
        case 1:
            nr = fall, ng = val, nb = p;
            break;
        case 2:
            nr = p, ng = val, nb = rise;
            break;
        case 3:
            nr = p, ng = fall, nb = val;
            break;
        case 4:
            nr = rise, ng = p, nb = val;
            break;
        default:
            nr = val, ng = p, nb = fall;
            break;
        }
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)nr;
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)ng;
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)nb;
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)a;
    }

    static int invTable(int i) { return lice_detail::kInvTable.v[i]; }
};

// Source-alpha forms: the effective weight is w' = (w * (a + 1)) / 256.
inline int LICE_SourceAlphaWeight(int w, int a) {
    return (w * (a + 1)) / 256;
}

// Copy with source alpha at weight 256: opaque sources store, others keep (255 - a) / 256 of the
// old colour; alpha rises by a, saturating.
struct _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int) {
        if (a == 0) return;
        if (a == 255) {
            _LICE_CombinePixelsClobberNoClamp::doPix(dest, r, g, b, 255, 256);
            return;
        }
        const int ia = 255 - a;
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)(b + ((dest[LICE_PIXEL_B] - b) * ia) / 256);
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)(g + ((dest[LICE_PIXEL_G] - g) * ia) / 256);
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)(r + ((dest[LICE_PIXEL_R] - r) * ia) / 256);
        const int na = dest[LICE_PIXEL_A] + a;
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)(na > 255 ? 255 : na);
    }
};

struct _LICE_CombinePixelsCopySourceAlphaNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        if (a == 0) return;
        const int sw = LICE_SourceAlphaWeight(w, a);
        const int iw = 256 - sw;
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)(b + ((dest[LICE_PIXEL_B] - b) * iw) / 256);
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)(g + ((dest[LICE_PIXEL_G] - g) * iw) / 256);
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)(r + ((dest[LICE_PIXEL_R] - r) * iw) / 256);
        const int na = dest[LICE_PIXEL_A] + sw;
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)(na > 255 ? 255 : na);
    }
};

struct _LICE_CombinePixelsAddSourceAlpha {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        if (a == 0) return;
        _LICE_CombinePixelsAdd::doPix(dest, r, g, b, a, LICE_SourceAlphaWeight(w, a));
    }
};

struct _LICE_CombinePixelsMulSourceAlphaNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        if (a == 0) return;
        _LICE_CombinePixelsMulNoClamp::doPix(dest, r, g, b, a, LICE_SourceAlphaWeight(w, a));
    }
};

struct _LICE_CombinePixelsColorDodgeSourceAlpha {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        _LICE_CombinePixelsColorDodge::doPix(dest, r, g, b, a, LICE_SourceAlphaWeight(w, a));
    }
};

struct _LICE_CombinePixelsOverlaySourceAlpha {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        _LICE_CombinePixelsOverlay::doPix(dest, r, g, b, a, LICE_SourceAlphaWeight(w, a));
    }
};

struct _LICE_CombinePixelsHSVAdjustSourceAlpha {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int w) {
        _LICE_CombinePixelsHSVAdjust::doPix(dest, r, g, b, a, LICE_SourceAlphaWeight(w, a));
    }
};

// Exact per-channel half mix, D' = (D + S) >> 1 (lines, circles and trapezoids at alpha 0.5).
struct _LICE_CombinePixelsHalfMixNoClamp {
    static void doPix(LICE_pixel_chan* dest, int r, int g, int b, int a, int) {
        dest[LICE_PIXEL_B] = (LICE_pixel_chan)((dest[LICE_PIXEL_B] + b) >> 1);
        dest[LICE_PIXEL_G] = (LICE_pixel_chan)((dest[LICE_PIXEL_G] + g) >> 1);
        dest[LICE_PIXEL_R] = (LICE_pixel_chan)((dest[LICE_PIXEL_R] + r) >> 1);
        dest[LICE_PIXEL_A] = (LICE_pixel_chan)((dest[LICE_PIXEL_A] + a) >> 1);
    }
};

// Whole-word operations on the 32-bit pixel, all four channels at once, low bits dropped:
//     static void doPix(LICE_pixel* dest, LICE_pixel c)
struct _LICE_CombinePixelsClobberFAST {
    static void doPix(LICE_pixel* dest, LICE_pixel c) { *dest = c; }
};

struct _LICE_CombinePixelsHalfMix2FAST {
    static void doPix(LICE_pixel* dest, LICE_pixel c) {
        *dest = ((c >> 1) & 0x7f7f7f7fu) + ((*dest >> 1) & 0x7f7f7f7fu);
    }
};

// Half mix of a source pixel (blits at alpha 0.5); the same rule as the solid half mix.
struct _LICE_CombinePixelsHalfMixFAST : _LICE_CombinePixelsHalfMix2FAST {};

struct _LICE_CombinePixelsQuarterMix2FAST {
    static void doPix(LICE_pixel* dest, LICE_pixel c) {
        const LICE_pixel d = *dest;
        *dest = ((c >> 2) & 0x3f3f3f3fu) + ((d >> 2) & 0x3f3f3f3fu) + ((d >> 1) & 0x7f7f7f7fu);
    }
};

struct _LICE_CombinePixelsThreeQuarterMix2FAST {
    static void doPix(LICE_pixel* dest, LICE_pixel c) {
        *dest = ((c >> 1) & 0x7f7f7f7fu) + ((c >> 2) & 0x3f3f3f3fu) + ((*dest >> 2) & 0x3f3f3f3fu);
    }
};

// The twelve-case dispatch of blits and single-pixel combines on (mode & 0x100ff) with weight w:
// calls f(Op{}) with the chosen operation and returns true, or returns false for weight 0, for a
// non-positive weight in copy mode and for modes outside the table.
template <class F>
inline bool LICE_DispatchCombine(int mode, int w, F&& f) {
    if (w == 0) return false;
    switch (mode & (LICE_COMBINE_MASK | LICE_COMBINE_USE_SOURCE_ALPHA)) {
    case LICE_COMBINE_COPY:
        if (w < 1) return false;
        if (w == 256)
            f(_LICE_CombinePixelsClobberNoClamp{});
        else
            f(_LICE_CombinePixelsCopyNoClamp{});
        return true;
    case LICE_COMBINE_ADD:
        f(_LICE_CombinePixelsAdd{});
        return true;
    case LICE_COMBINE_DIVIDE:
        f(_LICE_CombinePixelsColorDodge{});
        return true;
    case LICE_COMBINE_MUL:
        f(_LICE_CombinePixelsMulNoClamp{});
        return true;
    case LICE_COMBINE_OVERLAY:
        f(_LICE_CombinePixelsOverlay{});
        return true;
    case LICE_COMBINE_HSVADJ:
        f(_LICE_CombinePixelsHSVAdjust{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_COPY:
        if (w == 256)
            f(_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp{});
        else
            f(_LICE_CombinePixelsCopySourceAlphaNoClamp{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_ADD:
        f(_LICE_CombinePixelsAddSourceAlpha{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_DIVIDE:
        f(_LICE_CombinePixelsColorDodgeSourceAlpha{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_MUL:
        f(_LICE_CombinePixelsMulSourceAlphaNoClamp{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_OVERLAY:
        f(_LICE_CombinePixelsOverlaySourceAlpha{});
        return true;
    case LICE_COMBINE_USE_SOURCE_ALPHA | LICE_COMBINE_HSVADJ:
        f(_LICE_CombinePixelsHSVAdjustSourceAlpha{});
        return true;
    default:
        return false;
    }
}

// The operation of solid colours (fills, shapes, glyphs) on (mode & 0xff) with weight w; the
// copy case takes the copy operation for every positive weight (callers handle their
// whole-word weights before). Returns false for weight 0, copy at a negative weight, or a value
// above 5.
template <class F>
inline bool LICE_DispatchSolid(int mode, int w, F&& f) {
    if (w == 0) return false;
    switch (mode & LICE_COMBINE_MASK) {
    case LICE_COMBINE_COPY:
        if (w < 0) return false;
        f(_LICE_CombinePixelsCopyNoClamp{});
        return true;
    case LICE_COMBINE_ADD:
        f(_LICE_CombinePixelsAdd{});
        return true;
    case LICE_COMBINE_DIVIDE:
        f(_LICE_CombinePixelsColorDodge{});
        return true;
    case LICE_COMBINE_MUL:
        f(_LICE_CombinePixelsMulNoClamp{});
        return true;
    case LICE_COMBINE_OVERLAY:
        f(_LICE_CombinePixelsOverlay{});
        return true;
    case LICE_COMBINE_HSVADJ:
        f(_LICE_CombinePixelsHSVAdjust{});
        return true;
    default:
        return false;
    }
}

// Combines src into dest with weight (int)(alpha * 256.0) through the twelve-case dispatch and
// returns the result; dest unchanged for weight 0 or a mode outside the table.
LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode);

// Combines channel values into *dest through the twelve-case dispatch; the Clamp form uses the
// clamped copy and multiply, for weights outside 0..256. Weight 0 does nothing.
void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int weight, int mode);
void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int weight, int mode);
