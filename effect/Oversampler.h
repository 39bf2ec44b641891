// Polyphase 2^k resampling around a circuit that runs at a multiple of the host rate: a cascade
// of linear-phase half-band FIR stages up, the same stages down. The first stage (host rate to
// twice it) carries the sharp filter: flat to 20 kHz at 44.1 kHz and at least 100 dB down from
// 24.1 kHz, so nothing the circuit makes folds into the audio band. Later stages only have to
// reject what lies above the first stage's band, and use a short filter.
//
// No allocation and no lock anywhere: every buffer is a fixed member, and blocks are processed in
// chunks of kOversampleChunk host frames.
#pragma once

#include "effect/DriveCircuit.h"

constexpr int kOversampleMaxStages = 4; // up to 16x (host rates down to 12 kHz reach 192 kHz)
constexpr int kOversampleMaxFactor = 1 << kOversampleMaxStages;
constexpr int kOversampleChunk = 8; // host frames per chunk
constexpr int kOversampleBufferSize = kOversampleChunk * kOversampleMaxFactor;

// The circuit's ceiling: HQ runs it at the host rate times the largest 2^k not above this.
constexpr double kOversampleMaxCircuitRate = kDriveCircuitMaxRate;

// One half-band filter, h[c] = 1/2 at the centre c = 2K - 1, zero at every other even distance
// from it, and K symmetric pairs of taps at odd distances: tap[i] = h[c - (2i + 1)] = h[c + 2i +
// 1].
constexpr int kSharpHalfbandPairs = 38;
constexpr int kWideHalfbandPairs = 7;

struct HalfbandFilter {
    static constexpr int kMaxPairs = kSharpHalfbandPairs;
    int pairs = 0;
    double tap[kMaxPairs] = {};
    int Length() const { return 4 * pairs - 1; }
    // Magnitude of the whole filter (centre tap included) at f in cycles per sample of its rate.
    double Magnitude(double f) const;
};

// The two designs, computed once in double precision (Kaiser-windowed sinc, pair taps normalised
// so that the response at DC is exactly 1).
const HalfbandFilter& SharpHalfband(); // first stage
const HalfbandFilter& WideHalfband();  // later stages

// The stage count k for a host rate: the largest that keeps rate * 2^k at or below 192 kHz (2 at
// 44.1 and 48 kHz, 1 at 88.2 and 96 kHz, 0 from 176.4 kHz), at most kOversampleMaxStages.
int OversampleStagesFor(double hostRate);

// The delay of a resampler pair with this many stages, in whole host frames.
int OversampleLatencyFrames(int stages);

// One channel's resampler pair. Setup chooses the stage count and clears the histories; Up and
// Down then stream through them. The pipeline (up, then a short delay at the circuit rate, then
// down) delays by LatencyFrames() whole host frames.
class Oversampler {
public:
    void Setup(int stages);
    void Clear(); // zeroes the histories, keeps the stage count
    int Stages() const { return stages; }
    int Factor() const { return 1 << stages; }
    int LatencyFrames() const { return latency; }

    // n host frames (n <= kOversampleChunk) from in to buf[0, n * Factor()).
    void Up(const double* in, int n, double* buf);
    void Up(const float* in, int n, double* buf);
    // buf[0, n * Factor()) back to n host frames in out; buf is overwritten.
    void Down(double* buf, int n, double* out);
    void Down(double* buf, int n, float* out);

private:
    // Each stage's histories live in the pool (offsets set by Setup): a doubled ring of 2K inputs
    // up; a doubled ring of 2K even and one of K odd inputs down.
    struct UpStage {
        const HalfbandFilter* filter = nullptr;
        int pos = 0;
        int hist = 0;
    };
    struct DownStage {
        const HalfbandFilter* filter = nullptr;
        int evenPos = 0, oddPos = 0;
        int even = 0, odd = 0;
    };
    static constexpr int kPoolSize =
        10 * (kSharpHalfbandPairs + (kOversampleMaxStages - 1) * kWideHalfbandPairs);
    // Stage s maps m samples at buf[end - m, end) to 2m at buf[end - 2m, end), in place.
    void UpStep(UpStage& s, double* buf, int end, int m);
    // Stage s maps 2m samples at buf[0, 2m) to m at buf[0, m), in place.
    void DownStep(DownStage& s, double* buf, int m);
    void PadDelay(double* buf, int n);
    template <typename T>
    void UpImpl(const T* in, int n, double* buf);
    template <typename T>
    void DownImpl(double* buf, int n, T* out);

    int stages = 0;
    int latency = 0;
    int pad = 0; // circuit-rate samples of delay that make the total a whole number of host frames
    int padPos = 0;
    double padHist[kOversampleMaxFactor] = {};
    double pool[kPoolSize] = {};
    UpStage up[kOversampleMaxStages];
    DownStage down[kOversampleMaxStages];
};
