#include "Renderers.h"

#include "effect/DriveCircuit.h"

Planar RenderDefinition(const Job& job) {
    Planar out = job.input;
    for (size_t c = 0; c < job.input.size(); ++c) {
        DriveCircuit circuit;
        size_t s = 0;
        for (const Segment& segment : job.segments) {
            circuit.Calc(job.rate);
            for (int i = 0; i < segment.frames; ++i, ++s)
                if (!segment.bypass)
                    out[c][s] = static_cast<float>(
                        circuit.Process(job.input[c][s], segment.gain, segment.level));
        }
    }
    return out;
}
