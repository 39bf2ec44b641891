// The LV2 bundle's identity and presets: its plug-ins and presets live under the maker's address.
#include "effect/Zerub.h"
#include "effect/ZerubSounds.h"
#include "lv2/LV2Product.h"

const char* LV2PluginURIBase() {
    return "https://www.quillmoor.com/plugins/zerub";
}

namespace {

// The defaults, then the three sounds the demo renders.
template <int k>
constexpr LV2PresetValue kSound[] = {{Zerub::kGain, kZerubSounds[k].gain},
                                     {Zerub::kLevel, kZerubSounds[k].level}};
const LV2Preset kPresets[] = {
    {"Defaults", nullptr, 0},
    {kZerubSounds[0].name, kSound<0>, 2},
    {kZerubSounds[1].name, kSound<1>, 2},
    {kZerubSounds[2].name, kSound<2>, 2},
};

// The ports' texts, by parameter (the enabled port's is the bundle's own).
const char* const kComments[Zerub::kNumParams] = {
    "Drive into the clipper: 0 barely breaks up, 1 is full overdrive",
    "Output level after the clipper: 0 is silence, 1 the loudest",
    nullptr,
};

} // namespace

const LV2ProductInfo& LV2Product() {
    static const LV2ProductInfo info = {
        "An overdrive: a model of an analogue drive stage (gain network, diode clipper, output "
        "stage) per channel. Gain sets the drive, Level the output.",
        "https://www.quillmoor.com/plugins/zerub/license",
        "Quillmoor",
        "https://www.quillmoor.com/",
        Zerub::kBypass,
        kPresets,
        static_cast<int>(sizeof kPresets / sizeof kPresets[0]),
        "plugins@quillmoor.com",
        "Overdrive modelled on an analogue drive stage",
        kComments,
        Zerub::kNumParams,
    };
    return info;
}
