// A small effect unit for the list and info tests: it answers the properties a host asks about
// with known values, in the ways units may (names as CFString or characters, a custom unit,
// value strings, presets). A second factory makes a unit that answers no property at all.
#include <AudioUnit/AudioUnit.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

struct TestUnit {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    bool answers;
};

constexpr UInt32 kParameters = 3;

OSStatus Open(void*, AudioComponentInstance) {
    return noErr;
}

OSStatus Close(void* self) {
    std::free(self);
    return noErr;
}

// Size of each property's data, or 0 when the unit does not have it.
UInt32 SizeOf(AudioUnitPropertyID id, AudioUnitElement element) {
    switch (id) {
    case kAudioUnitProperty_SupportedNumChannels:
        return 3 * sizeof(AUChannelInfo);
    case kAudioUnitProperty_ParameterList:
        return kParameters * sizeof(AudioUnitParameterID);
    case kAudioUnitProperty_ParameterInfo:
        return element < kParameters ? sizeof(AudioUnitParameterInfo) : 0;
    case kAudioUnitProperty_ParameterValueStrings:
        return element == 2 ? sizeof(CFArrayRef) : 0;
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
        return sizeof(Float64);
    case kAudioUnitProperty_FactoryPresets:
        return sizeof(CFArrayRef);
    default:
        return 0;
    }
}

OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element, UInt32* outSize, Boolean* outWritable) {
    const UInt32 size = SizeOf(id, element);
    if (!static_cast<TestUnit*>(self)->answers || scope != kAudioUnitScope_Global || size == 0)
        return kAudioUnitErr_InvalidProperty;
    if (outSize) *outSize = size;
    if (outWritable) *outWritable = false;
    return noErr;
}

void FillParameterInfo(AudioUnitElement element, AudioUnitParameterInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    switch (element) {
    case 0: // a new CFString name for the host to release, and a custom unit
        info->flags |=
            kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease;
        info->cfNameString = CFStringCreateWithCString(nullptr, "Drive", kCFStringEncodingUTF8);
        std::strcpy(info->name, "Drive");
        info->unit = kAudioUnitParameterUnit_CustomUnit;
        info->unitName = CFStringCreateWithCString(nullptr, "%", kCFStringEncodingUTF8);
        info->minValue = 0.0f;
        info->maxValue = 1.0f;
        info->defaultValue = 0.5f;
        break;
    case 1: // only the character name, with a control character in it
        std::strcpy(info->name, "Tone\x1b[2J");
        info->unit = kAudioUnitParameterUnit_Hertz;
        info->minValue = 200.0f;
        info->maxValue = 8000.0f;
        info->defaultValue = 1500.0f;
        break;
    default: // an indexed parameter with a name string the unit keeps
        info->flags |= kAudioUnitParameterFlag_HasCFNameString;
        info->cfNameString = CFSTR("Mode");
        info->unit = kAudioUnitParameterUnit_Indexed;
        info->minValue = 0.0f;
        info->maxValue = 2.0f;
        info->defaultValue = 1.0f;
        break;
    }
}

AUPreset gPresets[2] = {{0, nullptr}, {7, nullptr}};

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, void* outData, UInt32* ioSize) {
    const UInt32 size = SizeOf(id, element);
    if (!static_cast<TestUnit*>(self)->answers || scope != kAudioUnitScope_Global || size == 0)
        return kAudioUnitErr_InvalidProperty;
    if (!outData || !ioSize || *ioSize < size) return kAudioUnitErr_InvalidPropertyValue;
    *ioSize = size;
    switch (id) {
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo configs[3] = {{1, 1}, {2, 2}, {-1, -1}};
        std::memcpy(outData, configs, sizeof configs);
        break;
    }
    case kAudioUnitProperty_ParameterList: {
        const AudioUnitParameterID ids[kParameters] = {0, 1, 2};
        std::memcpy(outData, ids, sizeof ids);
        break;
    }
    case kAudioUnitProperty_ParameterInfo:
        FillParameterInfo(element, static_cast<AudioUnitParameterInfo*>(outData));
        break;
    case kAudioUnitProperty_ParameterValueStrings: {
        CFMutableArrayRef strings = CFArrayCreateMutable(nullptr, 3, &kCFTypeArrayCallBacks);
        for (const char* text : {"Soft", "Hard", "Fuzz"}) {
            CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
            CFArrayAppendValue(strings, s);
            CFRelease(s);
        }
        std::memcpy(outData, &strings, sizeof strings);
        break;
    }
    case kAudioUnitProperty_Latency: {
        const Float64 seconds = 0.0015;
        std::memcpy(outData, &seconds, sizeof seconds);
        break;
    }
    case kAudioUnitProperty_TailTime: {
        const Float64 seconds = 0.25;
        std::memcpy(outData, &seconds, sizeof seconds);
        break;
    }
    case kAudioUnitProperty_FactoryPresets: {
        gPresets[0].presetName = CFSTR("Warm");
        gPresets[1].presetName = CFSTR("Hot");
        // The presets are the unit's; the array (without retain callbacks) is the host's.
        CFMutableArrayRef presets = CFArrayCreateMutable(nullptr, 2, nullptr);
        CFArrayAppendValue(presets, &gPresets[0]);
        CFArrayAppendValue(presets, &gPresets[1]);
        std::memcpy(outData, &presets, sizeof presets);
        break;
    }
    default:
        break;
    }
    return noErr;
}

AudioComponentMethod Lookup(SInt16 selector) {
    switch (selector) {
    case kAudioUnitGetPropertyInfoSelect:
        return reinterpret_cast<AudioComponentMethod>(GetPropertyInfo);
    case kAudioUnitGetPropertySelect:
        return reinterpret_cast<AudioComponentMethod>(GetProperty);
    default:
        return nullptr;
    }
}

AudioComponentPlugInInterface* Make(bool answers) {
    auto* unit = static_cast<TestUnit*>(std::calloc(1, sizeof(TestUnit)));
    if (!unit) return nullptr;
    unit->iface.Open = Open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    unit->answers = answers;
    return &unit->iface;
}

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
HostTestUnitFactory(const AudioComponentDescription*) {
    return Make(true);
}

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
HostTestMuteUnitFactory(const AudioComponentDescription*) {
    return Make(false);
}
