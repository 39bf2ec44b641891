// The effect's audio processing, free of any plug-in wrapper, so that every wrapper (and the
// benchmarks) run the same code.
#pragma once

#include "effect/DriveCircuit.h"

// One block (render thread, the caller holds whatever serialises parameter changes): the
// circuits' coefficients for the rate (recomputed only when it changed), then either an exact
// copy of the inputs (bypassed: the circuits keep their state) or both circuits side by side,
// bit-identical to Process once per sample. Always reads inputs 0 and 1 and writes outputs 0
// and 1; any output may share any input's buffer (both inputs are read before it is written).
void ProcessZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                       double level, bool bypassed, const double* const* inputs,
                       double* const* outputs, int nFrames);
// The same on single-precision buffers, converted inside the circuits' loop: each output sample
// is float(Process(double(x))), and a bypassed block copies the floats bit for bit.
void ProcessZerubBlock(DriveCircuit& left, DriveCircuit& right, double sampleRate, double gain,
                       double level, bool bypassed, const float* const* inputs,
                       float* const* outputs, int nFrames);
