// Audio Unit events: parameter changes, gestures and property changes that a unit (or anything
// else) announces and that hosts receive.
//
// AUEventListenerNotify delivers the event at once, on the caller's thread, to every listener
// registered with ZerubAddEventListener (ZerubPlatform/HostExtensions.h) except the sending one.
#pragma once

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

typedef CF_ENUM(UInt32, AudioUnitEventType) {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3,
};

typedef struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter;
        AudioUnitProperty mProperty;
    } mArgument;
} AudioUnitEvent;

typedef struct AUListenerBase* AUEventListenerRef;
typedef struct AUListenerBase* AUParameterListenerRef;

// inParameterValue is the parameter's value read back from the unit for a value change, 0 for
// other events.
typedef void (*AUEventListenerProc)(void* inCallbackRefCon, void* inObject,
                                    const AudioUnitEvent* inEvent, UInt64 inEventHostTime,
                                    AudioUnitParameterValue inParameterValue);

// inSendingListener (may be NULL) is left out of the delivery; inSendingObject is passed to
// every listener as inObject.
CF_EXPORT OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener,
                                         void* inSendingObject, const AudioUnitEvent* inEvent);

// Sets the parameter on its unit, then announces the change.
CF_EXPORT OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                                  const AudioUnitParameter* inParameter,
                                  AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames);

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(AudioUnitEvent) == 32, "AudioUnitEvent layout");
#endif
