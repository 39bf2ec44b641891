// A small LV2 host on lilv for the tests: one world holding the built bundle, a URID map, and
// instances that own their control values and run on the caller's audio buffers.
#pragma once

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <string>
#include <vector>

inline constexpr const char* kMonoURI = "https://www.quillmoor.com/plugins/zerub#mono";
inline constexpr const char* kStereoURI = "https://www.quillmoor.com/plugins/zerub#stereo";

class URIDMap {
public:
    URIDMap();
    URIDMap(const URIDMap&) = delete;
    URIDMap& operator=(const URIDMap&) = delete;
    LV2_URID Map(const char* uri);
    const char* Unmap(LV2_URID urid) const;
    LV2_URID_Map* MapData() { return &map; }
    LV2_URID_Unmap* UnmapData() { return &unmap; }
    const LV2_Feature* MapFeature() const { return &mapFeature; }
    const LV2_Feature* UnmapFeature() const { return &unmapFeature; }

private:
    std::vector<std::string> uris;
    LV2_URID_Map map;
    LV2_URID_Unmap unmap;
    LV2_Feature mapFeature, unmapFeature;
};

// The process-wide world with only the bundle under test loaded.
LilvWorld* TestWorld();
const LilvPlugin* TestPlugin(const char* uri);

// What the host offers at instantiation.
enum class HostFeatures { kNone, kMap, kMapAndOptions };

class TestInstance {
public:
    TestInstance(const char* uri, double rate, HostFeatures features = HostFeatures::kMap,
                 int maxBlock = 4096);
    ~TestInstance();
    TestInstance(const TestInstance&) = delete;
    TestInstance& operator=(const TestInstance&) = delete;

    bool Ok() const { return instance != nullptr; }
    LilvInstance* Get() const { return instance; }
    const LilvPlugin* Plugin() const { return plugin; }
    URIDMap& Map() { return map; }
    const LV2_Feature* const* Features() const { return featureList.data(); }
    int NIn() const { return static_cast<int>(audioIn.size()); }
    int NOut() const { return static_cast<int>(audioOut.size()); }

    // The value the control port with this symbol holds (connected at construction).
    float& Control(const char* symbol);
    // Connects the audio ports to in[c] + offset / out[c] + offset and runs n frames.
    void Run(const std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
             size_t offset, uint32_t n);

private:
    URIDMap map;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    int32_t maxBlockValue = 0;
    LV2_Options_Option options[2] = {};
    LV2_Feature optionsFeature = {};
    std::vector<const LV2_Feature*> featureList;
    std::vector<uint32_t> audioIn, audioOut;
    std::vector<std::string> controlSymbols;
    std::vector<float> controls;
};

// Signals for the tests: a seeded mix of sine and noise in [-1, 1], scaled by amplitude.
std::vector<float> TestSignal(size_t n, unsigned seed, float amplitude = 0.9f);
