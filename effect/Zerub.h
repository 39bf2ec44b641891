// The overdrive: one drive circuit per channel, three parameters (Gain, Level, bypass "BY").
#pragma once

#include "effect/DriveCircuit.h"
#include "effect/ZerubHQ.h"
#include "effect/ZerubWrapper.h"

class Zerub : public ZerubWrapper {
public:
    enum EParams { kGain = 0, kLevel, kBypass, kNumParams };
    enum EQuality { kQualityStandard = 0, kQualityHQ = 1 };
    // Host frames over which a change of quality crossfades from the old path to the new.
    static constexpr int kQualityFadeFrames = 256;

    // The latency of a quality at a host rate, in host frames.
    static int LatencyFor(int quality, double sampleRate);

    explicit Zerub(const IPlugInstanceInfo& instanceInfo);
    ~Zerub() override = default;

    // Clears the circuits' filter memories (not the smoothed controls): a host reset brings a
    // channel back from any state.
    void Reset() override;
    void OnParamChange(int paramIdx) override;
    // Standard is the circuit at the host rate; HQ runs it at up to 192 kHz between resamplers
    // and costs LatencyFor(kQualityHQ, rate) frames. The next block crossfades to the new path.
    bool SetQuality(int quality) override;
    int GetQuality() const override { return quality; }
    int NQualities() const override { return 2; }
    void SetSampleRate(double rate) override;
    // Render thread, plug-in mutex held. Always reads inputs 0 and 1 and writes outputs 0 and 1:
    // in mono the second channel runs on the base's scratch buffers.
    void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
    // The same on the host's float buffers, converted inside the circuits' loop (the base hands
    // silence and a discard buffer for the mono configuration's second channel).
    void ProcessFloatReplacing(const float* const* inputs, float* const* outputs,
                               int nFrames) override;
    // A host's bypass in HQ (the Audio Unit's bypass property): the inputs as late as the
    // reported latency, from the history every processed block keeps, so that the switch joins
    // the processed signal where it stands rather than a latency ahead of it.
    bool PassThroughDelayed(const float* const* inputs, float* const* outputs,
                            int nFrames) override;
    bool PassThroughDelayed(const double* const* inputs, double* const* outputs,
                            int nFrames) override;

private:
    bool Bypassed() const;
    template <typename T>
    void Run(const T* const* inputs, T* const* outputs, int nFrames);
    template <typename T>
    void RunPath(int path, const T* const* inputs, T* const* outputs, int nFrames);
    void StartQualityFade();

    int quality = kQualityStandard; // as set
    int running = kQualityStandard; // the path the blocks run (render thread)
    int fadeFrom = kQualityStandard;
    int fadeLeft = 0;  // frames of crossfade still to go
    double gain = 0.0; // parameter copies, set by OnParamChange before any processing
    double level = 0.0;
    DriveCircuit circuitL; // Standard's circuits
    DriveCircuit circuitR;
    DriveCircuit hqL; // HQ's, at the raised rate
    DriveCircuit hqR;
    ZerubHQ hq;
    InputHistory history; // the latest inputs, for a delayed bypass
};

// The plug-in factory the wrapper calls: constructs a Zerub in memory (or a new block when null)
// under a process-wide mutex. One per wrapper: each build of the effect defines its own.
ZerubWrapper* MakePlug(void* memory);
