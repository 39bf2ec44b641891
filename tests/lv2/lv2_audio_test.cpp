// The bundle loaded by a real LV2 host (lilv): discovery, instantiation, and what only LV2 hosts do
// to the audio ports and controls (the audio itself the suite over every wrapper checks).
#include "../wrappers/Renderers.h"
#include "LV2Lint.h"
#include "LV2TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// What the circuit's definition gives for in, rendered in calls of the given settings.
Planar Expected(double rate, const Planar& in, std::vector<Segment> calls) {
    Job job;
    job.rate = rate;
    job.input = in;
    job.segments = std::move(calls);
    return RenderDefinition(job);
}

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

namespace {

const LilvPort* PortBySymbol(const LilvPlugin* plugin, const char* name) {
    LilvNode* symbol = lilv_new_string(TestWorld(), name);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
    lilv_node_free(symbol);
    return port;
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
        ASSERT_EQ(lilv_plugin_get_num_ports(plugin), first + 6);
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

        // Then the quality setting and the latency it costs, reported to the host.
        const LilvPort* quality = PortBySymbol(plugin, "quality");
        const LilvPort* latency = PortBySymbol(plugin, "latency");
        ASSERT_TRUE(quality && latency);
        EXPECT_EQ(lilv_port_get_index(plugin, quality), first + 4);
        EXPECT_EQ(lilv_port_get_index(plugin, latency), first + 5);
        EXPECT_TRUE(HasProperty(plugin, quality, LV2_CORE__integer));
        EXPECT_TRUE(HasProperty(plugin, quality, LV2_CORE__enumeration));
        EXPECT_TRUE(HasProperty(plugin, quality, "http://lv2plug.in/ns/ext/port-props#expensive"));
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, quality);
        EXPECT_EQ(points ? lilv_scale_points_size(points) : 0u, 2u);
        lilv_scale_points_free(points);
        LilvNode* output = lilv_new_uri(TestWorld(), LV2_CORE__OutputPort);
        EXPECT_TRUE(lilv_port_is_a(plugin, latency, output));
        lilv_node_free(output);
        EXPECT_TRUE(HasProperty(plugin, latency, LV2_CORE__reportsLatency));
        EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), first + 5);

        LilvNode* presetClass =
            lilv_new_uri(TestWorld(), "http://lv2plug.in/ns/ext/presets#Preset");
        LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
        EXPECT_EQ(lilv_nodes_size(presets), 4u);
        lilv_nodes_free(presets);
        lilv_node_free(presetClass);

        for (const std::string& finding : LV2LintFindings(TestWorld(), plugin))
            ADD_FAILURE() << finding;
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
    std::vector<std::vector<float>> out(2, std::vector<float>(total));
    std::vector<Segment> calls;
    size_t pos = 0;
    for (const Step& s : steps) {
        plug.Control("gain") = s.gain;
        plug.Control("level") = s.level;
        plug.Control("enabled") = s.enabled;
        plug.Run(in, out, pos, perStep);
        calls.push_back({int(perStep), s.useGain, s.useLevel, !(s.useEnabled > 0.0f)});
        pos += perStep;
    }
    const Planar expected = Expected(48000.0, in, calls);
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

    const Planar expected =
        Expected(44100.0, Planar(2, std::vector<float>(512 + n, 0.0f)), {{512}, {int(n)}});
    EXPECT_EQ(std::memcmp(outL.data(), expected[0].data() + 512, n * sizeof(float)), 0);
}

// Hosts may share one buffer between an output and the other channel's input, and hand out
// fresh buffers from a pool before every run: every output sample must still be the effect's.
TEST(LV2Audio, SharedAndReconnectedBuffersGiveEverySampleRight) {
    const int lengths[] = {1, 255, 256, 257, 511, 2048, 4097, 100, 8192, 3};
    TestInstance plug(kStereoURI, 48000.0);
    ASSERT_TRUE(plug.Ok());
    std::vector<Segment> calls;
    for (int n : lengths)
        calls.push_back({n, 0.7f, 0.4f});
    const auto in = Signals(2, 15720, 13);
    const Planar expected = Expected(48000.0, in, calls);
    plug.Control("gain") = 0.7f;
    plug.Control("level") = 0.4f;
    std::vector<std::vector<float>> out(2);
    size_t pos = 0;
    for (int n : lengths) {
        std::vector<std::vector<float>> buf(2);
        for (int c = 0; c < 2; ++c)
            buf[c].assign(in[c].begin() + pos, in[c].begin() + pos + n);
        // Ports in order in_l, in_r, out_l, out_r: out_l on in_r's buffer and out_r on in_l's.
        for (uint32_t port = 0; port < 4; ++port)
            lilv_instance_connect_port(plug.Get(), port, buf[port % 2 ^ port / 2].data());
        lilv_instance_run(plug.Get(), static_cast<uint32_t>(n));
        for (int c = 0; c < 2; ++c)
            out[c].insert(out[c].end(), buf[1 - c].begin(), buf[1 - c].end());
        pos += static_cast<size_t>(n);
    }
    ASSERT_EQ(pos, in[0].size());
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(FirstDifference(out[c], expected[c]), -1) << "channel " << c;
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
    std::vector<std::vector<float>> out(2, std::vector<float>(total));
    std::vector<Segment> calls;
    size_t pos = 0;
    plug.Control("gain") = 0.8f;
    for (const Step& s : steps) {
        plug.Control("by") = s.by;
        plug.Control("enabled") = s.enabled;
        lilv_instance_connect_port(plug.Get(), byIndex,
                                   s.connected ? &plug.Control("by") : nullptr);
        plug.Run(in, out, pos, perStep);
        calls.push_back({int(perStep), 0.8f, 0.5f, s.bypassed});
        pos += perStep;
    }
    const Planar expected = Expected(48000.0, in, calls);
    for (int c = 0; c < 2; ++c) {
        const long at = FirstDifference(out[c], expected[c]);
        EXPECT_EQ(at, -1) << "channel " << c << ", step " << (at < 0 ? -1 : at / long(perStep));
    }
}

// LV2 lets any input share any output's buffer (the bundle does not ask for lv2:inPlaceBroken),
// and a host may give both inputs one buffer: every such sharing, processing and bypassed, mono
// and stereo, must give what separate buffers give, sample for sample.
TEST(LV2Audio, EveryBufferSharingGivesWhatSeparateBuffersGive) {
    const uint32_t lengths[] = {1, 300, 256, 700, 513};
    for (const char* uri : {kMonoURI, kStereoURI}) {
        const int nCh = uri == kMonoURI ? 1 : 2;
        // Buffer of each input: its own, or in stereo, in_r on in_l's. Buffer of each output:
        // its own (-1) or input k's.
        for (bool inputsShare :
             nCh == 2 ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
            const int inBuf[2] = {0, inputsShare ? 0 : 1};
            const int choices = nCh + 1;
            for (int pick = 0; pick < (nCh == 2 ? choices * choices : choices); ++pick) {
                int outBuf[2];
                for (int c = 0; c < nCh; ++c) {
                    const int k = (c == 0 ? pick : pick / choices) % choices - 1;
                    outBuf[c] = k < 0 ? nCh + c : inBuf[k];
                }
                if (nCh == 2 && outBuf[0] == outBuf[1]) continue; // two outputs on one buffer
                for (bool bypassed : {false, true}) {
                    SCOPED_TRACE(std::string(uri) + (inputsShare ? " inputs shared" : "") +
                                 " out_l on " + std::to_string(outBuf[0]) +
                                 (nCh == 2 ? ", out_r on " + std::to_string(outBuf[1]) : "") +
                                 (bypassed ? ", bypassed" : ", processing"));
                    TestInstance shared(uri, 48000.0), separate(uri, 48000.0);
                    ASSERT_TRUE(shared.Ok() && separate.Ok());
                    for (TestInstance* plug : {&shared, &separate}) {
                        plug->Control("gain") = 0.8f;
                        plug->Control("level") = 0.6f;
                        plug->Control("enabled") = bypassed ? 0.0f : 1.0f;
                    }
                    unsigned seed = 21;
                    for (uint32_t n : lengths) {
                        auto in = Signals(nCh, n, seed += 2);
                        if (inputsShare) in[1] = in[0];
                        std::vector<std::vector<float>> want(nCh, std::vector<float>(n));
                        separate.Run(in, want, 0, n);

                        std::vector<std::vector<float>> buf(2 * nCh, std::vector<float>(n, 7.0f));
                        for (int c = 0; c < nCh; ++c)
                            buf[inBuf[c]] = in[c];
                        for (int c = 0; c < nCh; ++c) {
                            lilv_instance_connect_port(shared.Get(), c, buf[inBuf[c]].data());
                            lilv_instance_connect_port(shared.Get(), nCh + c,
                                                       buf[outBuf[c]].data());
                        }
                        lilv_instance_run(shared.Get(), n);
                        for (int c = 0; c < nCh; ++c)
                            ASSERT_EQ(FirstDifference(buf[outBuf[c]], want[c]), -1)
                                << "output " << c << ", run of " << n;
                    }
                }
            }
        }
    }
}

// The quality port chooses the path; the latency port says what HQ costs, and the HQ output is
// Standard's that much later (the cross-correlation of the two peaks there). An unconnected
// quality port, as in a session of an earlier build, is Standard.
TEST(LV2Audio, QualityPortAndTheLatencyItReports) {
    const size_t total = 12000;
    std::vector<std::vector<float>> in(2, std::vector<float>(total));
    for (size_t n = 0; n < total; ++n) // low enough that both paths keep the same shape
        in[0][n] = in[1][n] = 0.3f * static_cast<float>(std::sin(0.011 * n) * std::sin(0.0007 * n));
    std::vector<std::vector<float>> standardOut(2, std::vector<float>(total)), hqOut = standardOut;
    TestInstance standard(kStereoURI, 48000.0), hq(kStereoURI, 48000.0);
    ASSERT_TRUE(standard.Ok() && hq.Ok());
    hq.Control("quality") = 1.0f;
    for (size_t pos = 0; pos < total; pos += 1000) {
        standard.Run(in, standardOut, pos, 1000);
        hq.Run(in, hqOut, pos, 1000);
    }
    EXPECT_EQ(standard.Control("latency"), 0.0f);
    const int latency = static_cast<int>(hq.Control("latency"));
    EXPECT_GT(latency, 0);
    int bestLag = -1;
    double best = -1.0;
    for (int lag = 0; lag < 300; ++lag) {
        double sum = 0.0;
        for (size_t n = 2000; n + lag < total; ++n)
            sum += double(standardOut[0][n]) * hqOut[0][n + lag];
        if (sum > best) best = sum, bestLag = lag;
    }
    EXPECT_EQ(bestLag, latency);

    const LilvPort* quality = PortBySymbol(hq.Plugin(), "quality");
    ASSERT_NE(quality, nullptr);
    lilv_instance_connect_port(hq.Get(), lilv_port_get_index(hq.Plugin(), quality), nullptr);
    hq.Run(in, hqOut, 0, 0);
    EXPECT_EQ(hq.Control("latency"), 0.0f);
}

// The host's bypass in HQ keeps the latency the plug-in reports, so that the host's compensation
// keeps the bypassed signal in line: once what was in the resamplers has come out, the output is
// the input that many frames late (to the resamplers' rounding), and there is no gap before.
TEST(LV2Audio, BypassInHQKeepsTheReportedLatency) {
    const size_t total = 9000, switchAt = 4096;
    std::vector<std::vector<float>> in(2, std::vector<float>(total));
    for (size_t n = 0; n < total; ++n)
        in[0][n] = in[1][n] = 0.4f * static_cast<float>(std::sin(0.013 * n));
    std::vector<std::vector<float>> out(2, std::vector<float>(total));
    TestInstance hq(kStereoURI, 48000.0);
    ASSERT_TRUE(hq.Ok());
    hq.Control("quality") = 1.0f;
    hq.Control("gain") = 1.0f;
    for (size_t pos = 0; pos < total; pos += 512) {
        hq.Control("enabled") = pos + 512 <= switchAt ? 1.0f : 0.0f;
        hq.Run(in, out, pos, std::min<size_t>(512, total - pos));
    }
    const int latency = static_cast<int>(hq.Control("latency"));
    ASSERT_GT(latency, 0);
    double worst = 0.0, flushing = 0.0;
    for (size_t n = switchAt; n < switchAt + latency; ++n)
        flushing = std::max(flushing, std::fabs(double(out[0][n])));
    for (size_t n = switchAt + latency; n < total; ++n)
        for (int c = 0; c < 2; ++c)
            worst = std::max(worst, std::fabs(double(out[c][n]) - double(in[c][n - latency])));
    EXPECT_LT(worst, 1e-4);
    EXPECT_GT(flushing, 0.1);
}
