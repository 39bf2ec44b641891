// The block path against the per-sample definition: every output sample and the final state
// must match bit for bit, whatever the rate, block lengths, controls and input.
#include "effect/DriveCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every field up to the block path's memos, bit for bit: coefficients, filter memories,
// smoothers and the rate Calc was given.
bool SameCircuit(const DriveCircuit& a, const DriveCircuit& b) {
    return std::memcmp(&a, &b, offsetof(DriveCircuit, memoGain)) == 0;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Signals the circuit must follow exactly: driven and quiet, at and beyond full scale, tiny.
enum class Kind { kNoise, kFullScale, kOutOfRange, kSilence, kTiny, kRiff };

double Sample(Kind kind, std::mt19937& rng, long i) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    switch (kind) {
    case Kind::kNoise:
        return u(rng);
    case Kind::kFullScale:
        return i % 3 == 0 ? 1.0 : (i % 3 == 1 ? -1.0 : static_cast<float>(u(rng)));
    case Kind::kOutOfRange:
        return u(rng) * 40.0;
    case Kind::kSilence:
        return 0.0;
    case Kind::kTiny:
        return u(rng) * 1e-300;
    case Kind::kRiff:
        break;
    }
    return 0.9 * std::sin(i * 0.031) * std::exp(-(i % 5000) * 1e-3);
}

// Two reference circuits run per sample beside two run by the block path.
struct Pair {
    DriveCircuit refA, refB, blockA, blockB;

    // One block at these settings; fails the test at the first differing sample.
    void Block(double rateA, double rateB, const std::vector<double>& inA,
               const std::vector<double>& inB, double gain, double level) {
        const int n = static_cast<int>(inA.size());
        std::vector<double> outA(n), outB(n);
        refA.Calc(rateA);
        refB.Calc(rateB);
        blockA.Calc(rateA);
        blockB.Calc(rateB);
        ProcessBlockPair(blockA, blockB, inA.data(), inB.data(), outA.data(), outB.data(), n, gain,
                         level);
        for (int s = 0; s < n; ++s) {
            const double a = refA.Process(inA[s], gain, level);
            const double b = refB.Process(inB[s], gain, level);
            ASSERT_TRUE(SameBits(outA[s], a))
                << "frame " << s << " of " << n << ": " << outA[s] << " != " << a;
            ASSERT_TRUE(SameBits(outB[s], b))
                << "frame " << s << " of " << n << ": " << outB[s] << " != " << b;
            ASSERT_TRUE(std::isfinite(outA[s]) && std::isfinite(outB[s]));
        }
        ASSERT_TRUE(SameCircuit(blockA, refA));
        ASSERT_TRUE(SameCircuit(blockB, refB));
    }
};

} // namespace

TEST(BlockPath, EqualsTheDefinitionAtEveryRateBlockLengthAndSetting) {
    std::mt19937 rng(20261208);
    const double rates[] = {1.0,     2.0,     11025.0,  22050.0,  44100.0,
                            48000.0, 96000.0, 192000.0, 384000.0, 44100.7};
    const Kind kinds[] = {Kind::kRiff,       Kind::kNoise,   Kind::kFullScale,
                          Kind::kOutOfRange, Kind::kSilence, Kind::kTiny};
    std::uniform_int_distribution<int> length(1, 4096);
    std::uniform_real_distribution<double> control(0.0, 1.0);
    for (double rate : rates) {
        Pair p;
        long t = 0;
        for (int block = 0; block < 12; ++block) {
            // Lengths from 1 to 4096, changing every block; controls changed between blocks,
            // with the ends of their ranges among them.
            const int n = block == 0 ? 1 : (block == 1 ? 4096 : length(rng));
            const double gain = block % 4 == 2 ? 0.0 : (block % 4 == 3 ? 1.0 : control(rng));
            const double level = block % 5 == 4 ? 1.0 : control(rng);
            const Kind kindA = kinds[block % 6], kindB = kinds[(block + 3) % 6];
            std::vector<double> a(n), b(n);
            for (int s = 0; s < n; ++s, ++t) {
                a[s] = Sample(kindA, rng, t);
                b[s] = Sample(kindB, rng, t);
            }
            SCOPED_TRACE(testing::Message() << "rate " << rate << ", block " << block);
            ASSERT_NO_FATAL_FAILURE(p.Block(rate, rate, a, b, gain, level));
        }
    }
}

TEST(BlockPath, LanesAreIndependent) {
    // Different rates and signals per lane, and a lane in bypass-like silence.
    Pair p;
    std::mt19937 rng(7);
    for (int block = 0; block < 6; ++block) {
        std::vector<double> a(300), b(300, 0.0);
        for (int s = 0; s < 300; ++s)
            a[s] = Sample(Kind::kNoise, rng, s);
        ASSERT_NO_FATAL_FAILURE(p.Block(44100.0, 8000.0, a, b, 0.3, 0.9));
    }
}

TEST(BlockPath, SilenceAfterSignalDownToSubnormalState) {
    // At 100 Hz a single impulse leaves the gain network decaying into subnormal values within
    // about 71,000 samples; the block path must follow that arithmetic exactly (no flushing).
    Pair p;
    std::vector<double> impulse(1, 0.5), zeros(4096, 0.0);
    ASSERT_NO_FATAL_FAILURE(p.Block(100.0, 100.0, impulse, impulse, 0.5, 0.5));
    bool subnormal = false;
    for (int block = 0; block < 20; ++block) {
        ASSERT_NO_FATAL_FAILURE(p.Block(100.0, 100.0, zeros, zeros, 0.5, 0.5));
        subnormal = subnormal || std::fpclassify(p.refA.net1) == FP_SUBNORMAL;
    }
    EXPECT_TRUE(subnormal) << "the case no longer reaches subnormal state";
}

TEST(BlockPath, NonFiniteInputIsClearedAtOnceAndOutputStaysFinite) {
    const double bad[] = {kNaN, -kNaN, kInf, -kInf, 1e300, -1e308, 1e24};
    for (double value : bad) {
        SCOPED_TRACE(testing::Message() << "bad sample " << value);
        Pair p;
        std::mt19937 rng(3);
        // A bad sample at the start, in the middle and at the end of blocks, in one lane.
        for (int position : {0, 77, 255}) {
            std::vector<double> a(256), b(256);
            for (int s = 0; s < 256; ++s) {
                a[s] = Sample(Kind::kRiff, rng, s);
                b[s] = Sample(Kind::kRiff, rng, s + 1000);
            }
            a[position] = value;
            ASSERT_NO_FATAL_FAILURE(p.Block(48000.0, 48000.0, a, b, 0.5, 0.5));
            ASSERT_TRUE(p.blockA.FilterMemoriesFinite());
        }
    }
}

TEST(DriveCircuit, NonFiniteStateClearsTheFilterMemoriesButNotTheControls) {
    for (double value : {kNaN, kInf, -kInf}) {
        DriveCircuit c, clean;
        c.Calc(48000.0);
        clean.Calc(48000.0);
        for (int n = 0; n < 2000; ++n)
            c.Process(0.5 * std::sin(n * 0.05), 0.4, 0.6);
        const double peakBefore = 1e-3;
        EXPECT_TRUE(std::isfinite(c.Process(value, 0.4, 0.6)));
        // The memories are zero, the smoothed controls where they were.
        EXPECT_TRUE(c.FilterMemoriesFinite());
        EXPECT_EQ(c.net1, 0.0);
        EXPECT_EQ(c.coupledPrev, 0.0);
        EXPECT_EQ(c.out1, 0.0);
        EXPECT_GT(c.levelSmooth, 0.0);
        clean.gainSmooth = c.gainSmooth;
        clean.levelSmooth = c.levelSmooth;
        // From the next sample on it is a clean circuit with the same controls: sound, at once.
        double peak = 0.0;
        for (int n = 0; n < 2000; ++n) {
            const double x = 0.5 * std::sin(n * 0.05);
            const double out = c.Process(x, 0.4, 0.6);
            ASSERT_TRUE(SameBits(out, clean.Process(x, 0.4, 0.6)));
            peak = std::max(peak, std::fabs(out));
        }
        EXPECT_GT(peak, peakBefore);
    }
}
