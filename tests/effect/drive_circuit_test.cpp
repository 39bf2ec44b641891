#include "effect/DriveCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Relative agreement to the 12 significant digits the reference figures are given in.
void ExpectDigits(double actual, double expected) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 6e-12) << "expected " << expected;
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(DriveCircuit, CoefficientsAt44100) {
    DriveCircuit c;
    c.Calc(44100.0);
    EXPECT_EQ(c.sampleRate, 44100.0);
    ExpectDigits(c.aGain[0], 1.56065118149);
    ExpectDigits(c.aBase[0], 0.0154328163324);
    ExpectDigits(c.bGain[0], 1.5281224095);
    ExpectDigits(c.bBase[0], 0.968688139376);
    ExpectDigits(c.outA0, 0.883967219534);
    ExpectDigits(c.outA1, -0.786624203654);
    ExpectDigits(c.outA2, -0.0972999791303);
    ExpectDigits(c.outScale, 49888.7278006);
    EXPECT_EQ(c.outInvA0, 1.0 / c.outA0);
}

TEST(DriveCircuit, OutputA1SquaresTheRateInSinglePrecision) {
    // 44100^2 = 1944810000 is not representable as a float; the double square would differ.
    DriveCircuit c;
    c.Calc(44100.0);
    const double viaFloat =
        double(44100.0f * 44100.0f) * -4.04484615599767e-10 + 2.15151391276472e-05;
    const double viaDouble = 44100.0 * 44100.0 * -4.04484615599767e-10 + 2.15151391276472e-05;
    ASSERT_NE(viaFloat, viaDouble);
    EXPECT_EQ(c.outA1, viaFloat);
}

TEST(DriveCircuit, FirstFiveSamplesOfAnImpulse) {
    DriveCircuit c;
    c.Calc(44100.0);
    const double expected[5] = {0.000456788054299, 0.00172050573189, 0.00243832052839,
                                0.000737256204995, -0.00324294901548};
    for (int n = 0; n < 5; ++n)
        ExpectDigits(c.Process(n == 0 ? 0.5 : 0.0, 0.5, 0.5), expected[n]);
}

TEST(DriveCircuit, SampleRateIsTruncatedAndClamped) {
    auto rateFor = [](double r) {
        DriveCircuit c;
        c.Calc(r);
        return c.sampleRate;
    };
    EXPECT_EQ(rateFor(0.0), 1.0);
    EXPECT_EQ(rateFor(-5.0), 1.0);
    EXPECT_EQ(rateFor(std::numeric_limits<double>::quiet_NaN()), 1.0);
    EXPECT_EQ(rateFor(1e300), 192000.0); // clamped before it is truncated, never 1 Hz
    EXPECT_EQ(rateFor(2147483648.0), 192000.0);
    EXPECT_EQ(rateFor(std::numeric_limits<double>::infinity()), 192000.0);
    EXPECT_EQ(rateFor(384000.0), 192000.0);
    EXPECT_EQ(rateFor(44100.7), 44100.0);
    EXPECT_EQ(rateFor(0.9), 1.0);

    DriveCircuit truncated, exact;
    truncated.Calc(48000.99);
    exact.Calc(48000.0);
    EXPECT_EQ(truncated.outScale, exact.outScale);
    EXPECT_EQ(truncated.bBase[2], exact.bBase[2]);
}

TEST(DriveCircuit, ClipperEdges) {
    EXPECT_TRUE(SameBits(diodeclip(0.0), 0.0));
    EXPECT_TRUE(SameBits(diodeclip(-0.0), -0.0));
    EXPECT_EQ(diodeclip(10.0), 0.5937374830245972);
    EXPECT_EQ(diodeclip(-10.0), -0.5937374830245972);
    EXPECT_NEAR(diodeclip(1.0 / 54.37900161743164), double(diode_table.values[1]), 1e-15);
    EXPECT_EQ(diodeclip(1e6), 0.5937374830245972);
    // Beyond the 32-bit index range the truncation yields the most negative integer, which the
    // range test reads as "below the table": the curve gives 0 there, as the fitted model does.
    EXPECT_TRUE(SameBits(diodeclip(std::numeric_limits<double>::infinity()), 0.0));
    EXPECT_TRUE(SameBits(diodeclip(-1e12), -0.0));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(SameBits(diodeclip(nan), 0.0));
    EXPECT_TRUE(SameBits(diodeclip(-nan), -0.0));

    // Continuous at the table's end: just below, the last segment is almost at its top.
    const double end = 99.0 / 54.37900161743164;
    const double below = std::nextafter(end, 0.0);
    EXPECT_NEAR(diodeclip(below), 0.5937374830245972, 1e-12);
    EXPECT_LE(diodeclip(below), 0.5937374830245972);
    EXPECT_EQ(diodeclip(end * 1.0000001), 0.5937374830245972);
}

TEST(DriveCircuit, ClipperIsOddAndMonotone) {
    double previous = 0.0;
    for (int k = 0; k <= 2000; ++k) {
        const double y = k * 0.001;
        const double u = diodeclip(y);
        EXPECT_EQ(diodeclip(-y), -u);
        EXPECT_GE(u, previous);
        previous = u;
    }
}

TEST(DriveCircuit, ZeroLevelIsSilent) {
    DriveCircuit silent;
    silent.Calc(48000.0);
    for (int n = 0; n < 1000; ++n)
        EXPECT_EQ(silent.Process(n % 7 == 0 ? 0.8 : -0.3, 0.2, 0.0), 0.0);
    EXPECT_EQ(silent.levelSmooth, 0.0);
}

TEST(DriveCircuit, FullGainSmootherDecaysGeometrically) {
    DriveCircuit c;
    c.Calc(44100.0);
    c.Process(0.1, 0.0, 0.5); // g moves towards 1
    const double g0 = c.gainSmooth;
    ASSERT_GT(g0, 0.0);
    c.Process(0.1, 1.0, 0.5); // gTerm is exactly 0 at gain 1
    EXPECT_EQ(c.gainSmooth, g0 * 0.993);
}

TEST(DriveCircuit, StateSurvivesRecalculation) {
    DriveCircuit a, b;
    a.Calc(44100.0);
    b.Calc(44100.0);
    for (int n = 0; n < 64; ++n) {
        const double x = std::sin(n * 0.1);
        a.Process(x, 0.3, 0.6);
        b.Process(x, 0.3, 0.6);
    }
    b.Calc(96000.0);
    b.Calc(44100.0); // a new block at the old rate: nothing but coefficients changed
    for (int n = 0; n < 64; ++n)
        EXPECT_EQ(a.Process(0.2, 0.3, 0.6), b.Process(0.2, 0.3, 0.6));
}
