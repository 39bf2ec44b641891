// The four-pixel blit forms against the scalar operations they stand for, over every source
// alpha and every destination byte (colours and alphas varied per channel).
#include "raster/lice_simd_p.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

template <class Op, class Row>
void compareRows(Row row, int w, const char* name) {
    std::vector<LICE_pixel> src, dst;
    for (int a = 0; a < 256; ++a)
        for (int d = 0; d < 256; ++d)
            for (int s = 0; s < 256; s += 51) {
                src.push_back(LICE_RGBA(s, 255 - s, (s * 7) & 255, a));
                dst.push_back(LICE_RGBA(d, (d * 5) & 255, 255 - d, (d + a) & 255));
            }
    // An odd length leaves a scalar tail as well.
    src.push_back(0x80ff00ffu), dst.push_back(0x12345678u);
    std::vector<LICE_pixel> want = dst;
    for (size_t i = 0; i < want.size(); ++i) {
        const LICE_pixel c = src[i];
        Op::doPix((LICE_pixel_chan*)&want[i], LICE_GETR(c), LICE_GETG(c), LICE_GETB(c),
                  LICE_GETA(c), w);
    }
    row(dst.data(), src.data(), (int)dst.size());
    int bad = 0;
    for (size_t i = 0; i < want.size(); ++i)
        if (dst[i] != want[i] && ++bad < 5)
            ADD_FAILURE() << name << " w " << w << " src " << std::hex << src[i] << " got "
                          << dst[i] << " want " << want[i];
    EXPECT_EQ(bad, 0) << name << " w " << w;
}

TEST(FourPixelBlits, MatchTheScalarOperations) {
    using namespace lice_detail;
    compareRows<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(
        [](LICE_pixel* d, const LICE_pixel* s, int n) { blitRowSourceAlpha256(d, s, n); }, 256,
        "source alpha 256");
    for (int w : {1, 128, 255, 256}) {
        compareRows<_LICE_CombinePixelsAdd>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) { blitRowAdd(d, s, n, w); }, w, "add");
        compareRows<_LICE_CombinePixelsMulNoClamp>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) { blitRowMul(d, s, n, w); }, w, "mul");
        compareRows<_LICE_CombinePixelsAddSourceAlpha>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) {
                blitRowSourceAlphaAddMul<false>(d, s, n, w);
            },
            w, "add source alpha");
        compareRows<_LICE_CombinePixelsMulSourceAlphaNoClamp>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) {
                blitRowSourceAlphaAddMul<true>(d, s, n, w);
            },
            w, "multiply source alpha");
        if (w == 256) continue;
        compareRows<_LICE_CombinePixelsCopySourceAlphaNoClamp>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) { blitRowSourceAlpha(d, s, n, w); }, w,
            "source alpha");
        compareRows<_LICE_CombinePixelsCopyNoClamp>(
            [w](LICE_pixel* d, const LICE_pixel* s, int n) { blitRowCopy(d, s, n, w); }, w, "copy");
    }
}

// Every (source byte, destination byte, source alpha) triple of the source-alpha copy at weight
// 256, in each colour channel, and every (destination alpha, source alpha) pair.
TEST(FourPixelBlits, SourceAlphaIsExactForEveryByteTriple) {
    using namespace lice_detail;
    std::vector<LICE_pixel> src(65536), want(65536), got(65536);
    long bad = 0;
    for (int a = 0; a < 256; ++a) {
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d) {
                const int i = s * 256 + d;
                src[i] = LICE_RGBA(s ^ 0x5a, 255 - s, s, a);
                want[i] = LICE_RGBA(d, d ^ 0xa5, 255 - d, (s + d) & 255);
            }
        got = want;
        for (int i = 0; i < 65536; ++i) {
            const LICE_pixel c = src[i];
            _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix(
                (LICE_pixel_chan*)&want[i], LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), LICE_GETA(c),
                256);
        }
        blitRowSourceAlpha256(got.data(), src.data(), 65536);
        for (int i = 0; i < 65536; ++i)
            if (got[i] != want[i] && ++bad < 5)
                ADD_FAILURE() << "src " << std::hex << src[i] << " got " << got[i] << " want "
                              << want[i];
    }
    EXPECT_EQ(bad, 0);
}

TEST(FourPixelBlits, HalfMixAndTheAlphaShortcuts) {
    using namespace lice_detail;
    // Runs of fully transparent or fully opaque pixels take the shortcuts; mixed runs not.
    std::vector<LICE_pixel> src, dst;
    unsigned int seed = 99;
    const auto next = [&seed] { return seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5; };
    for (int i = 0; i < 4096; ++i) {
        const int run = (i / 4) % 4;
        const LICE_pixel c = next();
        src.push_back(run == 0 ? c & 0x00ffffff : run == 1 ? c | 0xff000000 : c);
        dst.push_back(next());
    }
    src.push_back(0x01020304), dst.push_back(0xfffefdfc);
    // The source-alpha row blit against the scalar operation, pixel by pixel.
    const auto expectSourceAlphaExact = [&] {
        std::vector<LICE_pixel> want = dst, got = dst;
        for (size_t i = 0; i < want.size(); ++i) {
            const LICE_pixel c = src[i];
            _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix(
                (LICE_pixel_chan*)&want[i], LICE_GETR(c), LICE_GETG(c), LICE_GETB(c), LICE_GETA(c),
                256);
        }
        blitRowSourceAlpha256(got.data(), src.data(), (int)got.size());
        EXPECT_EQ(got, want);
    };
    expectSourceAlphaExact();

    // Runs of eight: clear, opaque, and each with one near miss (alpha 1 or 254) at every place,
    // which passes the top-bit test but not the exact one.
    src.clear(), dst.clear();
    for (int run = 0; run < 18; ++run)
        for (int i = 0; i < 8; ++i) {
            const bool opaque = run % 2 == 1, miss = run >= 2 && (run - 2) / 2 == i;
            const LICE_pixel c = next() & 0x00ffffff;
            src.push_back(c | (opaque ? miss ? 0xfe000000u : 0xff000000u : miss ? 0x01000000u : 0));
            dst.push_back(next());
        }
    expectSourceAlphaExact();

    std::vector<LICE_pixel> want = dst, got = dst;
    for (size_t i = 0; i < want.size(); ++i)
        _LICE_CombinePixelsHalfMixFAST::doPix(&want[i], src[i]);
    blitRowHalf(got.data(), src.data(), (int)got.size());
    EXPECT_EQ(got, want);
}

TEST(FourPixelFills, SolidCopyMatchesTheCopyOperation) {
    std::vector<LICE_pixel> row(259), want(259);
    for (int w : {1, 100, 128, 255})
        for (int a = 0; a < 256; a += 5)
            for (int s = 0; s < 256; s += 15) {
                const LICE_pixel c = LICE_RGBA(s, 255 - s, (s * 3) & 255, a);
                for (int d = 0; d < 259; ++d)
                    row[d] = want[d] = LICE_RGBA(d, 255 - d, (d * 7) & 255, (d + s) & 255);
                for (auto& p : want)
                    _LICE_CombinePixelsCopyNoClamp::doPix((LICE_pixel_chan*)&p, s, 255 - s,
                                                          (s * 3) & 255, a, w);
                lice_detail::fillRowCopy(row.data(), (int)row.size(), c, w);
                ASSERT_EQ(row, want) << "w " << w << " a " << a << " s " << s;
            }
}

TEST(FourPixelFills, MatchTheWholeWordOperations) {
    using namespace lice_detail;
    std::vector<LICE_pixel> row(4099);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = (LICE_pixel)(i * 2654435761u);
    const LICE_pixel c = 0xc0a05030;
    const auto check = [&](auto op, auto fill) {
        std::vector<LICE_pixel> a = row, b = row;
        for (auto& p : a)
            decltype(op)::doPix(&p, c);
        fill(b.data(), (int)b.size());
        EXPECT_EQ(a, b);
    };
    check(_LICE_CombinePixelsClobberFAST{},
          [&](LICE_pixel* p, int n) { fillRowFast<_LICE_CombinePixelsClobberFAST>(p, n, c); });
    check(_LICE_CombinePixelsHalfMix2FAST{},
          [&](LICE_pixel* p, int n) { fillRowFast<_LICE_CombinePixelsHalfMix2FAST>(p, n, c); });
    check(_LICE_CombinePixelsQuarterMix2FAST{},
          [&](LICE_pixel* p, int n) { fillRowFast<_LICE_CombinePixelsQuarterMix2FAST>(p, n, c); });
    check(_LICE_CombinePixelsThreeQuarterMix2FAST{}, [&](LICE_pixel* p, int n) {
        fillRowFast<_LICE_CombinePixelsThreeQuarterMix2FAST>(p, n, c);
    });
}

} // namespace

namespace {

TEST(FourPixelBlits, BilinearTapsMatchTheScalarSums) {
#if LICE_HAVE_SSE2
    unsigned int s = 12345;
    const auto next = [&s] { return s ^= s << 13, s ^= s >> 17, s ^= s << 5; };
    const unsigned int fracs[] = {0, 1, 255, 256, 0x7fff, 0x8000, 0xff00, 0xffff};
    for (int i = 0; i < 200000; ++i) {
        const LICE_pixel p[4] = {next(), next(), next(), i & 1 ? 0xffffffffu : next()};
        const unsigned int fx = i < 64 ? fracs[i % 8] : next() & 0xffff;
        const unsigned int fy = i < 64 ? fracs[i / 8] : next() & 0xffff;
        const unsigned int w11 = (fx * fy) >> 16;
        const unsigned int w[4] = {65536 - fx - fy + w11, fx - w11, fy - w11, w11};
        LICE_pixel want = 0;
        for (int sh = 0; sh < 32; sh += 8) {
            unsigned long long sum = 0;
            for (int t = 0; t < 4; ++t)
                sum += (unsigned long long)((p[t] >> sh) & 255) * w[t];
            want |= (LICE_pixel)(sum >> 16) << sh;
        }
        ASSERT_EQ(lice_detail::bilinearTaps(p[0], p[1], p[2], p[3], w[0], w[1], w[2], w[3]), want)
            << "fx " << fx << " fy " << fy;
    }
#else
    GTEST_SKIP() << "no SSE2 form on this target";
#endif
}

} // namespace
