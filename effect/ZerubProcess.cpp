#include "effect/ZerubProcess.h"

#include <cstddef>
#include <cstring>

namespace {

template <typename T>
void ZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                double level, bool bypassed, const T* const* inputs, T* const* outputs,
                int nFrames) {
    left.CalcIfChanged(sampleRate);
    right.CalcIfChanged(sampleRate);
    if (nFrames <= 0) return;
    if (bypassed) {
        for (int c = 0; c < 2; ++c)
            if (outputs[c] != inputs[c])
                std::memmove(outputs[c], inputs[c], sizeof(T) * static_cast<size_t>(nFrames));
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
