// Polyphase 2^k resampling around a circuit that runs at a multiple of the host rate: a cascade
// of linear-phase half-band FIR stages up, the same stages down. The first stage (host rate to
// twice it) carries the sharp filter, designed for the host's own rate: flat to 20 kHz and at
// least 100 dB down from the host rate minus 20 kHz, so nothing the circuit makes folds into the
// audio band. The higher the rate, the wider its transition and the fewer taps it needs. Later
// stages only have to reject what lies above the first stage's band, and use a short filter.
//
// The filters run in single precision, four outputs to a vector (the compiler's generic vectors:
// SSE on x86, NEON on ARM), each output's sum in a fixed order, so a result never depends on
// where a block ends. Their rounding lies some 130 dB below the signal, under what the filters
// let through. No allocation and no lock anywhere: every buffer is a fixed member, and blocks
// are processed in chunks of ChunkFrames() host frames.
#pragma once

#include "effect/DriveCircuit.h"

constexpr int kOversampleMaxStages = 4; // up to 16x (host rates down to 12 kHz reach 192 kHz)
constexpr int kOversampleMaxFactor = 1 << kOversampleMaxStages;
constexpr int kOversampleBufferSize = 256; // circuit-rate samples per chunk and channel

// The circuit's ceiling: HQ runs it at the host rate times the largest 2^k not above this.
constexpr double kOversampleMaxCircuitRate = kDriveCircuitMaxRate;

// One half-band filter, h[c] = 1/2 at the centre c = 2K - 1, zero at every other even distance
// from it, and K symmetric pairs of taps at odd distances: tap[i] = h[c - (2i + 1)] = h[c + 2i +
// 1].
// The first stage's design takes at most kFirstHalfbandMaxPairs: what 44.1 kHz (the narrowest
// transition, from 20 to 24.1 kHz) needs.
constexpr int kFirstHalfbandMaxPairs = 38;
constexpr int kWideHalfbandPairs = 7;

struct HalfbandFilter {
    static constexpr int kMaxPairs = kFirstHalfbandMaxPairs;
    int pairs = 0;
    float tap[kMaxPairs] = {}; // as the filter runs: the design rounded to single precision
    int Length() const { return 4 * pairs - 1; }
    // Magnitude of the whole filter as it runs (centre tap included) at f in cycles per sample of
    // its rate.
    double Magnitude(double f) const;
};

// The designs are Kaiser-windowed sincs computed in double precision, pair taps normalised so
// that the response at DC is 1, then rounded to single precision.
//
// The first stage for a host rate: the fewest pairs (and the window's shape for them) whose
// response as it runs is at least 100 dB down from the host rate minus 20 kHz to twice the host
// rate's Nyquist. A half-band filter's response at f and at its Nyquist minus f add up to 1, so
// the band to 20 kHz is then flat within 0.0001 dB. Below 44.1 kHz the band shrinks with the rate
// (44.1 kHz's design, scaled). A search over designs, a millisecond or so: off the audio path.
HalfbandFilter DesignFirstHalfband(double hostRate);
const HalfbandFilter& WideHalfband(); // later stages: one design for every rate

// The delay of a cascade of this many stages, its filters up and down, in samples at the circuit
// rate: each stage's centre tap twice at its own rate.
constexpr long OversampleCircuitDelay(int stages, int firstPairs) {
    long delay = 0;
    for (int s = 0; s < stages; ++s)
        delay +=
            2 * (2L * (s == 0 ? firstPairs : kWideHalfbandPairs) - 1) * (1L << (stages - 1 - s));
    return delay;
}

// The largest latency any stage count and first stage cost, in host frames.
constexpr int OversampleMaxLatency() {
    long most = 0;
    for (int k = 0; k <= kOversampleMaxStages; ++k) {
        const long frames =
            (OversampleCircuitDelay(k, kFirstHalfbandMaxPairs) + (1L << k) - 1) / (1L << k);
        most = frames > most ? frames : most;
    }
    return static_cast<int>(most);
}

// The stage count k for a host rate: the largest that keeps rate * 2^k at or below 192 kHz (2 at
// 44.1 and 48 kHz, 1 at 88.2 and 96 kHz, 0 from 176.4 kHz), at most kOversampleMaxStages.
int OversampleStagesFor(double hostRate);

// The delay of a resampler pair with this many stages and first stage, in whole host frames.
int OversampleLatencyFrames(int stages, int firstPairs);
// The same for a host rate, its stages and first stage designed for it.
int OversampleLatencyFrames(double hostRate);

// The floats a resampler's stage s keeps of its inputs with this many stages: lines of the last
// 2K - 1 inputs (K for the odd phase down) and of a chunk's, which brings stage s at most
// kOversampleBufferSize >> (stages - s) of them. The first stage's lines have room for its most
// pairs, so a new rate never moves the pool's size.
constexpr int OversampleLines(int stages, int s) {
    const int pairs = s == 0 ? kFirstHalfbandMaxPairs : kWideHalfbandPairs;
    const int in = kOversampleBufferSize >> (stages - s);
    return 2 * (2 * pairs - 1 + in) + pairs + in;
}

// The most any stage count needs.
constexpr int OversamplePoolSize() {
    int most = 0;
    for (int k = 0; k <= kOversampleMaxStages; ++k) {
        int total = 0;
        for (int s = 0; s < k; ++s)
            total += OversampleLines(k, s);
        most = total > most ? total : most;
    }
    return most;
}

// One channel's resampler pair. Setup chooses the stage count and the first stage's filter and
// clears the histories; Up and Down then stream through them. The pipeline (up, then a short
// delay at the circuit rate, then down) delays by LatencyFrames() whole host frames.
class Oversampler {
public:
    // The stages and first stage a host rate needs (designs it: off the audio path).
    void Setup(double hostRate);
    void Setup(int stages, const HalfbandFilter& firstStage);
    void Clear(); // zeroes the histories, keeps the stage count and filters
    int Stages() const { return stages; }
    int Factor() const { return 1 << stages; }
    int LatencyFrames() const { return latency; }
    // The most host frames one Up or Down takes: a chunk fills the buffer at the circuit rate.
    int ChunkFrames() const { return kOversampleBufferSize >> stages; }

    // n host frames (0 < n <= ChunkFrames()) from in to buf[0, n * Factor()).
    void Up(const double* in, int n, float* buf);
    void Up(const float* in, int n, float* buf);
    // buf[0, n * Factor()) back to n host frames in out; buf is overwritten.
    void Down(float* buf, int n, double* out);
    void Down(float* buf, int n, float* out);

private:
    // Each stage keeps its inputs in a line in the pool: the last 2K - 1 of earlier chunks (K for
    // the odd phase down), then the chunk's own, so that every output's window is contiguous.
    static constexpr int kMostIn = kOversampleBufferSize / 2; // inputs to one stage per chunk
    struct Lines {
        int up = 0, even = 0, odd = 0; // offsets in the pool
    };
    const HalfbandFilter& Filter(int s) const { return s == 0 ? first : WideHalfband(); }
    // Stage s maps m samples at buf to 2m at buf.
    void UpStep(int s, float* buf, int m);
    // Stage s maps 2m samples at buf to m at buf.
    void DownStep(int s, float* buf, int m);
    void PadDelay(float* buf, int n);
    template <typename T>
    void UpImpl(const T* in, int n, float* buf);
    template <typename T>
    void DownImpl(float* buf, int n, T* out);

    int stages = 0;
    int latency = 0;
    HalfbandFilter first;
    int pad = 0; // circuit-rate samples of delay that make the total a whole number of host frames
    float padHist[kOversampleMaxFactor] = {};
    Lines lines[kOversampleMaxStages];
    float pool[OversamplePoolSize()] = {};
};
