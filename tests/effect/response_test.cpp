// The effect measured as an engineer would: a sine in at 48 kHz, the settled output's level and
// harmonic content read at the known bins, against figures written down once.
#include "effect/DriveCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 48000.0;
constexpr double kAmplitude = 0.1; // -20 dBFS in
constexpr int kSettle = 48000;     // 1 s: the circuit's filters and control smoothers settle
constexpr int kWindow = 4800;      // 0.1 s: whole periods of every test frequency and harmonic

// Amplitude of the component at f in x (whole periods in x, so no leakage between harmonics).
double AmplitudeAt(const std::vector<double>& x, double f) {
    double re = 0.0, im = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double phase = 2.0 * kPi * f * static_cast<double>(n) / kRate;
        re += x[n] * std::cos(phase);
        im += x[n] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(x.size());
}

struct Response {
    double gainDb; // fundamental out against in
    double thdDb;  // every harmonic below half the rate against the fundamental
};

Response Measure(double f, double gain, double level) {
    DriveCircuit circuit;
    circuit.Calc(kRate);
    std::vector<double> out(kWindow);
    for (int n = 0; n < kSettle + kWindow; ++n) {
        const double y =
            circuit.Process(kAmplitude * std::sin(2.0 * kPi * f * n / kRate), gain, level);
        if (n >= kSettle) out[n - kSettle] = y;
    }
    const double fundamental = AmplitudeAt(out, f);
    double harmonics = 0.0;
    for (int k = 2; k * f < kRate / 2; ++k)
        harmonics += std::pow(AmplitudeAt(out, k * f), 2.0);
    return {20.0 * std::log10(fundamental / kAmplitude),
            10.0 * std::log10(harmonics / (fundamental * fundamental))};
}

} // namespace

// Measured once with Measure below on the circuit at commit a9e8e52 (gcc 12, -O2), printed to
// three decimals. Level only scales the output stage, so the harmonic content is the same at
// every Level. The tolerance is tight enough that a changed taper or circuit shows, loose enough
// for another compiler's last bits.
struct Figure {
    double frequency, gain;
    double gainDb[3]; // at Level 0.25, 0.5 and 1
    double thdDb;
};
constexpr Figure kFigures[] = {
    {100, 0.0, {-30.071, -13.479, 17.180}, -34.520},
    {100, 0.5, {-14.435, 2.157, 32.816}, -23.506},
    {100, 1.0, {-13.576, 3.016, 33.675}, -13.725},
    {1000, 0.0, {-30.164, -13.572, 17.087}, -35.081},
    {1000, 0.5, {-13.865, 2.727, 33.386}, -16.752},
    {1000, 1.0, {-13.118, 3.474, 34.133}, -7.775},
    {5000, 0.0, {-32.404, -15.812, 14.847}, -39.193},
    {5000, 0.5, {-14.839, 1.753, 32.412}, -28.512},
    {5000, 1.0, {-13.465, 3.127, 33.786}, -13.596},
};
constexpr double kToleranceDb = 0.05;

TEST(Response, LevelAndHarmonicsOfASineAtThreeFrequenciesGainsAndLevels) {
    double previousThd = 0.0;
    for (const Figure& f : kFigures) {
        for (int i = 0; i < 3; ++i) {
            const double level = 0.25 * (1 << i);
            SCOPED_TRACE(testing::Message()
                         << f.frequency << " Hz, Gain " << f.gain << ", Level " << level);
            const Response r = Measure(f.frequency, f.gain, level);
            EXPECT_NEAR(r.gainDb, f.gainDb[i], kToleranceDb);
            EXPECT_NEAR(r.thdDb, f.thdDb, kToleranceDb);
            // More Gain drives the clipper harder at every frequency.
            if (f.gain > 0.0) {
                EXPECT_GT(r.thdDb, previousThd + 5.0);
            }
            if (i == 2) previousThd = r.thdDb;
        }
    }
}
