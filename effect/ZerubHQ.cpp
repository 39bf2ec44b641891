#include "effect/ZerubHQ.h"

void ZerubHQ::Prepare(double hostRate) {
    if (hostRate == preparedRate) return;
    preparedRate = hostRate;
    const int stages = OversampleStagesFor(hostRate);
    if (stages == left.Stages()) return;
    left.Setup(stages);
    right.Setup(stages);
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
