// The circuit's output for fixed inputs, bit for bit, against the hashes written on x86-64: the
// per-sample definition (with its two exponentials on every sample), and the block path on
// double and single-precision buffers, which runs whatever SIMD path the processor has.
#include "effect/DriveCircuit.h"
#include "tests/effect/ReferenceBits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Control values as hosts hold them (single precision) and as doubles from anywhere in [0, 1].
double Control(BitSignal& s, int i) {
    const double u = 0.5 * (s.Next() + 1.0);
    return i % 2 ? u : static_cast<float>(u);
}

// A block's input: noise, driven far past the clipper, quiet, or silence (which leaves the
// network decaying into subnormal values).
std::vector<double> Input(BitSignal& s, int kind, int n) {
    std::vector<double> x(static_cast<size_t>(n));
    for (double& v : x) {
        const double u = s.Next();
        v = kind == 0 ? u : (kind == 1 ? 30.0 * u : (kind == 2 ? u * 1e-6 : 0.0));
    }
    return x;
}

} // namespace

TEST(CircuitBits, TheTapersOnEveryControlValue) {
#if defined(__x86_64__)
    // glibc picks its exp by the processor: the variant for processors without FMA differs in the
    // last bit for a few arguments in ten thousand, so these references hold only with FMA.
    if (!__builtin_cpu_supports("fma"))
        GTEST_SKIP() << "this processor has no FMA: glibc's exp differs";
#endif
    // The smoothers follow exp of the controls: each sample a new gain and level, so every one of
    // these values reaches the output through both exponentials.
    BitSignal s(1);
    BitHash h;
    DriveCircuit c;
    c.Calc(48000.0);
    for (int i = 0; i < 200000; ++i) {
        // One statement each: the order in which arguments are evaluated is the compiler's.
        const double x = 0.25 * s.Next();
        const double gain = Control(s, i);
        const double level = Control(s, i + 1);
        h.Add(c.Process(x, gain, level));
    }
    for (int k = 0; k <= 1000; ++k) // the ends and the round values a user sets
        h.Add(c.Process(0.5, k / 1000.0, 1.0 - k / 1000.0));
    ExpectReferenceBits("circuit_tapers", h);
}

TEST(CircuitBits, TheDefinitionAtSeveralRatesAndSignals) {
    BitSignal s(2);
    BitHash h;
    for (double rate : {100.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 44100.7}) {
        DriveCircuit c;
        c.Calc(rate);
        for (int block = 0; block < 8; ++block) {
            const double gain = block == 3 ? 1.0 : Control(s, block);
            const double level = block == 5 ? 0.0 : Control(s, block + 1);
            for (double x : Input(s, block % 4, 3000))
                h.Add(c.Process(x, gain, level));
        }
        // A bad sample clears the memories; the output goes on from a clean network.
        for (double x : {kNaN, 0.5, kInf, -0.5, -kInf, 0.25})
            h.Add(c.Process(x, 0.7, 0.7));
    }
    // At 100 Hz an impulse decays into subnormal values within about 71,000 samples, which
    // must be computed, never flushed.
    DriveCircuit slow;
    slow.Calc(100.0);
    h.Add(slow.Process(0.5, 0.5, 0.5));
    for (int i = 0; i < 75000; ++i)
        h.Add(slow.Process(0.0, 0.5, 0.5));
    EXPECT_EQ(std::fpclassify(slow.net1), FP_SUBNORMAL);
    ExpectReferenceBits("circuit_definition", h);
}

namespace {

// Two circuits through the block path: lengths from 1 frame to past the path's chunk, the
// controls changed between blocks and held for some, and a non-finite sample in one lane.
template <typename T>
BitHash BlockPath(uint64_t seed) {
    BitSignal s(seed);
    BitHash h;
    DriveCircuit a, b;
    double gain = 0.5, level = 0.5;
    for (int block = 0; block < 60; ++block) {
        const int n = 1 + static_cast<int>(0.5 * (s.Next() + 1.0) * 700.0);
        a.CalcIfChanged(block < 30 ? 44100.0 : 96000.0);
        b.CalcIfChanged(block < 40 ? 48000.0 : 8000.0);
        if (block % 3 == 0) {
            gain = Control(s, block);
            level = Control(s, block + 1);
        }
        const std::vector<double> xa = Input(s, block % 4, n), xb = Input(s, (block + 1) % 4, n);
        std::vector<T> inA(xa.begin(), xa.end()), inB(xb.begin(), xb.end()), outA(n), outB(n);
        if (block == 17) inA[n / 2] = static_cast<T>(kNaN);
        if (block == 23) inB[0] = static_cast<T>(-kInf);
        ProcessBlockPair(a, b, inA.data(), inB.data(), outA.data(), outB.data(), n, gain, level);
        for (int i = 0; i < n; ++i) {
            h.Add(outA[i]);
            h.Add(outB[i]);
        }
    }
    return h;
}

} // namespace

TEST(CircuitBits, TheBlockPathOnDoubleAndFloatBuffers) {
    ExpectReferenceBits("circuit_block_double", BlockPath<double>(3));
    ExpectReferenceBits("circuit_block_float", BlockPath<float>(4));
}
