// Planar 32-bit float audio, one vector per channel, as the Audio Unit interface carries it.
#pragma once

#include <cstddef>
#include <vector>

struct PlanarAudio {
    int sampleRate = 0;                       // Hz
    std::vector<std::vector<float>> channels; // all of the same length

    PlanarAudio() = default;
    // Each channel sized in place: copying a zeroed prototype would touch every sample twice.
    PlanarAudio(int rate, int nChannels, int nFrames) : sampleRate(rate), channels(nChannels) {
        for (std::vector<float>& channel : channels)
            channel.resize(static_cast<size_t>(nFrames));
    }

    int NumChannels() const { return static_cast<int>(channels.size()); }
    int NumFrames() const { return channels.empty() ? 0 : static_cast<int>(channels[0].size()); }
};
