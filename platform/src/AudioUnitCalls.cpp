// The host-side unit calls: each looks its selector up on the unit's plug-in interface and
// calls the method found, with the interface as self and the call's own arguments.
#include "Components.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

using zerub::platform::PinnedInstance;

namespace {

// The method for selector on a pinned unit, cast to its own type, or the status that explains
// why there is none. Calling through the exact method type keeps floating-point arguments in
// place (a variadic call would promote a Float32 to double). The unit stays pinned, and so
// cannot be closed, until the call returns.
template <class Method>
struct Resolved {
    explicit Resolved(AudioUnit unit, SInt16 selector) : pinned(unit) {
        AudioComponentPlugInInterface* plugin = pinned.Plugin();
        if (!plugin) {
            status = badComponentInstance;
            return;
        }
        AudioComponentMethod found = plugin->Lookup(selector);
        if (!found) {
            status = badComponentSelector;
            return;
        }
        self = plugin;
        method = reinterpret_cast<Method>(found);
    }

    PinnedInstance pinned;
    void* self = nullptr;
    Method method = nullptr;
    OSStatus status = noErr;
};

} // namespace

#define ZERUB_CALL(Type, selector, ...)                                                            \
    do {                                                                                           \
        const Resolved<Type> call(inUnit, selector);                                               \
        if (call.status != noErr) return call.status;                                              \
        return call.method(call.self, __VA_ARGS__);                                                \
    } while (0)

OSStatus AudioUnitInitialize(AudioUnit inUnit) {
    const Resolved<AudioUnitInitializeProc> call(inUnit, kAudioUnitInitializeSelect);
    return call.status != noErr ? call.status : call.method(call.self);
}

OSStatus AudioUnitUninitialize(AudioUnit inUnit) {
    const Resolved<AudioUnitUninitializeProc> call(inUnit, kAudioUnitUninitializeSelect);
    return call.status != noErr ? call.status : call.method(call.self);
}

OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID,
                                  AudioUnitScope inScope, AudioUnitElement inElement,
                                  UInt32* outDataSize, Boolean* outWritable) {
    ZERUB_CALL(AudioUnitGetPropertyInfoProc, kAudioUnitGetPropertyInfoSelect, inID, inScope,
               inElement, outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    ZERUB_CALL(AudioUnitGetPropertyProc, kAudioUnitGetPropertySelect, inID, inScope, inElement,
               outData, ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    ZERUB_CALL(AudioUnitSetPropertyProc, kAudioUnitSetPropertySelect, inID, inScope, inElement,
               inData, inDataSize);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                      AudioUnitPropertyListenerProc inProc, void* inProcUserData) {
    ZERUB_CALL(AudioUnitAddPropertyListenerProc, kAudioUnitAddPropertyListenerSelect, inID, inProc,
               inProcUserData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc) {
    ZERUB_CALL(AudioUnitRemovePropertyListenerProc, kAudioUnitRemovePropertyListenerSelect, inID,
               inProc);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc,
                                                     void* inProcUserData) {
    ZERUB_CALL(AudioUnitRemovePropertyListenerWithUserDataProc,
               kAudioUnitRemovePropertyListenerWithUserDataSelect, inID, inProc, inProcUserData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData) {
    ZERUB_CALL(AudioUnitAddRenderNotifyProc, kAudioUnitAddRenderNotifySelect, inProc,
               inProcUserData);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc,
                                     void* inProcUserData) {
    ZERUB_CALL(AudioUnitRemoveRenderNotifyProc, kAudioUnitRemoveRenderNotifySelect, inProc,
               inProcUserData);
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    ZERUB_CALL(AudioUnitGetParameterProc, kAudioUnitGetParameterSelect, inID, inScope, inElement,
               outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames) {
    ZERUB_CALL(AudioUnitSetParameterProc, kAudioUnitSetParameterSelect, inID, inScope, inElement,
               inValue, inBufferOffsetInFrames);
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit,
                                     const AudioUnitParameterEvent* inParameterEvent,
                                     UInt32 inNumParamEvents) {
    ZERUB_CALL(AudioUnitScheduleParametersProc, kAudioUnitScheduleParametersSelect,
               inParameterEvent, inNumParamEvents);
}

OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData) {
    ZERUB_CALL(AudioUnitRenderProc, kAudioUnitRenderSelect, ioActionFlags, inTimeStamp,
               inOutputBusNumber, inNumberFrames, ioData);
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement) {
    ZERUB_CALL(AudioUnitResetProc, kAudioUnitResetSelect, inScope, inElement);
}

OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus, UInt32 inData1,
                              UInt32 inData2, UInt32 inOffsetSampleFrame) {
    ZERUB_CALL(MusicDeviceMIDIEventProc, kMusicDeviceMIDIEventSelect, inStatus, inData1, inData2,
               inOffsetSampleFrame);
}
