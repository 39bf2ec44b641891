// render IN OUT: an audio file through the component, block by block, as a host renders it.
#pragma once

#include "effect/DriveCircuit.h"
#include "host/Status.h"

#include <ostream>
#include <string>
#include <vector>

struct RenderFileOptions {
    std::string input, output;
    std::vector<std::string> params; // NAME=VALUE or INDEX=VALUE, applied in order
    std::string preset;              // an .aupreset file restored before the parameters
    int blockFrames = 512;
    bool bypass = false;
    bool hq = false;              // the quality setting HQ rather than standard
    std::string format = "float"; // a name from WavSampleFormats()
    std::string component;        // a .component bundle; empty: the search path
};

constexpr int kMaxRenderBlock = 8192;

// The input's highest rate the circuit computes its coefficients for; above it, it uses this.
constexpr int kCircuitMaxRate = static_cast<int>(kDriveCircuitMaxRate);

// What a render did, for its summary line.
struct RenderSummary {
    long long frames = 0;
    int sampleRate = 0;
    int channels = 0;
    long long blocks = 0;
    double renderCpuSeconds = 0.0;     // the render loop alone, on the calling thread's CPU clock
    std::vector<std::string> warnings; // one line each, shown before the summary
};

// "IN -> OUT: 5 s of 48000 Hz stereo in 469 blocks, render loop 812x real time".
std::string SummaryLine(const RenderFileOptions& options, const RenderSummary& summary);

// Reads the input, renders it and writes the output a span of blocks at a time, with memory flat
// whatever the length, through a temporary file, so that a failure leaves no output. progressFd
// receives a progress bar when it is a terminal and the file is longer than a few seconds (-1:
// never). Refuses an output that is the input file. What deserves a warning but not a refusal (a
// file shorter than its header claims, a rate the circuit does not compute at) lands in
// summary->warnings, even when the render then fails.
Status RenderFile(const RenderFileOptions& options, int progressFd, RenderSummary* summary);
