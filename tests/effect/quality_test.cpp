// The quality setting on the effect: the latency it states against the delay of its output, and
// what a change of setting in mid-stream does to the sound.
#include "effect/Zerub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using PlugPtr = std::unique_ptr<IPlugAU, PlugDeleter>;

PlugPtr MakeStereo(double rate, double gain, int quality) {
    PlugPtr plug(MakePlug(nullptr));
    plug->SetSampleRate(rate);
    plug->SetBlockSize(256);
    plug->SetInputChannelConnections(0, 2, true);
    plug->SetOutputChannelConnections(0, 2, true);
    plug->GetParam(Zerub::kGain)->Set(gain);
    plug->OnParamReset();
    EXPECT_TRUE(plug->SetQuality(quality));
    return plug;
}

// Renders a mono signal on both channels, in blocks; before block b, act(b) may change a setting.
template <typename Act>
std::vector<float> Render(IPlugBase& plug, const std::vector<float>& x, int block, Act act) {
    std::vector<float> inL(x), inR(x), outL(x.size()), outR(x.size());
    for (size_t start = 0; start < x.size(); start += block) {
        act(static_cast<int>(start / block));
        const int n = static_cast<int>(std::min<size_t>(block, x.size() - start));
        float* ins[2] = {inL.data() + start, inR.data() + start};
        float* outs[2] = {outL.data() + start, outR.data() + start};
        plug.AttachInputBuffers(0, 2, ins, n);
        plug.AttachOutputBuffers(0, 2, outs);
        plug.ProcessBuffers(0.0f, n);
    }
    return outL;
}

std::vector<float> Render(IPlugBase& plug, const std::vector<float>& x, int block) {
    return Render(plug, x, block, [](int) {});
}

TEST(ZerubQuality, SettingAndLatency) {
    PlugPtr plug = MakeStereo(48000.0, 0.5, Zerub::kQualityStandard);
    EXPECT_EQ(plug->GetQuality(), Zerub::kQualityStandard);
    EXPECT_EQ(plug->GetLatency(), 0);
    EXPECT_FALSE(plug->SetQuality(2));
    EXPECT_FALSE(plug->SetQuality(-1));
    EXPECT_EQ(plug->GetQuality(), Zerub::kQualityStandard);
    ASSERT_TRUE(plug->SetQuality(Zerub::kQualityHQ));
    const int at48 = plug->GetLatency();
    EXPECT_GT(at48, 0);
    plug->SetSampleRate(96000.0); // half the factor: one stage fewer
    EXPECT_LT(plug->GetLatency(), at48);
    EXPECT_GT(plug->GetLatency(), 0);
    plug->SetSampleRate(192000.0); // already at the circuit's ceiling
    EXPECT_EQ(plug->GetLatency(), 0);
    plug->SetSampleRate(44100.0); // the same factor, a narrower transition: a longer filter
    EXPECT_GT(plug->GetLatency(), at48);
    EXPECT_EQ(plug->GetLatency(), Zerub::LatencyFor(Zerub::kQualityHQ, 44100.0));
    ASSERT_TRUE(plug->SetQuality(Zerub::kQualityStandard));
    EXPECT_EQ(plug->GetLatency(), 0);
}

// HQ's output lines up with Standard's (no latency by definition) when shifted by exactly the
// stated latency: the cross-correlation peaks there.
TEST(ZerubQuality, StatedLatencyIsTheDelayOfTheOutput) {
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0}) {
        std::vector<float> x(16384);
        unsigned seed = 12345;
        for (float& v : x) { // band-limited noise: white noise through a one-pole low-pass
            seed = seed * 1103515245u + 12345u;
            const double white = ((seed >> 8) & 0xffff) / 32768.0 - 1.0;
            v = static_cast<float>(0.6 * v + 0.05 * white);
        }
        for (size_t n = 1; n < x.size(); ++n)
            x[n] = 0.7f * x[n - 1] + x[n];
        PlugPtr standard = MakeStereo(rate, 0.5, Zerub::kQualityStandard);
        PlugPtr hq = MakeStereo(rate, 0.5, Zerub::kQualityHQ);
        const std::vector<float> a = Render(*standard, x, 100);
        const std::vector<float> b = Render(*hq, x, 77);
        int bestLag = -1;
        double best = -1.0;
        for (int lag = 0; lag < 400; ++lag) {
            double sum = 0.0;
            for (size_t n = 4000; n + lag < b.size(); ++n)
                sum += double(a[n]) * b[n + lag];
            if (sum > best) best = sum, bestLag = lag;
        }
        EXPECT_EQ(bestLag, hq->GetLatency()) << rate;
    }
}

// The largest second difference of y in [from, to): how hard the waveform bends, which a click
// makes large and a slow sine leaves small.
double Bend(const std::vector<float>& y, int from, int to) {
    double worst = 0.0;
    for (int n = from; n < to; ++n)
        worst = std::max(worst, std::fabs(double(y[n]) - 2.0 * y[n - 1] + double(y[n - 2])));
    return worst;
}

TEST(ZerubQuality, SwitchingInMidStreamClicksLessThanBypass) {
    constexpr double kRate = 48000.0;
    constexpr int kBlock = 128, kSwitchBlock = 100, kSwitch = kSwitchBlock * kBlock;
    std::vector<float> x(kSwitch + 4096);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(0.5 * std::sin(2.0 * kPi * 110.0 * n / kRate));
    const int window = 1024;
    double bypassClick = 1e9;
    for (double by : {1.0, 0.0}) {
        PlugPtr plug = MakeStereo(kRate, 0.0, Zerub::kQualityStandard);
        plug->GetParam(Zerub::kBypass)->Set(1.0 - by);
        plug->OnParamChange(Zerub::kBypass);
        const std::vector<float> y = Render(*plug, x, kBlock, [&](int b) {
            if (b != kSwitchBlock) return;
            plug->GetParam(Zerub::kBypass)->Set(by);
            plug->OnParamChange(Zerub::kBypass);
        });
        bypassClick = std::min(bypassClick, Bend(y, kSwitch, kSwitch + window));
    }
    for (int to : {Zerub::kQualityHQ, Zerub::kQualityStandard}) {
        PlugPtr plug = MakeStereo(kRate, 0.0, 1 - to);
        const std::vector<float> y = Render(*plug, x, kBlock, [&](int b) {
            if (b == kSwitchBlock) plug->SetQuality(to);
        });
        const double steady = Bend(y, kSwitch - window, kSwitch);
        const double click = Bend(y, kSwitch, kSwitch + window);
        // Measured: about 1/30 of the bypass click into HQ, none to see back into Standard.
        EXPECT_LT(click, 0.1 * bypassClick) << "to " << to << ", steady " << steady;
    }
}

} // namespace
