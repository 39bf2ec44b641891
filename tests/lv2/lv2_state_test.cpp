// The plug-in's state through a real LV2 host: lilv's state API (save, serialise to Turtle and
// back, restore, the bundle's preset) and the state interface called directly with a host's
// store and retrieve functions, including chunks that must be refused.
#include "LV2TestHost.h"
#include "effect/DriveCircuit.h"

#include <lv2/atom/atom.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// What the plug-in stored, or what the host hands back on restore.
struct StoredState {
    LV2_URID key = 0, type = 0;
    uint32_t flags = 0;
    std::vector<unsigned char> bytes;
    bool present = true;
};

LV2_State_Status Store(LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                       uint32_t type, uint32_t flags) {
    StoredState* s = static_cast<StoredState*>(handle);
    s->key = key;
    s->type = type;
    s->flags = flags;
    const auto* bytes = static_cast<const unsigned char*>(value);
    s->bytes.assign(bytes, bytes + size);
    return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags) {
    StoredState* s = static_cast<StoredState*>(handle);
    if (!s->present || key != s->key) return nullptr;
    *size = s->bytes.size();
    *type = s->type;
    *flags = s->flags;
    return s->bytes.data();
}

std::vector<unsigned char> Doubles(std::initializer_list<double> values) {
    std::vector<unsigned char> bytes;
    for (double v : values) {
        unsigned char b[sizeof v];
        std::memcpy(b, &v, sizeof v);
        bytes.insert(bytes.end(), b, b + sizeof v);
    }
    return bytes;
}

StoredState Save(TestInstance& plug, LV2_State_Status* status = nullptr) {
    StoredState s;
    const LV2_State_Status st =
        plug.StateInterface()->save(lilv_instance_get_handle(plug.Get()), Store, &s,
                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, plug.Features());
    if (status) *status = st;
    return s;
}

LV2_State_Status Restore(TestInstance& plug, StoredState& s) {
    return plug.StateInterface()->restore(lilv_instance_get_handle(plug.Get()), Retrieve, &s, 0,
                                          plug.Features());
}

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

} // namespace

// The chunk is the plug-in base's state: one little-endian double per parameter (Gain, Level,
// BY), the bytes the Audio Unit keeps under "data".
TEST(LV2State, SavesTheStateChunkAsAPortableAtomChunk) {
    TestInstance plug(kStereoURI, 44100.0);
    ASSERT_TRUE(plug.Ok() && plug.StateInterface());
    plug.Control("gain") = 0.5f;
    plug.Control("level") = 0.25f;
    plug.Control("by") = 1.0f;
    lilv_instance_run(plug.Get(), 0); // controls are read at the start of each run
    LV2_State_Status status;
    const StoredState s = Save(plug, &status);
    ASSERT_EQ(status, LV2_STATE_SUCCESS);
    EXPECT_STREQ(plug.Map().Unmap(s.key), kStateKeyURI);
    EXPECT_STREQ(plug.Map().Unmap(s.type), LV2_ATOM__Chunk);
    EXPECT_EQ(s.flags, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    const unsigned char expected[24] = {0, 0, 0,    0,    0, 0, 0xE0, 0x3F, 0, 0, 0,    0,
                                        0, 0, 0xD0, 0x3F, 0, 0, 0,    0,    0, 0, 0xF0, 0x3F};
    ASSERT_EQ(s.bytes.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(s.bytes.data(), expected, sizeof expected), 0);
}

// Saved through lilv, written out as Turtle and read back, the state gives a fresh instance the
// same sound, whether or not the host also sets the control ports from it.
TEST(LV2State, LilvRoundTripReopensWithTheSameSound) {
    TestInstance saved(kStereoURI, 48000.0);
    ASSERT_TRUE(saved.Ok());
    saved.Control("gain") = 0.8f;
    saved.Control("level") = 0.3f;
    lilv_instance_run(saved.Get(), 0);
    LilvState* state = lilv_state_new_from_instance(
        saved.Plugin(), saved.Get(), saved.Map().MapData(), nullptr, nullptr, nullptr, nullptr,
        GetPortValue, &saved, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, saved.Features());
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(TestWorld(), saved.Map().MapData(), saved.Map().UnmapData(),
                                      state, "urn:zerub:session", nullptr);
    lilv_state_free(state);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::strstr(text, kStateKeyURI), nullptr);

    const std::vector<float> expected = RenderCircuit(48000.0, 0.8f, 0.3f, 4096);
    for (bool setPorts : {true, false}) {
        SCOPED_TRACE(setPorts ? "ports set from the state" : "ports left at their defaults");
        TestInstance reopened(kStereoURI, 48000.0);
        ASSERT_TRUE(reopened.Ok());
        LilvState* loaded = lilv_state_new_from_string(TestWorld(), reopened.Map().MapData(), text);
        ASSERT_NE(loaded, nullptr);
        lilv_state_restore(loaded, reopened.Get(), setPorts ? SetPortValue : nullptr, &reopened, 0,
                           reopened.Features());
        lilv_state_free(loaded);
        if (setPorts) {
            EXPECT_EQ(reopened.Control("gain"), 0.8f);
        }
        EXPECT_EQ(Render(reopened, 4096), expected);
    }
    lilv_free(text);
}

TEST(LV2State, TheBundlePresetRestoresTheDefaults) {
    TestInstance plug(kMonoURI, 44100.0);
    ASSERT_TRUE(plug.Ok());
    plug.Control("gain") = 0.9f;
    plug.Control("level") = 0.1f;
    plug.Control("by") = 1.0f;
    lilv_instance_run(plug.Get(), 0);

    LilvNode* presetClass = lilv_new_uri(TestWorld(), "http://lv2plug.in/ns/ext/presets#Preset");
    LilvNodes* presets = lilv_plugin_get_related(plug.Plugin(), presetClass);
    lilv_node_free(presetClass);
    ASSERT_EQ(lilv_nodes_size(presets), 1u);
    const LilvNode* preset = lilv_nodes_get(presets, lilv_nodes_begin(presets));
    lilv_world_load_resource(TestWorld(), preset);
    LilvState* state = lilv_state_new_from_world(TestWorld(), plug.Map().MapData(), preset);
    lilv_nodes_free(presets);
    ASSERT_NE(state, nullptr);
    EXPECT_STREQ(lilv_state_get_label(state), "-");
    lilv_state_restore(state, plug.Get(), SetPortValue, &plug, 0, plug.Features());
    lilv_state_free(state);

    EXPECT_EQ(plug.Control("gain"), 0.5f);
    EXPECT_EQ(plug.Control("by"), 0.0f);
    EXPECT_EQ(Save(plug).bytes, Doubles({0.5, 0.5, 0.0}));
}

// A chunk the plug-in cannot use is refused and nothing changes; an in-range layout with a value
// beyond a parameter's range is clamped, as the base's restore does.
TEST(LV2State, RefusesShortForeignOrNonFiniteChunksWithoutChangingAnything) {
    TestInstance plug(kStereoURI, 44100.0);
    ASSERT_TRUE(plug.Ok());
    plug.Control("gain") = 0.25f;
    plug.Control("level") = 0.75f;
    lilv_instance_run(plug.Get(), 0);
    const StoredState before = Save(plug);
    ASSERT_EQ(before.bytes, Doubles({0.25, 0.75, 0.0}));
    const LV2_URID key = before.key, chunk = before.type;
    const LV2_URID stringType = plug.Map().Map(LV2_ATOM__String);
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();

    struct Bad {
        const char* what;
        StoredState state;
    };
    std::vector<unsigned char> longer = Doubles({0.1, 0.2, 1.0, 0.5});
    std::vector<unsigned char> shorter = Doubles({0.1, 0.2});
    std::vector<unsigned char> odd = Doubles({0.1, 0.2, 1.0});
    odd.pop_back();
    const Bad cases[] = {
        {"short", {key, chunk, 0, shorter, true}},
        {"one byte short", {key, chunk, 0, odd, true}},
        {"long", {key, chunk, 0, longer, true}},
        {"empty", {key, chunk, 0, {}, true}},
        {"foreign type", {key, stringType, 0, Doubles({0.1, 0.2, 1.0}), true}},
        {"NaN", {key, chunk, 0, Doubles({0.1, nan, 1.0}), true}},
        {"infinite", {key, chunk, 0, Doubles({inf, 0.2, 1.0}), true}},
        {"missing", {key, chunk, 0, Doubles({0.1, 0.2, 1.0}), false}},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.what);
        StoredState s = bad.state;
        EXPECT_NE(Restore(plug, s), LV2_STATE_SUCCESS);
        EXPECT_EQ(Save(plug).bytes, before.bytes);
    }
    const std::vector<float> expected = RenderCircuit(44100.0, 0.25f, 0.75f, 2048);
    EXPECT_EQ(Render(plug, 2048), expected);

    StoredState beyond{key, chunk, 0, Doubles({2.0, -1.0, 1.0}), true};
    EXPECT_EQ(Restore(plug, beyond), LV2_STATE_SUCCESS);
    EXPECT_EQ(Save(plug).bytes, Doubles({1.0, 0.0, 1.0}));
}

// Without urid:map the audio still runs (see the audio tests); the state calls answer an error.
TEST(LV2State, WithoutURIDMapTheStateCallsAnswerAnError) {
    TestInstance plug(kMonoURI, 44100.0, HostFeatures::kNone);
    ASSERT_TRUE(plug.Ok() && plug.StateInterface());
    LV2_State_Status status = LV2_STATE_SUCCESS;
    const StoredState s = Save(plug, &status);
    EXPECT_EQ(status, LV2_STATE_ERR_NO_FEATURE);
    EXPECT_TRUE(s.bytes.empty());
    StoredState any{1, 2, 0, Doubles({0.1, 0.2, 1.0}), true};
    EXPECT_EQ(Restore(plug, any), LV2_STATE_ERR_NO_FEATURE);
}
