// Aliasing of a drive measured from outside, as a listener meets it: a bin-centred sine at
// -6 dBFS, settled for a second, then one transform of its output; every component from 0 to
// 20 kHz that is no harmonic of the input counts as aliasing, in dB against the fundamental.
// Any processor can be measured: Zerub's own paths (ZerubProcessor) or, in the program, any
// installed LV2 plug-in.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace aliasing {

constexpr int kFftSize = 8192;
constexpr int kBlockFrames = 256;
constexpr double kToneAmplitude = 0.5; // -6 dBFS
constexpr double kBandTop = 20000.0;

// n frames of the test signal in, n frames out (n <= kBlockFrames); false when it fails.
using Processor = std::function<bool(const float* in, float* out, int n)>;

struct Spectrum {
    double rate = 0.0;
    int bin = 0;               // the fundamental's bin
    std::vector<double> power; // bins 0 .. kFftSize / 2, relative to the fundamental's power
};

struct Figures {
    double strongestDbc = 0.0; // the strongest non-harmonic component
    double sumDbc = 0.0;       // all of them together
};

// The odd bin nearest f (odd, so that no harmonic folded at the host rate lands on a harmonic's
// bin): the tone is exactly periodic in the transform, with no window needed.
int ToneBin(double rate, double f);
double BinFrequency(double rate, int bin);

// The tone at f through the processor: a second to settle, then kFftSize frames transformed.
// False when the processor fails, its output is not finite or the fundamental is silent.
bool MeasureSpectrum(double rate, double f, const Processor& process, Spectrum* out);

// The figures of a spectrum: bins 1 up to bandTop that are no multiple of the tone's bin.
Figures Analyse(const Spectrum& spectrum, double bandTop = kBandTop);

// Zerub's block path as the wrappers run it, on float buffers, both channels fed the signal:
// Standard (the circuit at the host rate) or HQ, at Gain and Level.
Processor ZerubProcessor(double rate, bool hq, double gain, double level);

} // namespace aliasing
