#include "host/AURenderer.h"
#include "host/AudioStats.h"
#include "host/Demo.h"
#include "host/DemoSignal.h"
#include "host/WavFile.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sndfile.h>

using namespace hosttest;

namespace {

bool SameSamples(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Lag of the strongest normalised autocorrelation between minLag and maxLag.
int StrongestLag(const std::vector<float>& x, int begin, int length, int minLag, int maxLag) {
    int best = minLag;
    double bestScore = -2.0;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (int i = begin; i < begin + length; ++i) {
            xy += static_cast<double>(x[i]) * x[i + lag];
            xx += static_cast<double>(x[i]) * x[i];
            yy += static_cast<double>(x[i + lag]) * x[i + lag];
        }
        const double score = xy / std::sqrt(xx * yy);
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// The built component, driven through the host interface.
std::unique_ptr<Renderer> MakeComponent() {
    return std::make_unique<AURenderer>(ZERUB_COMPONENT_BUNDLE);
}

} // namespace

TEST(DemoRiff, IsDeterministicAndShapedAsIntended) {
    const PlanarAudio a = MakeDemoRiff();
    const PlanarAudio b = MakeDemoRiff();
    ASSERT_EQ(a.NumChannels(), 1);
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_EQ(a.NumFrames(), kDemoFrames);
    EXPECT_DOUBLE_EQ(a.NumFrames() / 44100.0, 8.5);
    EXPECT_TRUE(SameSamples(a.channels[0], b.channels[0]));

    for (float s : a.channels[0])
        ASSERT_TRUE(std::isfinite(s));
    const AudioLevels levels = MeasureLevels(a);
    EXPECT_NEAR(levels.PeakDb(), -6.0, 0.01);
    EXPECT_GT(levels.RmsDb(), -35.0);

    // Every bar (2 s) plays, and the riff does not sit on an offset.
    double sum = 0.0;
    for (int bar = 0; bar < 4; ++bar) {
        PlanarAudio part(44100, 1, 0);
        part.channels[0].assign(a.channels[0].begin() + bar * 88200,
                                a.channels[0].begin() + (bar + 1) * 88200);
        EXPECT_GT(MeasureLevels(part).RmsDb(), -35.0) << "bar " << bar + 1;
    }
    for (float s : a.channels[0])
        sum += s;
    EXPECT_LT(std::fabs(sum / a.NumFrames()), 1e-4);
}

TEST(DemoRiff, OpensOnALowETunedString) {
    const PlanarAudio riff = MakeDemoRiff();
    // E2 is 82.41 Hz: a period of 535.1 samples. Look between a tone below and a tone above.
    const int lag = StrongestLag(riff.channels[0], 2000, 4000, 480, 600);
    EXPECT_NEAR(44100.0 / lag, 82.41, 82.41 * 0.005) << "period " << lag << " samples";
}

TEST(Demo, WritesEveryFileWithMatchingSummaryLines) {
    TempDir dir;
    const std::string out = dir / "demo";
    std::ostringstream report;
    const Status status = RunDemo(out, MakeComponent, report);
    ASSERT_TRUE(status) << status.message();

    const std::vector<std::string> expectedFiles = {"clean.wav", "dry.wav", "full.wav",
                                                    "medium.wav"};
    EXPECT_EQ(Entries(out), expectedFiles); // no temporaries left
    const std::vector<std::string> lines = Lines(report.str());
    ASSERT_EQ(lines.size(), 4u) << report.str();

    const PlanarAudio riff = MakeDemoRiff();
    const double dryRms = MeasureLevels(riff).RmsDb();
    const char* order[4] = {"dry.wav", "clean.wav", "medium.wav", "full.wav"};
    double crest[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::string path = (fs::path(out) / order[i]).string();
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << path;
        sf_close(file);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT) << path;
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.frames, kDemoFrames);

        PlanarAudio audio;
        ASSERT_TRUE(ReadAudioFile(path, &audio));
        const AudioLevels levels = MeasureLevels(audio);
        if (i == 0)
            EXPECT_TRUE(SameSamples(audio.channels[0], riff.channels[0]));
        else
            EXPECT_FALSE(SameSamples(audio.channels[0], riff.channels[0])) << path;

        // The line reports this file's own figures.
        char linePath[256];
        double peak = 0.0, rms = 0.0, ratio = 0.0;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%255s peak %lf dBFS RMS %lf dBFS out/in %lf dB",
                              linePath, &peak, &rms, &ratio),
                  4)
            << lines[i];
        EXPECT_EQ(linePath, path);
        EXPECT_NEAR(peak, levels.PeakDb(), 0.005) << lines[i];
        EXPECT_NEAR(rms, levels.RmsDb(), 0.005) << lines[i];
        EXPECT_NEAR(ratio, levels.RmsDb() - dryRms, 0.01) << lines[i];
        // Level is set so that each setting comes out about as loud as the dry riff.
        EXPECT_LT(std::fabs(ratio), 1.5) << lines[i];
        crest[i] = peak - rms;
    }
    // More drive clips harder: the peaks come down towards the average.
    EXPECT_GT(crest[1], crest[2]);
    EXPECT_GT(crest[2], crest[3]);
}

TEST(Demo, StopsAtTheFirstFailureWithoutPartialFiles) {
    TempDir dir;
    std::ostringstream report;

    // A renderer that cannot open: the dry file is written, nothing after it.
    class Refusing : public Renderer {
        Status Open(double, int, int) override { return Status::Fail("no effect here"); }
        Status SetParam(int, double) override { return Status::Ok(); }
        Status Render(const float* const*, float* const*, int) override { return Status::Ok(); }
    };
    const Status refused = RunDemo(
        dir / "a", [] { return std::make_unique<Refusing>(); }, report);
    EXPECT_EQ(refused.message(), "no effect here");
    EXPECT_EQ(Entries(dir / "a"), std::vector<std::string>{"dry.wav"});
    EXPECT_EQ(Lines(report.str()).size(), 1u);

    // The output folder is a regular file.
    std::ofstream(dir / "plain") << "x";
    const Status notFolder = RunDemo(dir / "plain", MakeComponent, report);
    EXPECT_FALSE(notFolder);
    EXPECT_EQ(notFolder.message().rfind("cannot create folder " + (dir / "plain"), 0), 0u)
        << notFolder.message();
}
