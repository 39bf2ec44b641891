#include "effect/ZerubHQ.h"

void ZerubHQ::Prepare(double hostRate) {
    if (hostRate == preparedRate) return;
    preparedRate = hostRate;
    const int stages = OversampleStagesFor(hostRate);
    const HalfbandFilter first = stages > 0 ? DesignFirstHalfband(hostRate) : HalfbandFilter();
    left.Setup(stages, first);
    right.Setup(stages, first);
}

void ZerubHQ::Clear() {
    left.Clear();
    right.Clear();
}

template <typename T>
void ZerubHQ::ProcessImpl(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate,
                          double gain, double level, bool bypassed, const T* const* inputs,
                          T* const* outputs, int nFrames) {
    Prepare(hostRate);
    const int factor = Factor();
    circuitL.CalcIfChanged(hostRate * factor);
    circuitR.CalcIfChanged(hostRate * factor);
    const int chunk = left.ChunkFrames();
    for (int done = 0; done < nFrames;) {
        const int n = nFrames - done < chunk ? nFrames - done : chunk;
        // Both channels' chunk is read before either is written: outputs may hold inputs.
        left.Up(inputs[0] + done, n, bufL);
        right.Up(inputs[1] + done, n, bufR);
        if (!bypassed)
            ProcessBlockPair(circuitL, circuitR, bufL, bufR, bufL, bufR, n * factor, gain, level);
        left.Down(bufL, n, outputs[0] + done);
        right.Down(bufR, n, outputs[1] + done);
        done += n;
    }
}

void ZerubHQ::Process(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate, double gain,
                      double level, bool bypassed, const double* const* inputs,
                      double* const* outputs, int nFrames) {
    ProcessImpl(circuitL, circuitR, hostRate, gain, level, bypassed, inputs, outputs, nFrames);
}

void ZerubHQ::Process(DriveCircuit& circuitL, DriveCircuit& circuitR, double hostRate, double gain,
                      double level, bool bypassed, const float* const* inputs,
                      float* const* outputs, int nFrames) {
    ProcessImpl(circuitL, circuitR, hostRate, gain, level, bypassed, inputs, outputs, nFrames);
}

void InputHistory::Clear() {
    for (double* channel : ring)
        for (int i = 0; i < kFrames; ++i)
            channel[i] = 0.0;
    pos = 0;
}

template <typename T>
void InputHistory::Record(const T* const* in, int n) {
    // Only the last kFrames matter; they go in as at most two runs, up to the ring's end and on
    // from its start.
    const int skip = n > kFrames ? n - kFrames : 0;
    pos = (pos + skip) % kFrames;
    for (int j = skip; j < n;) {
        const int run = n - j < kFrames - pos ? n - j : kFrames - pos;
        for (int k = 0; k < run; ++k) {
            ring[0][pos + k] = static_cast<double>(in[0][j + k]);
            ring[1][pos + k] = static_cast<double>(in[1][j + k]);
        }
        j += run;
        pos = (pos + run) % kFrames;
    }
}

template <typename T>
void InputHistory::Delay(const T* const* in, T* const* out, int n, int delay) {
    delay = delay < 0 ? 0 : (delay >= kFrames ? kFrames - 1 : delay);
    for (int j = 0; j < n; ++j) {
        // Both inputs are read before either output is written.
        ring[0][pos] = static_cast<double>(in[0][j]);
        ring[1][pos] = static_cast<double>(in[1][j]);
        const int from = pos >= delay ? pos - delay : pos - delay + kFrames;
        out[0][j] = static_cast<T>(ring[0][from]);
        out[1][j] = static_cast<T>(ring[1][from]);
        pos = pos + 1 == kFrames ? 0 : pos + 1;
    }
}

template void InputHistory::Record(const float* const*, int);
template void InputHistory::Record(const double* const*, int);
template void InputHistory::Delay(const float* const*, float* const*, int, int);
template void InputHistory::Delay(const double* const*, double* const*, int, int);
