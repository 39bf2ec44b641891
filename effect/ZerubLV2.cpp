// The LV2 bundle's identity and presets: its plug-ins and presets live under the maker's address.
#include "effect/Zerub.h"
#include "lv2/LV2Product.h"

const char* LV2PluginURIBase() {
    return "https://www.quillmoor.com/plugins/zerub";
}

namespace {

// The defaults, then the three sounds the demo renders (Gain, Level as zerub-host render --demo).
const LV2PresetValue kClean[] = {{Zerub::kGain, 0.10}, {Zerub::kLevel, 0.69}};
const LV2PresetValue kMedium[] = {{Zerub::kGain, 0.50}, {Zerub::kLevel, 0.48}};
const LV2PresetValue kFull[] = {{Zerub::kGain, 1.00}, {Zerub::kLevel, 0.41}};
const LV2Preset kPresets[] = {
    {"Defaults", nullptr, 0},
    {"Clean", kClean, 2},
    {"Medium", kMedium, 2},
    {"Full", kFull, 2},
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
