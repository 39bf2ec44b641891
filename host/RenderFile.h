// render IN OUT: an audio file through the component, block by block, as a host renders it.
#pragma once

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
    std::string format = "float"; // a name from WavSampleFormats()
    std::string component;        // a .component bundle; empty: the search path
};

constexpr int kMaxRenderBlock = 8192;

// Reads the input, renders it and writes the output through a temporary file, so that a
// failure leaves no output. progressFd receives a progress bar when it is a terminal and the
// file is longer than a few seconds (-1: never).
Status RenderFile(const RenderFileOptions& options, int progressFd);
