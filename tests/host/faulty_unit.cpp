// A small effect unit that answers a host as a sound unit should, with deliberate faults chosen
// at run time by ZERUB_TEST_FAULT (read when an instance opens; a comma-separated list chooses
// several), so that a test can show validate naming each fault. Without the variable the unit is
// sound and validates cleanly; a few names choose sound variants instead (a latency that follows
// the gain, no tail, no factory presets, ...), which must validate cleanly too.
//
// Two parameters: 0 "Gain" (0 .. 2, default 1) and 1 "BY" (bypass, 0 or 1). Per channel a
// one-pole low-pass s; out = gain * (x + s) / 2. A non-finite state is cleared, a non-finite
// output sample becomes 0, and tiny states are flushed to zero. Two factory presets.
//
// Built twice. The faulty unit takes its instance mutex for every call, parameter changes
// included. Built with ZERUB_TEST_LOCK_FREE_PARAMETERS it is a sound unit of another design:
// parameters are atomics read and written without a lock, and only property calls and render
// take the instance mutex.
#include <AudioUnit/AudioUnit.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

#ifdef ZERUB_TEST_LOCK_FREE_PARAMETERS
constexpr bool kLockFreeParameters = true;
constexpr OSType kSubtype = 0x4C4B4652; // 'LKFR'
#else
constexpr bool kLockFreeParameters = false;
constexpr OSType kSubtype = 0x46544C54; // 'FTLT'
#endif
constexpr OSType kManufacturer = 0x48747374; // 'Htst'
constexpr UInt32 kMaxChannels = 2;
constexpr UInt32 kMaxBuffer = 8192;
constexpr int kMaxNotify = 8;
constexpr int kMaxListeners = 32;
constexpr UInt32 kMaxDelay = 64;

std::vector<std::string> faults;
bool Fault(const char* name) {
    for (const std::string& f : faults)
        if (f == name) return true;
    return false;
}

// For the faults that share what should be per instance.
std::atomic<float> sharedGain{1.0f};
std::mutex globalLock;
pthread_rwlock_t globalRwlock = PTHREAD_RWLOCK_INITIALIZER;
std::recursive_mutex sharedMutex;
int opened = 0;

struct Preset {
    const char* name;
    float gain;
};
constexpr Preset kPresets[] = {{"Unity", 1.0f}, {"Half", 0.5f}};
constexpr int kPresetCount = 2;

struct Ramp {
    bool active;
    float start, end;
    UInt32 offset, duration;
};

struct Listener {
    AudioUnitPropertyID id;
    AudioUnitPropertyListenerProc proc;
    void* data;
};

struct FaultyUnit {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    AudioComponentInstance instance;
    std::recursive_mutex* mutex;
    std::atomic<float> gain;
    std::atomic<float> bypassParam;
    UInt32 bypass;
    UInt32 maxFrames;
    UInt32 inChannels, outChannels;
    Float64 rate;
    int preset;
    SInt32 userPreset;    // a negative number names a user preset, kept with userName
    CFStringRef userName; // owned
    UInt32 renderLimit;   // for the fault that keeps the maximum of initialise
    bool pending;         // an event to apply after the block (its fault)
    AudioUnitParameterEvent late;
    float delayLine[kMaxChannels][kMaxDelay]; // the output delayed by the latency
    UInt32 delayAt;
    float out[kMaxChannels][kMaxBuffer]; // for a host that gives no output memory
    bool initialized;
    bool saved; // for the fault that shows only once the state was saved
    AURenderCallbackStruct input;
    AURenderCallbackStruct notify[kMaxNotify];
    int notifyCount;
    Listener listeners[kMaxListeners];
    int listenerCount;
    Ramp ramp;
    double state[kMaxChannels];
    float in[kMaxChannels][kMaxBuffer]; // the input of the block being rendered
    int restores;
};

FaultyUnit* Self(void* self) {
    return static_cast<FaultyUnit*>(self);
}

using Lock = std::lock_guard<std::recursive_mutex>;

std::atomic<float>& Gain(FaultyUnit* u) {
    return Fault("shared-state") ? sharedGain : u->gain;
}

OSStatus Open(void* self, AudioComponentInstance instance) {
    if (Fault("open-limit") && ++opened > 50) return kAudioUnitErr_FailedInitialization;
    Self(self)->instance = instance;
    return noErr;
}

OSStatus Close(void* self) {
    FaultyUnit* u = Self(self);
    if (u->userName) CFRelease(u->userName);
    if (u->mutex != &sharedMutex) delete u->mutex;
    u->gain.~atomic();
    u->bypassParam.~atomic();
    std::free(self);
    return noErr;
}

bool Supported(UInt32 channels) {
    return channels == 1 || channels == 2 || (Fault("accepts-3") && channels == 3);
}

OSStatus Initialize(void* self) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    if (u->inChannels != u->outChannels || !Supported(u->inChannels))
        return kAudioUnitErr_FormatNotSupported;
    u->initialized = true;
    u->renderLimit = u->maxFrames;
    return noErr;
}

OSStatus Uninitialize(void* self) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    u->initialized = false;
    return noErr;
}

bool IsIO(AudioUnitScope scope) {
    return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
}

// Size and writability of a property in a scope and element, or why there is none.
OSStatus Describe(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                  UInt32* size, bool* writable) {
    *writable = false;
    *size = 0;
    const bool global = scope == kAudioUnitScope_Global;
    auto answer = [&](bool there, UInt32 bytes, bool canSet = false) -> OSStatus {
        if (!there) return kAudioUnitErr_InvalidProperty;
        *size = bytes;
        *writable = canSet;
        return noErr;
    };
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
        return answer(true, sizeof(CFPropertyListRef), true);
    case kAudioUnitProperty_MakeConnection:
        return answer(scope == kAudioUnitScope_Input && element == 0 && !Fault("no-connection"),
                      sizeof(AudioUnitConnection), true);
    case kAudioUnitProperty_SetRenderCallback:
        return answer(scope == kAudioUnitScope_Input && element == 0,
                      sizeof(AURenderCallbackStruct), true);
    case kAudioUnitProperty_SampleRate:
        return answer(global, sizeof(Float64), true);
    case kAudioUnitProperty_ParameterList:
        return answer(global, 2 * sizeof(AudioUnitParameterID));
    case kAudioUnitProperty_ParameterInfo:
        if (global && element >= 2 && !Fault("unknown-element"))
            return kAudioUnitErr_InvalidElement;
        return answer(global && element < 2, sizeof(AudioUnitParameterInfo));
    case kAudioUnitProperty_StreamFormat:
        return answer(element == 0 && !global, sizeof(AudioStreamBasicDescription), true);
    case kAudioUnitProperty_ElementCount:
        return answer(true, sizeof(UInt32));
    case kAudioUnitProperty_Latency:
        return answer(global, sizeof(Float64));
    case kAudioUnitProperty_TailTime:
        return answer(global && !Fault("no-tail"), sizeof(Float64));
    case kAudioUnitProperty_SupportedNumChannels:
        return answer(global, (Fault("extra-config") ? 3 : 2) * sizeof(AUChannelInfo));
    case kAudioUnitProperty_MaximumFramesPerSlice:
    case kAudioUnitProperty_BypassEffect:
        return answer(global, sizeof(UInt32), true);
    case kAudioUnitProperty_FactoryPresets:
        return answer(global && !Fault("no-factory-presets"), sizeof(CFArrayRef));
    case kAudioUnitProperty_CurrentPreset:
        return answer(global && !Fault("present-only"), sizeof(AUPreset), true);
    case kAudioUnitProperty_PresentPreset:
        return answer(global, sizeof(AUPreset), true);
    case kAudioUnitProperty_ElementName:
        if (!IsIO(scope)) return kAudioUnitErr_InvalidScope;
        if (element > 1 || (element == 1 && !Fault("element-name-extra")))
            return kAudioUnitErr_InvalidElement;
        return answer(true, sizeof(CFStringRef));
    case kAudioUnitProperty_ParameterStringFromValue:
    case kAudioUnitProperty_ParameterValueFromString:
        if (!global && !Fault("text-scope")) return kAudioUnitErr_InvalidScope;
        return answer(true, id == kAudioUnitProperty_ParameterStringFromValue
                                ? sizeof(AudioUnitParameterStringFromValue)
                                : sizeof(AudioUnitParameterValueFromString));
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element, UInt32* outSize, Boolean* outWritable) {
    Lock lock(*Self(self)->mutex);
    if (Fault("info-size") && id == kAudioUnitProperty_Latency)
        return kAudioUnitErr_InvalidPropertyValue; // fails without saying the size
    if (Fault("element-name-info") && id == kAudioUnitProperty_ElementName)
        return kAudioUnitErr_InvalidProperty;
    UInt32 size = 0;
    bool writable = false;
    const OSStatus s = Describe(id, scope, element, &size, &writable);
    if (s != noErr) return s;
    if (outSize) *outSize = size;
    if (outWritable) *outWritable = writable;
    return noErr;
}

CFNumberRef Number(SInt32 value) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

CFStringRef Text(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

void Put(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFStringRef k = Text(key);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFTypeRef Get(CFDictionaryRef dict, const char* key) {
    CFStringRef k = Text(key);
    CFTypeRef value = CFDictionaryGetValue(dict, k);
    CFRelease(k);
    return value;
}

// The factory preset records, made once and kept for the life of the process.
const AUPreset* FactoryRecords() {
    static AUPreset records[kPresetCount];
    static std::once_flag made;
    std::call_once(made, [] {
        for (int i = 0; i < kPresetCount; ++i)
            records[i] = {i, Text(kPresets[i].name)};
    });
    return records;
}

// The current preset, with a name the unit keeps.
AUPreset CurrentPreset(const FaultyUnit* u) {
    if (u->userName) return {u->userPreset, u->userName};
    return FactoryRecords()[u->preset];
}

// The output's delay, in frames: the latency variants delay more at high gain.
UInt32 Delay(FaultyUnit* u);

CFPropertyListRef SaveState(FaultyUnit* u) {
    u->saved = true;
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    Put(dict, "type", Number(static_cast<SInt32>(kAudioUnitType_Effect)));
    Put(dict, "subtype", Number(static_cast<SInt32>(kSubtype)));
    Put(dict, "manufacturer", Number(static_cast<SInt32>(kManufacturer)));
    Put(dict, "name", CFRetain(CurrentPreset(u).presetName));
    // A parameter left out of presets is saved at its default.
    const float values[2] = {Gain(u).load(), Fault("omit-bypass") ? 0.0f : u->bypassParam.load()};
    Put(dict, "data", CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(values), sizeof values));
    if (Fault("resave-differs")) Put(dict, "restores", Number(u->restores));
    if (Fault("unserialisable")) {
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>("/tmp"), 4, true);
        Put(dict, "where", url);
    }
    return dict;
}

float WholeBypass(float value) {
    return Fault("fraction-stored") ? std::fmin(std::fmax(value, 0.0f), 1.0f)
                                    : (value >= 0.5f ? 1.0f : 0.0f);
}

OSStatus RestoreState(FaultyUnit* u, CFPropertyListRef plist) {
    if (!plist || CFGetTypeID(plist) != CFDictionaryGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;
    const auto dict = static_cast<CFDictionaryRef>(plist);
    SInt32 subtype = 0;
    CFTypeRef number = Get(dict, "subtype");
    CFTypeRef data = Get(dict, "data");
    if (!number || CFGetTypeID(number) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, &subtype))
        return kAudioUnitErr_InvalidPropertyValue;
    if (static_cast<OSType>(subtype) != kSubtype && !Fault("foreign"))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!data || CFGetTypeID(data) != CFDataGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    float values[2] = {0.0f, 0.0f}; // what a short chunk leaves: the minimum
    const CFIndex length = CFDataGetLength(static_cast<CFDataRef>(data));
    if (length == 0 && Fault("empty-ignored")) return noErr; // a restore of nothing
    if (length != sizeof values && !Fault("short-data")) return kAudioUnitErr_InvalidPropertyValue;
    if (length > 0)
        std::memcpy(values, CFDataGetBytePtr(static_cast<CFDataRef>(data)),
                    std::min<size_t>(sizeof values, static_cast<size_t>(length)));
    if (!Fault("nonfinite-data")) {
        if (!std::isfinite(values[0]) || !std::isfinite(values[1]))
            return kAudioUnitErr_InvalidPropertyValue;
    }
    Gain(u) = std::isfinite(values[0]) ? std::fmin(std::fmax(values[0], 0.0f), 2.0f) : 2.0f;
    if (!Fault("omit-bypass")) u->bypassParam = WholeBypass(values[1]);
    ++u->restores;
    return noErr;
}

void FillParameterInfo(FaultyUnit* u, AudioUnitElement element, AudioUnitParameterInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    const bool current = Fault("default-is-current");
    if (element == 0) {
        std::strcpy(info->name, "Gain");
        info->maxValue = 2.0f;
        info->defaultValue = current ? Gain(u).load() : 1.0f;
    } else {
        std::strcpy(info->name, "BY");
        info->unit = kAudioUnitParameterUnit_Boolean;
        if (Fault("omit-bypass")) info->flags |= kAudioUnitParameterFlag_OmitFromPresets;
        info->maxValue = 1.0f;
        info->defaultValue = current ? u->bypassParam.load() : 0.0f;
    }
}

// The text shown for a value, and the value a text names: a plain number, whole for BY.
CFStringRef ValueText(AudioUnitParameterID id, float value) {
    char text[32];
    std::snprintf(text, sizeof text, id == 0 ? "%.3f" : "%.0f", static_cast<double>(value));
    return Text(text);
}

OSStatus ParseValue(AudioUnitParameterID id, CFStringRef string, Float32* value) {
    char text[64] = "";
    if (string && CFGetTypeID(string) == CFStringGetTypeID())
        CFStringGetCString(string, text, sizeof text, kCFStringEncodingUTF8);
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!Fault("text-bad") && (end == text || *end != '\0' || !std::isfinite(v)))
        return kAudioUnitErr_InvalidPropertyValue;
    *value = id == 1 ? WholeBypass(static_cast<float>(v)) : static_cast<float>(v);
    return noErr;
}

OSStatus GetTextProperty(AudioUnitPropertyID id, AudioUnitScope scope, void* outData) {
    if (scope != kAudioUnitScope_Global) return noErr; // the fault: answered, nothing written
    if (id == kAudioUnitProperty_ParameterStringFromValue) {
        auto* request = static_cast<AudioUnitParameterStringFromValue*>(outData);
        if (request->inParamID > 1 || !request->inValue) return kAudioUnitErr_InvalidPropertyValue;
        request->outString = ValueText(request->inParamID, *request->inValue);
        return noErr;
    }
    auto* request = static_cast<AudioUnitParameterValueFromString*>(outData);
    if (request->inParamID > 1) return kAudioUnitErr_InvalidPropertyValue;
    return ParseValue(request->inParamID, request->inString, &request->outValue);
}

void WriteFormat(FaultyUnit* u, AudioUnitScope scope, void* outData) {
    AudioStreamBasicDescription f;
    std::memset(&f, 0, sizeof f);
    f.mSampleRate = u->rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = f.mBytesPerFrame = 4;
    f.mFramesPerPacket = 1;
    f.mChannelsPerFrame = scope == kAudioUnitScope_Input ? u->inChannels : u->outChannels;
    f.mBitsPerChannel = 32;
    std::memcpy(outData, &f, sizeof f);
}

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, void* outData, UInt32* ioSize) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    UInt32 size = 0;
    bool writable = false;
    if (const OSStatus s = Describe(id, scope, element, &size, &writable); s != noErr) return s;
    if (!outData) return paramErr;
    if (!ioSize && !Fault("get-null-size")) return paramErr;
    const UInt32 given = ioSize ? *ioSize : size;
    if (given < size && !Fault("short-get") && !(Fault("get-zero-size") && given == 0))
        return kAudioUnitErr_InvalidPropertyValue;
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef state = SaveState(u);
        std::memcpy(outData, &state, sizeof state);
        break;
    }
    case kAudioUnitProperty_SampleRate:
        std::memcpy(outData, &u->rate, sizeof u->rate);
        break;
    case kAudioUnitProperty_ParameterList: {
        const AudioUnitParameterID ids[2] = {0, 1};
        std::memcpy(outData, ids, sizeof ids);
        break;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info;
        FillParameterInfo(u, element, &info);
        std::memcpy(outData, &info, sizeof info);
        break;
    }
    case kAudioUnitProperty_StreamFormat:
        WriteFormat(u, scope, outData);
        break;
    case kAudioUnitProperty_ElementCount: {
        const UInt32 count = 1;
        std::memcpy(outData, &count, sizeof count);
        break;
    }
    case kAudioUnitProperty_Latency: {
        const Float64 seconds = Fault("latency-negative") ? -1.0
                                : Fault("latency-false")  ? 0.01
                                : Fault("latency-untold") ? 0.0
                                                          : Delay(u) / u->rate;
        std::memcpy(outData, &seconds, sizeof seconds);
        break;
    }
    case kAudioUnitProperty_TailTime: {
        const Float64 seconds = 0.0;
        std::memcpy(outData, &seconds, sizeof seconds);
        break;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo configs[3] = {{1, 1}, {2, 2}, {1, 2}};
        std::memcpy(outData, configs, size);
        break;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        std::memcpy(outData, &u->maxFrames, sizeof(UInt32));
        break;
    case kAudioUnitProperty_BypassEffect:
        std::memcpy(outData, &u->bypass, sizeof(UInt32));
        break;
    case kAudioUnitProperty_FactoryPresets: {
        // The records live as long as the process; the array only points at them.
        CFMutableArrayRef list = CFArrayCreateMutable(nullptr, kPresetCount, nullptr);
        for (int i = 0; i < kPresetCount; ++i)
            CFArrayAppendValue(list, &FactoryRecords()[i]);
        std::memcpy(outData, &list, sizeof list);
        break;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
        // The host owns the name it is given (CurrentPreset's ownership was never settled; this
        // unit hands over a reference through both).
        const AUPreset preset = CurrentPreset(u);
        CFRetain(preset.presetName);
        std::memcpy(outData, &preset, sizeof preset);
        break;
    }
    case kAudioUnitProperty_ElementName: {
        CFStringRef name = Text(element == 1                     ? "aux input"
                                : scope == kAudioUnitScope_Input ? "input"
                                                                 : "output");
        std::memcpy(outData, &name, sizeof name);
        break;
    }
    case kAudioUnitProperty_ParameterStringFromValue:
    case kAudioUnitProperty_ParameterValueFromString:
        return GetTextProperty(id, scope, outData);
    default: // write-only
        return kAudioUnitErr_InvalidProperty;
    }
    if (ioSize) *ioSize = size;
    return noErr;
}

bool Listed(const FaultyUnit* u, const Listener& l) {
    for (int i = 0; i < u->listenerCount; ++i)
        if (u->listeners[i].id == l.id && u->listeners[i].proc == l.proc &&
            u->listeners[i].data == l.data)
            return true;
    return false;
}

// Calls the listeners of a property. A listener may remove itself or others while it is called:
// each is called from a copy of the list, and only while it is still registered.
void Inform(FaultyUnit* u, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
    if (Fault("listener-skip")) {
        for (int i = 0; i < u->listenerCount; ++i)
            if (u->listeners[i].id == id)
                u->listeners[i].proc(u->listeners[i].data, u->instance, id, scope, element);
        return;
    }
    Listener copy[kMaxListeners];
    const int count = u->listenerCount;
    std::memcpy(copy, u->listeners, sizeof(Listener) * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        if (copy[i].id == id && Listed(u, copy[i]))
            copy[i].proc(copy[i].data, u->instance, id, scope, element);
}

bool PlainFloat(const AudioStreamBasicDescription& f) {
    if (Fault("packed-formats")) return f.mFormatID == kAudioFormatLinearPCM;
    return f.mFormatID == kAudioFormatLinearPCM && (f.mFormatFlags & kAudioFormatFlagIsFloat) &&
           (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) && f.mBitsPerChannel == 32 &&
           f.mBytesPerFrame == 4 && f.mBytesPerPacket == 4 && f.mFramesPerPacket == 1;
}

bool UsableRate(Float64 rate) {
    return std::isfinite(rate) && rate > 0.0 && rate < 2147483648.0;
}

OSStatus SetFormat(FaultyUnit* u, AudioUnitScope scope, const AudioStreamBasicDescription& f) {
    UInt32& channels = scope == kAudioUnitScope_Input ? u->inChannels : u->outChannels;
    // Either way is sound: refuse an unlisted count when it is set, or (this variant) when the
    // unit initialises; an initialised unit refuses it at once.
    const bool laterRefusal = Fault("refuse-at-init") && !u->initialized &&
                              f.mChannelsPerFrame >= 1 && f.mChannelsPerFrame <= 8;
    const bool supported = Supported(f.mChannelsPerFrame);
    if (!PlainFloat(f) || !UsableRate(f.mSampleRate) || !(supported || laterRefusal)) {
        if (Fault("refused-format-zeroes")) channels = 0;
        return kAudioUnitErr_FormatNotSupported;
    }
    channels = f.mChannelsPerFrame;
    u->rate = f.mSampleRate;
    return noErr;
}

OSStatus SetPreset(FaultyUnit* u, const void* inData) {
    AUPreset preset;
    std::memcpy(&preset, inData, sizeof preset);
    // The design with lock-free parameters keeps user presets: a negative number with a name.
    if (kLockFreeParameters && preset.presetNumber < 0 && preset.presetName &&
        CFGetTypeID(preset.presetName) == CFStringGetTypeID()) {
        CFRetain(preset.presetName);
        if (u->userName) CFRelease(u->userName);
        u->userName = preset.presetName;
        u->userPreset = preset.presetNumber;
        return noErr;
    }
    if (preset.presetNumber < 0 || preset.presetNumber >= kPresetCount)
        return Fault("preset-any") ? OSStatus{noErr} : OSStatus{kAudioUnitErr_InvalidPropertyValue};
    if (u->userName) CFRelease(u->userName);
    u->userName = nullptr;
    u->preset = preset.presetNumber;
    if (Fault("preset-noop")) return noErr;
    Gain(u) = kPresets[u->preset].gain;
    u->bypassParam = 0.0f;
    return noErr;
}

OSStatus Apply(FaultyUnit* u, AudioUnitPropertyID id, AudioUnitScope scope, const void* inData) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef plist = nullptr;
        std::memcpy(&plist, inData, sizeof plist);
        return RestoreState(u, plist);
    }
    case kAudioUnitProperty_SampleRate: {
        Float64 rate = 0.0;
        std::memcpy(&rate, inData, sizeof rate);
        if (!UsableRate(rate)) return kAudioUnitErr_InvalidPropertyValue;
        u->rate = rate;
        return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription f;
        std::memcpy(&f, inData, sizeof f);
        return SetFormat(u, scope, f);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        UInt32 frames = 0;
        std::memcpy(&frames, inData, sizeof frames);
        if ((frames == 0 && !Fault("max-zero")) || frames > kMaxBuffer)
            return kAudioUnitErr_InvalidPropertyValue;
        u->maxFrames = frames;
        return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
        UInt32 on = 0;
        std::memcpy(&on, inData, sizeof on);
        u->bypass = on ? 1 : 0;
        return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback:
        std::memcpy(&u->input, inData, sizeof u->input);
        return noErr;
    case kAudioUnitProperty_MakeConnection: {
        AudioUnitConnection connection;
        std::memcpy(&connection, inData, sizeof connection);
        if (connection.sourceAudioUnit) return kAudioUnitErr_InvalidPropertyValue;
        u->input = {nullptr, nullptr};
        return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        return SetPreset(u, inData);
    default:
        return noErr; // the one read-only property the fault lets through
    }
}

OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, const void* inData, UInt32 inSize) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    UInt32 size = 0;
    bool writable = false;
    if (const OSStatus s = Describe(id, scope, element, &size, &writable); s != noErr) return s;
    if (!writable && !(Fault("readonly-set") && id == kAudioUnitProperty_Latency))
        return kAudioUnitErr_PropertyNotWritable;
    if (!inData || (inSize < size && !Fault("short-set")))
        return kAudioUnitErr_InvalidPropertyValue;
    if (Fault("listeners-before")) Inform(u, id, scope, element);
    const OSStatus s = Apply(u, id, scope, inData);
    if ((s == noErr && !Fault("listeners-before")) || Fault("listeners-refused"))
        Inform(u, id, scope, element);
    return s;
}

bool WholeParameterAccess(FaultyUnit* u, std::unique_lock<std::recursive_mutex>* lock) {
    if (kLockFreeParameters) return false;
    *lock = std::unique_lock<std::recursive_mutex>(*u->mutex);
    return true;
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue* out) {
    FaultyUnit* u = Self(self);
    std::unique_lock<std::recursive_mutex> lock;
    WholeParameterAccess(u, &lock);
    if (id > 1) return kAudioUnitErr_InvalidParameter;
    *out = id == 0 ? Gain(u).load() : u->bypassParam.load();
    return noErr;
}

UInt32 Delay(FaultyUnit* u) {
    if (Fault("latency-untold")) return 48;
    if (!Fault("latency") && !Fault("latency-unannounced")) return 0;
    return Gain(u).load() > 1.5f ? 48 : 16;
}

void SetValue(FaultyUnit* u, AudioUnitParameterID id, float value) {
    if (std::isnan(value) && !Fault("nan-param")) return;
    const UInt32 delay = Delay(u);
    if (id == 0) {
        std::atomic<float>& gain = Gain(u);
        if (Fault("race")) {
            // Written in two steps, with nothing to keep a render from seeing the first.
            gain = std::nanf("");
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        gain = Fault("no-clamp") || Fault("nan-param") ? value
                                                       : std::fmin(std::fmax(value, 0.0f), 2.0f);
    } else {
        u->bypassParam = WholeBypass(value);
    }
    if (Delay(u) != delay && !Fault("latency-unannounced")) {
        Lock lock(*u->mutex);
        Inform(u, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0);
    }
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue value, UInt32) {
    FaultyUnit* u = Self(self);
    if (id > 1) return kAudioUnitErr_InvalidParameter;
    // The design with lock-free parameters refuses what is not a number.
    if (kLockFreeParameters && std::isnan(value)) return kAudioUnitErr_InvalidParameterValue;
    std::unique_lock<std::recursive_mutex> lock;
    if (!Fault("race")) WholeParameterAccess(u, &lock);
    SetValue(u, id, value);
    return noErr;
}

// Why an event cannot be applied, or noErr.
OSStatus EventProblem(const AudioUnitParameterEvent& e) {
    if (e.parameter > 1) return kAudioUnitErr_InvalidParameter;
    if (e.scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
    if (e.eventType == kParameterEvent_Immediate)
        return std::isfinite(e.eventValues.immediate.value)
                   ? OSStatus{noErr}
                   : OSStatus{kAudioUnitErr_InvalidParameterValue};
    if (e.eventType == kParameterEvent_Ramped)
        return std::isfinite(e.eventValues.ramp.startValue) &&
                       std::isfinite(e.eventValues.ramp.endValue)
                   ? OSStatus{noErr}
                   : OSStatus{kAudioUnitErr_InvalidParameterValue};
    return paramErr;
}

OSStatus Schedule(void* self, const AudioUnitParameterEvent* events, UInt32 count) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    if (!events && count > 0) return paramErr;
    // All or nothing: every event is checked before the first is applied.
    if (!Fault("schedule-partial"))
        for (UInt32 i = 0; i < count; ++i)
            if (const OSStatus s = EventProblem(events[i]); s != noErr) return s;
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (const OSStatus s = EventProblem(e); s != noErr) return s;
        if (e.eventType == kParameterEvent_Immediate && Fault("offset-late") &&
            e.eventValues.immediate.bufferOffset > 0) {
            u->pending = true;
            u->late = e;
        } else if (e.eventType == kParameterEvent_Immediate && !Fault("no-schedule")) {
            SetValue(u, e.parameter, e.eventValues.immediate.value);
        } else if (e.eventType == kParameterEvent_Ramped && e.parameter == 0 && !Fault("no-ramp"))
            u->ramp = {true, e.eventValues.ramp.startValue, e.eventValues.ramp.endValue,
                       static_cast<UInt32>(e.eventValues.ramp.startBufferOffset),
                       e.eventValues.ramp.durationInFrames};
    }
    return noErr;
}

OSStatus Reset(void* self, AudioUnitScope, AudioUnitElement) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    if (Fault("crash")) std::abort();
    if (!Fault("nan-stuck") && !Fault("reset-keeps-state")) {
        for (double& s : u->state)
            s = 0.0;
        std::memset(u->delayLine, 0, sizeof u->delayLine);
    }
    if (Fault("reset-params")) Gain(u) = 1.0f;
    return noErr;
}

OSStatus AddNotify(void* self, AURenderCallback proc, void* refCon) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    if (!proc && !Fault("notify-null")) return paramErr;
    if (u->notifyCount == kMaxNotify) return kAudioUnitErr_InvalidPropertyValue;
    u->notify[u->notifyCount++] = {proc, refCon};
    return noErr;
}

OSStatus RemoveNotify(void* self, AURenderCallback proc, void* refCon) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    for (int i = 0; i < u->notifyCount; ++i) {
        if (u->notify[i].inputProc != proc ||
            (u->notify[i].inputProcRefCon != refCon && !Fault("notify-remove")))
            continue;
        for (int j = i + 1; j < u->notifyCount; ++j)
            u->notify[j - 1] = u->notify[j];
        --u->notifyCount;
        break;
    }
    return noErr;
}

OSStatus AddListener(void* self, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                     void* data) {
    FaultyUnit* u = Self(self);
    Lock lock(*u->mutex);
    if (!proc) return paramErr;
    for (int i = 0; i < u->listenerCount; ++i) {
        const Listener& l = u->listeners[i];
        if (l.id == id && l.proc == proc && (l.data == data || Fault("listener-dedupe")))
            return noErr;
    }
    if (u->listenerCount == kMaxListeners) return kAudioUnitErr_InvalidPropertyValue;
    u->listeners[u->listenerCount++] = {id, proc, data};
    return noErr;
}

// Removes the first listener of id with proc and, when anyData is false, data.
OSStatus RemoveListener(FaultyUnit* u, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                        void* data, bool anyData) {
    Lock lock(*u->mutex);
    for (int i = 0; i < u->listenerCount; ++i) {
        const Listener& l = u->listeners[i];
        if (l.id != id || l.proc != proc || (!anyData && l.data != data)) continue;
        for (int j = i + 1; j < u->listenerCount; ++j)
            u->listeners[j - 1] = u->listeners[j];
        --u->listenerCount;
        break;
    }
    return noErr;
}

OSStatus RemoveListenerByProc(void* self, AudioUnitPropertyID id,
                              AudioUnitPropertyListenerProc proc) {
    return RemoveListener(Self(self), id, proc, nullptr, true);
}

OSStatus RemoveListenerWithData(void* self, AudioUnitPropertyID id,
                                AudioUnitPropertyListenerProc proc, void* data) {
    return RemoveListener(Self(self), id, proc, data, Fault("listener-remove-any"));
}

void Notify(FaultyUnit* u, AudioUnitRenderActionFlags stage, const AudioTimeStamp* time, UInt32 bus,
            UInt32 frames, AudioBufferList* io) {
    if (Fault("notify-once") && stage == kAudioUnitRenderAction_PostRender) return;
    for (int i = 0; i < u->notifyCount; ++i) {
        AudioUnitRenderActionFlags flags = stage;
        u->notify[i].inputProc(u->notify[i].inputProcRefCon, &flags, time, bus, frames, io);
    }
}

// Pulls the input into the unit's input buffers: from the callback, or silence (or, with its
// fault, the last block again).
OSStatus PullInput(FaultyUnit* u, const AudioTimeStamp* time, UInt32 frames) {
    const UInt32 channels = u->inChannels;
    if (!u->input.inputProc) {
        if (!Fault("disconnected-repeats"))
            for (UInt32 c = 0; c < channels; ++c)
                std::memset(u->in[c], 0, frames * sizeof(float));
        return noErr;
    }
    struct {
        UInt32 count;
        AudioBuffer buffers[kMaxChannels];
    } list = {channels, {{1, frames * 4, u->in[0]}, {1, frames * 4, u->in[1]}}};
    auto* io = reinterpret_cast<AudioBufferList*>(&list);
    AudioUnitRenderActionFlags flags = 0;
    if (const OSStatus s =
            u->input.inputProc(u->input.inputProcRefCon, &flags, time, 0, frames, io);
        s != noErr)
        return s;
    for (UInt32 c = 0; c < channels; ++c)
        if (list.buffers[c].mData != u->in[c] && list.buffers[c].mData)
            std::memcpy(u->in[c], list.buffers[c].mData, frames * sizeof(float));
    return noErr;
}

void Process(FaultyUnit* u, UInt32 channels, UInt32 frames, AudioBufferList* io) {
    const double coefficient = 0.2;
    float gain = Gain(u);
    const UInt32 delay = Delay(u);
    for (UInt32 c = 0; c < channels; ++c) {
        auto* samples = static_cast<float*>(io->mBuffers[c].mData);
        double& s = u->state[c];
        for (UInt32 i = 0; i < frames; ++i) {
            if (Fault("race")) gain = Gain(u);
            const double x = u->in[c][i];
            if (!Fault("slices") || i + 1 == frames) s += coefficient * (x - s);
            if (!std::isfinite(s) && !Fault("nan-stuck")) s = 0.0;
            if (std::fabs(s) < 1e-30) s = 0.0;
            double y = gain * (x + s) * 0.5;
            if (Fault("dc-inf")) y = gain * x / (1.0 - x);
            // The race fault lets a torn gain through; a bad input sample is still caught.
            if (!std::isfinite(y) && !(Fault("race") && std::isfinite(x)) && !Fault("dc-inf"))
                y = 0.0;
            if (Fault("subnormal") && x == 0.0) y = 1e-40;
            samples[i] = static_cast<float>(y);
            if (delay) {
                float* line = u->delayLine[c];
                line[(u->delayAt + i) % kMaxDelay] = samples[i];
                samples[i] = line[(u->delayAt + i + kMaxDelay - delay) % kMaxDelay];
            }
        }
    }
    u->delayAt = (u->delayAt + frames) % kMaxDelay;
}

OSStatus RenderLocked(FaultyUnit* u, const AudioTimeStamp* time, UInt32 bus, UInt32 frames,
                      AudioBufferList* io) {
    if (!time || !io || bus != 0) return kAudioUnitErr_InvalidPropertyValue;
    if (!(time->mFlags & kAudioTimeStampSampleTimeValid) && !Fault("untimed"))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!u->initialized && !Fault("render-uninitialized")) return kAudioUnitErr_Uninitialized;
    if (frames > u->maxFrames && !Fault("over-max"))
        return Fault("over-max-code") ? kAudioUnitErr_InvalidPropertyValue
                                      : kAudioUnitErr_TooManyFramesToProcess;
    if (frames > kMaxBuffer ||
        (io->mNumberBuffers != u->outChannels && !Fault("any-buffer-count") &&
         !Fault("buffers-past-list")) ||
        u->inChannels != u->outChannels)
        return kAudioUnitErr_InvalidPropertyValue;
    // With its fault, the unit trusts its format over the host's list.
    const UInt32 channels =
        Fault("buffers-past-list") ? u->outChannels : std::min(io->mNumberBuffers, u->outChannels);
    for (UInt32 c = 0; c < std::max(io->mNumberBuffers, channels); ++c) {
        AudioBuffer& buffer = io->mBuffers[c];
        if (!buffer.mData && c < channels && !Fault("null-data-refused")) {
            // No memory from the host: the unit's own, and the host reads it there.
            buffer.mData = u->out[c];
            buffer.mDataByteSize = frames * sizeof(float);
        }
        if (!buffer.mData ||
            (buffer.mDataByteSize < frames * sizeof(float) && !Fault("ignores-byte-size")))
            return paramErr;
    }
    if (Fault("alloc")) {
        void* volatile scratch = std::malloc(64);
        std::free(scratch);
    }
    if (Fault("lock")) std::lock_guard<std::mutex> other(globalLock);
    if (Fault("rwlock")) {
        pthread_rwlock_rdlock(&globalRwlock);
        pthread_rwlock_unlock(&globalRwlock);
    }
    if (Fault("sleep")) usleep(0);
    if (Fault("mmap")) {
        void* page =
            mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page != MAP_FAILED) munmap(page, 4096);
    }
    if (Fault("file")) {
        const int file = open("/dev/null", O_WRONLY);
        if (file >= 0) {
            const ssize_t written = write(file, "x", 1);
            static_cast<void>(written);
            close(file);
        }
    }
    // With its fault, the unit renders no more than the maximum it had when initialised.
    const UInt32 done = Fault("max-while-init") ? std::min(frames, u->renderLimit) : frames;
    Notify(u, kAudioUnitRenderAction_PreRender, time, bus, frames, io);
    if (const OSStatus s = PullInput(u, time, frames); s != noErr) return s;
    const bool bypassed =
        (u->bypass && !Fault("bypass-ignored") && !(Fault("save-breaks-bypass") && u->saved)) ||
        (u->bypassParam >= 0.5f && !Fault("by-param-ignored"));
    if (bypassed && Fault("bypass-inexact"))
        for (UInt32 c = 0; c < channels; ++c)
            for (UInt32 i = 0; i < done; ++i)
                static_cast<float*>(io->mBuffers[c].mData)[i] = u->in[c][i] * 0.99999f;
    else if (bypassed)
        for (UInt32 c = 0; c < channels; ++c)
            std::memcpy(io->mBuffers[c].mData, u->in[c], done * sizeof(float));
    else
        Process(u, channels, done, io);
    if (u->pending) {
        SetValue(u, u->late.parameter, u->late.eventValues.immediate.value);
        u->pending = false;
    }
    if (u->ramp.active) {
        const UInt32 end = u->ramp.offset + u->ramp.duration;
        if (end <= frames) {
            Gain(u) = u->ramp.end;
            u->ramp.active = false;
        } else {
            Gain(u) = u->ramp.start + (u->ramp.end - u->ramp.start) *
                                          static_cast<float>(frames - u->ramp.offset) /
                                          static_cast<float>(u->ramp.duration);
        }
    }
    Notify(u, kAudioUnitRenderAction_PostRender, time, bus, frames, io);
    return noErr;
}

OSStatus Render(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32 bus,
                UInt32 frames, AudioBufferList* io) {
    FaultyUnit* u = Self(self);
    if (Fault("render-hangs") && frames == 4096)
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    if (Fault("race")) return RenderLocked(u, time, bus, frames, io);
    Lock lock(*u->mutex);
    return RenderLocked(u, time, bus, frames, io);
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
HostTestFaultyUnitFactory(const AudioComponentDescription*) {
    const char* chosen = std::getenv("ZERUB_TEST_FAULT");
    faults.clear();
    for (std::string rest = chosen ? chosen : ""; !rest.empty();) {
        const size_t comma = rest.find(',');
        faults.push_back(rest.substr(0, comma));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    auto* unit = static_cast<FaultyUnit*>(std::calloc(1, sizeof(FaultyUnit)));
    if (!unit) return nullptr;
    unit->mutex = Fault("shared-mutex") ? &sharedMutex : new (std::nothrow) std::recursive_mutex();
    if (!unit->mutex) {
        std::free(unit);
        return nullptr;
    }
    new (&unit->gain) std::atomic<float>(1.0f);
    new (&unit->bypassParam) std::atomic<float>(0.0f);
    unit->iface.Open = Open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    unit->maxFrames = 1024;
    unit->inChannels = unit->outChannels = 2;
    unit->rate = Fault("default-format") ? 48000.0 : 44100.0;
    return &unit->iface;
}
