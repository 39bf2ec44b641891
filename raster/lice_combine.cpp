#include "raster/lice_combine.h"

namespace {

// Channel values are held to -256..511: room for the clamped operations to saturate, and small
// enough that no product overflows at any weight within LICE_MAX_WEIGHT.
int clampChannel(int v) {
    return v < -256 ? -256 : v > 511 ? 511 : v;
}

} // namespace

LICE_pixel LICE_CombinePixels(LICE_pixel dest, LICE_pixel src, float alpha, int mode) {
    LICE_pixel out = dest;
    LICE_DispatchCombine(mode, LICE_AlphaToWeight(alpha), [&](auto op) {
        decltype(op)::doPix((LICE_pixel_chan*)&out, LICE_GETR(src), LICE_GETG(src), LICE_GETB(src),
                            LICE_GETA(src), LICE_AlphaToWeight(alpha));
    });
    return out;
}

void LICE_CombinePixels2(LICE_pixel* dest, int r, int g, int b, int a, int weight, int mode) {
    if (!dest) return;
    weight = LICE_ClampWeight(weight);
    r = clampChannel(r), g = clampChannel(g), b = clampChannel(b), a = clampChannel(a);
    LICE_DispatchCombine(mode, weight, [&](auto op) {
        decltype(op)::doPix((LICE_pixel_chan*)dest, r, g, b, a, weight);
    });
}

void LICE_CombinePixels2Clamp(LICE_pixel* dest, int r, int g, int b, int a, int weight, int mode) {
    if (!dest || weight == 0) return;
    weight = LICE_ClampWeight(weight);
    r = clampChannel(r), g = clampChannel(g), b = clampChannel(b), a = clampChannel(a);
    LICE_pixel_chan* d = (LICE_pixel_chan*)dest;
    // The clamped copy and multiply replace their plain forms; the other operations saturate.
    switch (mode & (LICE_COMBINE_MASK | LICE_COMBINE_USE_SOURCE_ALPHA)) {
    case LICE_COMBINE_COPY:
        if (weight < 1) return;
        if (weight == 256)
            _LICE_CombinePixelsClobberClamp::doPix(d, r, g, b, a, weight);
        else
            _LICE_CombinePixelsCopyClamp::doPix(d, r, g, b, a, weight);
        return;
    case LICE_COMBINE_MUL:
        _LICE_CombinePixelsMulClamp::doPix(d, r, g, b, a, weight);
        return;
    default:
        LICE_CombinePixels2(dest, r, g, b, a, weight, mode);
        return;
    }
}
