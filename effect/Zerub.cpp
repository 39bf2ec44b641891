#include "effect/Zerub.h"

#include "containers/WDL_Mutex.h"
#include "effect/ZerubBundle.h"
#include "effect/ZerubProcess.h"
#if ZERUB_WRAPPER_HAS_EDITOR
#include "effect/ZerubEditor.h"
#endif

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

void Zerub::Reset() {
    WDL_MutexLock lock(&mutex);
    circuitL.ClearFilterMemories();
    circuitR.ClearFilterMemories();
}

void Zerub::OnParamChange(int paramIdx) {
    WDL_MutexLock lock(&mutex);
    TakeParam(paramIdx);
}

void Zerub::TakeParam(int paramIdx) {
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
    return BypassEngaged(GetParam(kBypass)->Value());
}

void Zerub::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
    ProcessZerubBlock(circuitL, circuitR, GetSampleRate(), gain, level, Bypassed(), inputs, outputs,
                      nFrames);
}

void Zerub::ProcessFloatReplacing(const float* const* inputs, float* const* outputs, int nFrames) {
    ProcessZerubBlock(circuitL, circuitR, GetSampleRate(), gain, level, Bypassed(), inputs, outputs,
                      nFrames);
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
