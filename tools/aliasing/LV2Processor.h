// Any installed LV2 plug-in as an aliasing Processor, hosted through lilv: the first audio input
// and every other input get the signal, the first audio output is measured.
#pragma once

#include "tools/aliasing/AliasMeasure.h"

#include <string>
#include <utility>
#include <vector>

namespace aliasing {

struct LV2Setting {
    std::string uri;
    std::vector<std::pair<std::string, float>> controls; // by port symbol; others at defaults
};

// A fresh instance at rate with the controls set, wrapped as a Processor; on failure an empty
// Processor and the reason in error. The plug-in's name goes to name when asked.
Processor LV2Processor(const LV2Setting& setting, double rate, std::string* error,
                       std::string* name = nullptr);

// A control port's range (false when the plug-in or port is not found).
bool LV2ControlRange(const std::string& uri, const std::string& symbol, float* min, float* max,
                     std::string* error);

} // namespace aliasing
