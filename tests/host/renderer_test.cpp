// The Audio Unit renderer against the drive circuit run on its own, and RenderAll's blocks.
#include "host/AURenderer.h"
#include "host/DemoSignal.h"

#include "effect/DriveCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

// The effect as the drive circuit alone defines it: coefficients once per block, then one
// Process per sample, in double, rounded to float on the way out. The host hands parameter
// values over as Float32, so they reach the circuit rounded to float.
std::vector<float> ReferenceDrive(const std::vector<float>& in, double rate, size_t block,
                                  float gain, float level) {
    DriveCircuit circuit;
    std::vector<float> out(in.size());
    for (size_t start = 0; start < in.size(); start += block) {
        circuit.Calc(rate);
        const size_t end = std::min(in.size(), start + block);
        for (size_t i = start; i < end; ++i)
            out[i] = static_cast<float>(circuit.Process(in[i], gain, level));
    }
    return out;
}

size_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return i;
    return a.size() == b.size() ? std::string::npos : std::min(a.size(), b.size());
}

// A block-size recorder, to check how RenderAll cuts the audio.
class Recording : public Renderer {
public:
    std::vector<int> blocks;
    Status Open(double, int, int) override { return Status::Ok(); }
    Status SetParam(int, double) override { return Status::Ok(); }
    Status Render(const float* const* in, float* const* out, int n) override {
        blocks.push_back(n);
        for (int i = 0; i < n; ++i)
            out[0][i] = in[0][i] * 2.0f;
        return blocks.size() == 3 && failThird ? Status::Fail("third block") : Status::Ok();
    }
    bool failThird = false;
};

} // namespace

TEST(AURenderer, MatchesTheDriveCircuitSampleForSample) {
    // Stereo with different material per side, and a length that ends in a short block.
    const PlanarAudio riff = MakeDemoRiff();
    PlanarAudio in(48000, 2, 30000);
    for (int i = 0; i < 30000; ++i) {
        in.channels[0][i] = riff.channels[0][i];
        in.channels[1][i] = riff.channels[0][60000 + i] * 1.7f;
    }
    for (const auto& [gain, level] : {std::pair{0.1, 0.69}, {0.5, 0.48}, {1.0, 0.41}}) {
        AURenderer renderer(kBundle);
        ASSERT_TRUE(renderer.Open(48000.0, 2, 700));
        ASSERT_TRUE(renderer.SetParam(0, gain));
        ASSERT_TRUE(renderer.SetParam(1, level));
        PlanarAudio out;
        ASSERT_TRUE(RenderAll(renderer, in, 700, &out));
        ASSERT_EQ(out.NumChannels(), 2);
        for (int c = 0; c < 2; ++c) {
            const std::vector<float> expected = ReferenceDrive(
                in.channels[c], 48000.0, 700, static_cast<float>(gain), static_cast<float>(level));
            EXPECT_EQ(FirstDifference(out.channels[c], expected), std::string::npos)
                << "channel " << c << ", gain " << gain;
        }
    }
}

TEST(AURenderer, MonoAtDefaultsAndTheParametersItLists) {
    const PlanarAudio riff = MakeDemoRiff();
    PlanarAudio in(44100, 1, 5000);
    in.channels[0].assign(riff.channels[0].begin(), riff.channels[0].begin() + 5000);
    AURenderer renderer(kBundle);
    ASSERT_TRUE(renderer.Open(44100.0, 1, 512));
    ASSERT_EQ(renderer.Parameters().size(), 3u);
    EXPECT_EQ(renderer.Parameters()[0].name, "Gain");
    EXPECT_EQ(renderer.Parameters()[1].name, "Level");
    EXPECT_EQ(renderer.Parameters()[2].name, "BY");
    PlanarAudio out;
    ASSERT_TRUE(RenderAll(renderer, in, 512, &out));
    EXPECT_EQ(
        FirstDifference(out.channels[0], ReferenceDrive(in.channels[0], 44100, 512, 0.5f, 0.5f)),
        std::string::npos);
}

TEST(AURenderer, RefusesMisuse) {
    const float silence = 0.0f;
    const float* in1 = &silence;
    float sample = 0.0f;
    float* out1 = &sample;
    AURenderer renderer(kBundle);
    EXPECT_EQ(renderer.Render(&in1, &out1, 1).message(), "the effect is not open");
    EXPECT_FALSE(renderer.SetParam(0, 0.5));
    EXPECT_EQ(
        renderer.Open(44100.0, 3, 512).message().rfind("the component does not take 3 channels", 0),
        0u);
    EXPECT_FALSE(renderer.Open(0.0, 2, 512));
    EXPECT_FALSE(renderer.Open(std::numeric_limits<double>::quiet_NaN(), 2, 512));
    EXPECT_FALSE(renderer.Open(44100.0, 2, 0));

    ASSERT_TRUE(renderer.Open(44100.0, 1, 64));
    EXPECT_FALSE(renderer.Open(44100.0, 1, 64));
    EXPECT_FALSE(renderer.SetParam(3, 0.5)); // the unit refuses an unknown ID
    EXPECT_EQ(renderer.SetParam(-1, 0.5).message(), "no parameter -1");
    EXPECT_FALSE(renderer.SetParam(0, std::nan("")));
    std::vector<float> input(65, 0.1f), output(65);
    const float* in = input.data();
    float* out = output.data();
    EXPECT_EQ(renderer.Render(&in, &out, 65).message(), "block of 65 frames (maximum 64)");
    EXPECT_FALSE(renderer.Render(&in, &out, 0));
    EXPECT_TRUE(renderer.Render(&in, &out, 64));

    AURenderer missing("/nonexistent/Zerub.component");
    EXPECT_EQ(missing.Open(44100.0, 1, 64).message(),
              "cannot open component /nonexistent/Zerub.component: No such file or directory");
}

TEST(RenderAll, CutsBlocksAndReportsProgress) {
    PlanarAudio in(44100, 1, 1100);
    for (int i = 0; i < 1100; ++i)
        in.channels[0][i] = static_cast<float>(i);
    Recording renderer;
    std::vector<long> progress;
    PlanarAudio out;
    ASSERT_TRUE(RenderAll(renderer, in, 512, &out, [&](long done, long total) {
        EXPECT_EQ(total, 1100);
        progress.push_back(done);
    }));
    EXPECT_EQ(renderer.blocks, (std::vector<int>{512, 512, 76}));
    EXPECT_EQ(progress, (std::vector<long>{512, 1024, 1100}));
    ASSERT_EQ(out.NumFrames(), 1100);
    EXPECT_EQ(out.sampleRate, 44100);
    for (int i = 0; i < 1100; ++i)
        ASSERT_EQ(out.channels[0][i], 2.0f * i);

    // A failing block ends the run and leaves the caller's buffer alone.
    Recording failing;
    failing.failThird = true;
    PlanarAudio untouched;
    EXPECT_EQ(RenderAll(failing, in, 512, &untouched).message(), "third block");
    EXPECT_EQ(untouched.NumFrames(), 0);
    EXPECT_FALSE(RenderAll(failing, in, 0, &untouched));
}
