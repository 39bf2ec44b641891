// A host saving its session while the audio thread runs (the LV2 state threading rules allow it):
// run on one thread with its ports moving, lilv's save of the same instance on another, for a
// while. Built under ThreadSanitizer by the test script: any race is a report.
#include "LV2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

// What the host's save reads: the audio thread publishes the port values it ran with.
struct Published {
    std::atomic<float> gain{0.5f}, level{0.5f}, enabled{1.0f};
    float copy[4] = {};
    URIDMap* map = nullptr;
};

const void* GetPublished(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    Published* p = static_cast<Published*>(user);
    *size = sizeof(float);
    *type = p->map->Map(LV2_ATOM__Float);
    if (!std::strcmp(symbol, "gain")) return &(p->copy[0] = p->gain.load());
    if (!std::strcmp(symbol, "level")) return &(p->copy[1] = p->level.load());
    if (!std::strcmp(symbol, "enabled")) return &(p->copy[2] = p->enabled.load());
    return &(p->copy[3] = 0.0f); // "by": this host bypasses through "enabled" only
}

} // namespace

TEST(LV2Stress, SavingWhileRunningIsRaceFreeAndSavesWhatRan) {
    TestInstance plug(kStereoURI, 48000.0);
    ASSERT_TRUE(plug.Ok());
    // The saving thread's own map: a host's URID map is its own business, not the plug-in's.
    URIDMap saveMap;
    Published published;
    published.map = &saveMap;
    saveMap.Map(LV2_ATOM__Float);

    const size_t n = 512;
    const std::vector<std::vector<float>> in = {TestSignal(n, 1), TestSignal(n, 2)};
    std::vector<std::vector<float>> out(2, std::vector<float>(n));
    std::atomic<bool> stop{false};
    std::atomic<long> runs{0};
    std::thread audio([&] {
        for (long i = 0; !stop.load() || i < 200; ++i) {
            const float gain = static_cast<float>(i % 11) / 10.0f;
            plug.Control("gain") = gain;
            plug.Control("level") = 1.0f - gain;
            plug.Control("enabled") = i % 13 == 0 ? 0.0f : 1.0f;
            plug.Run(in, out, 0, static_cast<uint32_t>(1 + i % n));
            published.gain = gain;
            published.level = 1.0f - gain;
            published.enabled = i % 13 == 0 ? 0.0f : 1.0f;
            runs = i + 1;
        }
    });
    int saves = 0;
    for (; saves < 200; ++saves) {
        LilvState* state = lilv_state_new_from_instance(
            plug.Plugin(), plug.Get(), saveMap.MapData(), nullptr, nullptr, nullptr, nullptr,
            GetPublished, &published, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(lilv_state_get_num_properties(state), 0u); // the ports are the whole state
        lilv_state_free(state);
    }
    stop = true;
    audio.join();
    EXPECT_GE(runs.load(), 200);
}
