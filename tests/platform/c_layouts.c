/* The platform headers compiled as C: the record sizes a C translation unit sees. */
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreAudio/CoreAudioTypes.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <ZerubPlatform/HostExtensions.h>

#include "c_layouts.h"

void ZerubCLayouts(struct CLayouts* out) {
    out->streamDescription = sizeof(AudioStreamBasicDescription);
    out->timeStamp = sizeof(AudioTimeStamp);
    out->parameterInfo = sizeof(AudioUnitParameterInfo);
    out->componentParameters = sizeof(ComponentParameters);
    out->plugInInterface = sizeof(AudioComponentPlugInInterface);
    out->event = sizeof(AudioUnitEvent);
    out->hostCallbacks = sizeof(HostCallbackInfo);
    out->parameterEvent = sizeof(AudioUnitParameterEvent);
    out->channelLayout = sizeof(AudioChannelLayout);
    out->stringFromValue = sizeof(AudioUnitParameterStringFromValue);
    out->badSelector = badComponentSelector;
    out->renderSelect = kAudioUnitRenderSelect;
    out->cocoaUI = kAudioUnitProperty_CocoaUI;
    out->stereoTag = kAudioChannelLayoutTag_Stereo;
}
