// Sessions and presets through a real LV2 host's state code (lilv): the control ports are the
// parameters' only truth, so what a host restores into the ports is what plays, whatever the
// order of its calls, and sessions saved by earlier builds (whose state repeated the parameters)
// reopen as their ports say.
#include "LV2TestHost.h"
#include "effect/DriveCircuit.h"

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Port values for lilv: read from and written to the instance's control ports.
const void* GetPortValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    TestInstance* plug = static_cast<TestInstance*>(user);
    *size = sizeof(float);
    *type = plug->Map().Map(LV2_ATOM__Float);
    return &plug->Control(symbol);
}

void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    TestInstance* plug = static_cast<TestInstance*>(user);
    if (size == sizeof(float) && type == plug->Map().Map(LV2_ATOM__Float))
        std::memcpy(&plug->Control(symbol), value, sizeof(float));
}

// Output of a stereo instance for a fixed signal, to compare sounds.
std::vector<float> Render(TestInstance& plug, size_t n) {
    const std::vector<std::vector<float>> in = {TestSignal(n, 21), TestSignal(n, 22)};
    std::vector<std::vector<float>> out(2, std::vector<float>(n));
    plug.Run(in, out, 0, static_cast<uint32_t>(n));
    out[0].insert(out[0].end(), out[1].begin(), out[1].end());
    return out[0];
}

std::vector<float> RenderCircuit(double rate, float gain, float level, size_t n) {
    const std::vector<float> in[2] = {TestSignal(n, 21), TestSignal(n, 22)};
    std::vector<float> out;
    for (const auto& channel : in) {
        DriveCircuit circuit;
        circuit.Calc(rate);
        for (float x : channel)
            out.push_back(static_cast<float>(circuit.Process(x, gain, level)));
    }
    return out;
}

// The host's save: lilv asks the plug-in and reads the ports, then writes Turtle.
std::string SaveSession(TestInstance& plug) {
    LilvState* state = lilv_state_new_from_instance(
        plug.Plugin(), plug.Get(), plug.Map().MapData(), nullptr, nullptr, nullptr, nullptr,
        GetPortValue, &plug, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, plug.Features());
    EXPECT_NE(state, nullptr);
    if (!state) return "";
    char* text = lilv_state_to_string(TestWorld(), plug.Map().MapData(), plug.Map().UnmapData(),
                                      state, "urn:zerub:session", nullptr);
    lilv_state_free(state);
    std::string s = text ? text : "";
    lilv_free(text);
    return s;
}

LilvState* Load(TestInstance& plug, const std::string& text) {
    return lilv_state_new_from_string(TestWorld(), plug.Map().MapData(), text.c_str());
}

} // namespace

// Gain 0.9 played, then the port moved to 0.5 and the session saved before the next run: the
// session reopens with 0.5 on the port and plays 0.5.
TEST(LV2State, ASessionSavedBetweenAPortChangeAndTheNextRunPlaysThePort) {
    TestInstance saved(kStereoURI, 48000.0);
    ASSERT_TRUE(saved.Ok());
    saved.Control("gain") = 0.9f;
    saved.Control("level") = 0.3f;
    Render(saved, 512);
    saved.Control("gain") = 0.5f;
    const std::string session = SaveSession(saved);

    TestInstance reopened(kStereoURI, 48000.0);
    ASSERT_TRUE(reopened.Ok());
    LilvState* state = Load(reopened, session);
    ASSERT_NE(state, nullptr);
    lilv_state_restore(state, reopened.Get(), SetPortValue, &reopened, 0, reopened.Features());
    lilv_state_free(state);
    EXPECT_EQ(reopened.Control("gain"), 0.5f);
    EXPECT_EQ(Render(reopened, 4096), RenderCircuit(48000.0, 0.5f, 0.3f, 4096));
}

// Hosts restore the state and set the ports in either order, and some leave the ports to
// themselves: the ports the host ends with decide the sound.
TEST(LV2State, PortsSetBeforeOrAfterTheRestoreDecideTheSound) {
    TestInstance saved(kStereoURI, 44100.0);
    ASSERT_TRUE(saved.Ok());
    saved.Control("gain") = 0.8f;
    saved.Control("level") = 0.2f;
    Render(saved, 256);
    const std::string session = SaveSession(saved);

    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE(order == 0   ? "ports set, then restored without ports"
                     : order == 1 ? "restored with ports, then ports set"
                                  : "ports set, then restored with ports");
        TestInstance plug(kStereoURI, 44100.0);
        ASSERT_TRUE(plug.Ok());
        Render(plug, 300); // playing at the defaults before the host opens the session
        LilvState* state = Load(plug, session);
        ASSERT_NE(state, nullptr);
        if (order != 1) {
            plug.Control("gain") = 0.35f;
            plug.Control("level") = 0.65f;
        }
        lilv_state_restore(state, plug.Get(), order == 0 ? nullptr : SetPortValue, &plug, 0,
                           plug.Features());
        lilv_state_free(state);
        if (order == 1) {
            plug.Control("gain") = 0.35f;
            plug.Control("level") = 0.65f;
        }
        const float gain = order == 2 ? 0.8f : 0.35f, level = order == 2 ? 0.2f : 0.65f;
        EXPECT_EQ(plug.Control("gain"), gain);
        // The circuits have run 300 frames at the defaults: compare from a fresh instance that
        // did the same.
        TestInstance reference(kStereoURI, 44100.0);
        ASSERT_TRUE(reference.Ok());
        Render(reference, 300);
        reference.Control("gain") = gain;
        reference.Control("level") = level;
        EXPECT_EQ(Render(plug, 2048), Render(reference, 2048));
    }
}

// A session saved by the build whose state repeated the parameters: its chunk says Gain 0.9 and
// its ports say Gain 0.5 (saved between a port change and the next run). It opens as its ports
// say; the chunk is not read.
TEST(LV2State, ASessionOfTheEarlierBuildPlaysAsItsPortsSay) {
    TestInstance plug(kStereoURI, 48000.0);
    ASSERT_TRUE(plug.Ok());
    std::ifstream file(ZERUB_LV2_TEST_DATA "/session_saved_before_run.ttl");
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    ASSERT_NE(text.find("zerub#state"), std::string::npos); // the chunk is there, saying 0.9
    LilvState* state = Load(plug, text);
    ASSERT_NE(state, nullptr);
    lilv_state_restore(state, plug.Get(), SetPortValue, &plug, 0, plug.Features());
    lilv_state_free(state);
    EXPECT_EQ(plug.Control("gain"), 0.5f);
    EXPECT_EQ(plug.Control("level"), 0.3f);
    EXPECT_EQ(plug.Control("enabled"), 1.0f);
    EXPECT_EQ(Render(plug, 4096), RenderCircuit(48000.0, 0.5f, 0.3f, 4096));
}

// Port sets as hosts restore them by symbol: sessions of the earlier build, whose bypass was the
// port "by" (1 bypasses; no "enabled" then, and a chunk repeating the parameters), and of the
// current one. Either port saying so bypasses, and a bypass plays the input bit for bit. Each is
// restored into an instance whose ports say the opposite.
TEST(LV2State, ASessionBypassedByEitherPortReopensBypassed) {
    struct Case {
        const char* what;
        const char* ports; // the lv2:port list of the saved session
        bool bypassed;
    };
    const char* const earlierChunk =
        " ;\n  state:state [ <https://www.quillmoor.com/plugins/zerub#state> "
        "\"AAAAAAAA4D8AAABAMzPTPwAAAAAAAPA/\"^^xsd:base64Binary ]";
    const Case cases[] = {
        {"earlier build, by 1", "[ lv2:symbol \"by\" ; pset:value 1.0 ]", true},
        {"earlier build, by 0", "[ lv2:symbol \"by\" ; pset:value 0.0 ]", false},
        {"current build, enabled 0",
         "[ lv2:symbol \"enabled\" ; pset:value 0.0 ] , "
         "[ lv2:symbol \"by\" ; pset:value 0.0 ]",
         true},
        {"current build, enabled 1, by 1",
         "[ lv2:symbol \"enabled\" ; pset:value 1.0 ] , "
         "[ lv2:symbol \"by\" ; pset:value 1.0 ]",
         true},
        {"current build, enabled 1, by 0",
         "[ lv2:symbol \"enabled\" ; pset:value 1.0 ] , "
         "[ lv2:symbol \"by\" ; pset:value 0.0 ]",
         false},
    };
    const size_t n = 4096;
    std::vector<float> input = TestSignal(n, 21), right = TestSignal(n, 22);
    input.insert(input.end(), right.begin(), right.end());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool earlier = !std::strstr(c.ports, "enabled");
        const std::string text =
            std::string("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                        "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                        "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                        "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
                        "<urn:zerub:session> a pset:Preset ;\n"
                        "  lv2:appliesTo <https://www.quillmoor.com/plugins/zerub#stereo> ;\n"
                        "  lv2:port [ lv2:symbol \"gain\" ; pset:value 0.5 ] , "
                        "[ lv2:symbol \"level\" ; pset:value 0.30000001 ] , ") +
            c.ports + (earlier ? earlierChunk : "") + " .\n";
        TestInstance plug(kStereoURI, 48000.0);
        ASSERT_TRUE(plug.Ok());
        // Playing the opposite way before the host opens the session, through the ports the
        // session holds (a bypassed run leaves the circuits fresh, so a session that processes
        // compares with a fresh circuit).
        plug.Control("by") = c.bypassed ? 0.0f : 1.0f;
        if (!earlier) plug.Control("enabled") = c.bypassed ? 1.0f : 0.0f;
        Render(plug, 300);
        LilvState* state = Load(plug, text);
        ASSERT_NE(state, nullptr);
        lilv_state_restore(state, plug.Get(), SetPortValue, &plug, 0, plug.Features());
        lilv_state_free(state);
        if (earlier) {
            EXPECT_EQ(plug.Control("enabled"), 1.0f); // the host shows it enabled
        }
        const std::vector<float> out = Render(plug, n);
        if (c.bypassed) {
            ASSERT_EQ(out.size(), input.size());
            EXPECT_EQ(std::memcmp(out.data(), input.data(), out.size() * sizeof(float)), 0);
        } else {
            EXPECT_EQ(out, RenderCircuit(48000.0, 0.5f, 0.3f, n));
        }
    }
}

// The bundle's presets, as hosts list them: readable names, port values only. Each sets both
// bypass ports, so that loading one plays it even where a session's hidden "by" bypassed.
TEST(LV2State, PresetsAreTheDefaultsAndTheDemoSoundsByName) {
    struct Expected {
        const char* label;
        float gain, level;
    };
    const Expected expected[] = {{"Defaults", 0.5f, 0.5f},
                                 {"Clean", 0.1f, 0.69f},
                                 {"Medium", 0.5f, 0.48f},
                                 {"Full", 1.0f, 0.41f}};
    TestInstance plug(kMonoURI, 44100.0);
    ASSERT_TRUE(plug.Ok());
    LilvNode* presetClass = lilv_new_uri(TestWorld(), LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(plug.Plugin(), presetClass);
    lilv_node_free(presetClass);
    ASSERT_EQ(lilv_nodes_size(presets), 4u);
    int found = 0;
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(TestWorld(), preset);
        LilvState* state = lilv_state_new_from_world(TestWorld(), plug.Map().MapData(), preset);
        ASSERT_NE(state, nullptr);
        const std::string label = lilv_state_get_label(state) ? lilv_state_get_label(state) : "";
        plug.Control("gain") = -1.0f;
        plug.Control("enabled") = 0.0f;
        plug.Control("by") = 1.0f;
        lilv_state_restore(state, plug.Get(), SetPortValue, &plug, 0, plug.Features());
        lilv_state_free(state);
        for (const Expected& e : expected) {
            if (label != e.label) continue;
            SCOPED_TRACE(label);
            ++found;
            EXPECT_EQ(plug.Control("gain"), e.gain);
            EXPECT_EQ(plug.Control("level"), e.level);
            EXPECT_EQ(plug.Control("enabled"), 1.0f);
            EXPECT_EQ(plug.Control("by"), 0.0f); // a preset plays, whatever bypassed before
        }
    }
    lilv_nodes_free(presets);
    EXPECT_EQ(found, 4);
}
