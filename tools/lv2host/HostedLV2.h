// Any installed LV2 plug-in hosted through lilv, for the programs that measure plug-ins from
// outside (the aliasing tool, the LV2 benchmark host): one instance with everything it points
// at. Offered: urid:map and unmap, options (block lengths and sample rate),
// bufsz:boundedBlockLength and, when asked, fixedBlockLength. Control inputs start at their
// defaults, CV inputs get silence, atom inputs empty sequences.
#pragma once

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lv2host {

// The program's one world, every installed bundle loaded (the slow part: done once).
LilvWorld* World();
// The installed plug-in of this URI, or null.
const LilvPlugin* FindPlugin(const std::string& uri);
// Its name, or the URI when it has none.
std::string PluginName(const LilvPlugin* plugin, const std::string& uri);

using Controls = std::vector<std::pair<std::string, float>>; // by port symbol

class HostedLV2 {
public:
    HostedLV2() = default;
    ~HostedLV2();
    HostedLV2(const HostedLV2&) = delete;
    HostedLV2& operator=(const HostedLV2&) = delete;

    // Instantiates and activates the plug-in at rate for blocks of at most maxBlock frames, the
    // controls set; false with the reason in error.
    bool Open(const std::string& uri, double rate, int maxBlock, const Controls& controls,
              bool fixedBlocks, std::string* error);
    int AudioInputs() const { return static_cast<int>(audioIn.size()); }

    // n frames (n <= maxBlock): audio input a reads in[a % inCount], output a writes out[a]
    // (outputs from outCount on go to a scratch buffer).
    void Run(const float* const* in, int inCount, float* const* out, int outCount, uint32_t n);

    // One more instance of the plug-in with the same features, activated (as a host adds one),
    // or null; the caller deactivates and frees it.
    LilvInstance* Another();

private:
    LV2_URID Map(const char* uri);
    bool Ports(const Controls& settings, std::string* error);
    void ResetAtom(size_t a);

    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    double rate = 0.0;
    std::vector<std::string> uris;
    LV2_URID_Map map{};
    LV2_URID_Unmap unmap{};
    int32_t block = 0;
    float rateValue = 0.0f;
    LV2_Options_Option options[5]{};
    std::vector<LV2_Feature> featureData;
    std::vector<const LV2_Feature*> features;
    std::vector<uint32_t> audioIn, audioOut, controlPorts, cvPorts, atomPorts;
    std::vector<bool> atomIsInput;
    std::vector<float> controls;
    std::vector<std::vector<uint64_t>> atoms;
    std::vector<float> silence, scratch;
};

} // namespace lv2host
