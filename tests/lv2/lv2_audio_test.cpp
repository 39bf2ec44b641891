// The bundle loaded by a real LV2 host (lilv): discovery, instantiation, and audio compared bit for
// bit with the drive circuit run on its own.
#include "LV2TestHost.h"
#include "effect/DriveCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

// The effect computed independently: one circuit per channel, the control values as the floats
// the host's ports hold; the enabled port bypasses at 0 and below.
struct Reference {
    double rate;
    DriveCircuit circuits[2];

    void Run(const std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
             size_t offset, uint32_t n, float gain, float level, float enabled) {
        const bool bypass = !(enabled > 0.0f);
        for (size_t c = 0; c < in.size(); ++c) {
            circuits[c].Calc(rate);
            for (uint32_t s = 0; s < n; ++s) {
                const float x = in[c][offset + s];
                out[c][offset + s] =
                    bypass ? x : static_cast<float>(circuits[c].Process(x, gain, level));
            }
        }
    }
};

std::vector<std::vector<float>> Signals(int channels, size_t n, unsigned seed) {
    std::vector<std::vector<float>> s;
    for (int c = 0; c < channels; ++c)
        s.push_back(TestSignal(n, seed + static_cast<unsigned>(c)));
    return s;
}

// Index of the first sample where a and b differ in any bit, or -1.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

const LilvNode* Units() {
    static LilvNode* unit = lilv_new_uri(TestWorld(), "http://lv2plug.in/ns/extensions/units#unit");
    return unit;
}

bool HasProperty(const LilvPlugin* plugin, const LilvPort* port, const char* uri) {
    LilvNode* node = lilv_new_uri(TestWorld(), uri);
    const bool has = lilv_port_has_property(plugin, port, node);
    lilv_node_free(node);
    return has;
}

} // namespace

TEST(LV2Discovery, MonoAndStereoWithTheirPortsFeaturesAndPresets) {
    struct Expected {
        const char* uri;
        const char* name;
        int channels;
    };
    for (const Expected& e :
         {Expected{kMonoURI, "Zerub (mono)", 1}, Expected{kStereoURI, "Zerub (stereo)", 2}}) {
        SCOPED_TRACE(e.uri);
        const LilvPlugin* plugin = TestPlugin(e.uri);
        ASSERT_NE(plugin, nullptr);
        EXPECT_TRUE(lilv_plugin_verify(plugin));
        LilvNode* name = lilv_plugin_get_name(plugin);
        EXPECT_STREQ(lilv_node_as_string(name), e.name);
        lilv_node_free(name);
        EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin))),
                     LV2_CORE__DistortionPlugin);

        // A host that offers nothing can load it; it runs in a hard real-time thread; the ports
        // are its whole state, so it offers no state interface.
        LilvNodes* required = lilv_plugin_get_required_features(plugin);
        EXPECT_EQ(lilv_nodes_size(required), 0u);
        lilv_nodes_free(required);
        LilvNode* hardRT = lilv_new_uri(TestWorld(), LV2_CORE__hardRTCapable);
        EXPECT_TRUE(lilv_plugin_has_feature(plugin, hardRT));
        lilv_node_free(hardRT);
        LilvNodes* extensions = lilv_plugin_get_extension_data(plugin);
        EXPECT_EQ(lilv_nodes_size(extensions), 0u);
        lilv_nodes_free(extensions);

        // Indexes never move, so that hosts that save by index reopen their sessions: the
        // earlier build's bypass port "by" comes after the others, optional and kept out of
        // generic UIs (the host's own bypass drives "enabled").
        const uint32_t first = static_cast<uint32_t>(2 * e.channels);
        ASSERT_EQ(lilv_plugin_get_num_ports(plugin), first + 4);
        struct Control {
            const char* symbol;
            const char* name;
            uint32_t index;
            float def;
            bool toggled, enabled, hidden;
        };
        for (const Control& c : {Control{"gain", "Gain", first, 0.5f, false, false, false},
                                 Control{"level", "Level", first + 1, 0.5f, false, false, false},
                                 Control{"enabled", "Enabled", first + 2, 1.0f, true, true, false},
                                 Control{"by", "Bypass", first + 3, 0.0f, true, false, true}}) {
            SCOPED_TRACE(c.symbol);
            LilvNode* symbol = lilv_new_string(TestWorld(), c.symbol);
            const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
            lilv_node_free(symbol);
            ASSERT_NE(port, nullptr);
            EXPECT_EQ(lilv_port_get_index(plugin, port), c.index);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__connectionOptional), c.hidden);
            EXPECT_EQ(HasProperty(plugin, port, "http://lv2plug.in/ns/ext/port-props#notOnGUI"),
                      c.hidden);
            LilvNode* portName = lilv_port_get_name(plugin, port);
            EXPECT_STREQ(lilv_node_as_string(portName), c.name);
            lilv_node_free(portName);
            LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
            lilv_port_get_range(plugin, port, &def, &min, &max);
            ASSERT_TRUE(def && min && max);
            EXPECT_EQ(lilv_node_as_float(def), c.def);
            EXPECT_EQ(lilv_node_as_float(min), 0.0f);
            EXPECT_EQ(lilv_node_as_float(max), 1.0f);
            lilv_node_free(def);
            lilv_node_free(min);
            lilv_node_free(max);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__toggled), c.toggled);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__integer), c.toggled);
            // No "%" on a 0..1 control, and the switch is the host's own bypass.
            LilvNodes* units = lilv_port_get_value(plugin, port, Units());
            EXPECT_EQ(lilv_nodes_size(units), 0u);
            lilv_nodes_free(units);
            LilvNode* designation = lilv_new_uri(TestWorld(), LV2_CORE__designation);
            LilvNodes* designated = lilv_port_get_value(plugin, port, designation);
            lilv_node_free(designation);
            EXPECT_EQ(designated && lilv_nodes_size(designated) == 1 &&
                          !std::strcmp(lilv_node_as_uri(lilv_nodes_get_first(designated)),
                                       LV2_CORE__enabled),
                      c.enabled);
            lilv_nodes_free(designated);
        }

        LilvNode* presetClass =
            lilv_new_uri(TestWorld(), "http://lv2plug.in/ns/ext/presets#Preset");
        LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
        EXPECT_EQ(lilv_nodes_size(presets), 4u);
        lilv_nodes_free(presets);
        lilv_node_free(presetClass);
    }
}

TEST(LV2Instantiate, RefusesRatesThatAreNotFinitePositiveOrBeyondTheCircuit) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double rate :
         {0.0, -44100.0, std::nan(""), inf, -inf, 2147483648.0, 4294967297.0, 1e300}) {
        SCOPED_TRACE(rate);
        EXPECT_FALSE(TestInstance(kStereoURI, rate).Ok());
        EXPECT_FALSE(TestInstance(kMonoURI, rate, HostFeatures::kNone).Ok());
    }
    EXPECT_TRUE(TestInstance(kStereoURI, 1.0).Ok()); // odd but valid: the circuit clamps it
    EXPECT_TRUE(TestInstance(kStereoURI, 2147483647.0).Ok());
}

struct AudioCase {
    const char* uri;
    double rate;
    HostFeatures features;
    int maxBlock;
};

class LV2AudioRuns : public ::testing::TestWithParam<AudioCase> {};

// Runs of 1 frame (as a minimal host does), then random lengths from 0 to 4096 with the controls
// changing between runs, bypass included; the host's maximum may be smaller than a run.
TEST_P(LV2AudioRuns, BitIdenticalToTheCircuitOverChangingRunsAndControls) {
    const AudioCase& p = GetParam();
    TestInstance plug(p.uri, p.rate, p.features, p.maxBlock);
    ASSERT_TRUE(plug.Ok());
    const size_t total = 60000;
    const auto in = Signals(plug.NIn(), total, 7);
    std::vector<std::vector<float>> out(plug.NOut(), std::vector<float>(total, -9.0f));
    std::vector<std::vector<float>> expected = out;
    Reference ref{p.rate, {}};

    std::mt19937 rng(11);
    std::uniform_int_distribution<int> length(0, 4096);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    float gain = 0.5f, level = 0.5f, enabled = 1.0f;
    size_t pos = 0;
    for (int run = 0; pos < total; ++run) {
        uint32_t n = run < 300 ? 1 : static_cast<uint32_t>(length(rng));
        if (run == 310) n = 4096;
        if (run == 311) n = 0;
        n = static_cast<uint32_t>(std::min<size_t>(n, total - pos));
        if (run >= 300 && run % 3 == 0) {
            gain = value(rng);
            level = value(rng);
            enabled = run % 7 == 0 ? 0.0f : 1.0f;
        }
        plug.Control("gain") = gain;
        plug.Control("level") = level;
        plug.Control("enabled") = enabled;
        plug.Run(in, out, pos, n);
        ref.Run(in, expected, pos, n, gain, level, enabled);
        pos += n;
    }
    for (int c = 0; c < plug.NOut(); ++c)
        EXPECT_EQ(FirstDifference(out[c], expected[c]), -1) << "channel " << c;
}

INSTANTIATE_TEST_SUITE_P(
    RatesChannelsAndHosts, LV2AudioRuns,
    ::testing::Values(AudioCase{kMonoURI, 44100.0, HostFeatures::kNone, 0},
                      AudioCase{kStereoURI, 44100.0, HostFeatures::kNone, 0},
                      AudioCase{kStereoURI, 48000.0, HostFeatures::kMapAndOptions, 4096},
                      AudioCase{kMonoURI, 96000.0, HostFeatures::kMapAndOptions, 64},
                      AudioCase{kStereoURI, 22050.0, HostFeatures::kMap, 0},
                      AudioCase{kStereoURI, 192000.0, HostFeatures::kMapAndOptions, 1 << 30}));

TEST(LV2Audio, BypassIsBitExactAndTheCircuitResumesWhereItStopped) {
    TestInstance plug(kStereoURI, 44100.0);
    ASSERT_TRUE(plug.Ok());
    const size_t n = 8192;
    const auto in = Signals(2, n, 3);
    std::vector<std::vector<float>> out(2, std::vector<float>(n));
    plug.Control("gain") = 0.9f;
    plug.Control("enabled") = 0.0f;
    plug.Run(in, out, 0, 4096);
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(std::memcmp(out[c].data(), in[c].data(), 4096 * sizeof(float)), 0);

    // Bypass froze the circuits at their fresh state: the rest matches a circuit that never ran.
    plug.Control("enabled") = 1.0f;
    plug.Run(in, out, 4096, 4096);
    Reference ref{44100.0, {}};
    std::vector<std::vector<float>> expected(2, std::vector<float>(n));
    ref.Run(in, expected, 4096, 4096, 0.9f, 0.5f, 1.0f);
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(
            std::memcmp(out[c].data() + 4096, expected[c].data() + 4096, 4096 * sizeof(float)), 0);
}

// NaN and infinities are ignored (the parameter keeps its value), as the Audio Unit refuses
// them; other out-of-range values are clamped. Any enabled value above 0 processes (infinity
// included), 0 and below bypass, NaN keeps the switch where it was.
TEST(LV2Audio, ControlValuesAreIgnoredOrClampedAsForTheAudioUnitHost) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Step {
        float gain, level, enabled;          // what the port holds
        float useGain, useLevel, useEnabled; // what the effect must use
    };
    const Step steps[] = {
        {0.3f, 0.6f, 1.0f, 0.3f, 0.6f, 1.0f},  {nan, 0.6f, 1.0f, 0.3f, 0.6f, 1.0f},
        {5.0f, nan, 1.0f, 1.0f, 0.6f, 1.0f},   {-inf, 2.0f, 0.5f, 1.0f, 1.0f, 1.0f},
        {0.4f, -1.0f, 3.0f, 0.4f, 0.0f, 1.0f}, {0.4f, 0.7f, 0.0f, 0.4f, 0.7f, 0.0f},
        {0.4f, 0.7f, nan, 0.4f, 0.7f, 0.0f},   {0.4f, 0.7f, -2.0f, 0.4f, 0.7f, 0.0f},
        {0.4f, 0.7f, inf, 0.4f, 0.7f, 1.0f}};
    TestInstance plug(kStereoURI, 48000.0);
    ASSERT_TRUE(plug.Ok());
    const size_t perStep = 1500, total = perStep * (sizeof steps / sizeof steps[0]);
    const auto in = Signals(2, total, 5);
    std::vector<std::vector<float>> out(2, std::vector<float>(total)), expected = out;
    Reference ref{48000.0, {}};
    size_t pos = 0;
    for (const Step& s : steps) {
        plug.Control("gain") = s.gain;
        plug.Control("level") = s.level;
        plug.Control("enabled") = s.enabled;
        plug.Run(in, out, pos, perStep);
        ref.Run(in, expected, pos, perStep, s.useGain, s.useLevel, s.useEnabled);
        pos += perStep;
    }
    for (int c = 0; c < 2; ++c) {
        const long at = FirstDifference(out[c], expected[c]);
        EXPECT_EQ(at, -1) << "channel " << c << ", step " << (at < 0 ? -1 : at / long(perStep));
    }
}

// Unconnected audio ports read silence and write nowhere; a port index past the end is ignored.
TEST(LV2Audio, UnconnectedPortsNeverCrashAndReadSilence) {
    TestInstance plug(kStereoURI, 44100.0, HostFeatures::kNone);
    ASSERT_TRUE(plug.Ok());
    float stray = 0.0f;
    lilv_instance_connect_port(plug.Get(), 1000, &stray);
    lilv_instance_run(plug.Get(), 512); // no audio port connected at all

    const size_t n = 2048;
    const auto in = Signals(2, n, 9);
    std::vector<float> outL(n, 5.0f);
    lilv_instance_connect_port(plug.Get(), 0, nullptr); // left input: silence
    lilv_instance_connect_port(plug.Get(), 1, const_cast<float*>(in[1].data()));
    lilv_instance_connect_port(plug.Get(), 2, outL.data());
    lilv_instance_connect_port(plug.Get(), 3, nullptr); // right output: discarded
    lilv_instance_run(plug.Get(), n);

    Reference ref{44100.0, {}};
    std::vector<std::vector<float>> silence(2, std::vector<float>(512 + n, 0.0f));
    std::vector<std::vector<float>> expected = silence;
    ref.Run(silence, expected, 0, 512 + n, 0.5f, 0.5f, 1.0f);
    EXPECT_EQ(std::memcmp(outL.data(), expected[0].data() + 512, n * sizeof(float)), 0);
}

// Hosts process in place (an output on its input's buffer), may share one buffer between an
// output and another channel's input, and connect the audio ports anew before every run. Every
// output sample must still be the effect's, across slice boundaries and in the mono plug-in
// (whose second circuit runs on the wrapper's own silence).
TEST(LV2Audio, InPlaceSharedAndReconnectedBuffersGiveEverySampleRight) {
    const uint32_t lengths[] = {1, 255, 256, 257, 511, 2048, 4097, 100, 8192, 3};
    for (const char* uri : {kMonoURI, kStereoURI}) {
        for (bool shared : {false, true}) {
            SCOPED_TRACE(std::string(uri) + (shared ? ", out_l on in_r" : ", in place"));
            TestInstance plug(uri, 48000.0);
            ASSERT_TRUE(plug.Ok());
            if (shared && plug.NIn() < 2) continue;
            size_t total = 0;
            for (uint32_t n : lengths)
                total += n;
            const auto in = Signals(plug.NIn(), total, 13);
            std::vector<std::vector<float>> expected(plug.NOut(), std::vector<float>(total));
            Reference ref{48000.0, {}};
            ref.Run(in, expected, 0, static_cast<uint32_t>(total), 0.7f, 0.4f, 1.0f);
            plug.Control("gain") = 0.7f;
            plug.Control("level") = 0.4f;

            const LilvPlugin* p = plug.Plugin();
            auto index = [p](const char* symbol) {
                LilvNode* s = lilv_new_string(TestWorld(), symbol);
                const uint32_t i = lilv_port_get_index(p, lilv_plugin_get_port_by_symbol(p, s));
                lilv_node_free(s);
                return i;
            };
            std::vector<std::vector<float>> out(plug.NOut());
            size_t pos = 0;
            for (uint32_t n : lengths) {
                // Fresh buffers each run, holding the input, as a host's pool hands them out.
                std::vector<std::vector<float>> buf(plug.NIn());
                for (int c = 0; c < plug.NIn(); ++c)
                    buf[c].assign(in[c].begin() + pos, in[c].begin() + pos + n);
                if (plug.NIn() == 1) {
                    lilv_instance_connect_port(plug.Get(), index("in"), buf[0].data());
                    lilv_instance_connect_port(plug.Get(), index("out"), buf[0].data());
                } else {
                    lilv_instance_connect_port(plug.Get(), index("in_l"), buf[0].data());
                    lilv_instance_connect_port(plug.Get(), index("in_r"), buf[1].data());
                    lilv_instance_connect_port(plug.Get(), index("out_l"),
                                               shared ? buf[1].data() : buf[0].data());
                    lilv_instance_connect_port(plug.Get(), index("out_r"),
                                               shared ? buf[0].data() : buf[1].data());
                    lilv_instance_run(plug.Get(), n);
                    if (shared) std::swap(buf[0], buf[1]); // out_l was written into in_r's buffer
                    for (int c = 0; c < 2; ++c)
                        out[c].insert(out[c].end(), buf[c].begin(), buf[c].end());
                    pos += n;
                    continue;
                }
                lilv_instance_run(plug.Get(), n);
                out[0].insert(out[0].end(), buf[0].begin(), buf[0].end());
                pos += n;
            }
            for (int c = 0; c < plug.NOut(); ++c)
                EXPECT_EQ(FirstDifference(out[c], expected[c]), -1) << "channel " << c;
        }
    }
}

// The earlier build's bypass port, kept for its sessions, bypasses as that build read it (the
// value truncated: 1 and above bypass, below 1 processes; NaN and infinities keep the switch),
// whatever "enabled" says, and "enabled" at 0 bypasses whatever "by" says. An unconnected "by"
// counts as 0.
TEST(LV2Audio, EitherBypassPortBypasses) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Step {
        float by, enabled;
        bool connected, bypassed;
    };
    const Step steps[] = {
        {0.0f, 1.0f, true, false}, {1.0f, 1.0f, true, true},  {0.0f, 0.0f, true, true},
        {1.0f, 0.0f, true, true},  {0.7f, 1.0f, true, false}, {5.0f, 1.0f, true, true},
        {nan, 1.0f, true, true},   {inf, 1.0f, true, true},   {-3.0f, 1.0f, true, false},
        {-inf, 1.0f, true, false}, {1.0f, 1.0f, true, true},  {1.0f, 1.0f, false, false},
        {1.0f, 0.0f, false, true}, {nan, 1.0f, true, false}};
    TestInstance plug(kStereoURI, 48000.0);
    ASSERT_TRUE(plug.Ok());
    LilvNode* symbol = lilv_new_string(TestWorld(), "by");
    const LilvPort* byPort = lilv_plugin_get_port_by_symbol(plug.Plugin(), symbol);
    lilv_node_free(symbol);
    ASSERT_NE(byPort, nullptr);
    const uint32_t byIndex = lilv_port_get_index(plug.Plugin(), byPort);
    const size_t perStep = 700, total = perStep * (sizeof steps / sizeof steps[0]);
    const auto in = Signals(2, total, 9);
    std::vector<std::vector<float>> out(2, std::vector<float>(total)), expected = out;
    Reference ref{48000.0, {}};
    size_t pos = 0;
    plug.Control("gain") = 0.8f;
    for (const Step& s : steps) {
        plug.Control("by") = s.by;
        plug.Control("enabled") = s.enabled;
        lilv_instance_connect_port(plug.Get(), byIndex,
                                   s.connected ? &plug.Control("by") : nullptr);
        plug.Run(in, out, pos, perStep);
        ref.Run(in, expected, pos, perStep, 0.8f, 0.5f, s.bypassed ? 0.0f : 1.0f);
        pos += perStep;
    }
    for (int c = 0; c < 2; ++c) {
        const long at = FirstDifference(out[c], expected[c]);
        EXPECT_EQ(at, -1) << "channel " << c << ", step " << (at < 0 ? -1 : at / long(perStep));
    }
}
