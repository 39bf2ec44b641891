// The HQ resamplers against their figures: the filter cascade's response in and around the audio
// band and the delay they state (the whole drive's aliasing is measured in the tools' suite).
#include "effect/Oversampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The down cascade's gain at circuit-rate frequency F, and where F lands at the host rate. The up
// cascade uses the same filters, so an image at F of a host-rate tone gets the same gain.
double CascadeDb(double hostRate, int stages, const HalfbandFilter& first, double F,
                 double* landsAt) {
    double mag = 1.0, rate = hostRate * (1 << stages);
    for (int s = stages - 1; s >= 0; --s) {
        mag *= (s == 0 ? first : WideHalfband()).Magnitude(F / rate);
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

// Each rate's own design: the whole path flat to the band's top (20 kHz, or 44.1 kHz's share of
// a lower rate) and at least 100 dB down wherever a component would fold into the band.
TEST(Oversampler, CascadeIsFlatToTwentyKilohertzAndDeepAboveTheFoldingEdge) {
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 64000.0, 32000.0}) {
        const int stages = OversampleStagesFor(rate);
        const HalfbandFilter first = DesignFirstHalfband(rate);
        const double band = 20000.0 * std::min(1.0, rate / 44100.0);
        double lands = 0.0;
        for (double f = 0.0; f <= band; f += 10.0) {
            // Up and down in series: twice the cascade's gain.
            EXPECT_LE(std::fabs(2.0 * CascadeDb(rate, stages, first, f, &lands)), 0.1)
                << rate << " " << f;
        }
        // Everything from the host rate minus the band up that would land in the band.
        int checked = 0;
        for (double F = rate - band; F <= rate * (1 << stages) / 2.0; F += 7.0) {
            const double db = CascadeDb(rate, stages, first, F, &lands);
            if (lands > band) continue;
            ++checked;
            EXPECT_LE(db, -100.0) << rate << " " << F;
        }
        EXPECT_GT(checked, 1000) << rate;
    }
}

// A wider transition needs fewer taps: the first stage shrinks as the host rate rises, and a
// lower rate gets 44.1 kHz's design.
TEST(Oversampler, FirstStageTakesOnlyWhatItsRateNeeds) {
    const int at44 = DesignFirstHalfband(44100.0).pairs, at48 = DesignFirstHalfband(48000.0).pairs,
              at96 = DesignFirstHalfband(96000.0).pairs;
    EXPECT_LE(at44, kFirstHalfbandMaxPairs);
    EXPECT_LE(at48, at44 * 2 / 3);
    EXPECT_LT(at96, at48 / 2);
    EXPECT_LE(DesignFirstHalfband(88200.0).pairs, 2 * at96);
    EXPECT_EQ(DesignFirstHalfband(32000.0).pairs, at44);
    EXPECT_LT(OversampleLatencyFrames(48000.0), OversampleLatencyFrames(44100.0));
    EXPECT_EQ(OversampleLatencyFrames(192000.0), 0);
}

// A tone through Up then Down in odd-sized blocks comes out as itself, LatencyFrames later.
TEST(Oversampler, RoundTripDelaysByTheStatedLatency) {
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 192000.0}) {
        Oversampler os;
        os.Setup(rate);
        const int latency = os.LatencyFrames();
        EXPECT_EQ(latency == 0, rate >= 176400.0) << rate;
        EXPECT_EQ(latency, OversampleLatencyFrames(rate)) << rate;
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

} // namespace
