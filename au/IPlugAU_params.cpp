// Parameter access from the host, notifications to the host, MIDI input, host identification.
#include "au/IPlugAU.h"
#include "au/IPlugAUQuality.h"

#include <cmath>
#include <cstring>

OSStatus IPlugAU::DoGetParameter(AudioUnitParameterID paramID, AudioUnitScope scope,
                                 AudioUnitElement /*element*/, AudioUnitParameterValue* value) {
    WDL_MutexLock lock(&mutex);
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
    const IParam* param = GetParam(static_cast<int>(paramID));
    if (!param) return kAudioUnitErr_InvalidElement;
    if (!value) return paramErr;
    *value = static_cast<AudioUnitParameterValue>(param->Value());
    return noErr;
}

OSStatus IPlugAU::SetParamProc(AudioUnitParameterID paramID, AudioUnitScope scope,
                               AudioUnitElement /*element*/, AudioUnitParameterValue value,
                               UInt32 /*bufferOffset*/) {
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
    WDL_MutexLock lock(&mutex);
    const int idx = static_cast<int>(paramID);
    IParam* param = GetParam(idx);
    if (!param) return kAudioUnitErr_InvalidElement;
    // Refused before anything hears of it: the editor is told the value as sent.
    if (!std::isfinite(value)) return kAudioUnitErr_InvalidParameterValue;
    param->Set(value);
    if (IPlugEditor* gui = GetGUI()) gui->SetParameterFromPlug(idx, value, false);
    OnParamChange(idx);
    return noErr;
}

OSStatus IPlugAU::DoScheduleParameters(const AudioUnitParameterEvent* events, UInt32 numEvents) {
    WDL_MutexLock lock(&mutex);
    if (!events && numEvents) return paramErr;
    // Parameters hold one value per render, and the circuit smooths its controls itself, so a
    // ramp takes its end value at once rather than being lost.
    auto valueOf = [](const AudioUnitParameterEvent& e) {
        return e.eventType == kParameterEvent_Immediate ? e.eventValues.immediate.value
                                                        : e.eventValues.ramp.endValue;
    };
    // A list is applied whole or not at all: every event is checked before the first is set.
    for (UInt32 i = 0; i < numEvents; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType != kParameterEvent_Immediate && e.eventType != kParameterEvent_Ramped)
            return paramErr;
        if (e.scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
        if (!GetParam(static_cast<int>(e.parameter))) return kAudioUnitErr_InvalidElement;
        if (!std::isfinite(valueOf(e)) || (e.eventType == kParameterEvent_Ramped &&
                                           !std::isfinite(e.eventValues.ramp.startValue)))
            return kAudioUnitErr_InvalidParameterValue;
    }
    for (UInt32 i = 0; i < numEvents; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        SetParamProc(e.parameter, e.scope, e.element, valueOf(e), 0);
    }
    return noErr;
}

OSStatus IPlugAU::DoMIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame) {
    if (!DoesMIDI()) return badComponentSelector;
    WDL_MutexLock lock(&mutex);
    IMidiMsg msg(static_cast<int>(offsetSampleFrame), static_cast<unsigned char>(status),
                 static_cast<unsigned char>(data1), static_cast<unsigned char>(data2));
    ProcessMidiMsg(&msg);
    return noErr;
}

OSStatus IPlugAU::DoSysEx(const UInt8* data, UInt32 length) {
    if (!DoesMIDI()) return badComponentSelector;
    WDL_MutexLock lock(&mutex);
    ISysEx sysex(0, data, static_cast<int>(length));
    ProcessSysEx(&sysex);
    return noErr;
}

namespace {

void Notify(AudioComponentInstance instance, AudioUnitEventType type, int paramIdx) {
    AudioUnitEvent event;
    std::memset(&event, 0, sizeof event);
    event.mEventType = type;
    event.mArgument.mParameter.mAudioUnit = instance;
    event.mArgument.mParameter.mParameterID = static_cast<AudioUnitParameterID>(paramIdx);
    event.mArgument.mParameter.mScope = kAudioUnitScope_Global;
    event.mArgument.mParameter.mElement = 0;
    AUEventListenerNotify(nullptr, nullptr, &event);
}

} // namespace

void IPlugAU::BeginInformHostOfParamChange(int paramIdx) {
    Notify(componentInstance, kAudioUnitEvent_BeginParameterChangeGesture, paramIdx);
}

void IPlugAU::InformHostOfParamChange(int paramIdx, double /*normalizedValue*/) {
    // The host reads the value back through get-parameter.
    Notify(componentInstance, kAudioUnitEvent_ParameterValueChange, paramIdx);
}

void IPlugAU::EndInformHostOfParamChange(int paramIdx) {
    Notify(componentInstance, kAudioUnitEvent_EndParameterChangeGesture, paramIdx);
}

void IPlugAU::InformHostOfProgramChange() {
    InformListeners(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global);
}

bool IPlugAU::SendMidiMsg(IMidiMsg* /*msg*/) {
    return false;
}

EHost IPlugAU::GetHost() {
    if (host != kHostUninit) return host;
    if (CFBundleRef mainBundle = CFBundleGetMainBundle()) {
        if (CFStringRef identifier = CFBundleGetIdentifier(mainBundle)) {
            char text[256] = "";
            if (CFStringGetCString(identifier, text, sizeof text, kCFStringEncodingUTF8)) {
                SetHost(text, 0);
                if (host != kHostUninit && host != kHostUnknown) return host;
            }
        }
    }
    SetHost("", 0);
    return host;
}

void IPlugAU::HostSpecificInit() {
    GetHost();
    OnHostIdentified();
}

void IPlugAU::SetQualityFromGUI(int quality) {
    if (quality < 0) return;
    const UInt32 value = static_cast<UInt32>(quality);
    SetProperty(kIPlugQualityPropertyID, kAudioUnitScope_Global, 0, &value, sizeof value);
}

void IPlugAU::ResizeGraphics(int /*w*/, int /*h*/) {
    if (GetGUI()) OnWindowResize();
}
