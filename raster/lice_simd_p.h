// Four-pixel SSE2 forms of the blit combine operations the editor uses most (copy at a partial
// weight, copy with source alpha). They compute exactly the scalar arithmetic: the signed
// division toward zero of (D - S) * k / 256 is taken as sign(D - S) * ((|D - S| * k) >> 8),
// whose product fits an unsigned 16-bit lane because |D - S| <= 255 and k <= 256.
#pragma once

#include "raster/lice_combine.h"

#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LICE_HAVE_SSE2 1
#endif

namespace lice_detail {

#if LICE_HAVE_SSE2

// S + trunc((D - S) * k / 256) per 16-bit lane (channels widened from bytes).
inline __m128i mixToward(__m128i s, __m128i d, __m128i k) {
    const __m128i diff = _mm_sub_epi16(d, s);
    const __m128i sign = _mm_srai_epi16(diff, 15);
    const __m128i mag = _mm_sub_epi16(_mm_xor_si128(diff, sign), sign);
    const __m128i q = _mm_srli_epi16(_mm_mullo_epi16(mag, k), 8);
    return _mm_add_epi16(s, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
}

// Four 32-bit lane values (each < 65536) spread to the four channels of each pixel:
// lo = pixels 0 and 1, hi = pixels 2 and 3, in 16-bit lanes.
inline void perPixel(__m128i v32, __m128i* lo, __m128i* hi) {
    const __m128i both = _mm_or_si128(v32, _mm_slli_epi32(v32, 16));
    *lo = _mm_unpacklo_epi32(both, both);
    *hi = _mm_unpackhi_epi32(both, both);
}

// (w * (a + 1)) / 256 per 32-bit lane for w in 1..256, given w - 1: (a + 1) * (w - 1) fits the
// 16-bit multiply of the low halves, and adding a + 1 completes the product.
inline __m128i sourceAlphaWeight(__m128i a, __m128i wMinus1) {
    const __m128i a1 = _mm_add_epi32(a, _mm_set1_epi32(1));
    return _mm_srli_epi32(_mm_add_epi32(_mm_mullo_epi16(a1, wMinus1), a1), 8);
}

// Colour channels mixed toward the source by k (per pixel), alpha from alphaOut, pixels whose
// keep mask is set left as they were.
inline __m128i mixPixels(__m128i s, __m128i d, __m128i k32, __m128i alphaOut, __m128i keep) {
    const __m128i zero = _mm_setzero_si128();
    __m128i klo, khi;
    perPixel(k32, &klo, &khi);
    const __m128i lo = mixToward(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), klo);
    const __m128i hi = mixToward(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), khi);
    const __m128i colourMask = _mm_set1_epi32(0x00ffffff);
    __m128i out = _mm_or_si128(_mm_and_si128(_mm_packus_epi16(lo, hi), colourMask),
                               _mm_andnot_si128(colourMask, alphaOut));
    return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, out));
}

#endif

// Copy at weight w (0 < w < 256): every channel D' = S + ((D - S) * (256 - w)) / 256.
inline void blitRowCopy(LICE_pixel* d, const LICE_pixel* s, int n, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i k = _mm_set1_epi16((short)(256 - w));
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i lo = mixToward(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero), k);
        const __m128i hi = mixToward(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero), k);
        _mm_storeu_si128((__m128i*)(d + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c),
                                              LICE_GETB(c), LICE_GETA(c), w);
    }
}

// blitRowCopy with every source pixel equal to c.
inline void fillRowCopy(LICE_pixel* d, int n, LICE_pixel c, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i k = _mm_set1_epi16((short)(256 - w));
    const __m128i s16 = _mm_unpacklo_epi8(_mm_set1_epi32((int)c), zero);
    for (; x + 4 <= n; x += 4) {
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i lo = mixToward(s16, _mm_unpacklo_epi8(dv, zero), k);
        const __m128i hi = mixToward(s16, _mm_unpackhi_epi8(dv, zero), k);
        _mm_storeu_si128((__m128i*)(d + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < n; ++x)
        _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c),
                                              LICE_GETB(c), LICE_GETA(c), w);
}

// The whole-word half mix of a source row, ((S >> 1) & 0x7f7f7f7f) + ((D >> 1) & 0x7f7f7f7f).
inline void blitRowHalf(LICE_pixel* d, const LICE_pixel* s, int n) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i m = _mm_set1_epi32(0x7f7f7f7f);
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        _mm_storeu_si128((__m128i*)(d + x), _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(sv, 1), m),
                                                          _mm_and_si128(_mm_srli_epi32(dv, 1), m)));
    }
#endif
    for (; x < n; ++x)
        _LICE_CombinePixelsHalfMixFAST::doPix(d + x, s[x]);
}

// Add at weight w (0 < w <= 256): D' = min(255, D + (S * w) / 256) on all four channels; the
// product fits 16 bits and the saturating byte add is the clamp.
inline void blitRowAdd(LICE_pixel* d, const LICE_pixel* s, int n, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128(), k = _mm_set1_epi16((short)w);
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), k), 8);
        const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), k), 8);
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        _mm_storeu_si128((__m128i*)(d + x), _mm_adds_epu8(dv, _mm_packus_epi16(lo, hi)));
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        _LICE_CombinePixelsAdd::doPix((LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c),
                                      LICE_GETB(c), LICE_GETA(c), w);
    }
}

// Multiply at weight w (0 < w <= 256): D' = ((S * w + (256 - w) * 256) * D) >> 16. The factor
// is below 65536 for any positive weight, so the unsigned high-half multiply is the product
// shifted by 16.
inline void blitRowMul(LICE_pixel* d, const LICE_pixel* s, int n, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128(), k = _mm_set1_epi16((short)w);
    const __m128i t = _mm_set1_epi16((short)((256 - w) * 256));
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i flo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), k), t);
        const __m128i fhi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), k), t);
        const __m128i lo = _mm_mulhi_epu16(flo, _mm_unpacklo_epi8(dv, zero));
        const __m128i hi = _mm_mulhi_epu16(fhi, _mm_unpackhi_epi8(dv, zero));
        _mm_storeu_si128((__m128i*)(d + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        _LICE_CombinePixelsMulNoClamp::doPix((LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c),
                                             LICE_GETB(c), LICE_GETA(c), w);
    }
}

// Add and multiply with source alpha at weight w (0 < w <= 256): the plain operation at the
// per-pixel weight w' = (w * (a + 1)) / 256, nothing where a = 0. (A pixel whose w' is 0 is
// unchanged by either, which also keeps the multiply's factor inside 16 bits.)
template <bool Mul>
inline void blitRowSourceAlphaAddMul(LICE_pixel* d, const LICE_pixel* s, int n, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128(), wv1 = _mm_set1_epi32(w - 1);
    const __m128i c256 = _mm_set1_epi16(256);
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i a = _mm_srli_epi32(sv, 24);
        const __m128i ew = sourceAlphaWeight(a, wv1);
        const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(a, zero), _mm_cmpeq_epi32(ew, zero));
        __m128i klo, khi;
        perPixel(ew, &klo, &khi);
        const __m128i slo = _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), klo);
        const __m128i shi = _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), khi);
        __m128i out;
        if (Mul) {
            // (256 - w') * 256 added to S * w': below 65536 whenever w' > 0.
            const __m128i flo = _mm_add_epi16(slo, _mm_slli_epi16(_mm_sub_epi16(c256, klo), 8));
            const __m128i fhi = _mm_add_epi16(shi, _mm_slli_epi16(_mm_sub_epi16(c256, khi), 8));
            out = _mm_packus_epi16(_mm_mulhi_epu16(flo, _mm_unpacklo_epi8(dv, zero)),
                                   _mm_mulhi_epu16(fhi, _mm_unpackhi_epi8(dv, zero)));
        } else {
            out =
                _mm_adds_epu8(dv, _mm_packus_epi16(_mm_srli_epi16(slo, 8), _mm_srli_epi16(shi, 8)));
        }
        out = _mm_or_si128(_mm_and_si128(keep, dv), _mm_andnot_si128(keep, out));
        _mm_storeu_si128((__m128i*)(d + x), out);
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        LICE_pixel_chan* p = (LICE_pixel_chan*)(d + x);
        if (Mul)
            _LICE_CombinePixelsMulSourceAlphaNoClamp::doPix(p, LICE_GETR(c), LICE_GETG(c),
                                                            LICE_GETB(c), LICE_GETA(c), w);
        else
            _LICE_CombinePixelsAddSourceAlpha::doPix(p, LICE_GETR(c), LICE_GETG(c), LICE_GETB(c),
                                                     LICE_GETA(c), w);
    }
}

#if LICE_HAVE_SSE2
// Four pixels copied with source alpha at weight 256. Colour bytes: S + trunc((D - S) * k / 256)
// with k = 255 - a, taken as S + ((|D - S| * k) >> 8) when D > S and S - ((|D - S| * k) >> 8)
// otherwise. The magnitudes come from the two saturating byte differences; the products from
// high multiplies by k << 8, of the even bytes as they stand (the quotient lands in the low
// byte) and of the odd bytes in place (the quotient lands in the high byte). Since a quotient
// never exceeds its difference, the lesser of it and either saturated difference is the part to
// add or to subtract, and saturating byte arithmetic applies both. A clear pixel takes the whole
// differences (quotient 255), which gives back D. The alpha byte runs through the same steps with
// S's alpha taken as 0 and quotient 255: the part to add is D's alpha, and the saturating add
// gives min(255, D + a).
inline __m128i sourceAlpha256Four(__m128i s, __m128i d) {
    const __m128i alphaMask = _mm_set1_epi32((int)0xff000000u);
    const __m128i lowBytes = _mm_set1_epi16(0x00ff), highBytes = _mm_set1_epi16((short)0xff00);
    const __m128i k24 = _mm_andnot_si128(s, alphaMask);            // k << 24
    const __m128i k8 = _mm_or_si128(k24, _mm_srli_epi32(k24, 16)); // k << 8 in both halves
    const __m128i fixed = _mm_or_si128(_mm_cmpeq_epi32(k24, alphaMask), alphaMask);
    const __m128i colour = _mm_andnot_si128(alphaMask, s);
    const __m128i up = _mm_subs_epu8(d, colour), down = _mm_subs_epu8(colour, d);
    const __m128i mag = _mm_or_si128(up, down);
    const __m128i qe = _mm_mulhi_epu16(_mm_and_si128(mag, lowBytes), k8);
    const __m128i qo = _mm_mulhi_epu16(_mm_and_si128(mag, highBytes), k8);
    const __m128i q = _mm_or_si128(_mm_or_si128(qe, _mm_and_si128(qo, highBytes)), fixed);
    return _mm_subs_epu8(_mm_adds_epu8(s, _mm_min_epu8(q, up)), _mm_min_epu8(q, down));
}
#endif

// Copy with source alpha at weight 256.
inline void blitRowSourceAlpha256(LICE_pixel* d, const LICE_pixel* s, int n) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128(), c255 = _mm_set1_epi32(255);
    // Eight pixels a step, two independent chains. Artwork is mostly fully transparent or fully
    // opaque: such runs skip the arithmetic. Alphas whose top bits differ rule both out without
    // a comparison.
    for (; x + 8 <= n; x += 8) {
        const __m128i s0 = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i s1 = _mm_loadu_si128((const __m128i*)(s + x + 4));
        const unsigned int top =
            ((unsigned int)_mm_movemask_epi8(s0) | (unsigned int)_mm_movemask_epi8(s1) << 16) &
            0x88888888u;
        if (top == 0) {
            const __m128i a = _mm_srli_epi32(_mm_or_si128(s0, s1), 24);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, zero)) == 0xffff) continue;
        } else if (top == 0x88888888u) {
            const __m128i a = _mm_srli_epi32(_mm_and_si128(s0, s1), 24);
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, c255)) == 0xffff) {
                _mm_storeu_si128((__m128i*)(d + x), s0);
                _mm_storeu_si128((__m128i*)(d + x + 4), s1);
                continue;
            }
        }
        const __m128i d0 = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i d1 = _mm_loadu_si128((const __m128i*)(d + x + 4));
        _mm_storeu_si128((__m128i*)(d + x), sourceAlpha256Four(s0, d0));
        _mm_storeu_si128((__m128i*)(d + x + 4), sourceAlpha256Four(s1, d1));
    }
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        _mm_storeu_si128((__m128i*)(d + x), sourceAlpha256Four(sv, dv));
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix(
            (LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), LICE_GETA(c), 256);
    }
}

// Copy with source alpha at weight w (0 < w < 256): w' = (w * (a + 1)) / 256 per pixel.
inline void blitRowSourceAlpha(LICE_pixel* d, const LICE_pixel* s, int n, int w) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i zero = _mm_setzero_si128(), c256 = _mm_set1_epi32(256),
                  wv1 = _mm_set1_epi32(w - 1);
    for (; x + 4 <= n; x += 4) {
        const __m128i sv = _mm_loadu_si128((const __m128i*)(s + x));
        const __m128i dv = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i a = _mm_srli_epi32(sv, 24);
        const __m128i ew = sourceAlphaWeight(a, wv1);
        const __m128i alpha = _mm_adds_epu8(dv, _mm_slli_epi32(ew, 24));
        const __m128i out =
            mixPixels(sv, dv, _mm_sub_epi32(c256, ew), alpha, _mm_cmpeq_epi32(a, zero));
        _mm_storeu_si128((__m128i*)(d + x), out);
    }
#endif
    for (; x < n; ++x) {
        const LICE_pixel c = s[x];
        _LICE_CombinePixelsCopySourceAlphaNoClamp::doPix(
            (LICE_pixel_chan*)(d + x), LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), LICE_GETA(c), w);
    }
}

#if LICE_HAVE_SSE2
// (p00 * w00 + p01 * w01 + p10 * w10 + p11 * w11) >> 16 per channel, for weights of at most
// 65536. Each weight is split as hi * 256 + lo (hi <= 256, lo < 256) so that every product fits
// the signed 16-bit multiply-add; the two sums recombine to the exact 32-bit total.
inline LICE_pixel bilinearTaps(LICE_pixel p00, LICE_pixel p01, LICE_pixel p10, LICE_pixel p11,
                               unsigned int w00, unsigned int w01, unsigned int w10,
                               unsigned int w11) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_unpacklo_epi8(
        _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)p00), _mm_cvtsi32_si128((int)p01)), zero);
    const __m128i bottom = _mm_unpacklo_epi8(
        _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)p10), _mm_cvtsi32_si128((int)p11)), zero);
    const auto pair = [](unsigned int a, unsigned int b) {
        return _mm_set1_epi32((int)(a | (b << 16)));
    };
    const __m128i hi = _mm_add_epi32(_mm_madd_epi16(top, pair(w00 >> 8, w01 >> 8)),
                                     _mm_madd_epi16(bottom, pair(w10 >> 8, w11 >> 8)));
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(top, pair(w00 & 255, w01 & 255)),
                                     _mm_madd_epi16(bottom, pair(w10 & 255, w11 & 255)));
    __m128i v = _mm_srli_epi32(_mm_add_epi32(_mm_slli_epi32(hi, 8), lo), 16);
    v = _mm_packs_epi32(v, v);
    return (LICE_pixel)_mm_cvtsi128_si32(_mm_packus_epi16(v, v));
}
#endif

// The whole-word solid operations over a row, four pixels at a time.
template <class Fast>
inline void fillRowFast(LICE_pixel* p, int n, LICE_pixel c) {
    int x = 0;
#if LICE_HAVE_SSE2
    const __m128i cv = _mm_set1_epi32((int)c);
    const __m128i m1 = _mm_set1_epi32(0x7f7f7f7f), m2 = _mm_set1_epi32(0x3f3f3f3f);
    const __m128i c1 = _mm_and_si128(_mm_srli_epi32(cv, 1), m1);
    const __m128i c2 = _mm_and_si128(_mm_srli_epi32(cv, 2), m2);
    if (std::is_same<Fast, _LICE_CombinePixelsClobberFAST>::value) {
        for (; x + 16 <= n; x += 16) {
            __m128i* q = (__m128i*)(p + x);
            _mm_storeu_si128(q, cv), _mm_storeu_si128(q + 1, cv);
            _mm_storeu_si128(q + 2, cv), _mm_storeu_si128(q + 3, cv);
        }
        for (; x < n; ++x)
            p[x] = c;
        return;
    }
    for (; x + 4 <= n; x += 4) {
        __m128i* q = (__m128i*)(p + x);
        const __m128i d = _mm_loadu_si128(q);
        const __m128i d1 = _mm_and_si128(_mm_srli_epi32(d, 1), m1);
        const __m128i d2 = _mm_and_si128(_mm_srli_epi32(d, 2), m2);
        __m128i out;
        if (std::is_same<Fast, _LICE_CombinePixelsHalfMix2FAST>::value)
            out = _mm_add_epi32(c1, d1);
        else if (std::is_same<Fast, _LICE_CombinePixelsQuarterMix2FAST>::value)
            out = _mm_add_epi32(_mm_add_epi32(c2, d2), d1);
        else
            out = _mm_add_epi32(_mm_add_epi32(c1, c2), d2);
        _mm_storeu_si128(q, out);
    }
#endif
    for (; x < n; ++x)
        Fast::doPix(p + x, c);
}

} // namespace lice_detail
