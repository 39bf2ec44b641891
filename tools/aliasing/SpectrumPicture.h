// Two spectra of one tone drawn over each other with the raster library, written as PNG.
#pragma once

#include "tools/aliasing/AliasMeasure.h"

#include <string>

namespace aliasing {

struct Trace {
    const Spectrum* spectrum;
    std::string label;   // the legend's text
    unsigned int colour; // 0xAARRGGBB
};

// 0 to rate / 2 across, 0 to -140 dB against the fundamental down (the envelope: per pixel
// column its strongest bin), the 20 kHz edge of the band
// marked; the first trace is drawn first, so the second lies on top. False when it cannot write.
bool WriteSpectrumPicture(const std::string& path, const std::string& title, const Trace& back,
                          const Trace& front);

} // namespace aliasing
