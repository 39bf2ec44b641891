// Four-pixel SSE2 forms of the scaled blit's bilinear rows and box-filter rows. They compute
// exactly the scalar samples (every sum is an integer below 2^24 and is formed without
// rounding); tests compare them with the scalar walks.
#pragma once

#include "raster/lice_simd_p.h"

#if LICE_HAVE_SSE2

namespace lice_detail {

// Bilinear sums in a form with 16-bit signed weights. With the taps p00, p01 (right), p10
// (below), p11 and the weights of the scalar sample (w11 = (fx * fy) >> 16), the sum
//     p00 * w00 + p01 * w01 + p10 * w10 + p11 * w11
//   = 32768 * (p00 + p11) + (fx - 32768) * H + (w11 - 32768) * E + (fy - 32768) * D
// with H = p01 - p00, D = p10 - p00, E = p11 - p01 - D. Each source column of a row pair keeps
// (H, E) and (D, 2 * (p00 + p11)) per channel, so a sample is two multiply-adds. Along the last
// column the right taps repeat the left ones, along the last row the lower taps repeat the
// upper ones: that is the scalar sample's vertical-only and horizontal-only blend.
inline void bilinearTable(__m128i* tab, const LICE_pixel* r0, const LICE_pixel* r1, int X0, int X1,
                          int W) {
    const __m128i zero = _mm_setzero_si128();
    int X = X0;
    // Four columns at a time while their right neighbours are inside the window.
    for (; X + 3 <= X1 && X + 4 < W; X += 4) {
        const __m128i a0 = _mm_loadu_si128((const __m128i*)(r0 + X));
        const __m128i a1 = _mm_loadu_si128((const __m128i*)(r0 + X + 1));
        const __m128i b0 = _mm_loadu_si128((const __m128i*)(r1 + X));
        const __m128i b1 = _mm_loadu_si128((const __m128i*)(r1 + X + 1));
        __m128i* t = tab + 2 * (X - X0);
        for (int half = 0; half < 2; ++half, t += 4) {
            const auto wide = [&](__m128i v) {
                return half ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
            };
            const __m128i p00 = wide(a0), p01 = wide(a1), p10 = wide(b0), p11 = wide(b1);
            const __m128i h = _mm_sub_epi16(p01, p00), d = _mm_sub_epi16(p10, p00);
            const __m128i e = _mm_sub_epi16(_mm_sub_epi16(p11, p01), d);
            const __m128i v = _mm_slli_epi16(_mm_add_epi16(p00, p11), 1);
            _mm_storeu_si128(t, _mm_unpacklo_epi16(h, e));
            _mm_storeu_si128(t + 1, _mm_unpacklo_epi16(d, v));
            _mm_storeu_si128(t + 2, _mm_unpackhi_epi16(h, e));
            _mm_storeu_si128(t + 3, _mm_unpackhi_epi16(d, v));
        }
    }
    for (; X <= X1; ++X) {
        const int Xn = X + 1 < W ? X + 1 : X;
        const LICE_pixel q00 = r0[X], q01 = r0[Xn], q10 = r1[X], q11 = r1[Xn];
        short he[8], dv[8];
        for (int c = 0; c < 4; ++c) {
            const int p00 = (q00 >> (8 * c)) & 255, p01 = (q01 >> (8 * c)) & 255;
            const int p10 = (q10 >> (8 * c)) & 255, p11 = (q11 >> (8 * c)) & 255;
            const int d = p10 - p00;
            he[2 * c] = (short)(p01 - p00), he[2 * c + 1] = (short)(p11 - p01 - d);
            dv[2 * c] = (short)d, dv[2 * c + 1] = (short)(2 * (p00 + p11));
        }
        _mm_storeu_si128(tab + 2 * (X - X0), _mm_loadu_si128((const __m128i*)he));
        _mm_storeu_si128(tab + 2 * (X - X0) + 1, _mm_loadu_si128((const __m128i*)dv));
    }
}

// n bilinear samples of one row from its table (columns X[i], all inside the window, with
// fractions fx[i]; the row fraction fy).
inline void bilinearRow(LICE_pixel* out, const __m128i* tab, int X0, const int* X,
                        const unsigned short* fx, int n, unsigned int fy) {
    const __m128i wB = _mm_set1_epi32((int)(((fy - 32768u) & 0xffffu) | (16384u << 16)));
    const __m128i fyv = _mm_set1_epi16((short)fy), bias = _mm_set1_epi16((short)0x8000);
    const auto sample = [&](int i, __m128i wA) {
        const __m128i* t = tab + 2 * (X[i] - X0);
        const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_loadu_si128(t), wA),
                                          _mm_madd_epi16(_mm_loadu_si128(t + 1), wB));
        return _mm_srli_epi32(sum, 16);
    };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        // (fx - 32768, w11 - 32768) for four columns, w11 = (fx * fy) >> 16.
        const __m128i f = _mm_loadl_epi64((const __m128i*)(fx + i));
        const __m128i wa = _mm_unpacklo_epi16(_mm_xor_si128(f, bias),
                                              _mm_xor_si128(_mm_mulhi_epu16(f, fyv), bias));
        const __m128i lo = _mm_packs_epi32(sample(i, _mm_shuffle_epi32(wa, 0x00)),
                                           sample(i + 1, _mm_shuffle_epi32(wa, 0x55)));
        const __m128i hi = _mm_packs_epi32(sample(i + 2, _mm_shuffle_epi32(wa, 0xaa)),
                                           sample(i + 3, _mm_shuffle_epi32(wa, 0xff)));
        _mm_storeu_si128((__m128i*)(out + i), _mm_packus_epi16(lo, hi));
    }
    for (; i < n; ++i) {
        const unsigned int f = fx[i], w11 = (f * fy) >> 16;
        const __m128i v =
            sample(i, _mm_set1_epi32((int)(((f - 32768u) & 0xffffu) | ((w11 - 32768u) << 16))));
        const __m128i p = _mm_packs_epi32(v, v);
        out[i] = (LICE_pixel)_mm_cvtsi128_si32(_mm_packus_epi16(p, p));
    }
}

} // namespace lice_detail

#endif
