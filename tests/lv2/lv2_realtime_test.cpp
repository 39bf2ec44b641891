// What run() costs a host's audio thread and what an instance costs its memory: the allocator and
// pthread_mutex_lock are interposed (host/RenderProbe) and count on the armed thread only.
#include "LV2TestHost.h"
#include "host/RenderProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <malloc.h>

namespace {

bool Sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

// Runs of every kind of length, with every port moving between runs (NaN and the host's bypass
// included), take no lock and allocate nothing. The probe sees this plug-in's own mutex when
// something does take it (activate), so a zero means none was taken.
TEST(LV2Realtime, RunTakesNoLockAndAllocatesNothing) {
    for (const char* uri : {kMonoURI, kStereoURI}) {
        SCOPED_TRACE(uri);
        TestInstance plug(uri, 48000.0, HostFeatures::kMapAndOptions, 8192);
        ASSERT_TRUE(plug.Ok());
        const size_t n = 8192;
        std::vector<std::vector<float>> in, out;
        for (int c = 0; c < plug.NIn(); ++c)
            in.push_back(TestSignal(n, 3 + c));
        out.assign(plug.NOut(), std::vector<float>(n));
        plug.Run(in, out, 0, 1024); // outside the count: first touches of pages and symbols

        const uint32_t lengths[] = {1024, 137, 0, 8192, 1, 256, 257, 4096};
        const float nan = std::numeric_limits<float>::quiet_NaN();
        renderprobe::Arm();
        for (int run = 0; run < 48; ++run) {
            plug.Control("gain") = run % 5 == 4 ? nan : static_cast<float>(run % 3) / 2.0f;
            plug.Control("level") = run % 2 ? 1.0f : 0.0f;
            plug.Control("enabled") = run % 4 == 3 ? 0.0f : 1.0f;
            plug.Control("by") = run % 6 == 5 ? 1.0f : 0.0f;
            plug.Run(in, out, 0, lengths[run % 8]);
        }
        renderprobe::Disarm();
        const renderprobe::Counts counts = renderprobe::Read();
        if (renderprobe::AllocationsCounted()) {
            EXPECT_EQ(counts.allocations, 0);
            EXPECT_EQ(counts.frees, 0);
        }
        if (renderprobe::LocksCounted()) {
            EXPECT_EQ(counts.mutexes, 0);
            EXPECT_EQ(counts.unrecorded, 0);
            renderprobe::Arm();
            lilv_instance_activate(plug.Get());
            renderprobe::Disarm();
            EXPECT_GE(renderprobe::Read().mutexes, 1)
                << "the probe does not see the plug-in's locks";
        }
    }
}

// Each extra instance costs at most 32 KB of heap, whatever maximum block the host announces.
TEST(LV2Realtime, AnExtraInstanceCostsAtMost32KB) {
    if (Sanitized()) GTEST_SKIP() << "the sanitizer runtime owns the allocator";
    for (const char* uri : {kMonoURI, kStereoURI}) {
        for (int maxBlock : {64, 8192, 1 << 20}) {
            SCOPED_TRACE(std::string(uri) + ", host maximum " + std::to_string(maxBlock));
            TestWorld();
            TestInstance first(uri, 48000.0, HostFeatures::kMapAndOptions, maxBlock);
            ASSERT_TRUE(first.Ok());
            // The host's own objects (the URID map, the lilv instance) are created before the
            // count: only what instantiate and activate allocate is the plug-in's.
            const LV2_Feature* const* features = first.Features();
            const LilvPlugin* plugin = first.Plugin();
            const int kInstances = 16;
            std::vector<LilvInstance*> instances(kInstances);
            const struct mallinfo2 before = mallinfo2();
            for (LilvInstance*& i : instances) {
                i = lilv_plugin_instantiate(plugin, 48000.0, features);
                ASSERT_NE(i, nullptr);
                lilv_instance_activate(i);
            }
            const struct mallinfo2 after = mallinfo2();
            const double perInstance = (static_cast<double>(after.uordblks + after.hblkhd) -
                                        static_cast<double>(before.uordblks + before.hblkhd)) /
                                       kInstances;
            EXPECT_LE(perInstance, 32.0 * 1024.0);
            RecordProperty("bytes_per_instance", static_cast<int>(perInstance));
            for (LilvInstance* i : instances) {
                lilv_instance_deactivate(i);
                lilv_instance_free(i);
            }
        }
    }
}
