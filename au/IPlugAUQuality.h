// The processing-quality setting as a custom Audio Unit property, shared by the component and any
// host that wants to set it. A UInt32 in the global scope: 0 standard, 1 high quality (the product
// refuses any other value). Setting it tells the property's listeners and, when the latency
// changes with it, kAudioUnitProperty_Latency's. The class-info dictionary carries it under
// kIPlugQualityClassInfoKey, written only when it is not 0, so standard sessions keep the bytes of
// builds without the setting, and their sessions open in standard.
#pragma once

#include <AudioUnit/AudioUnit.h>

constexpr AudioUnitPropertyID kIPlugQualityPropertyID = 64000; // the first custom property ID
constexpr const char* kIPlugQualityClassInfoKey = "quality";
