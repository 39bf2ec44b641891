// The Carbon view component interface: its selectors and the opaque window types it passes.
// Nothing here draws; the declarations exist so that a view entry point compiles.
#pragma once

#include <AudioUnit/AUComponent.h>
#include <CoreServices/CoreServices.h>

CF_EXTERN_C_BEGIN

typedef struct OpaqueWindowPtr* WindowRef;
typedef struct OpaqueControlRef* ControlRef;
typedef ComponentInstance AudioUnitCarbonView;

enum {
    kAudioUnitCarbonViewRange = 0x0300,
    kAudioUnitCarbonViewCreateSelect = 0x0301,
    kAudioUnitCarbonViewSetEventListenerSelect = 0x0302,
};

typedef OSStatus (*AudioUnitCarbonViewCreateProc)(void* self, AudioUnit inAudioUnit,
                                                  WindowRef inWindow, ControlRef inParentControl,
                                                  const Float32Point* inLocation,
                                                  const Float32Point* inSize,
                                                  ControlRef* outControl);

CF_EXTERN_C_END
