// An effect unit that a host can drive end to end but that has four faults a validator must
// find: it stores parameter values without clamping them, renders more frames than its maximum,
// turns full-scale DC into infinity, and keeps processing while bypassed. Everything else
// answers as a sound unit would. One parameter, "Gain" (0 .. 2, default 1): out = gain * x / (1 -
// x).
#include <AudioUnit/AudioUnit.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr OSType kSubtype = 0x46544C54; // 'FTLT'

struct FaultyUnit {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    AudioComponentInstance instance;
    float gain;
    UInt32 maxFrames;
    UInt32 channels;
    UInt32 bypass;
    AURenderCallbackStruct input;
    AURenderCallbackStruct notify;
};

FaultyUnit* Self(void* self) {
    return static_cast<FaultyUnit*>(self);
}

OSStatus Open(void* self, AudioComponentInstance instance) {
    Self(self)->instance = instance;
    return noErr;
}

OSStatus Close(void* self) {
    std::free(self);
    return noErr;
}

OSStatus NoOp(void*) {
    return noErr;
}

UInt32 SizeOf(AudioUnitPropertyID id, AudioUnitScope scope) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_FactoryPresets:
        return sizeof(void*);
    case kAudioUnitProperty_StreamFormat:
        return sizeof(AudioStreamBasicDescription);
    case kAudioUnitProperty_SupportedNumChannels:
        return 2 * sizeof(AUChannelInfo);
    case kAudioUnitProperty_ParameterList:
        return scope == kAudioUnitScope_Global ? sizeof(AudioUnitParameterID) : 0;
    case kAudioUnitProperty_ParameterInfo:
        return sizeof(AudioUnitParameterInfo);
    case kAudioUnitProperty_MaximumFramesPerSlice:
    case kAudioUnitProperty_BypassEffect:
        return sizeof(UInt32);
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
        return sizeof(Float64);
    case kAudioUnitProperty_CurrentPreset:
        return sizeof(AUPreset);
    default:
        return 0;
    }
}

OSStatus GetPropertyInfo(void*, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement,
                         UInt32* outSize, Boolean* outWritable) {
    const UInt32 size = SizeOf(id, scope);
    if (size == 0) return kAudioUnitErr_InvalidProperty;
    if (outSize) *outSize = size;
    if (outWritable) *outWritable = true;
    return noErr;
}

CFNumberRef Number(SInt32 value) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

void Put(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFTypeRef Get(CFDictionaryRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(dict, k);
    CFRelease(k);
    return value;
}

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement,
                     void* outData, UInt32* ioSize) {
    FaultyUnit* unit = Self(self);
    const UInt32 size = SizeOf(id, scope);
    if (size == 0) return kAudioUnitErr_InvalidProperty;
    if (!outData || !ioSize || *ioSize < size) return kAudioUnitErr_InvalidPropertyValue;
    *ioSize = size;
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        Put(dict, "type", Number(static_cast<SInt32>(kAudioUnitType_Effect)));
        Put(dict, "subtype", Number(static_cast<SInt32>(kSubtype)));
        Put(dict, "manufacturer", Number(0x48747374)); // 'Htst'
        Put(dict, "data",
            CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(&unit->gain), sizeof unit->gain));
        std::memcpy(outData, &dict, sizeof dict);
        break;
    }
    case kAudioUnitProperty_FactoryPresets: {
        CFArrayRef none = CFArrayCreateMutable(nullptr, 0, nullptr);
        std::memcpy(outData, &none, sizeof none);
        break;
    }
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription f;
        std::memset(&f, 0, sizeof f);
        f.mSampleRate = 44100.0;
        f.mFormatID = kAudioFormatLinearPCM;
        f.mFormatFlags = 41;
        f.mBytesPerPacket = f.mBytesPerFrame = 4;
        f.mFramesPerPacket = 1;
        f.mChannelsPerFrame = unit->channels;
        f.mBitsPerChannel = 32;
        std::memcpy(outData, &f, sizeof f);
        break;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo configs[2] = {{1, 1}, {2, 2}};
        std::memcpy(outData, configs, sizeof configs);
        break;
    }
    case kAudioUnitProperty_ParameterList: {
        const AudioUnitParameterID id0 = 0;
        std::memcpy(outData, &id0, sizeof id0);
        break;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info;
        std::memset(&info, 0, sizeof info);
        std::strcpy(info.name, "Gain");
        info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
        info.minValue = 0.0f;
        info.maxValue = 2.0f;
        info.defaultValue = 1.0f;
        std::memcpy(outData, &info, sizeof info);
        break;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        std::memcpy(outData, &unit->maxFrames, sizeof(UInt32));
        break;
    case kAudioUnitProperty_BypassEffect:
        std::memcpy(outData, &unit->bypass, sizeof(UInt32));
        break;
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime: {
        const Float64 none = 0.0;
        std::memcpy(outData, &none, sizeof none);
        break;
    }
    case kAudioUnitProperty_CurrentPreset: {
        const AUPreset preset = {-1, nullptr};
        std::memcpy(outData, &preset, sizeof preset);
        break;
    }
    default:
        break;
    }
    return noErr;
}

OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement,
                     const void* inData, UInt32 inSize) {
    FaultyUnit* unit = Self(self);
    if (!inData) return kAudioUnitErr_InvalidPropertyValue;
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef plist = nullptr;
        std::memcpy(&plist, inData, sizeof plist);
        if (!plist || CFGetTypeID(plist) != CFDictionaryGetTypeID())
            return kAudioUnitErr_InvalidPropertyValue;
        const auto dict = static_cast<CFDictionaryRef>(plist);
        SInt32 subtype = 0;
        CFTypeRef number = Get(dict, "subtype");
        CFTypeRef data = Get(dict, "data");
        if (!number ||
            !CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, &subtype) ||
            static_cast<OSType>(subtype) != kSubtype || !data ||
            CFDataGetLength(static_cast<CFDataRef>(data)) != sizeof(float))
            return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(&unit->gain, CFDataGetBytePtr(static_cast<CFDataRef>(data)), sizeof(float));
        return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription f;
        std::memcpy(&f, inData, sizeof f);
        if (f.mChannelsPerFrame != 1 && f.mChannelsPerFrame != 2)
            return kAudioUnitErr_FormatNotSupported;
        unit->channels = f.mChannelsPerFrame;
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        std::memcpy(&unit->maxFrames, inData, sizeof(UInt32));
        return noErr;
    case kAudioUnitProperty_BypassEffect:
        std::memcpy(&unit->bypass, inData, sizeof(UInt32)); // accepted, then ignored
        return noErr;
    case kAudioUnitProperty_SetRenderCallback:
        if (scope != kAudioUnitScope_Input || inSize < sizeof(AURenderCallbackStruct))
            return kAudioUnitErr_InvalidProperty;
        std::memcpy(&unit->input, inData, sizeof unit->input);
        return noErr;
    case kAudioUnitProperty_CurrentPreset:
        return noErr;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue* out) {
    if (id != 0) return kAudioUnitErr_InvalidParameter;
    *out = Self(self)->gain;
    return noErr;
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue value, UInt32) {
    if (id != 0) return kAudioUnitErr_InvalidParameter;
    Self(self)->gain = value; // not clamped
    return noErr;
}

OSStatus AddNotify(void* self, AURenderCallback proc, void* refCon) {
    Self(self)->notify = {proc, refCon};
    return noErr;
}

OSStatus RemoveNotify(void* self, AURenderCallback, void*) {
    Self(self)->notify = {nullptr, nullptr};
    return noErr;
}

OSStatus Render(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32 bus,
                UInt32 frames, AudioBufferList* io) {
    FaultyUnit* unit = Self(self);
    if (!time || !(time->mFlags & kAudioTimeStampSampleTimeValid) || !io || !unit->input.inputProc)
        return kAudioUnitErr_InvalidPropertyValue; // but no test of frames against the maximum
    AudioUnitRenderActionFlags flags = kAudioUnitRenderAction_PreRender;
    if (unit->notify.inputProc)
        unit->notify.inputProc(unit->notify.inputProcRefCon, &flags, time, bus, frames, io);
    flags = 0;
    const OSStatus s =
        unit->input.inputProc(unit->input.inputProcRefCon, &flags, time, 0, frames, io);
    if (s != noErr) return s;
    for (UInt32 c = 0; c < io->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(io->mBuffers[c].mData);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = unit->gain * samples[i] / (1.0f - samples[i]);
    }
    flags = kAudioUnitRenderAction_PostRender;
    if (unit->notify.inputProc)
        unit->notify.inputProc(unit->notify.inputProcRefCon, &flags, time, bus, frames, io);
    return noErr;
}

AudioComponentMethod Lookup(SInt16 selector) {
    switch (selector) {
    case kAudioUnitInitializeSelect:
    case kAudioUnitUninitializeSelect:
        return reinterpret_cast<AudioComponentMethod>(NoOp);
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
    case kAudioUnitAddRenderNotifySelect:
        return reinterpret_cast<AudioComponentMethod>(AddNotify);
    case kAudioUnitRemoveRenderNotifySelect:
        return reinterpret_cast<AudioComponentMethod>(RemoveNotify);
    case kAudioUnitRenderSelect:
        return reinterpret_cast<AudioComponentMethod>(Render);
    default:
        return nullptr;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
HostTestFaultyUnitFactory(const AudioComponentDescription*) {
    auto* unit = static_cast<FaultyUnit*>(std::calloc(1, sizeof(FaultyUnit)));
    if (!unit) return nullptr;
    unit->iface.Open = Open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    unit->gain = 1.0f;
    unit->maxFrames = 1024;
    unit->channels = 2;
    return &unit->iface;
}
