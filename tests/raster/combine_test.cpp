// The per-pixel arithmetic, checked over every 8-bit source / destination pair against plain
// formulas written independently of the library (doubles, explicit truncation toward zero).
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

int trunc_div(double num, double den) {
    return (int)std::trunc(num / den);
}
int sat(double v) {
    return (int)std::min(255.0, std::max(0.0, v));
}

const int kWeights[] = {1, 37, 64, 128, 129, 192, 255, 256};

// Runs op on a pixel whose four channels are d, with source (s, s, s, s), and returns the four
// result bytes; checks they agree (channels are independent) and hands back one.
template <class Op>
int apply(int d, int s, int w) {
    LICE_pixel px = LICE_RGBA(d, d, d, d);
    Op::doPix((LICE_pixel_chan*)&px, s, s, s, s, w);
    const int b = LICE_GETB(px);
    EXPECT_TRUE(LICE_GETG(px) == b && LICE_GETR(px) == b && LICE_GETA(px) == b);
    return b;
}

template <class Op, class Ref>
void exhaustive(Ref ref, const char* name) {
    int failures = 0;
    for (int w : kWeights)
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d) {
                const int got = apply<Op>(d, s, w), want = ref(d, s, w);
                if (got != want && ++failures < 5)
                    ADD_FAILURE() << name << " d=" << d << " s=" << s << " w=" << w << " got "
                                  << got << " want " << want;
            }
    EXPECT_EQ(failures, 0) << name;
}

TEST(Combine, CopyTruncatesTowardZero) {
    exhaustive<_LICE_CombinePixelsCopyNoClamp>(
        [](int d, int s, int w) { return s + trunc_div((d - s) * (256.0 - w), 256); }, "copy");
    exhaustive<_LICE_CombinePixelsCopyClamp>(
        [](int d, int s, int w) { return sat(s + trunc_div((d - s) * (256.0 - w), 256)); },
        "copy clamp");
    EXPECT_EQ(apply<_LICE_CombinePixelsCopyNoClamp>(255, 0, 128), 127);
    EXPECT_EQ(apply<_LICE_CombinePixelsCopyNoClamp>(0, 255, 128), 128); // floor would give 127
    // Weights outside 0..256 leave range: the clamped form saturates.
    EXPECT_EQ(apply<_LICE_CombinePixelsCopyClamp>(0, 255, 300), 255);
    EXPECT_EQ(apply<_LICE_CombinePixelsCopyClamp>(255, 0, 300), 0);
    EXPECT_EQ(apply<_LICE_CombinePixelsCopyClamp>(10, 20, -256), 0);
}

TEST(Combine, AddSaturates) {
    exhaustive<_LICE_CombinePixelsAdd>(
        [](int d, int s, int w) { return std::min(255, d + (int)std::floor(s * w / 256.0)); },
        "add");
    EXPECT_EQ(apply<_LICE_CombinePixelsAdd>(100, 200, 256), 255);
}

TEST(Combine, DodgeSaturationEdges) {
    exhaustive<_LICE_CombinePixelsColorDodge>(
        [](int d, int s, int w) {
            const int k = s * w / 256;
            if (k >= 255) return d ? 255 : 0;
            return std::min(255, (int)std::floor(d * 256.0 / (256 - k)));
        },
        "dodge");
    EXPECT_EQ(apply<_LICE_CombinePixelsColorDodge>(0, 255, 256), 0);
    EXPECT_EQ(apply<_LICE_CombinePixelsColorDodge>(1, 255, 256), 255);
    EXPECT_EQ(apply<_LICE_CombinePixelsColorDodge>(1, 254, 256), 128); // k = 254: 256 / 2
}

TEST(Combine, Multiply) {
    const auto ref = [](int d, int s, int w) {
        return (int)std::floor((s * w + (256.0 - w) * 256) * d / 65536.0);
    };
    exhaustive<_LICE_CombinePixelsMulNoClamp>(ref, "mul");
    exhaustive<_LICE_CombinePixelsMulClamp>(ref, "mul clamp");
    EXPECT_EQ(apply<_LICE_CombinePixelsMulNoClamp>(200, 128, 256), 100);
    EXPECT_EQ(apply<_LICE_CombinePixelsMulNoClamp>(200, 128, 0), 200);
    // Negative weights push the product out of range: clamped, not wrapped.
    EXPECT_EQ(apply<_LICE_CombinePixelsMulClamp>(255, 0, -256), 255);
    EXPECT_EQ(apply<_LICE_CombinePixelsMulNoClamp>(255, 0, -256), 254);
    EXPECT_EQ(apply<_LICE_CombinePixelsMulClamp>(255, 0, 1024), 0);
}

TEST(Combine, OverlaySaturationEdges) {
    exhaustive<_LICE_CombinePixelsOverlay>(
        [](int d, int s, int w) {
            const double t = (256.0 - w) * 128, sw = (double)s * w;
            const double x = (trunc_div((32768 - sw - t) * d, 256) + sw + t) * d;
            if (x > 0x7fffff) return 255;
            if (x < 0) return 0;
            return (int)std::floor(x / 32768);
        },
        "overlay");
    for (int d = 0; d < 256; ++d) {
        EXPECT_EQ(apply<_LICE_CombinePixelsOverlay>(d, 0, 256), d * d / 256); // black darkens
        EXPECT_EQ(apply<_LICE_CombinePixelsOverlay>(d, 77, 0), d);            // weight 0 is neutral
        EXPECT_GE(apply<_LICE_CombinePixelsOverlay>(d, 255, 256), d);         // white brightens
    }
    EXPECT_EQ(apply<_LICE_CombinePixelsOverlay>(255, 255, 256), 255); // saturates, no wrap
}

TEST(Combine, HalfMixExact) {
    exhaustive<_LICE_CombinePixelsHalfMixNoClamp>([](int d, int s, int) { return (d + s) / 2; },
                                                  "half");
}

// Plain HSV round trip of the destination colour, adjusted by source (r, g, b) at weight w.
void hsvRef(int R, int G, int B, int r, int g, int b, int w, int out[3]) {
    const int mx = std::max({R, G, B}), mn = std::min({R, G, B}), df = mx - mn;
    int base, diff;
    if (mx == G && R < G && G > B)
        base = 128, diff = B - R;
    else if (R < G || B >= R) // blue is the largest (ties between blue and red go to blue)
        base = 256, diff = R - G;
    else
        base = G < B ? 383 : 0, diff = G - B;
    const auto inv = [](int i) { return i ? 65536 / i - 1 : 0; };
    int h = base + trunc_div((double)diff * (inv(df) + 1), 1024);
    int s = df * inv(mx) / 256;
    h += trunc_div((double)w * (r + r / 2 - 192), 256);
    h = h < 0 ? h + 384 : h > 383 ? h - 384 : h;
    s = sat(s + trunc_div((double)w * (g - 128), 128));
    const int v = sat(mx + trunc_div((double)w * (b - 128), 128));
    const int sector = std::min(5, h / 64), f = h - sector * 64;
    const int p = (256 - s) * v / 256;
    const int rise = v * (16384 - (64 - f) * s) / 16384, fall = v * (16384 - f * s) / 16384;
    const int table[6][3] = {{v, rise, p}, {fall, v, p}, {p, v, rise},
                             {p, fall, v}, {rise, p, v}, {v, p, fall}};
    out[0] = table[sector][0], out[1] = table[sector][1], out[2] = table[sector][2];
}

TEST(Combine, HSVAdjustMatchesPlainConversion) {
    int failures = 0;
    for (int R = 0; R < 256; R += 5)
        for (int G = 0; G < 256; G += 3)
            for (int B = 0; B < 256; B += 7) {
                const int adj[][4] = {{128, 128, 128, 256},
                                      {0, 200, 90, 256},
                                      {255, 10, 240, 100},
                                      {50, 128, 128, 256},
                                      {128, 255, 0, 17}};
                for (const auto& a : adj) {
                    LICE_pixel px = LICE_RGBA(R, G, B, 9);
                    _LICE_CombinePixelsHSVAdjust::doPix((LICE_pixel_chan*)&px, a[0], a[1], a[2],
                                                        201, a[3]);
                    int want[3];
                    hsvRef(R, G, B, a[0], a[1], a[2], a[3], want);
                    if ((LICE_GETR(px) != want[0] || LICE_GETG(px) != want[1] ||
                         LICE_GETB(px) != want[2] || LICE_GETA(px) != 201) &&
                        ++failures < 5)
                        ADD_FAILURE() << "rgb " << R << "," << G << "," << B << " adj " << a[0]
                                      << "," << a[1] << "," << a[2] << " w " << a[3];
                }
            }
    EXPECT_EQ(failures, 0);
}

TEST(Combine, HSVNeutralRoundTripKeepsColour) {
    int worst = 0;
    for (int R = 0; R < 256; R += 3)
        for (int G = 0; G < 256; G += 3)
            for (int B = 0; B < 256; B += 3) {
                LICE_pixel px = LICE_RGBA(R, G, B, 0);
                _LICE_CombinePixelsHSVAdjust::doPix((LICE_pixel_chan*)&px, 128, 128, 128, 77, 256);
                worst = std::max({worst, std::abs(LICE_GETR(px) - R), std::abs(LICE_GETG(px) - G),
                                  std::abs(LICE_GETB(px) - B)});
                ASSERT_EQ(LICE_GETA(px), 77);
            }
    // Hue is held in 64 steps per sector, so a saturated colour may move by about
    // 255 * 255 / 16384 (4) plus one for the truncations, never more.
    EXPECT_LE(worst, 5);
    // Grey has no hue or saturation to lose.
    for (int v = 0; v < 256; ++v) {
        LICE_pixel px = LICE_RGBA(v, v, v, 0);
        _LICE_CombinePixelsHSVAdjust::doPix((LICE_pixel_chan*)&px, 128, 128, 128, 255, 256);
        EXPECT_EQ(px, LICE_RGBA(v, v, v, 255));
    }
    // Source red 0 turns the hue about half way: pure red becomes cyan.
    LICE_pixel red = 0x00ff0000;
    _LICE_CombinePixelsHSVAdjust::doPix((LICE_pixel_chan*)&red, 0, 128, 128, 255, 256);
    EXPECT_EQ(red, 0xff00ffffu);
    // Weight 0 changes nothing, alpha included.
    LICE_pixel keep = 0x12345678;
    _LICE_CombinePixelsHSVAdjust::doPix((LICE_pixel_chan*)&keep, 0, 0, 0, 255, 0);
    EXPECT_EQ(keep, 0x12345678u);
}

TEST(Combine, SourceAlphaSpecialCases) {
    using IgnoreParm = _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
    for (int d = 0; d < 256; d += 15)
        for (int s = 0; s < 256; s += 15) {
            LICE_pixel px = LICE_RGBA(d, d, d, d);
            IgnoreParm::doPix((LICE_pixel_chan*)&px, s, s, s, 0, 256);
            EXPECT_EQ(px, LICE_RGBA(d, d, d, d)); // alpha 0: untouched
            IgnoreParm::doPix((LICE_pixel_chan*)&px, s, s + 1 > 255 ? 0 : s + 1, s, 255, 256);
            EXPECT_EQ(px, LICE_RGBA(s, s + 1 > 255 ? 0 : s + 1, s, 255)); // opaque: stored
            px = LICE_RGBA(d, d, d, d);
            IgnoreParm::doPix((LICE_pixel_chan*)&px, s, s, s, 128, 256);
            const int mixed = s + trunc_div((d - s) * 127.0, 256);
            EXPECT_EQ(px, LICE_RGBA(mixed, mixed, mixed, std::min(255, d + 128)));
        }

    for (int a = 0; a < 256; ++a)
        for (int d = 0; d < 256; d += 5) {
            const int s = 255 - d, w = 200, ew = w * (a + 1) / 256;
            LICE_pixel px = LICE_RGBA(d, d, d, d);
            _LICE_CombinePixelsCopySourceAlphaNoClamp::doPix((LICE_pixel_chan*)&px, s, s, s, a, w);
            const int c = a ? s + trunc_div((d - s) * (256.0 - ew), 256) : d;
            ASSERT_EQ(px, LICE_RGBA(c, c, c, a ? std::min(255, d + ew) : d)) << a << " " << d;

            px = LICE_RGBA(d, d, d, d);
            _LICE_CombinePixelsAddSourceAlpha::doPix((LICE_pixel_chan*)&px, s, s, s, a, w);
            const int add = a ? std::min(255, d + s * ew / 256) : d;
            const int addA = a ? std::min(255, d + a * ew / 256) : d;
            ASSERT_EQ(px, LICE_RGBA(add, add, add, addA));

            px = LICE_RGBA(d, d, d, d);
            _LICE_CombinePixelsMulSourceAlphaNoClamp::doPix((LICE_pixel_chan*)&px, s, s, s, a, w);
            const int mul = a ? (s * ew + (256 - ew) * 256) * d >> 16 : d;
            ASSERT_EQ(LICE_GETB(px), mul);
        }
}

TEST(Combine, WholeWordShortcutsDropLowBitsPerChannel) {
    for (int c = 0; c < 256; ++c)
        for (int d = 0; d < 256; ++d) {
            const LICE_pixel cw = LICE_RGBA(c, d, c ^ 0x5a, d ^ 0xa5);
            const LICE_pixel dw = LICE_RGBA(d, c, d ^ 0x3c, c ^ 0xc3);
            const auto check = [&](auto op, auto ref) {
                LICE_pixel px = dw;
                decltype(op)::doPix(&px, cw);
                for (int i = 0; i < 32; i += 8) {
                    const int cc = (cw >> i) & 255, dd = (dw >> i) & 255;
                    ASSERT_EQ((int)((px >> i) & 255), ref(cc, dd)) << c << " " << d;
                }
            };
            check(_LICE_CombinePixelsHalfMix2FAST{}, [](int a, int b) { return a / 2 + b / 2; });
            check(_LICE_CombinePixelsQuarterMix2FAST{},
                  [](int a, int b) { return a / 4 + b / 4 + b / 2; });
            check(_LICE_CombinePixelsThreeQuarterMix2FAST{},
                  [](int a, int b) { return a / 2 + a / 4 + b / 4; });
        }
    LICE_pixel px = 0;
    _LICE_CombinePixelsHalfMix2FAST::doPix(&px, 0xffffffff);
    EXPECT_EQ(px, 0x7f7f7f7fu);
}

TEST(Combine, PublicEntryPointsDispatch) {
    // Copy: weight 256 stores, other weights blend, weight 0 and unknown modes change nothing.
    EXPECT_EQ(LICE_CombinePixels(0x11223344, 0xaabbccdd, 1.0f, LICE_COMBINE_COPY), 0xaabbccddu);
    EXPECT_EQ(LICE_CombinePixels(0x11223344, 0xaabbccdd, 0.0f, LICE_COMBINE_COPY), 0x11223344u);
    EXPECT_EQ(LICE_CombinePixels(0x11223344, 0xaabbccdd, 1.0f, 6), 0x11223344u);
    EXPECT_EQ(LICE_CombinePixels(0xff000000, 0x00ffffff, 0.5f, LICE_COMBINE_COPY), 0x7f808080u);
    EXPECT_EQ(LICE_CombinePixels(0x10101010, 0x20202020, 1.0f, LICE_COMBINE_ADD), 0x30303030u);
    // Source alpha at weight 256: alpha 0 leaves the pixel, opaque stores it.
    EXPECT_EQ(LICE_CombinePixels(0x12345678, 0x00ffffff, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA),
              0x12345678u);
    EXPECT_EQ(LICE_CombinePixels(0x12345678, 0xff010203, 1.0f, LICE_COMBINE_USE_SOURCE_ALPHA),
              0xff010203u);
    // HSV adjust at weight 0 does nothing (it would otherwise set the alpha).
    EXPECT_EQ(LICE_CombinePixels(0x12345678, 0xff808080, 0.0f, LICE_COMBINE_HSVADJ), 0x12345678u);

    // CombinePixels2 at weight 128 in copy mode uses the per-channel copy, not the word mix.
    LICE_pixel px = 0x00000000;
    LICE_CombinePixels2(&px, 255, 255, 255, 255, 128, LICE_COMBINE_COPY);
    EXPECT_EQ(px, 0x80808080u);
    px = 0x12345678;
    LICE_CombinePixels2(&px, 0, 0, 0, 0, 0, LICE_COMBINE_HSVADJ);
    EXPECT_EQ(px, 0x12345678u);
    LICE_CombinePixels2(&px, 0, 0, 0, 0, -5, LICE_COMBINE_COPY);
    EXPECT_EQ(px, 0x12345678u);
    // The clamped form saturates where the plain one would wrap.
    px = 0x00000000;
    LICE_CombinePixels2Clamp(&px, 300, -20, 128, 255, 256, LICE_COMBINE_COPY);
    EXPECT_EQ(px, 0xffff0080u);
    px = 0xffffffff;
    LICE_CombinePixels2Clamp(&px, 0, 0, 0, 0, -256, LICE_COMBINE_MUL);
    EXPECT_EQ(px, 0xffffffffu);
    LICE_CombinePixels2(nullptr, 1, 2, 3, 4, 256, 0); // null is ignored
}

TEST(Combine, WeightOfAlpha) {
    EXPECT_EQ(LICE_AlphaToWeight(1.0f), 256);
    EXPECT_EQ(LICE_AlphaToWeight(0.5f), 128);
    EXPECT_EQ(LICE_AlphaToWeight(0.999f), 255);
    EXPECT_EQ(LICE_AlphaToWeight(-0.5f), -128);
    EXPECT_EQ(LICE_AlphaToWeight(std::nanf("")), 0);
    EXPECT_EQ(LICE_AlphaToWeight(1e30f), LICE_MAX_WEIGHT); // held, not undefined
    EXPECT_EQ(LICE_AlphaToWeight(-1e30f), -LICE_MAX_WEIGHT);
}

// Absurd weights and channel values must stay defined behaviour (the sanitizer build checks).
TEST(Combine, ExtremeInputsStayDefined) {
    const int extremes[] = {INT_MIN, -100000, -257, 300, 100000, INT_MAX};
    LICE_pixel sink = 0;
    for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005})
        for (int v : extremes) {
            LICE_pixel px = 0x80808080;
            LICE_CombinePixels2(&px, v, v, v, v, v, mode);
            LICE_CombinePixels2Clamp(&px, v, 3, v, 200, v, mode);
            px = LICE_CombinePixels(px, 0xfff0e0d0, (float)v, mode);
            sink ^= px;
        }
    LICE_pixel px = 0;
    LICE_CombinePixels2Clamp(&px, 100000, -100000, 255, 255, 256, LICE_COMBINE_COPY);
    EXPECT_EQ(px, 0xffff00ffu); // saturated, not wrapped
    (void)sink;
}

} // namespace
