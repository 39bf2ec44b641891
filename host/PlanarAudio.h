// Planar 32-bit float audio, one vector per channel, as the Audio Unit interface carries it.
#pragma once

#include <vector>

struct PlanarAudio {
    int sampleRate = 0;                       // Hz
    std::vector<std::vector<float>> channels; // all of the same length

    PlanarAudio() = default;
    PlanarAudio(int rate, int nChannels, int nFrames)
        : sampleRate(rate), channels(nChannels, std::vector<float>(nFrames, 0.0f)) {}

    int NumChannels() const { return static_cast<int>(channels.size()); }
    int NumFrames() const { return channels.empty() ? 0 : static_cast<int>(channels[0].size()); }
};
