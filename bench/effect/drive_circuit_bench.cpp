// The drive circuit's cost per sample and per stereo block of 512 (coefficients once per block).
#include "effect/DriveCircuit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

std::vector<double> TestSignal(int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = 0.6 * std::sin(i * 0.0627) + 0.2 * std::sin(i * 0.31);
    return x;
}

void BM_ProcessSample(benchmark::State& state) {
    DriveCircuit c;
    c.Calc(44100.0);
    const std::vector<double> x = TestSignal(4096);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.Process(x[i], 0.5, 0.5));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProcessSample);

void BM_StereoBlock512(benchmark::State& state) {
    DriveCircuit left, right;
    const std::vector<double> inL = TestSignal(512), inR = TestSignal(513);
    std::vector<double> outL(512), outR(512);
    for (auto _ : state) {
        left.Calc(44100.0);
        right.Calc(44100.0);
        for (int s = 0; s < 512; ++s) {
            outL[s] = left.Process(inL[s], 0.5, 0.5);
            outR[s] = right.Process(inR[s + 1], 0.5, 0.5);
        }
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
    }
    state.SetItemsProcessed(state.iterations() * 512 * 2);
}
BENCHMARK(BM_StereoBlock512);

void BM_Calc(benchmark::State& state) {
    DriveCircuit c;
    double rate = 44100.0;
    for (auto _ : state) {
        c.Calc(rate);
        benchmark::DoNotOptimize(c.outScale);
    }
}
BENCHMARK(BM_Calc);

} // namespace
