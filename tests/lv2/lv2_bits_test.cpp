// The bundle's audio through a real LV2 host (lilv) for fixed inputs, bit for bit, against the
// hashes written on x86-64: what a host on another processor hears from the same session.
#include "LV2TestHost.h"
#include "tests/effect/ReferenceBits.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Channels = std::vector<std::vector<float>>;

Channels Signal(int channels, size_t n, uint64_t seed, float amplitude) {
    BitSignal s(seed);
    Channels in(static_cast<size_t>(channels), std::vector<float>(n));
    for (auto& channel : in)
        for (float& x : channel)
            x = amplitude * static_cast<float>(s.Next());
    return in;
}

// One instance over the whole signal in runs of varying length, the controls moved between
// some of them (the bypass ports among them), every output sample hashed.
BitHash Render(const char* uri, double rate, int channels, float quality, uint64_t seed) {
    const size_t total = 24000;
    const Channels in = Signal(channels, total, seed, 1.5f);
    Channels out(static_cast<size_t>(channels), std::vector<float>(total));
    BitHash h;
    TestInstance plug(uri, rate, HostFeatures::kMapAndOptions, 4096);
    EXPECT_TRUE(plug.Ok());
    if (!plug.Ok()) return h;
    plug.Control("quality") = quality;
    BitSignal settings(seed + 100);
    size_t pos = 0;
    for (int run = 0; pos < total; ++run) {
        const size_t n = std::min(total - pos, static_cast<size_t>(1 + run * 97 % 1500));
        if (run % 4 == 1) {
            plug.Control("gain") = static_cast<float>(0.5 * (settings.Next() + 1.0));
            plug.Control("level") = static_cast<float>(0.5 * (settings.Next() + 1.0));
        }
        plug.Control("enabled") = run % 11 == 5 ? 0.0f : 1.0f;
        plug.Control("by") = run % 13 == 7 ? 1.0f : 0.0f;
        plug.Run(in, out, pos, static_cast<uint32_t>(n));
        pos += n;
    }
    for (const auto& channel : out)
        for (float y : channel)
            h.Add(y);
    return h;
}

} // namespace

TEST(LV2Bits, StereoAndMonoAtTwoRates) {
    ExpectReferenceBits("lv2_stereo_48000", Render(kStereoURI, 48000.0, 2, 0.0f, 5));
    ExpectReferenceBits("lv2_stereo_44100", Render(kStereoURI, 44100.0, 2, 0.0f, 6));
    ExpectReferenceBits("lv2_mono_96000", Render(kMonoURI, 96000.0, 1, 0.0f, 7));
}

TEST(LV2Bits, HighQuality) {
    ExpectReferenceBits("lv2_stereo_hq_48000", Render(kStereoURI, 48000.0, 2, 1.0f, 8));
}
