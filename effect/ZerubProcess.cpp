#include "effect/ZerubProcess.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Outputs 0 and 1 take inputs 0 and 1 as though both inputs were read before either output is
// written: a host may hand an output the other channel's input buffer (LV2 lets any input share
// any output's buffer), and copying channel 0 first would then overwrite input 1 before it is read.
template <typename T>
void CopyPair(const T* const* inputs, T* const* outputs, size_t n) {
    if (outputs[0] == inputs[1] && outputs[1] == inputs[0]) {
        // Each output holds the other channel's input: the two buffers trade contents.
        if (inputs[0] != inputs[1]) std::swap_ranges(outputs[0], outputs[0] + n, outputs[1]);
        return;
    }
    // Only one output can hold the other channel's input here: that channel goes second.
    const int first = outputs[0] == inputs[1] ? 1 : 0;
    for (int c : {first, 1 - first})
        if (outputs[c] != inputs[c]) std::memmove(outputs[c], inputs[c], sizeof(T) * n);
}

template <typename T>
void ZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                double level, bool bypassed, const T* const* inputs, T* const* outputs,
                int nFrames) {
    left.CalcIfChanged(sampleRate);
    right.CalcIfChanged(sampleRate);
    if (nFrames <= 0) return;
    if (bypassed) {
        CopyPair(inputs, outputs, static_cast<size_t>(nFrames));
        return;
    }
    ProcessBlockPair(left, right, inputs[0], inputs[1], outputs[0], outputs[1], nFrames, gain,
                     level);
}

} // namespace

void ProcessZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                       double level, bool bypassed, const double* const* inputs,
                       double* const* outputs, int nFrames) {
    ZerubBlock(left, right, sampleRate, gain, level, bypassed, inputs, outputs, nFrames);
}

void ProcessZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                       double level, bool bypassed, const float* const* inputs,
                       float* const* outputs, int nFrames) {
    ZerubBlock(left, right, sampleRate, gain, level, bypassed, inputs, outputs, nFrames);
}
