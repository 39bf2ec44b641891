// A small Audio Unit built only for the tests: its factory and methods record how the platform
// calls them, so that the tests can check the arguments. Each test bundle holds a copy.
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

#include <cstdlib>
#include <cstring>

#include "fake_component.h"

namespace {

FakeLog gLog;

struct FakeUnit {
    AudioComponentPlugInInterface iface; // first, so that the interface pointer is the unit
    AudioComponentInstance instance;
    AudioUnitParameterValue params[kFakeParameterCount];
    Float64 sampleRate;
    AudioUnitPropertyListenerProc listener;
    void* listenerData;
    AudioUnitPropertyID listenerID;
};

FakeUnit* Unit(void* self) {
    gLog.lastSelf = self;
    return static_cast<FakeUnit*>(self);
}

OSStatus Open(void* self, AudioComponentInstance instance) {
    FakeUnit* unit = static_cast<FakeUnit*>(self);
    unit->instance = instance;
    ++gLog.opens;
    gLog.openSelf = self;
    gLog.openInstance = instance;
    // What a unit asks about itself while it opens.
    AudioComponentDescription description{};
    if (AudioComponentGetDescription(AudioComponentInstanceGetComponent(instance), &description) ==
        noErr) {
        gLog.openSubtype = description.componentSubType;
    }
    gLog.openStorage = GetComponentInstanceStorage(instance);
    gLog.openFoundBundle = CFBundleGetBundleWithIdentifier(CFSTR("com.zerub.test.fake")) != NULL;
    return noErr;
}

// A unit whose Open fails cleans up after itself: the platform does not call Close then.
OSStatus FailingOpen(void* self, AudioComponentInstance /*instance*/) {
    ++gLog.opens;
    std::free(self);
    return kAudioUnitErr_FailedInitialization;
}

OSStatus Close(void* self) {
    ++gLog.closes;
    gLog.closeSelf = self;
    std::free(self);
    return noErr;
}

OSStatus Initialize(void* self) {
    Unit(self);
    ++gLog.initializes;
    return noErr;
}

OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope /*scope*/,
                         AudioUnitElement /*element*/, UInt32* outSize, Boolean* outWritable) {
    Unit(self);
    gLog.lastPropertyID = id;
    if (id != kAudioUnitProperty_StreamFormat) return kAudioUnitErr_InvalidProperty;
    if (outSize) *outSize = sizeof(AudioStreamBasicDescription);
    if (outWritable) *outWritable = true;
    return noErr;
}

OSStatus Render(void* self, AudioUnitRenderActionFlags* /*flags*/, const AudioTimeStamp* timeStamp,
                UInt32 bus, UInt32 frames, AudioBufferList* data) {
    Unit(self);
    ++gLog.renders;
    if (!timeStamp || !data) return kAudio_ParamError;
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        auto* samples = static_cast<Float32*>(data->mBuffers[b].mData);
        if (!samples || data->mBuffers[b].mDataByteSize < frames * sizeof(Float32)) {
            return kAudioUnitErr_TooManyFramesToProcess;
        }
        for (UInt32 i = 0; i < frames; ++i) {
            samples[i] = static_cast<Float32>(timeStamp->mSampleTime + bus * 1000 + b * 100 + i);
        }
    }
    return noErr;
}

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, void* outData, UInt32* ioSize) {
    FakeUnit* unit = Unit(self);
    gLog.lastPropertyID = id;
    gLog.lastScope = scope;
    gLog.lastElement = element;
    if (id == kAudioUnitProperty_StreamFormat) {
        if (!outData || !ioSize || *ioSize < sizeof(AudioStreamBasicDescription)) {
            return kAudioUnitErr_InvalidPropertyValue;
        }
        AudioStreamBasicDescription format{};
        format.mSampleRate = unit->sampleRate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags =
            kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
        format.mBytesPerPacket = 4;
        format.mFramesPerPacket = 1;
        format.mBytesPerFrame = 4;
        format.mChannelsPerFrame = 2;
        format.mBitsPerChannel = 32;
        std::memcpy(outData, &format, sizeof format);
        *ioSize = sizeof format;
        return noErr;
    }
    if (id == kAudioUnitProperty_FastDispatch && element == kAudioUnitRenderSelect) {
        if (!outData || !ioSize || *ioSize < sizeof(void*))
            return kAudioUnitErr_InvalidPropertyValue;
        AudioUnitRenderProc render = Render;
        std::memcpy(outData, &render, sizeof render);
        *ioSize = sizeof render;
        return noErr;
    }
    return kAudioUnitErr_InvalidProperty;
}

OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, const void* data, UInt32 size) {
    FakeUnit* unit = Unit(self);
    gLog.lastPropertyID = id;
    gLog.lastScope = scope;
    gLog.lastElement = element;
    gLog.lastSize = size;
    if (unit->listener && unit->listenerID == id) {
        unit->listener(unit->listenerData, unit->instance, id, scope, element);
    }
    if (id != kAudioUnitProperty_SampleRate) return kAudioUnitErr_InvalidProperty;
    if (!data || size != sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
    std::memcpy(&unit->sampleRate, data, sizeof unit->sampleRate);
    return noErr;
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope /*scope*/,
                      AudioUnitElement /*element*/, AudioUnitParameterValue* outValue) {
    FakeUnit* unit = Unit(self);
    if (id >= kFakeParameterCount || !outValue) return kAudioUnitErr_InvalidParameter;
    *outValue = unit->params[id];
    return noErr;
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement element, AudioUnitParameterValue value,
                      UInt32 bufferOffset) {
    FakeUnit* unit = Unit(self);
    gLog.lastParameterValue = value;
    gLog.lastBufferOffset = bufferOffset;
    if (id >= kFakeParameterCount) return kAudioUnitErr_InvalidParameter;
    unit->params[id] = value;
    // Announce the change as a unit does when its editor moves a control.
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter.mAudioUnit = unit->instance;
    event.mArgument.mParameter.mParameterID = id;
    event.mArgument.mParameter.mScope = scope;
    event.mArgument.mParameter.mElement = element;
    AUEventListenerNotify(NULL, NULL, &event);
    return noErr;
}

OSStatus Reset(void* self, AudioUnitScope scope, AudioUnitElement element) {
    Unit(self);
    ++gLog.resets;
    gLog.lastScope = scope;
    gLog.lastElement = element;
    return noErr;
}

OSStatus AddPropertyListener(void* self, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                             void* userData) {
    FakeUnit* unit = Unit(self);
    unit->listener = proc;
    unit->listenerData = userData;
    unit->listenerID = id;
    return noErr;
}

OSStatus RemovePropertyListenerWithUserData(void* self, AudioUnitPropertyID id,
                                            AudioUnitPropertyListenerProc proc, void* userData) {
    FakeUnit* unit = Unit(self);
    if (unit->listener == proc && unit->listenerData == userData && unit->listenerID == id) {
        unit->listener = nullptr;
    }
    return noErr;
}

// No Uninitialize, no render notifications: those selectors have no method.
AudioComponentMethod Lookup(SInt16 selector) {
    if (gLog.lookupCount < kFakeMaxLookups) gLog.lookups[gLog.lookupCount] = selector;
    ++gLog.lookupCount;
    switch (selector) {
    case kAudioUnitInitializeSelect:
        return reinterpret_cast<AudioComponentMethod>(Initialize);
    case kAudioUnitGetPropertyInfoSelect:
        return reinterpret_cast<AudioComponentMethod>(GetPropertyInfo);
    case kAudioUnitGetPropertySelect:
        return reinterpret_cast<AudioComponentMethod>(GetProperty);
    case kAudioUnitSetPropertySelect:
        return reinterpret_cast<AudioComponentMethod>(SetProperty);
    case kAudioUnitGetParameterSelect:
        return reinterpret_cast<AudioComponentMethod>(GetParameter);
    case kAudioUnitSetParameterSelect:
        return reinterpret_cast<AudioComponentMethod>(SetParameter);
    case kAudioUnitResetSelect:
        return reinterpret_cast<AudioComponentMethod>(Reset);
    case kAudioUnitAddPropertyListenerSelect:
        return reinterpret_cast<AudioComponentMethod>(AddPropertyListener);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return reinterpret_cast<AudioComponentMethod>(RemovePropertyListenerWithUserData);
    case kAudioUnitRenderSelect:
        return reinterpret_cast<AudioComponentMethod>(Render);
    default:
        return nullptr;
    }
}

AudioComponentPlugInInterface* MakeUnit(const AudioComponentDescription* description,
                                        OSStatus (*open)(void*, AudioComponentInstance)) {
    ++gLog.factoryCalls;
    gLog.factorySubtype = description ? description->componentSubType : 0;
    auto* unit = static_cast<FakeUnit*>(std::calloc(1, sizeof(FakeUnit)));
    unit->iface.Open = open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    unit->sampleRate = 44100.0;
    for (UInt32 i = 0; i < kFakeParameterCount; ++i)
        unit->params[i] = 0.5f;
    return &unit->iface;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
FakeUnitFactory(const AudioComponentDescription* description) {
    return MakeUnit(description, Open);
}

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
FakeUnitNullFactory(const AudioComponentDescription* /*description*/) {
    ++gLog.factoryCalls;
    return NULL;
}

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
FakeUnitFailingOpenFactory(const AudioComponentDescription* description) {
    return MakeUnit(description, FailingOpen);
}

extern "C" __attribute__((visibility("default"))) FakeLog* FakeUnit_Log(void) {
    return &gLog;
}
