// Every path to the effect's audio (the block path on float and double buffers, the plug-in on
// the base's float buffers, AudioUnitRender on the built bundle, zerub-host render on a file, the
// LV2 bundle in lilv) renders bit for bit what the circuit's definition gives, bypassed or not.
#include "Renderers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

float SignallingNaN() {
    const uint32_t bits = 0x7f800001u; // a trip through double would quieten it
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A decaying sine with noise per channel; every 8th region of 500 frames runs past full scale.
Planar Signal(int channels, int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    Planar x(channels, std::vector<float>(n));
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < n; ++i)
            x[c][i] = static_cast<float>(0.8 * std::sin(i * (0.031 + 0.02 * c)) *
                                         std::exp(-(i % 4000) * 5e-4)) +
                      noise(rng) * (i / 500 % 8 == 7 ? 60.0f : 1.0f);
    return x;
}

// The values a path must carry through exactly: full scale, silence, subnormals, signed zero,
// the largest float, infinities and NaNs (quiet, negative and, for copies, signalling).
Planar WithExtremes(Planar x, bool signalling) {
    const float values[] = {
        1.0f, -1.0f, 0.0f, -0.0f, 1e-40f, -1e-45f, kMax, -kMax,
        kInf, -kInf, kNaN, -kNaN, 40.0f,  1e30f,   0.5f, signalling ? SignallingNaN() : kNaN};
    for (size_t c = 0; c < x.size(); ++c)
        for (size_t i = 0; i < x[c].size(); i += 97 + 13 * c)
            x[c][i] = values[(i / 97 + c) % 16];
    return x;
}

// Settings that change at every call, the ends of both ranges among them.
std::vector<Segment> Lengths(std::initializer_list<int> lengths, bool changing) {
    const Segment corners[] = {{0, 0.0f, 0.0f}, {0, 1.0f, 1.0f},  {0, 0.0f, 1.0f},
                               {0, 1.0f, 0.0f}, {0, 0.83f, 0.3f}, {0, 0.5f, 0.5f}};
    std::vector<Segment> segments;
    for (int n : lengths) {
        Segment s = changing ? corners[segments.size() % 6] : Segment{};
        s.frames = n;
        segments.push_back(s);
    }
    return segments;
}

// total frames in calls of block frames (the last one shorter), one setting for all.
std::vector<Segment> Blocks(int total, int block, float gain, float level, bool bypass = false) {
    std::vector<Segment> segments;
    for (int t = 0; t < total; t += block)
        segments.push_back({std::min(block, total - t), gain, level, bypass});
    return segments;
}

// Random lengths from 1 to 4096, settings and bypass changing every few calls.
std::vector<Segment> RandomRuns(int total, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(1, 4096);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<Segment> segments;
    Segment s{0};
    for (int t = 0, call = 0; t < total; ++call) {
        s.frames = std::min(call == 0 ? 1 : length(rng), total - t);
        if (call % 3 == 1) s.gain = value(rng), s.level = value(rng);
        if (call % 5 == 3) s.bypass = !s.bypass;
        segments.push_back(s);
        t += s.frames;
    }
    return segments;
}

int Total(const std::vector<Segment>& segments) {
    int n = 0;
    for (const Segment& s : segments)
        n += s.frames;
    return n;
}

Job MakeJob(double rate, int channels, std::vector<Segment> segments, bool extremes,
            bool inPlace = false, bool signalling = false) {
    Job job;
    job.rate = rate;
    job.inPlace = inPlace;
    job.input = Signal(channels, Total(segments), static_cast<unsigned>(rate) + channels);
    if (extremes) job.input = WithExtremes(job.input, signalling);
    job.segments = std::move(segments);
    return job;
}

struct Case {
    const char* name;
    Job (*make)();
};

const Case kCases[] = {
    {"Defaults", [] { return MakeJob(44100, 2, Blocks(5000, 512, 0.5f, 0.5f), false); }},
    {"SingleFrames", [] { return MakeJob(48000, 2, Blocks(400, 1, 0.6f, 0.4f), true); }},
    {"MonoLowRate", [] { return MakeJob(22050, 1, Blocks(5000, 100, 0.2f, 0.9f), false); }},
    {"FullGain96k", [] { return MakeJob(96000, 2, Blocks(5000, 333, 1.0f, 0.05f), false); }},
    {"Extremes", [] { return MakeJob(48000, 2, Blocks(6000, 256, 1.0f, 1.0f), true); }},
    {"ExtremesMonoAtZero", [] { return MakeJob(11025, 1, Blocks(6000, 4096, 0.0f, 0.0f), true); }},
    {"AboveTheCircuitsRate",
     [] { return MakeJob(384000, 2, Blocks(3000, 512, 0.7f, 0.6f), false); }},
    {"SettingsAcrossSliceBoundaries",
     [] {
         return MakeJob(48000, 2,
                        Lengths({1, 255, 256, 257, 511, 4096, 777, 3, 64, 65, 1023, 1025}, true),
                        true);
     }},
    {"MonoSettingsAcrossSliceBoundaries",
     [] {
         return MakeJob(44100, 1, Lengths({1, 63, 64, 65, 4096, 300, 2, 1024}, true), true);
     }},
    {"InPlaceOddLengths",
     [] {
         return MakeJob(48000, 2, Lengths({301, 1, 77, 255, 300, 3, 2048}, true), true, true);
     }},
    {"InPlaceMono",
     [] {
         return MakeJob(48000, 1, Lengths({301, 1, 77, 255, 300, 3}, false), true, true);
     }},
    {"RandomRuns192k", [] { return MakeJob(192000, 2, RandomRuns(40000, 99), false); }},
    {"RandomRunsMono", [] { return MakeJob(11025, 1, RandomRuns(30000, 7), true); }},
};

// Bypassed calls carry every bit of the input (signalling NaNs too), and the circuits resume
// where they stopped.
const Case kBypassCases[] = {
    {"WholeFile",
     [] { return MakeJob(44100, 2, Blocks(3000, 7, 1.0f, 0.5f, true), true, false, true); }},
    {"Toggled",
     [] {
         std::vector<Segment> s = Lengths({512, 100, 4096, 1, 300, 777, 256}, true);
         for (size_t i = 0; i < s.size(); ++i)
             s[i].bypass = i % 2 == 1;
         return MakeJob(48000, 2, s, true, false, true);
     }},
    {"FromTheStartMono",
     [] {
         std::vector<Segment> s = Blocks(6000, 1000, 0.9f, 0.5f);
         s[0].bypass = s[1].bypass = s[4].bypass = true;
         return MakeJob(44100, 1, s, true, false, true);
     }},
    {"ToggledInPlace",
     [] {
         std::vector<Segment> s = Lengths({64, 64, 1000, 65, 1, 4096}, true);
         for (size_t i = 0; i < s.size(); ++i)
             s[i].bypass = i % 3 != 2;
         return MakeJob(96000, 2, s, true, true, true);
     }},
};

struct Path {
    const char* name;
    std::unique_ptr<Renderer> (*make)();
};

const Path kPaths[] = {
    {"BlockPathFloat", [] { return MakeBlockPathRenderer(false); }},
    {"BlockPathDouble", [] { return MakeBlockPathRenderer(true); }},
    {"PlugIn", MakePlugInRenderer},
    {"AudioUnitRender", MakeComponentRenderer},
    {"ZerubHostRender", MakeHostRenderer},
    {"LV2", [] { return MakeLV2Renderer(0); }},
    {"LV2Sliced", [] { return MakeLV2Renderer(64); }},
    {"LV2HugeMaximum", [] { return MakeLV2Renderer(1 << 30); }},
};

// Fails at the first sample that differs from the definition in any bit.
void ExpectExact(const Job& job, const Planar& got) {
    const Planar expected = RenderDefinition(job);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t c = 0; c < expected.size(); ++c) {
        ASSERT_EQ(got[c].size(), expected[c].size());
        size_t s = 0, call = 0;
        for (const Segment& seg : job.segments) {
            for (int i = 0; i < seg.frames; ++i, ++s)
                ASSERT_EQ(std::memcmp(&got[c][s], &expected[c][s], sizeof(float)), 0)
                    << "channel " << c << ", frame " << s << " (call " << call << ", " << seg.frames
                    << " frames" << (seg.bypass ? ", bypassed" : "") << "): " << got[c][s]
                    << " != " << expected[c][s] << " from " << job.input[c][s];
            ++call;
        }
    }
}

bool SameBits(const Planar& a, const Planar& b) {
    for (size_t c = 0; c < a.size(); ++c)
        if (std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0) return false;
    return a.size() == b.size();
}

using Param = std::tuple<int, int>; // index into kPaths, index into the cases

template <const Case* cases>
class Suite : public testing::TestWithParam<Param> {
protected:
    void RunCase() {
        const Path& path = kPaths[std::get<0>(GetParam())];
        const Job job = cases[std::get<1>(GetParam())].make();
        std::unique_ptr<Renderer> renderer = path.make();
        if (const std::string why = renderer->Unsupported(job); !why.empty()) {
            GTEST_SKIP() << path.name << ": " << why;
        }
        const Planar got = renderer->Render(job);
        ASSERT_FALSE(HasFatalFailure());
        ExpectExact(job, got);
        if (!job.inPlace) { // the input is left alone
            EXPECT_TRUE(SameBits(job.input, cases[std::get<1>(GetParam())].make().input));
        }
    }
};

template <const Case* cases, size_t n>
std::string Name(const testing::TestParamInfo<Param>& info) {
    return std::string(kPaths[std::get<0>(info.param)].name) + "_" +
           cases[std::get<1>(info.param)].name;
}

using EveryWrapperRendersExactlyTheCircuit = Suite<kCases>;
using EveryWrapperBypassesExactly = Suite<kBypassCases>;

} // namespace

TEST_P(EveryWrapperRendersExactlyTheCircuit, BitForBit) {
    RunCase();
}

TEST_P(EveryWrapperBypassesExactly, AndResumesWhereItStopped) {
    RunCase();
}

INSTANTIATE_TEST_SUITE_P(Paths, EveryWrapperRendersExactlyTheCircuit,
                         testing::Combine(testing::Range(0, int(std::size(kPaths))),
                                          testing::Range(0, int(std::size(kCases)))),
                         (Name<kCases, std::size(kCases)>));
INSTANTIATE_TEST_SUITE_P(Paths, EveryWrapperBypassesExactly,
                         testing::Combine(testing::Range(0, int(std::size(kPaths))),
                                          testing::Range(0, int(std::size(kBypassCases)))),
                         (Name<kBypassCases, std::size(kBypassCases)>));
