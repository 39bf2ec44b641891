// The HQ resamplers against their figures: the filter cascade's response in and around the audio
// band, the delay they state, and the aliasing of the whole drive at the raised rate.
#include "effect/Oversampler.h"
#include "effect/ZerubHQ.h"
#include "effect/ZerubProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The down cascade's gain at circuit-rate frequency F, and where F lands at the host rate. The up
// cascade uses the same filters, so an image at F of a host-rate tone gets the same gain.
double CascadeDb(double hostRate, int stages, double F, double* landsAt) {
    double mag = 1.0, rate = hostRate * (1 << stages);
    for (int s = stages - 1; s >= 0; --s) {
        mag *= (s == 0 ? SharpHalfband() : WideHalfband()).Magnitude(F / rate);
        rate /= 2.0;
        F = std::fmod(F, rate);
        if (F > rate / 2.0) F = rate - F;
    }
    *landsAt = F;
    return 20.0 * std::log10(mag + 1e-300);
}

TEST(Oversampler, FactorKeepsTheCircuitAtOrBelow192kHz) {
    EXPECT_EQ(OversampleStagesFor(44100.0), 2);
    EXPECT_EQ(OversampleStagesFor(48000.0), 2);
    EXPECT_EQ(OversampleStagesFor(88200.0), 1);
    EXPECT_EQ(OversampleStagesFor(96000.0), 1);
    EXPECT_EQ(OversampleStagesFor(176400.0), 0);
    EXPECT_EQ(OversampleStagesFor(22050.0), 3);
    EXPECT_EQ(OversampleStagesFor(8000.0), kOversampleMaxStages);
    EXPECT_EQ(OversampleStagesFor(0.0), 0);
    EXPECT_EQ(OversampleStagesFor(std::nan("")), 0);
}

TEST(Oversampler, CascadeIsFlatToTwentyKilohertzAndDeepAboveTheFoldingEdge) {
    for (double rate : {44100.0, 48000.0}) {
        const int stages = OversampleStagesFor(rate);
        double lands = 0.0;
        for (double f = 0.0; f <= 20000.0; f += 10.0) {
            // Up and down in series: twice the cascade's gain.
            EXPECT_LE(std::fabs(2.0 * CascadeDb(rate, stages, f, &lands)), 0.1) << rate << " " << f;
        }
        // Everything from the host rate minus 20 kHz up that would land in 0 to 20 kHz.
        int checked = 0;
        for (double F = rate - 20000.0; F <= rate * (1 << stages) / 2.0; F += 7.0) {
            const double db = CascadeDb(rate, stages, F, &lands);
            if (lands > 20000.0) continue;
            ++checked;
            EXPECT_LE(db, -100.0) << rate << " " << F;
        }
        EXPECT_GT(checked, 1000);
    }
}

// A tone through Up then Down in odd-sized blocks comes out as itself, LatencyFrames later.
TEST(Oversampler, RoundTripDelaysByTheStatedLatency) {
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        Oversampler os;
        os.Setup(OversampleStagesFor(rate));
        const int latency = os.LatencyFrames();
        EXPECT_EQ(latency == 0, rate >= 176400.0) << rate;
        const int total = 4000;
        std::vector<float> in(total), out(total);
        for (int n = 0; n < total; ++n)
            in[n] = static_cast<float>(0.5 * std::sin(2.0 * kPi * 3000.0 * n / rate));
        float buf[kOversampleBufferSize];
        for (int done = 0; done < total;) {
            const int n = std::min({os.ChunkFrames(), total - done, 1 + done % 37});
            os.Up(in.data() + done, n, buf);
            os.Down(buf, n, out.data() + done);
            done += n;
        }
        double worst = 0.0;
        for (int n = 1000; n < total; ++n)
            worst = std::max(worst, std::fabs(double(out[n]) - double(in[n - latency])));
        EXPECT_LT(worst, 1e-4) << rate;
    }
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> t = 1.0;
            for (size_t k = 0; k < len / 2; ++k, t *= w) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * t;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

struct Aliasing {
    double strongestDbc;
    double sumDbc;
};

// A -6 dBFS sine on a bin centre near f (an odd bin, so that no folded harmonic lands on a
// harmonic's bin), Gain 1, Level 0.5, settled for a second; then every component from 0 to 20 kHz
// that is no harmonic of the input, against the fundamental.
Aliasing MeasureAliasing(double rate, double f, bool hq) {
    constexpr int kN = 8192;
    int bin = static_cast<int>(std::lround(f * kN / rate));
    if (bin % 2 == 0) ++bin;
    const int settle = static_cast<int>(rate);
    std::vector<double> l(settle + kN), r(settle + kN);
    for (size_t n = 0; n < l.size(); ++n)
        l[n] = r[n] = 0.5 * std::sin(2.0 * kPi * bin * static_cast<double>(n % kN) / kN);
    DriveCircuit circuitL, circuitR;
    ZerubHQ hqPath;
    for (size_t done = 0; done < l.size(); done += 512) {
        double* in[2] = {l.data() + done, r.data() + done};
        const int n = static_cast<int>(std::min<size_t>(512, l.size() - done));
        if (hq)
            hqPath.Process(circuitL, circuitR, rate, 1.0, 0.5, false, in, in, n);
        else
            ProcessZerubBlock(circuitL, circuitR, rate, 1.0, 0.5, false, in, in, n);
    }
    std::vector<std::complex<double>> spectrum(l.begin() + settle, l.begin() + settle + kN);
    Fft(spectrum);
    const double fundamental = std::norm(spectrum[bin]);
    double strongest = 0.0, sum = 0.0;
    for (int k = 1; k * rate / kN <= 20000.0; ++k) {
        if (k % bin == 0) continue;
        const double p = std::norm(spectrum[k]) / fundamental;
        strongest = std::max(strongest, p);
        sum += p;
    }
    return {10.0 * std::log10(strongest), 10.0 * std::log10(sum)};
}

TEST(ZerubHQ, AliasingStaysUnderTheTargets) {
    for (double rate : {48000.0, 44100.0}) {
        const Aliasing hq1k = MeasureAliasing(rate, 1000.0, true);
        const Aliasing hq5k = MeasureAliasing(rate, 5000.0, true);
        const Aliasing std1k = MeasureAliasing(rate, 1000.0, false);
        const Aliasing std5k = MeasureAliasing(rate, 5000.0, false);
        EXPECT_LE(hq1k.strongestDbc, -60.0) << rate;
        EXPECT_LE(hq1k.sumDbc, -50.0) << rate;
        EXPECT_LE(hq5k.strongestDbc, -30.0) << rate;
        EXPECT_LE(hq5k.sumDbc, -25.0) << rate;
        // The measurement sees aliasing where there is some: the circuit at the host rate.
        EXPECT_GT(std5k.strongestDbc, -25.0) << rate;
        std::printf("%.0f Hz, strongest / sum: HQ 1 kHz %.1f / %.1f dBc, 5 kHz %.1f / %.1f dBc; "
                    "Standard 1 kHz %.1f / %.1f dBc, 5 kHz %.1f / %.1f dBc\n",
                    rate, hq1k.strongestDbc, hq1k.sumDbc, hq5k.strongestDbc, hq5k.sumDbc,
                    std1k.strongestDbc, std1k.sumDbc, std5k.strongestDbc, std5k.sumDbc);
    }
}

} // namespace
