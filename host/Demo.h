// render --demo: the built-in riff, dry and through the effect at three drive settings.
#pragma once

#include "host/Renderer.h"
#include "host/Status.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>

struct DemoSetting {
    const char* file; // name inside the output folder
    double gain;      // real parameter values
    double level;
};

// Clean, medium and full drive, with Level chosen so that each comes out about as loud as the
// dry riff.
extern const DemoSetting kDemoSettings[3];
constexpr const char* kDemoDryFile = "dry.wav";
constexpr int kDemoBlockFrames = 512;

using RendererFactory = std::function<std::unique_ptr<Renderer>()>;

// Writes the dry riff and one file per setting into outDir (created when missing) as 32-bit
// float WAV, each through a temporary file, and writes one summary line per finished file to
// report. Stops at the first failure; the files finished before it stay.
Status RunDemo(const std::string& outDir, const RendererFactory& makeRenderer,
               std::ostream& report);
