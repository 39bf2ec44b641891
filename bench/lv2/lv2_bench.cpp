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
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

class URIDs {
public:
    URIDs() {
        map = {this, [](LV2_URID_Map_Handle h, const char* uri) {
                   return static_cast<URIDs*>(h)->Map(uri);
               }};
        unmap = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                     auto* self = static_cast<URIDs*>(h);
                     return id >= 1 && id <= self->uris.size() ? self->uris[id - 1].c_str()
                                                               : static_cast<const char*>(nullptr);
                 }};
    }
    LV2_URID Map(const char* uri) {
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    LV2_URID_Map map;
    LV2_URID_Unmap unmap;

private:
    std::vector<std::string> uris;
};

// Atom buffers: an empty sequence for inputs, room for the plug-in to write into for outputs.
struct AtomBuffer {
    std::vector<uint64_t> words = std::vector<uint64_t>(1024);
    void Reset(bool input, LV2_URID sequenceType, LV2_URID chunkType) {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(words.data());
        seq->atom.type = input ? sequenceType : chunkType;
        seq->atom.size = input ? sizeof(LV2_Atom_Sequence_Body)
                               : static_cast<uint32_t>(words.size() * 8 - sizeof(LV2_Atom));
        seq->body.unit = 0;
        seq->body.pad = 0;
    }
};

class Host {
public:
    bool Load(const Config& c) {
        config = c;
        world = lilv_world_new();
        lilv_world_load_all(world);
        LilvNode* uri = lilv_new_uri(world, c.uri.c_str());
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        if (!plugin) return Fail("plug-in not found: " + c.uri);

        blockValue = c.block;
        rateValue = static_cast<float>(c.rate);
        const LV2_URID intType = urids.Map(LV2_ATOM__Int);
        options[0] = {LV2_OPTIONS_INSTANCE, 0,       urids.Map(LV2_BUF_SIZE__maxBlockLength),
                      sizeof(int32_t),      intType, &blockValue};
        options[1] = {LV2_OPTIONS_INSTANCE, 0,       urids.Map(LV2_BUF_SIZE__minBlockLength),
                      sizeof(int32_t),      intType, &blockValue};
        options[2] = {LV2_OPTIONS_INSTANCE, 0,       urids.Map(LV2_BUF_SIZE__nominalBlockLength),
                      sizeof(int32_t),      intType, &blockValue};
        options[3] = {LV2_OPTIONS_INSTANCE,
                      0,
                      urids.Map(LV2_PARAMETERS__sampleRate),
                      sizeof(float),
                      urids.Map(LV2_ATOM__Float),
                      &rateValue};
        options[4] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        featureData = {{LV2_URID__map, &urids.map},
                       {LV2_URID__unmap, &urids.unmap},
                       {LV2_OPTIONS__options, options},
                       {LV2_BUF_SIZE__boundedBlockLength, nullptr},
                       {LV2_BUF_SIZE__fixedBlockLength, nullptr}};
        for (LV2_Feature& f : featureData)
            features.push_back(&f);
        features.push_back(nullptr);

        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        bool missing = false;
        LILV_FOREACH(nodes, i, required) {
            const char* feature = lilv_node_as_uri(lilv_nodes_get(required, i));
            bool offered = false;
            for (const LV2_Feature& f : featureData)
                offered = offered || !std::strcmp(f.URI, feature);
            if (!offered) {
                std::fprintf(stderr, "lv2_bench: %s needs %s\n", c.uri.c_str(), feature);
                missing = true;
            }
        }
        lilv_nodes_free(required);
        return !missing && ClassifyPorts() && Instantiate();
    }

    // One pass over the whole signal in fixed blocks; the last block may be shorter.
    void RunOnce() {
        const size_t frames = signal[0].size();
        for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(config.block)) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(config.block, frames - pos));
            for (size_t k = 0; k < instances.size(); ++k) {
                for (size_t a = 0; a < audioIn.size(); ++a)
                    lilv_instance_connect_port(instances[k], audioIn[a],
                                               signal[(k + a) % 2].data() + pos);
                for (size_t a = 0; a < audioOut.size(); ++a)
                    lilv_instance_connect_port(instances[k], audioOut[a],
                                               output[(k + a) % 2].data() + pos);
                for (size_t a = 0; a < atoms.size(); ++a)
                    atoms[a].Reset(atomIsInput[a], sequenceType, chunkType);
                lilv_instance_run(instances[k], n);
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
        for (LilvInstance*& i : extra) {
            i = lilv_plugin_instantiate(plugin, config.rate, features.data());
            if (!i) {
                ok = false;
                break;
            }
            lilv_instance_activate(i);
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
        LilvNode* name = lilv_plugin_get_name(plugin);
        std::string s = name ? lilv_node_as_string(name) : config.uri;
        lilv_node_free(name);
        return s;
    }

    ~Host() {
        for (LilvInstance* i : instances) {
            lilv_instance_deactivate(i);
            lilv_instance_free(i);
        }
        if (world) lilv_world_free(world);
    }

private:
    bool Fail(const std::string& why) {
        std::fprintf(stderr, "lv2_bench: %s\n", why.c_str());
        return false;
    }

    bool ClassifyPorts() {
        LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
        LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
        LilvNode* cv = lilv_new_uri(world, LV2_CORE__CVPort);
        LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
        LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
        LilvNode* optional = lilv_new_uri(world, LV2_CORE__connectionOptional);
        const uint32_t n = lilv_plugin_get_num_ports(plugin);
        std::vector<float> defaults(n, 0.0f), mins(n, 0.0f), maxs(n, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defaults.data());
        bool ok = true;
        for (uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const bool in = lilv_port_is_a(plugin, port, input);
            if (lilv_port_is_a(plugin, port, audio)) {
                (in ? audioIn : audioOut).push_back(i);
            } else if (lilv_port_is_a(plugin, port, control)) {
                float v =
                    std::isnan(defaults[i]) ? (std::isnan(mins[i]) ? 0.0f : mins[i]) : defaults[i];
                controlPorts.push_back(i);
                controlValues.push_back(v);
            } else if (lilv_port_is_a(plugin, port, cv)) {
                cvPorts.push_back(i);
            } else if (lilv_port_is_a(plugin, port, atom)) {
                atomPorts.push_back(i);
                atomIsInput.push_back(in);
            } else if (!lilv_port_has_property(plugin, port, optional)) {
                ok = Fail("port " + std::to_string(i) + " is of a kind this host does not offer");
            }
        }
        for (LilvNode* node : {audio, control, cv, atom, input, optional})
            lilv_node_free(node);
        if (audioIn.empty() || audioOut.empty()) ok = Fail("no audio input or output");
        return ok;
    }

    bool Instantiate() {
        const size_t frames = static_cast<size_t>(config.seconds * config.rate);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
        for (int c = 0; c < 2; ++c) {
            signal[c].resize(frames);
            output[c].resize(frames);
            for (size_t i = 0; i < frames; ++i)
                signal[c][i] = 0.5f * static_cast<float>(std::sin(0.031 * i + c)) + noise(rng);
        }
        sequenceType = urids.Map(LV2_ATOM__Sequence);
        chunkType = urids.Map(LV2_ATOM__Chunk);
        const size_t nInstances = audioIn.size() >= 2 ? 1 : 2;
        cvBuffer.assign(static_cast<size_t>(config.block), 0.0f);
        for (size_t k = 0; k < nInstances; ++k) {
            LilvInstance* inst = lilv_plugin_instantiate(plugin, config.rate, features.data());
            if (!inst) return Fail("instantiation failed");
            instances.push_back(inst);
            controls.emplace_back(controlValues);
            for (size_t p = 0; p < controlPorts.size(); ++p)
                lilv_instance_connect_port(inst, controlPorts[p], &controls.back()[p]);
            for (uint32_t p : cvPorts)
                lilv_instance_connect_port(inst, p, cvBuffer.data());
            for (size_t p = 0; p < atomPorts.size(); ++p) {
                atoms.emplace_back();
                atoms.back().Reset(atomIsInput[p], sequenceType, chunkType);
            }
            lilv_instance_activate(inst);
        }
        // Connect each instance's atom buffers (their addresses are fixed by now).
        for (size_t k = 0; k < instances.size(); ++k)
            for (size_t p = 0; p < atomPorts.size(); ++p)
                lilv_instance_connect_port(instances[k], atomPorts[p],
                                           atoms[k * atomPorts.size() + p].words.data());
        // The atom buffers of all instances are reset before each run.
        atomIsInput.resize(atoms.size());
        for (size_t a = atomPorts.size(); a < atoms.size(); ++a)
            atomIsInput[a] = atomIsInput[a % atomPorts.size()];
        return true;
    }

    Config config;
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    URIDs urids;
    int32_t blockValue = 0;
    float rateValue = 0.0f;
    LV2_Options_Option options[5];
    std::vector<LV2_Feature> featureData;
    std::vector<const LV2_Feature*> features;
    std::vector<uint32_t> audioIn, audioOut, controlPorts, cvPorts, atomPorts;
    std::vector<bool> atomIsInput;
    std::vector<float> controlValues, cvBuffer;
    std::vector<std::vector<float>> controls;
    std::vector<AtomBuffer> atoms;
    LV2_URID sequenceType = 0, chunkType = 0;
    std::vector<LilvInstance*> instances;
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
