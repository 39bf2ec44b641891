// The host's Audio Unit renderer and RenderAll's blocks (the samples, the suite over every
// wrapper checks through the program).
#include "host/AURenderer.h"
#include "host/DemoSignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

const std::string kBundle = ZERUB_COMPONENT_BUNDLE;

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
    EXPECT_EQ(out.NumChannels(), 1);
    EXPECT_EQ(out.NumFrames(), 5000);
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
