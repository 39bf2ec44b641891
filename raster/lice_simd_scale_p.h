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

// floor(v / c) as (v * m) >> (16 + s) for 0 <= v <= 255 * c, c = 2..25 (the cell counts of a
// box of at least two cells; every entry is checked against the division by the tests).
struct BoxDivisor {
    unsigned short m;
    int s;
};
constexpr BoxDivisor kBoxDivisors[26] = {
    {0, 0},    {0, 0},    {32768, 0}, {21846, 0}, {16384, 0}, {13108, 0}, {10923, 0},
    {9363, 0}, {8192, 0}, {7282, 0},  {6554, 0},  {5958, 0},  {5462, 0},  {5042, 0},
    {4682, 0}, {4370, 0}, {4096, 0},  {7711, 1},  {3641, 0},  {6899, 1},  {3277, 0},
    {3121, 0}, {2979, 0}, {5699, 1},  {2731, 0},  {5243, 1}};

// Per-channel sums of R rows for the source columns X0..X1, four 16-bit sums a column.
template <int R>
inline void boxColumnSumsR(unsigned short* sums, const LICE_pixel* const* rows, int X0, int X1) {
    const __m128i zero = _mm_setzero_si128();
    int X = X0;
    for (; X + 3 <= X1; X += 4) {
        __m128i v[R];
        for (int r = 0; r < R; ++r)
            v[r] = _mm_loadu_si128((const __m128i*)(rows[r] + X));
        __m128i lo = _mm_unpacklo_epi8(v[0], zero), hi = _mm_unpackhi_epi8(v[0], zero);
        for (int r = 1; r < R; ++r) {
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v[r], zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v[r], zero));
        }
        _mm_storeu_si128((__m128i*)(sums + 4 * (X - X0)), lo);
        _mm_storeu_si128((__m128i*)(sums + 4 * (X - X0) + 8), hi);
    }
    for (; X <= X1; ++X)
        for (int c = 0; c < 4; ++c) {
            unsigned int t = 0;
            for (int r = 0; r < R; ++r)
                t += (rows[r][X] >> (8 * c)) & 255;
            sums[4 * (X - X0) + c] = (unsigned short)t;
        }
}

// The same for nrows = 1..5 rows.
inline void boxColumnSums(unsigned short* sums, const LICE_pixel* const* rows, int nrows, int X0,
                          int X1) {
    switch (nrows) {
    case 1:
        return boxColumnSumsR<1>(sums, rows, X0, X1);
    case 2:
        return boxColumnSumsR<2>(sums, rows, X0, X1);
    case 3:
        return boxColumnSumsR<3>(sums, rows, X0, X1);
    case 4:
        return boxColumnSumsR<4>(sums, rows, X0, X1);
    default:
        return boxColumnSumsR<5>(sums, rows, X0, X1);
    }
}

// Box averages (N = 3 or 5 columns wide) of count destination pixels centred on the source
// columns cx[i], each box wholly inside the column sums; cells is the number of source pixels
// in each box (at least 2).
template <int N>
inline void boxRowN(LICE_pixel* out, const unsigned short* sums, int X0, const int* cx, int count,
                    int cells) {
    const __m128i m = _mm_set1_epi16((short)kBoxDivisors[cells].m);
    const __m128i shift = _mm_cvtsi32_si128(kBoxDivisors[cells].s);
    const unsigned short* base = sums - 4 * (X0 + N / 2);
    // The box of column c: its even and odd columns summed in the two halves.
    const auto box = [base](int c) {
        const unsigned short* p = base + 4 * c;
        __m128i t = _mm_loadu_si128((const __m128i*)p);
        if (N == 5) t = _mm_add_epi16(t, _mm_loadu_si128((const __m128i*)(p + 8)));
        return _mm_add_epi16(t, _mm_loadl_epi64((const __m128i*)(p + 4 * (N - 1))));
    };
    // Two boxes: the halves folded, one box a half, then divided.
    const auto average = [&](int a, int b) {
        const __m128i ta = box(a), tb = box(b);
        const __m128i t = _mm_add_epi16(_mm_unpacklo_epi64(ta, tb), _mm_unpackhi_epi64(ta, tb));
        return _mm_srl_epi16(_mm_mulhi_epu16(t, m), shift);
    };
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i lo = average(cx[i], cx[i + 1]), hi = average(cx[i + 2], cx[i + 3]);
        _mm_storeu_si128((__m128i*)(out + i), _mm_packus_epi16(lo, hi));
    }
    for (; i < count; ++i) {
        const __m128i v = average(cx[i], cx[i]);
        out[i] = (LICE_pixel)_mm_cvtsi128_si32(_mm_packus_epi16(v, v));
    }
}

// Box averages (3 columns, R rows) of destination pixels centred on the source columns c, c + 2,
// c + 4, ... (a halving), summed straight from the rows without a table of column sums: four
// outputs take nine columns, and consecutive fours share one. Columns c - 1 onwards are read
// while they lie below W; returns the number of pixels written (a multiple of four), the rest
// being left to the caller.
template <int R>
inline int boxRowHalvingR(LICE_pixel* out, const LICE_pixel* const* rowPtrs, int c, int count,
                          int cells, int W) {
    // 3, 6 and 9 cells divide without a shift.
    const __m128i zero = _mm_setzero_si128(), m = _mm_set1_epi16((short)kBoxDivisors[cells].m);
    // The row pointers held locally: the stores below may alias anything.
    const LICE_pixel* rows[R];
    for (int r = 0; r < R; ++r)
        rows[r] = rowPtrs[r];
    // Vertical sums of four columns from X (two per register).
    const auto four = [&](int X, __m128i* lo, __m128i* hi) {
        __m128i v = _mm_loadu_si128((const __m128i*)(rows[0] + X));
        __m128i l = _mm_unpacklo_epi8(v, zero), h = _mm_unpackhi_epi8(v, zero);
        for (int r = 1; r < R; ++r) {
            v = _mm_loadu_si128((const __m128i*)(rows[r] + X));
            l = _mm_add_epi16(l, _mm_unpacklo_epi8(v, zero));
            h = _mm_add_epi16(h, _mm_unpackhi_epi8(v, zero));
        }
        *lo = l, *hi = h;
    };
    int b = c - 1, i = 0;
    if (count < 4 || b + 9 >= W) return 0;
    __m128i A = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(rows[0] + b)), zero);
    for (int r = 1; r < R; ++r)
        A = _mm_add_epi16(A,
                          _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(rows[r] + b)), zero));
    for (; i + 4 <= count && b + 9 < W; i += 4, b += 8) {
        // A .. E hold the column pairs from b: output j sums pair j and the next pair's first.
        __m128i B, C, D, E;
        four(b + 2, &B, &C);
        four(b + 6, &D, &E);
        const __m128i t01 =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi64(A, B), _mm_unpackhi_epi64(A, B)),
                          _mm_unpacklo_epi64(B, C));
        const __m128i t23 =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi64(C, D), _mm_unpackhi_epi64(C, D)),
                          _mm_unpacklo_epi64(D, E));
        _mm_storeu_si128((__m128i*)(out + i),
                         _mm_packus_epi16(_mm_mulhi_epu16(t01, m), _mm_mulhi_epu16(t23, m)));
        A = E;
    }
    return i;
}

// The same for nrows = 1..3 rows.
inline int boxRowHalving(LICE_pixel* out, const LICE_pixel* const* rows, int nrows, int c,
                         int count, int W) {
    switch (nrows) {
    case 1:
        return boxRowHalvingR<1>(out, rows, c, count, 3, W);
    case 2:
        return boxRowHalvingR<2>(out, rows, c, count, 6, W);
    default:
        return boxRowHalvingR<3>(out, rows, c, count, 9, W);
    }
}

inline void boxRow(LICE_pixel* out, const unsigned short* sums, int X0, const int* cx, int count,
                   int n, int cells) {
    if (n == 5)
        boxRowN<5>(out, sums, X0, cx, count, cells);
    else
        boxRowN<3>(out, sums, X0, cx, count, cells);
}

} // namespace lice_detail

#endif
