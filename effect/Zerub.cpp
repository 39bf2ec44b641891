#include "effect/Zerub.h"

#include "containers/WDL_Mutex.h"
#include "effect/ZerubBundle.h"
#include "effect/ZerubProcess.h"
#include "plugin/HostValues.h"
#if ZERUB_WRAPPER_HAS_EDITOR
#include "effect/ZerubEditor.h"
#endif

#include <algorithm>
#include <new>

namespace {

constexpr int kNumPresets = 1;
constexpr const char* kChannelIO = "1-1 2-2";
constexpr int kVersion = 0x10000;
const char* const kViewClass = "Zerub_View";

} // namespace

Zerub::Zerub(const IPlugInstanceInfo& instanceInfo)
    : ZerubWrapper(instanceInfo, kNumParams, kChannelIO, kNumPresets, "Zerub", "", "Quillmoor",
                   kVersion, FourCC("ZRB1"), FourCC("Qmor"), 0, false, false, false, 0) {
    if (!IsComplete()) return; // out of memory: the wrapper destroys this instance
    GetParam(kBypass)->InitInt("BY", 0, 0, 1, "", "");
    GetParam(kGain)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01, "%", "", 1.0);
    GetParam(kGain)->SetShape(1.0);
    GetParam(kLevel)->InitDouble("Level", 0.5, 0.0, 1.0, 0.01, "%", "", 1.0);
    GetParam(kLevel)->SetShape(1.0);

#if ZERUB_WRAPPER_HAS_EDITOR
    AttachGraphics(BuildZerubEditor(this));
#endif
    MakeDefaultPreset("-", kNumPresets);
}

// The input history stays: a host resets on a bypass switch, and the delayed bypass must go on
// from the inputs just before it.
void Zerub::Reset() {
    circuitL.ClearFilterMemories();
    circuitR.ClearFilterMemories();
    hqL.ClearFilterMemories();
    hqR.ClearFilterMemories();
    hq.Clear();
}

int Zerub::LatencyFor(int quality, double sampleRate) {
    return quality == kQualityHQ ? OversampleLatencyFrames(sampleRate) : 0;
}

bool Zerub::SetQuality(int newQuality) {
    if (newQuality != kQualityStandard && newQuality != kQualityHQ) return false;
    // Standard keeps no input history: a bypass before HQ's first block hears silence from it,
    // never input from long ago.
    if (newQuality == kQualityHQ && running != kQualityHQ) history.Clear();
    quality = newQuality;
    // Designed when the rate was set (LV2 sets the quality in run()); else here, off the audio
    // path.
    hq.Prepare(GetSampleRate());
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): under the mutex; the wrapper tells the host
    IPlugBase::SetLatency(quality == kQualityHQ ? hq.LatencyFrames() : 0);
    return true;
}

// HQ's filters are designed here, whatever the quality: a later switch to HQ, which may come on
// the audio path, then finds them ready.
void Zerub::SetSampleRate(double rate) {
    ZerubWrapper::SetSampleRate(rate);
    hq.Prepare(rate);
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): under the mutex; the wrapper tells the host
    IPlugBase::SetLatency(quality == kQualityHQ ? hq.LatencyFrames() : 0);
}

void Zerub::OnParamChange(int paramIdx) {
    switch (paramIdx) {
    case kGain:
        gain = GetParam(kGain)->Value();
        break;
    case kLevel:
        level = GetParam(kLevel)->Value();
        break;
    default:
        break;
    }
}

bool Zerub::Bypassed() const {
    return ::BypassEngaged(GetParam(kBypass)->Value());
}

template <typename T>
void Zerub::RunPath(int path, const T* const* inputs, T* const* outputs, int nFrames) {
    if (path == kQualityHQ)
        hq.Process(hqL, hqR, GetSampleRate(), gain, level, Bypassed(), inputs, outputs, nFrames);
    else
        ProcessZerubBlock(circuitL, circuitR, GetSampleRate(), gain, level, Bypassed(), inputs,
                          outputs, nFrames);
}

// The new path's circuits take the old ones' smoothed controls, so the drive neither fades in
// nor jumps, and start with clear filter memories (they hold another rate's state, or none);
// the new resamplers start empty. The crossfade covers the new path's settling.
void Zerub::StartQualityFade() {
    const bool toHQ = quality == kQualityHQ;
    DriveCircuit* from[2] = {toHQ ? &circuitL : &hqL, toHQ ? &circuitR : &hqR};
    DriveCircuit* to[2] = {toHQ ? &hqL : &circuitL, toHQ ? &hqR : &circuitR};
    for (int c = 0; c < 2; ++c) {
        to[c]->ClearFilterMemories();
        to[c]->gainSmooth = from[c]->gainSmooth;
        to[c]->levelSmooth = from[c]->levelSmooth;
    }
    if (toHQ) hq.Clear();
    fadeFrom = running;
    running = quality;
    fadeLeft = kQualityFadeFrames;
}

template <typename T>
void Zerub::Run(const T* const* inputs, T* const* outputs, int nFrames) {
    if (quality != running && nFrames > 0) StartQualityFade();
    // Only HQ has latency for a bypass to keep; recorded before an output overwrites an input.
    if (running == kQualityHQ) history.Record(inputs, nFrames);
    int done = 0;
    constexpr int kChunk = 64;
    while (fadeLeft > 0 && done < nFrames) {
        const int n = std::min({kChunk, fadeLeft, nFrames - done});
        const T* in[2] = {inputs[0] + done, inputs[1] + done};
        T* out[2] = {outputs[0] + done, outputs[1] + done};
        // The old path first, into its own buffers: an output may hold an input.
        T oldL[kChunk], oldR[kChunk];
        T* old[2] = {oldL, oldR};
        RunPath(fadeFrom, in, old, n);
        RunPath(running, in, out, n);
        for (int j = 0; j < n; ++j) {
            const int step = kQualityFadeFrames - fadeLeft + j + 1;
            const double w = static_cast<double>(step) / (kQualityFadeFrames + 1);
            for (int c = 0; c < 2; ++c)
                out[c][j] = static_cast<T>(static_cast<double>(old[c][j]) * (1.0 - w) +
                                           static_cast<double>(out[c][j]) * w);
        }
        fadeLeft -= n;
        done += n;
    }
    if (done == 0) {
        RunPath(running, inputs, outputs, nFrames);
    } else if (done < nFrames) {
        const T* in[2] = {inputs[0] + done, inputs[1] + done};
        T* out[2] = {outputs[0] + done, outputs[1] + done};
        RunPath(running, in, out, nFrames - done);
    }
}

void Zerub::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
    Run<double>(inputs, outputs, nFrames);
}

void Zerub::ProcessFloatReplacing(const float* const* inputs, float* const* outputs, int nFrames) {
    Run<float>(inputs, outputs, nFrames);
}

bool Zerub::PassThroughDelayed(const float* const* inputs, float* const* outputs, int nFrames) {
    history.Delay(inputs, outputs, nFrames, GetLatency());
    return true;
}

bool Zerub::PassThroughDelayed(const double* const* inputs, double* const* outputs, int nFrames) {
    history.Delay(inputs, outputs, nFrames, GetLatency());
    return true;
}

ZerubWrapper* MakePlug(void* memory) {
    static WDL_Mutex creationMutex;
    WDL_MutexLock lock(&creationMutex);
    IPlugInstanceInfo info;
    info.bundleID.Set(kZerubBundleID);
    info.cocoaViewFactoryClassName.Set(kViewClass);
    if (memory) return new (memory) Zerub(info);
    return new (std::nothrow) Zerub(info);
}
