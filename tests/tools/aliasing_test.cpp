// The aliasing measurement against tones of known level, then Zerub's figures through it: HQ
// within its targets and below the tube screamer's at 48 and 44.1 kHz, Standard well above.
#include "raster/lice.h"
#include "tools/aliasing/AliasMeasure.h"
#include "tools/aliasing/SpectrumPicture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using namespace aliasing;

constexpr double kPi = 3.14159265358979323846;

// The input passed through, with a harmonic, DC, and two tones on bins no harmonic reaches,
// each at a known level against the input; the sample count carries the phase across blocks.
Processor Injecting(double rate, int bin, double dbcA, int binA, double dbcB, int binB) {
    auto n = std::make_shared<long>(0);
    return [=](const float* in, float* out, int frames) {
        for (int i = 0; i < frames; ++i, ++*n) {
            const double t = static_cast<double>(*n % kFftSize) / kFftSize;
            double y = in[i] + 0.2 + kToneAmplitude * 0.3 * std::sin(2.0 * kPi * 3 * bin * t);
            y += kToneAmplitude * std::pow(10.0, dbcA / 20.0) * std::sin(2.0 * kPi * binA * t);
            y += kToneAmplitude * std::pow(10.0, dbcB / 20.0) * std::cos(2.0 * kPi * binB * t);
            out[i] = static_cast<float>(y);
        }
        (void)rate;
        return true;
    };
}

TEST(AliasMeasure, FindsTonesOfKnownLevelAndIgnoresHarmonicsAndDC) {
    const double rate = 48000.0;
    const int bin = ToneBin(rate, 5000.0);
    EXPECT_EQ(bin % 2, 1);
    EXPECT_NEAR(BinFrequency(rate, bin), 5000.0, rate / kFftSize);
    Spectrum s;
    ASSERT_TRUE(MeasureSpectrum(rate, 5000.0, Injecting(rate, bin, -40.0, 1000, -50.0, 2500), &s));
    const Figures f = Analyse(s);
    EXPECT_NEAR(f.strongestDbc, -40.0, 0.05);
    EXPECT_NEAR(f.sumDbc, 10.0 * std::log10(1e-4 + 1e-5), 0.05);
    // A tone above the band does not count.
    ASSERT_TRUE(MeasureSpectrum(rate, 5000.0, Injecting(rate, bin, -40.0, 3500, -70.0, 2500), &s));
    EXPECT_GT(BinFrequency(rate, 3500), kBandTop);
    EXPECT_NEAR(Analyse(s).strongestDbc, -70.0, 0.05);
}

TEST(AliasMeasure, RefusesOutputItCannotMeasure) {
    Spectrum s;
    const Processor silent = [](const float*, float* out, int n) {
        std::fill(out, out + n, 0.0f);
        return true;
    };
    const Processor failing = [](const float*, float*, int) { return false; };
    const Processor nan = [](const float* in, float* out, int n) {
        std::copy(in, in + n, out);
        out[0] = std::nanf("");
        return true;
    };
    EXPECT_FALSE(MeasureSpectrum(48000.0, 1000.0, silent, &s));
    EXPECT_FALSE(MeasureSpectrum(48000.0, 1000.0, failing, &s));
    EXPECT_FALSE(MeasureSpectrum(48000.0, 1000.0, nan, &s));
}

Figures ZerubFigures(double rate, double tone, bool hq) {
    Spectrum s;
    EXPECT_TRUE(MeasureSpectrum(rate, tone, ZerubProcessor(rate, hq, 1.0, 0.5), &s));
    return Analyse(s);
}

TEST(ZerubAliasing, HQMeetsItsTargetsAndStaysBelowTheTubeScreamer) {
    for (double rate : {48000.0, 44100.0}) {
        const Figures hq1k = ZerubFigures(rate, 1000.0, true);
        const Figures hq5k = ZerubFigures(rate, 5000.0, true);
        const Figures std1k = ZerubFigures(rate, 1000.0, false);
        const Figures std5k = ZerubFigures(rate, 5000.0, false);
        EXPECT_LE(hq1k.strongestDbc, -60.0) << rate;
        EXPECT_LE(hq1k.sumDbc, -50.0) << rate;
        EXPECT_LE(hq5k.strongestDbc, -30.0) << rate;
        EXPECT_LE(hq5k.sumDbc, -25.0) << rate;
        // The tube screamer's figures by the same measurement: -42 / -36 and -22 / -17 dBc.
        EXPECT_LT(hq1k.strongestDbc, -42.0) << rate;
        EXPECT_LT(hq1k.sumDbc, -36.0) << rate;
        EXPECT_LT(hq5k.strongestDbc, -22.0) << rate;
        EXPECT_LT(hq5k.sumDbc, -17.0) << rate;
        // Standard aliases where HQ does not: the measurement sees it.
        EXPECT_GT(std1k.strongestDbc, hq1k.strongestDbc + 20.0) << rate;
        EXPECT_GT(std5k.strongestDbc, hq5k.strongestDbc + 10.0) << rate;
    }
}

TEST(SpectrumPicture, DrawsBothTracesAndWritesAPNG) {
    Spectrum a, b;
    ASSERT_TRUE(MeasureSpectrum(48000.0, 5000.0, ZerubProcessor(48000.0, false, 1.0, 0.5), &a));
    ASSERT_TRUE(MeasureSpectrum(48000.0, 5000.0, ZerubProcessor(48000.0, true, 1.0, 0.5), &b));
    const std::string path = testing::TempDir() + "zerub_aliasing.png";
    const unsigned int back = 0xFFE0602Cu, front = 0xFF2C64C8u;
    ASSERT_TRUE(WriteSpectrumPicture(path, "title", {&a, "Standard", back}, {&b, "HQ", front}));
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(path.c_str()));
    ASSERT_NE(bm, nullptr);
    int backPixels = 0, frontPixels = 0;
    for (int y = 0; y < bm->getHeight(); ++y)
        for (int x = 0; x < bm->getWidth(); ++x) {
            const LICE_pixel p = bm->getBits()[y * bm->getRowSpan() + x];
            backPixels += p == back;
            frontPixels += p == front;
        }
    // Standard's aliases stand out above HQ's lines: many of its pixels stay in view.
    EXPECT_GT(backPixels, 2000);
    EXPECT_GT(frontPixels, 2000);
    std::remove(path.c_str());
    EXPECT_FALSE(WriteSpectrumPicture(testing::TempDir() + "no_such_folder/x.png", "t",
                                      {&a, "a", back}, {&b, "b", front}));
}

} // namespace
