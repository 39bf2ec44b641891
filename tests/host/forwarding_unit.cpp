// A unit that forwards every call to the Zerub component (found on the search path under its
// codes) and answers one thing differently, chosen by ZERUB_TEST_VARIANT when an instance opens.
// Each variant is either a behaviour the Audio Unit API allows, answered as the API's own base
// classes answer it, or a fault that a validator must name.
//
// Registered under Zerub's own codes, so the class info Zerub saves names this unit too. Besides
// the variant, it always answers as the API documents where Zerub's answer differs: a get of a
// write-only property is kAudioUnitErr_PropertyNotInUse, a parameter or clump name asked outside
// the global scope kAudioUnitErr_InvalidScope, a sample rate for a missing element or scope is
// refused, and the class info is reported writable. The fault-* variants undo one of those.
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr OSType kSubtype = 0x5A524231;      // 'ZRB1'
constexpr OSType kManufacturer = 0x516D6F72; // 'Qmor'
constexpr OSType kOther = 0x4F746872;        // 'Othr'
constexpr AudioUnitParameterID kMeter = 1000;
constexpr int kMaxListeners = 64;

std::string variant;
bool Is(const char* name) {
    return variant == name;
}

struct Listener {
    void* outer; // the forwarding unit's instance, passed to the host's procedure
    AudioUnitPropertyID id;
    AudioUnitPropertyListenerProc proc;
    void* data;
    bool used;
};

// A value the unit keeps as the host gave it, while the inner unit still holds what it made of it.
struct Given {
    float value;
    float inner;
};

struct Forwarder {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    AudioComponentInstance self;
    AudioComponentInstance inner;
    std::mutex* mutex; // the tables below, never held across a call into the inner unit
    Listener listeners[kMaxListeners];
    std::map<AudioUnitParameterID, Given>* given;
    std::map<AudioUnitParameterID, float>* created;
    bool initialized;
    bool zeroFrames;
    CFStringRef presetName; // the CurrentPreset name the unit keeps, when it keeps it
};

Forwarder* Self(void* self) {
    return static_cast<Forwarder*>(self);
}

// Calls on the outer instance from a listener reach the inner unit through the platform, as any
// host call does; the listener sees the outer instance.
void Trampoline(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                AudioUnitElement element) {
    const auto* l = static_cast<const Listener*>(refCon);
    l->proc(l->data, static_cast<AudioUnit>(l->outer), id, scope, element);
}

bool TakesInput(AudioUnitPropertyID id) {
    return id == kAudioUnitProperty_ParameterStringFromValue ||
           id == kAudioUnitProperty_ParameterIDName ||
           id == kAudioUnitProperty_ParameterClumpName ||
           id == kAudioUnitProperty_ParameterValueFromString;
}

bool WriteOnly(AudioUnitPropertyID id) {
    return id == kAudioUnitProperty_MakeConnection || id == kAudioUnitProperty_SetRenderCallback ||
           id == kAudioUnitProperty_HostCallbacks;
}

// Offsets of the references a property hands over, to release those a short copy cut.
std::vector<size_t> References(AudioUnitPropertyID id, UInt32 size) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
        return {0};
    case kAudioUnitProperty_PresentPreset:
    case kAudioUnitProperty_CurrentPreset:
        return {offsetof(AUPreset, presetName)};
    case kAudioUnitProperty_CocoaUI: {
        std::vector<size_t> all;
        for (size_t at = 0; at + sizeof(void*) <= size; at += sizeof(void*))
            all.push_back(at);
        return all;
    }
    default:
        return {};
    }
}

bool SwitchParameter(AudioUnit inner, AudioUnitParameterID id, AudioUnitParameterInfo* info) {
    UInt32 size = sizeof *info;
    if (AudioUnitGetProperty(inner, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                             info, &size) != noErr)
        return false;
    if (info->flags & kAudioUnitParameterFlag_CFNameRelease) {
        if ((info->flags & kAudioUnitParameterFlag_HasCFNameString) && info->cfNameString)
            CFRelease(info->cfNameString);
        if (info->unit == kAudioUnitParameterUnit_CustomUnit && info->unitName)
            CFRelease(info->unitName);
    }
    return true;
}

bool Known(AudioUnit inner, AudioUnitParameterID id) {
    AudioUnitParameterInfo info;
    return id == kMeter ? Is("meter") : SwitchParameter(inner, id, &info);
}

OSStatus Open(void* self, AudioComponentInstance instance) {
    Forwarder* u = Self(self);
    u->self = instance;
    if (Is("fault-open-hangs"))
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    const AudioComponent own = AudioComponentInstanceGetComponent(instance);
    AudioComponentDescription want = {kAudioUnitType_Effect, kSubtype, kManufacturer, 0, 0};
    AudioComponent found = nullptr;
    while ((found = AudioComponentFindNext(found, &want)) == own) {
    }
    if (!found) return kAudioUnitErr_FailedInitialization;
    if (const OSStatus s = AudioComponentInstanceNew(found, &u->inner); s != noErr) return s;
    if (Is("default-48k"))
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            const Float64 rate = 48000.0;
            AudioUnitSetProperty(u->inner, kAudioUnitProperty_SampleRate, scope, 0, &rate,
                                 sizeof rate);
        }
    return noErr;
}

OSStatus Close(void* self) {
    Forwarder* u = Self(self);
    if (u->inner) AudioComponentInstanceDispose(u->inner);
    if (u->presetName) CFRelease(u->presetName);
    delete u->given;
    delete u->created;
    delete u->mutex;
    std::free(u);
    return noErr;
}

OSStatus Initialize(void* self) {
    Forwarder* u = Self(self);
    if (u->zeroFrames) return kAudioUnitErr_InvalidPropertyValue;
    const OSStatus s = AudioUnitInitialize(u->inner);
    if (s == noErr) u->initialized = true;
    return s;
}

OSStatus Uninitialize(void* self) {
    Forwarder* u = Self(self);
    u->initialized = false;
    return AudioUnitUninitialize(u->inner);
}

OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element, UInt32* outSize, Boolean* outWritable) {
    Forwarder* u = Self(self);
    // The inner unit writes the size even when it then refuses; so does this one.
    constexpr UInt32 kUnset = 0xFFFFFFFF;
    UInt32 size = kUnset;
    Boolean writable = 2;
    OSStatus s = AudioUnitGetPropertyInfo(u->inner, id, scope, element, &size, &writable);
    if (id == kAudioUnitProperty_ClassInfo && s == noErr)
        writable = !Is("fault-class-info-read-only");
    if (id == kAudioUnitProperty_SupportedNumChannels && Is("no-channel-configs"))
        return kAudioUnitErr_InvalidProperty;
    if (id == kAudioUnitProperty_SupportedNumChannels && Is("any-channels") && s == noErr)
        size = sizeof(AUChannelInfo);
    if (id == kAudioUnitProperty_ParameterList && Is("meter") && s == noErr)
        size += sizeof(AudioUnitParameterID);
    if (Is("refused-gets")) {
        if (id == kAudioUnitProperty_ParameterHistoryInfo && scope == kAudioUnitScope_Global) {
            size = 2 * sizeof(Float32); // updates per second, seconds of history
            writable = false;
            s = noErr;
        }
        UInt32 buses = 0, countSize = sizeof buses;
        if (id == kAudioUnitProperty_ElementName &&
            AudioUnitGetProperty(u->inner, kAudioUnitProperty_ElementCount, scope, 0, &buses,
                                 &countSize) == noErr &&
            element < buses) {
            size = sizeof(CFStringRef);
            s = noErr;
        }
    }
    if (id == kAudioUnitProperty_ParameterInfo && scope == kAudioUnitScope_Global &&
        ((Is("meter") && element == kMeter) || Is("param-info-invalid-parameter"))) {
        size = sizeof(AudioUnitParameterInfo);
        writable = false;
        s = noErr;
    }
    if (outSize && size != kUnset) *outSize = size;
    if (outWritable && writable != 2) *outWritable = writable;
    return s;
}

OSStatus GetMeterInfo(void* outData) {
    AudioUnitParameterInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "Meter");
    info.unit = kAudioUnitParameterUnit_LinearGain;
    info.maxValue = 1.0f;
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_MeterReadOnly |
                 kAudioUnitParameterFlag_OmitFromPresets;
    std::memcpy(outData, &info, sizeof info);
    return noErr;
}

// The class info with another manufacturer; what the host sets back is mended on the way in.
CFPropertyListRef Rebrand(CFPropertyListRef state, SInt32 manufacturer) {
    if (!state || CFGetTypeID(state) != CFDictionaryGetTypeID()) return state;
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(state));
    CFRelease(state);
    CFStringRef key = CFStringCreateWithCString(nullptr, "manufacturer", kCFStringEncodingUTF8);
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &manufacturer);
    CFDictionarySetValue(copy, key, number);
    CFRelease(number);
    CFRelease(key);
    return copy;
}

// Gets whose answer this unit changes; -1 when the inner unit answers.
OSStatus GetChanged(Forwarder* u, AudioUnitPropertyID id, AudioUnitScope scope,
                    AudioUnitElement element, void* outData, UInt32* ioSize) {
    if (WriteOnly(id) && !Is("fault-write-only-get")) return kAudioUnitErr_PropertyNotInUse;
    if (WriteOnly(id)) {
        UInt32 size = 0;
        const OSStatus s = AudioUnitGetPropertyInfo(u->inner, id, scope, element, &size, nullptr);
        if (s == noErr && size <= *ioSize) *ioSize = size;
        return s;
    }
    if ((id == kAudioUnitProperty_ParameterIDName || id == kAudioUnitProperty_ParameterClumpName) &&
        scope != kAudioUnitScope_Global)
        return Is("fault-name-scope") ? OSStatus{noErr} : OSStatus{kAudioUnitErr_InvalidScope};
    if (id == kAudioUnitProperty_SupportedNumChannels && Is("no-channel-configs"))
        return kAudioUnitErr_InvalidProperty;
    if (id == kAudioUnitProperty_SupportedNumChannels && Is("any-channels")) {
        const AUChannelInfo any = {-1, -1};
        if (*ioSize < sizeof any) return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(outData, &any, sizeof any);
        *ioSize = sizeof any;
        return noErr;
    }
    if (Is("refused-gets") &&
        (id == kAudioUnitProperty_ParameterHistoryInfo || id == kAudioUnitProperty_ElementName)) {
        UInt32 size = 0;
        if (const OSStatus s = GetPropertyInfo(u, id, scope, element, &size, nullptr); s != noErr)
            return s;
        return id == kAudioUnitProperty_ElementName ? kAudioUnitErr_PropertyNotInUse
                                                    : kAudioUnitErr_InvalidProperty;
    }
    if (id == kAudioUnitProperty_ParameterInfo && scope == kAudioUnitScope_Global) {
        if (Is("meter") && element == kMeter) return GetMeterInfo(outData);
        if (Is("param-info-invalid-parameter") && !Known(u->inner, element))
            return kAudioUnitErr_InvalidParameter;
    }
    if (id == kAudioUnitProperty_ParameterList && Is("meter")) {
        UInt32 size = *ioSize;
        const OSStatus s = AudioUnitGetProperty(u->inner, id, scope, element, outData, &size);
        if (s != noErr || *ioSize < size + sizeof kMeter) return s != noErr ? s : paramErr;
        std::memcpy(static_cast<char*>(outData) + size, &kMeter, sizeof kMeter);
        *ioSize = size + sizeof kMeter;
        return noErr;
    }
    return -1;
}

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, void* outData, UInt32* ioSize) {
    Forwarder* u = Self(self);
    if (!ioSize || !outData || *ioSize == 0) return paramErr;
    if (const OSStatus s = GetChanged(u, id, scope, element, outData, ioSize); s != -1) return s;
    UInt32 full = 0;
    if (Is("short-get-copies") && !TakesInput(id) &&
        AudioUnitGetPropertyInfo(u->inner, id, scope, element, &full, nullptr) == noErr &&
        *ioSize < full) {
        // Copies what fits and succeeds; a reference cut short is released here.
        std::vector<unsigned char> whole(full);
        UInt32 size = full;
        const OSStatus s = AudioUnitGetProperty(u->inner, id, scope, element, whole.data(), &size);
        if (s != noErr) return s;
        std::memcpy(outData, whole.data(), *ioSize);
        for (size_t at : References(id, size)) {
            if (at + sizeof(CFTypeRef) <= *ioSize || at + sizeof(CFTypeRef) > size) continue;
            CFTypeRef ref = nullptr;
            std::memcpy(&ref, whole.data() + at, sizeof ref);
            if (ref) CFRelease(ref);
        }
        return noErr;
    }
    const OSStatus s = AudioUnitGetProperty(u->inner, id, scope, element, outData, ioSize);
    // A switch of two values described as a boolean.
    if (s == noErr && id == kAudioUnitProperty_ParameterInfo && Is("bool-any-nonzero") &&
        *ioSize == sizeof(AudioUnitParameterInfo)) {
        auto* info = static_cast<AudioUnitParameterInfo*>(outData);
        if (info->unit == kAudioUnitParameterUnit_Indexed && info->minValue == 0.0f &&
            info->maxValue == 1.0f)
            info->unit = kAudioUnitParameterUnit_Boolean;
    }
    if (s == noErr && id == kAudioUnitProperty_CurrentPreset && Is("current-preset-kept") &&
        *ioSize == sizeof(AUPreset)) {
        // The unit keeps the name it hands over, as the deprecated property allowed.
        auto* preset = static_cast<AUPreset*>(outData);
        if (u->presetName) CFRelease(u->presetName);
        u->presetName = preset->presetName;
    }
    if (s == noErr && id == kAudioUnitProperty_ClassInfo && Is("fault-identity") &&
        *ioSize == sizeof(CFPropertyListRef)) {
        CFPropertyListRef state = nullptr;
        std::memcpy(&state, outData, sizeof state);
        state = Rebrand(state, static_cast<SInt32>(kOther));
        std::memcpy(outData, &state, sizeof state);
    }
    return s;
}

OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, const void* inData, UInt32 inSize) {
    Forwarder* u = Self(self);
    if (id == kAudioUnitProperty_SampleRate && inData && inSize >= sizeof(Float64)) {
        if (Is("fault-sample-rate"))
            return AudioUnitSetProperty(u->inner, id, kAudioUnitScope_Output, 0, inData, inSize);
        if (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input &&
            scope != kAudioUnitScope_Output)
            return kAudioUnitErr_InvalidScope;
        UInt32 buses = 0, size = sizeof buses;
        if (scope != kAudioUnitScope_Global &&
            (AudioUnitGetProperty(u->inner, kAudioUnitProperty_ElementCount, scope, 0, &buses,
                                  &size) != noErr ||
             element >= buses))
            return kAudioUnitErr_InvalidElement;
    }
    if (id == kAudioUnitProperty_ClassInfo && Is("fault-identity") && inData &&
        inSize == sizeof(CFPropertyListRef)) {
        CFPropertyListRef state = nullptr;
        std::memcpy(&state, inData, sizeof state);
        if (state) CFRetain(state);
        CFPropertyListRef mended = Rebrand(state, static_cast<SInt32>(kManufacturer));
        const OSStatus s = AudioUnitSetProperty(u->inner, id, scope, element, &mended, inSize);
        if (mended) CFRelease(mended);
        return s;
    }
    if (id == kAudioUnitProperty_MaximumFramesPerSlice && Is("max-frames-zero") && inData &&
        inSize >= sizeof(UInt32)) {
        UInt32 frames = 0;
        std::memcpy(&frames, inData, sizeof frames);
        if (frames == 0 && !u->initialized) {
            u->zeroFrames = true;
            return noErr;
        }
        u->zeroFrames = false;
    }
    // A short stream format (its last field is reserved) and short host callbacks (the
    // structure grew over the API's versions) are taken, the rest zero.
    if (Is("format-36") && inData &&
        ((id == kAudioUnitProperty_StreamFormat && inSize >= 36 &&
          inSize < sizeof(AudioStreamBasicDescription)) ||
         id == kAudioUnitProperty_HostCallbacks)) {
        unsigned char whole[256] = {};
        UInt32 full = 0;
        if (AudioUnitGetPropertyInfo(u->inner, id, scope, element, &full, nullptr) == noErr &&
            inSize < full && full <= sizeof whole) {
            std::memcpy(whole, inData, inSize);
            return AudioUnitSetProperty(u->inner, id, scope, element, whole, full);
        }
    }
    if (id == kAudioUnitProperty_StreamFormat && Is("interleaved-mono") && inData &&
        inSize == sizeof(AudioStreamBasicDescription)) {
        AudioStreamBasicDescription f;
        std::memcpy(&f, inData, sizeof f);
        if (f.mChannelsPerFrame == 1) f.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
        return AudioUnitSetProperty(u->inner, id, scope, element, &f, sizeof f);
    }
    return AudioUnitSetProperty(u->inner, id, scope, element, inData, inSize);
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement element, AudioUnitParameterValue* out) {
    Forwarder* u = Self(self);
    if (id == kMeter && Is("meter") && scope == kAudioUnitScope_Global && out) {
        *out = 0.0f;
        return noErr;
    }
    if (Is("unknown-param-created") && out) {
        std::lock_guard<std::mutex> lock(*u->mutex);
        const auto at = u->created->find(id);
        if (at != u->created->end()) {
            *out = at->second;
            return noErr;
        }
    }
    const OSStatus s = AudioUnitGetParameter(u->inner, id, scope, element, out);
    if (s == noErr && (Is("out-of-range-stored") || Is("bool-any-nonzero"))) {
        // What the host gave, while the inner unit still holds what it made of it.
        std::lock_guard<std::mutex> lock(*u->mutex);
        const auto at = u->given->find(id);
        if (at != u->given->end() && at->second.inner == *out) *out = at->second.value;
    }
    return s;
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                      AudioUnitElement element, AudioUnitParameterValue value, UInt32 offset) {
    Forwarder* u = Self(self);
    if (id == kMeter && Is("meter")) return noErr; // the unit's own value
    if (Is("unknown-param-created") && scope == kAudioUnitScope_Global && !u->initialized &&
        !Known(u->inner, id)) {
        std::lock_guard<std::mutex> lock(*u->mutex);
        (*u->created)[id] = value;
        return noErr;
    }
    if (!(Is("out-of-range-stored") || Is("bool-any-nonzero")))
        return AudioUnitSetParameter(u->inner, id, scope, element, value, offset);
    AudioUnitParameterInfo info;
    const bool described = SwitchParameter(u->inner, id, &info);
    const bool isSwitch = described && info.unit == kAudioUnitParameterUnit_Indexed &&
                          info.minValue == 0.0f && info.maxValue == 1.0f;
    // A boolean is true when nonzero.
    const float passed =
        Is("bool-any-nonzero") && isSwitch && value > 0.0f && value <= 1.0f ? 1.0f : value;
    const OSStatus s = AudioUnitSetParameter(u->inner, id, scope, element, passed, offset);
    Float32 inner = 0.0f;
    if (s != noErr || !described ||
        AudioUnitGetParameter(u->inner, id, scope, element, &inner) != noErr)
        return s;
    const bool keep = std::isfinite(value) &&
                      (Is("out-of-range-stored")
                           ? (value < info.minValue || value > info.maxValue)
                           : (isSwitch && value >= info.minValue && value <= info.maxValue));
    std::lock_guard<std::mutex> lock(*u->mutex);
    if (keep)
        (*u->given)[id] = {value, inner};
    else
        u->given->erase(id);
    return s;
}

OSStatus Schedule(void* self, const AudioUnitParameterEvent* events, UInt32 count) {
    Forwarder* u = Self(self);
    if (!events && count > 0) return paramErr;
    if (!Is("ramps-ignored") && !Is("list-by-event"))
        return AudioUnitScheduleParameters(u->inner, events, count);
    // Event by event, each error ignored, as the API's base classes take a list.
    for (UInt32 i = 0; i < count; ++i) {
        if (Is("ramps-ignored") && events[i].eventType == kParameterEvent_Ramped) continue;
        if (Is("ramps-ignored")) {
            const OSStatus s = AudioUnitScheduleParameters(u->inner, &events[i], 1);
            if (s != noErr) return s;
        } else {
            AudioUnitScheduleParameters(u->inner, &events[i], 1);
        }
    }
    return noErr;
}

OSStatus Reset(void* self, AudioUnitScope scope, AudioUnitElement element) {
    return AudioUnitReset(Self(self)->inner, scope, element);
}

OSStatus AddNotify(void* self, AURenderCallback proc, void* refCon) {
    return AudioUnitAddRenderNotify(Self(self)->inner, proc, refCon);
}

OSStatus RemoveNotify(void* self, AURenderCallback proc, void* refCon) {
    return AudioUnitRemoveRenderNotify(Self(self)->inner, proc, refCon);
}

OSStatus AddListener(void* self, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                     void* data) {
    Forwarder* u = Self(self);
    if (!proc) return paramErr;
    Listener* slot = nullptr;
    {
        std::lock_guard<std::mutex> lock(*u->mutex);
        for (Listener& l : u->listeners)
            if (!slot && !l.used) slot = &l;
        if (!slot) return memFullErr;
        *slot = {u->self, id, proc, data, true};
    }
    const OSStatus s = AudioUnitAddPropertyListener(u->inner, id, Trampoline, slot);
    if (s != noErr) {
        std::lock_guard<std::mutex> lock(*u->mutex);
        slot->used = false;
    }
    return s;
}

OSStatus RemoveListeners(Forwarder* u, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                         void* data, bool anyData) {
    std::vector<Listener*> gone;
    {
        std::lock_guard<std::mutex> lock(*u->mutex);
        for (Listener& l : u->listeners)
            if (l.used && l.id == id && l.proc == proc && (anyData || l.data == data))
                gone.push_back(&l);
    }
    for (Listener* l : gone) {
        AudioUnitRemovePropertyListenerWithUserData(u->inner, id, Trampoline, l);
        std::lock_guard<std::mutex> lock(*u->mutex);
        l->used = false;
    }
    return noErr;
}

OSStatus RemoveListenerByProc(void* self, AudioUnitPropertyID id,
                              AudioUnitPropertyListenerProc proc) {
    return RemoveListeners(Self(self), id, proc, nullptr, true);
}

OSStatus RemoveListenerWithData(void* self, AudioUnitPropertyID id,
                                AudioUnitPropertyListenerProc proc, void* data) {
    return RemoveListeners(Self(self), id, proc, data, false);
}

OSStatus Render(void* self, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time,
                UInt32 bus, UInt32 frames, AudioBufferList* io) {
    return AudioUnitRender(Self(self)->inner, flags, time, bus, frames, io);
}

AudioComponentMethod Lookup(SInt16 selector) {
    switch (selector) {
    case kAudioUnitInitializeSelect:
        return reinterpret_cast<AudioComponentMethod>(Initialize);
    case kAudioUnitUninitializeSelect:
        return reinterpret_cast<AudioComponentMethod>(Uninitialize);
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
    case kAudioUnitScheduleParametersSelect:
        return reinterpret_cast<AudioComponentMethod>(Schedule);
    case kAudioUnitResetSelect:
        return reinterpret_cast<AudioComponentMethod>(Reset);
    case kAudioUnitAddRenderNotifySelect:
        return reinterpret_cast<AudioComponentMethod>(AddNotify);
    case kAudioUnitRemoveRenderNotifySelect:
        return reinterpret_cast<AudioComponentMethod>(RemoveNotify);
    case kAudioUnitAddPropertyListenerSelect:
        return reinterpret_cast<AudioComponentMethod>(AddListener);
    case kAudioUnitRemovePropertyListenerSelect:
        return reinterpret_cast<AudioComponentMethod>(RemoveListenerByProc);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return reinterpret_cast<AudioComponentMethod>(RemoveListenerWithData);
    case kAudioUnitRenderSelect:
        return reinterpret_cast<AudioComponentMethod>(Render);
    default:
        return nullptr;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
HostTestForwardingUnitFactory(const AudioComponentDescription*) {
    const char* chosen = std::getenv("ZERUB_TEST_VARIANT");
    variant = chosen ? chosen : "";
    auto* unit = static_cast<Forwarder*>(std::calloc(1, sizeof(Forwarder)));
    if (!unit) return nullptr;
    unit->mutex = new (std::nothrow) std::mutex();
    unit->given = new (std::nothrow) std::map<AudioUnitParameterID, Given>();
    unit->created = new (std::nothrow) std::map<AudioUnitParameterID, float>();
    unit->iface.Open = Open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    if (!unit->mutex || !unit->given || !unit->created) {
        Close(unit);
        return nullptr;
    }
    return &unit->iface;
}
