// A benchmark host for any installed LV2 plug-in: loads it by URI through lilv, runs it over an
// in-memory stereo signal in fixed blocks and reports its real-time factor (seconds of audio per
// second of run time; only the run loop is timed).
//
// Usage: lv2_bench URI [--rate HZ] [--block FRAMES] [--seconds S] [benchmark flags...]
// A plug-in with one audio input runs as two instances, one per channel, so that every plug-in
// processes the same stereo signal. Before timing, the heap an extra instance costs (instantiated
// and activated, as a host adds one) is measured over 16 more instances. Control inputs stay at
// their defaults; atom inputs get empty sequences; features offered: urid:map and unmap, options
// (block lengths, sample rate), bufsz:boundedBlockLength and fixedBlockLength.
#include "tools/lv2host/HostedLV2.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct Config {
    std::string uri;
    double rate = 48000.0;
    int block = 256;
    double seconds = 10.0;
};

class Host {
public:
    bool Load(const Config& c) {
        config = c;
        const size_t frames = static_cast<size_t>(config.seconds * config.rate);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
        for (int ch = 0; ch < 2; ++ch) {
            signal[ch].resize(frames);
            output[ch].resize(frames);
            for (size_t i = 0; i < frames; ++i)
                signal[ch][i] = 0.5f * static_cast<float>(std::sin(0.031 * i + ch)) + noise(rng);
        }
        std::string error;
        for (int k = 0; k < 2; ++k) {
            instances.push_back(std::make_unique<lv2host::HostedLV2>());
            if (!instances.back()->Open(c.uri, c.rate, c.block, {}, true, &error)) {
                std::fprintf(stderr, "lv2_bench: %s\n", error.c_str());
                return false;
            }
            if (instances.back()->AudioInputs() >= 2) break; // one stereo instance is enough
        }
        return true;
    }

    // One pass over the whole signal in fixed blocks; the last block may be shorter. Instance k
    // starts on channel k, so that two mono instances share the stereo signal.
    void RunOnce() {
        const size_t frames = signal[0].size();
        for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(config.block)) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(config.block, frames - pos));
            for (size_t k = 0; k < instances.size(); ++k) {
                const float* in[2] = {signal[k].data() + pos, signal[1 - k].data() + pos};
                float* out[2] = {output[k].data() + pos, output[1 - k].data() + pos};
                instances[k]->Run(in, 2, out, 2, n);
            }
        }
    }

    double AudioSeconds() const { return static_cast<double>(signal[0].size()) / config.rate; }
    int Instances() const { return static_cast<int>(instances.size()); }

    // Heap bytes (in use, mapped blocks included) per extra instance, or -1 when one fails.
    double MemoryPerInstance(int n) {
        std::vector<LilvInstance*> extra(static_cast<size_t>(n), nullptr);
        const struct mallinfo2 before = mallinfo2();
        bool ok = true;
        for (LilvInstance*& i : extra)
            if (!(i = instances[0]->Another())) {
                ok = false;
                break;
            }
        const struct mallinfo2 after = mallinfo2();
        for (LilvInstance* i : extra) {
            if (!i) continue;
            lilv_instance_deactivate(i);
            lilv_instance_free(i);
        }
        if (!ok) return -1.0;
        return (static_cast<double>(after.uordblks + after.hblkhd) -
                static_cast<double>(before.uordblks + before.hblkhd)) /
               n;
    }
    std::string Name() const {
        return lv2host::PluginName(lv2host::FindPlugin(config.uri), config.uri);
    }

private:
    Config config;
    std::vector<std::unique_ptr<lv2host::HostedLV2>> instances;
    std::vector<float> signal[2], output[2];
};

bool ParseArgs(int& argc, char** argv, Config* config) {
    std::vector<char*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](double* out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            *out = std::strtod(argv[++i], &end);
            return *end == '\0' && std::isfinite(*out) && *out > 0;
        };
        double v = 0;
        if (a == "--rate" || a == "--block" || a == "--seconds") {
            if (!value(&v)) {
                std::fprintf(stderr, "lv2_bench: %s takes a positive number\n", a.c_str());
                return false;
            }
            if (a == "--rate") config->rate = v;
            if (a == "--block") config->block = static_cast<int>(v);
            if (a == "--seconds") config->seconds = v;
        } else if (a.rfind("--", 0) == 0) {
            rest.push_back(argv[i]); // a Google Benchmark flag
        } else if (config->uri.empty()) {
            config->uri = a;
        } else {
            std::fprintf(stderr, "lv2_bench: one plug-in URI only\n");
            return false;
        }
    }
    if (config->uri.empty() || config->block < 1) {
        std::fprintf(stderr, "usage: lv2_bench URI [--rate HZ] [--block FRAMES] [--seconds S] "
                             "[benchmark flags]\n");
        return false;
    }
    argc = static_cast<int>(rest.size());
    for (int i = 0; i < argc; ++i)
        argv[i] = rest[static_cast<size_t>(i)];
    return true;
}

// The console table as usual, then one line per run for scripts: the plug-in's name, its
// real-time factor by wall time and by CPU time, and the number of instances that shared the
// stereo signal, tab-separated after "RESULT".
class ResultReporter : public benchmark::ConsoleReporter {
public:
    ResultReporter(std::string pluginName, double secondsPerRun, int instanceCount)
        : ConsoleReporter(OO_Tabular), name(std::move(pluginName)), audioSeconds(secondsPerRun),
          instances(instanceCount) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0) continue;
            const double audio = audioSeconds * static_cast<double>(run.iterations);
            std::printf("RESULT\t%s\t%.3f\t%.3f\t%d\n", name.c_str(),
                        audio / run.real_accumulated_time, audio / run.cpu_accumulated_time,
                        instances);
        }
        std::fflush(stdout);
    }

private:
    std::string name;
    double audioSeconds;
    int instances;
};

} // namespace

int main(int argc, char** argv) {
    Config config;
    if (!ParseArgs(argc, argv, &config)) return 2;
    auto host = std::make_unique<Host>();
    if (!host->Load(config)) return 1;

    Host* h = host.get();
    // One line for scripts: the heap an extra instance costs.
    std::printf("MEMORY\t%s\t%.0f\n", h->Name().c_str(), h->MemoryPerInstance(16));
    benchmark::RegisterBenchmark(("LV2/" + h->Name()).c_str(),
                                 [h](benchmark::State& state) {
                                     for (auto _ : state)
                                         h->RunOnce();
                                     // Seconds of audio per second of wall time.
                                     state.counters["rtf"] = benchmark::Counter(
                                         h->AudioSeconds(),
                                         benchmark::Counter::kIsIterationInvariantRate);
                                 })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    ResultReporter reporter(h->Name(), h->AudioSeconds(), h->Instances());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
