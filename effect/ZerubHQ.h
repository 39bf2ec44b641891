// The effect's HQ processing: each channel's circuit at the host rate times 2^k (at most
// 192 kHz), between an Oversampler pair. Free of any wrapper, like ZerubProcess.
#pragma once

#include "effect/DriveCircuit.h"
#include "effect/Oversampler.h"

// Both channels' latest inputs, so that a bypass in HQ can hand them on as late as the HQ path
// would: recorded on every processed block, played back delayed on a bypassed one.
class InputHistory {
public:
    static constexpr int kFrames = OversampleMaxLatency() + 1;

    void Clear();
    // Render thread. Keeps in[0] and in[1].
    template <typename T>
    void Record(const T* const* in, int n);
    // Render thread. out[c][j] becomes the input delay frames before in[c][j] (0 <= delay <
    // kFrames; the history supplies what came before this block) and the inputs are kept. Any
    // output may share any input's buffer.
    template <typename T>
    void Delay(const T* const* in, T* const* out, int n, int delay);

private:
    double ring[2][kFrames] = {};
    int pos = 0; // where the next frame goes
};

class ZerubHQ {
public:
    // Chooses the factor and designs the first stage for a host rate (a millisecond or so: call it
    // when the rate is set, so that a block finds it done); a new rate clears the histories.
    void Prepare(double hostRate);
    void Clear(); // zeroes the resampler histories
    int LatencyFrames() const { return left.LatencyFrames(); }
    int Factor() const { return left.Factor(); }

    // One block (render thread): the inputs through the resamplers and, unless bypassed, the
    // circuits at the raised rate between them. A bypassed block still runs the resamplers, so
    // its output keeps the same delay and switching bypass leaves no gap. Reads inputs 0 and 1,
    // writes outputs 0 and 1; any output may share any input's buffer.
    void Process(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate, double gain,
                 double level, bool bypassed, const double* const* inputs, double* const* outputs,
                 int nFrames);
    void Process(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate, double gain,
                 double level, bool bypassed, const float* const* inputs, float* const* outputs,
                 int nFrames);

private:
    template <typename T>
    void ProcessImpl(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate, double gain,
                     double level, bool bypassed, const T* const* inputs, T* const* outputs,
                     int nFrames);

    double preparedRate = -1.0;
    Oversampler left, right;
    float bufL[kOversampleBufferSize] = {};
    float bufR[kOversampleBufferSize] = {};
};
