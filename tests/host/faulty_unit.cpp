// A small effect unit that answers a host as a sound unit should, with one deliberate fault
// chosen at run time by ZERUB_TEST_FAULT (read when an instance opens), so that a test can show
// validate naming each fault. Without the variable the unit is sound and validates cleanly.
//
// Two parameters: 0 "Gain" (0 .. 2, default 1) and 1 "BY" (bypass, 0 or 1). Per channel a
// one-pole low-pass s; out = gain * (x + s) / 2. A non-finite state is cleared, a non-finite
// output sample becomes 0, and tiny states are flushed to zero.
#include <AudioUnit/AudioUnit.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr OSType kSubtype = 0x46544C54;      // 'FTLT'
constexpr OSType kManufacturer = 0x48747374; // 'Htst'
constexpr UInt32 kMaxChannels = 2;
constexpr UInt32 kMaxBuffer = 8192;
constexpr int kMaxNotify = 8;

std::string fault;
bool Fault(const char* name) {
    return fault == name;
}

// For the faults that share what should be per instance.
float sharedGain = 1.0f;
std::mutex globalLock;
int opened = 0;

struct Ramp {
    bool active;
    float start, end;
    UInt32 offset, duration;
};

struct FaultyUnit {
    AudioComponentPlugInInterface iface; // first: the interface pointer is the unit
    AudioComponentInstance instance;
    std::recursive_mutex* mutex;
    float gain;
    float bypassParam;
    UInt32 bypass;
    UInt32 maxFrames;
    UInt32 inChannels, outChannels;
    Float64 rate;
    bool initialized;
    bool saved; // for the fault that shows only once the state was saved
    AURenderCallbackStruct input;
    AURenderCallbackStruct notify[kMaxNotify];
    int notifyCount;
    Ramp ramp;
    double state[kMaxChannels];
    float last[kMaxChannels][kMaxBuffer]; // the previous block's input
    UInt32 lastFrames;
    int restores;
};

FaultyUnit* Self(void* self) {
    return static_cast<FaultyUnit*>(self);
}

float& Gain(FaultyUnit* u) {
    return Fault("shared-state") ? sharedGain : u->gain;
}

OSStatus Open(void* self, AudioComponentInstance instance) {
    if (Fault("open-limit") && ++opened > 50) return kAudioUnitErr_FailedInitialization;
    Self(self)->instance = instance;
    return noErr;
}

OSStatus Close(void* self) {
    delete Self(self)->mutex;
    std::free(self);
    return noErr;
}

bool Supported(UInt32 channels) {
    return channels == 1 || channels == 2 || (Fault("accepts-3") && channels == 3);
}

OSStatus Initialize(void* self) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    if (u->inChannels != u->outChannels || !Supported(u->inChannels))
        return kAudioUnitErr_FormatNotSupported;
    u->initialized = true;
    return noErr;
}

OSStatus Uninitialize(void* self) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    u->initialized = false;
    return noErr;
}

// Size and writability of each property, or size 0 when the unit does not have it.
UInt32 SizeOf(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
              bool* writable) {
    *writable = false;
    const bool global = scope == kAudioUnitScope_Global;
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
        *writable = true;
        return sizeof(CFPropertyListRef);
    case kAudioUnitProperty_MakeConnection:
    case kAudioUnitProperty_SetRenderCallback:
        *writable = true;
        return scope == kAudioUnitScope_Input && element == 0
                   ? (id == kAudioUnitProperty_MakeConnection ? sizeof(AudioUnitConnection)
                                                              : sizeof(AURenderCallbackStruct))
                   : 0;
    case kAudioUnitProperty_ParameterList:
        return global ? 2 * sizeof(AudioUnitParameterID) : 0;
    case kAudioUnitProperty_ParameterInfo:
        return global && element < 2 ? sizeof(AudioUnitParameterInfo) : 0;
    case kAudioUnitProperty_StreamFormat:
        *writable = true;
        return element == 0 && scope != kAudioUnitScope_Global ? sizeof(AudioStreamBasicDescription)
                                                               : 0;
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
        return global ? sizeof(Float64) : 0;
    case kAudioUnitProperty_SupportedNumChannels:
        return global ? (Fault("extra-config") ? 3 : 2) * sizeof(AUChannelInfo) : 0;
    case kAudioUnitProperty_MaximumFramesPerSlice:
    case kAudioUnitProperty_BypassEffect:
        *writable = true;
        return global ? sizeof(UInt32) : 0;
    case kAudioUnitProperty_FactoryPresets:
        return global ? sizeof(CFArrayRef) : 0;
    case kAudioUnitProperty_CurrentPreset:
        *writable = true;
        return global ? sizeof(AUPreset) : 0;
    default:
        return 0;
    }
}

OSStatus GetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element, UInt32* outSize, Boolean* outWritable) {
    std::lock_guard<std::recursive_mutex> lock(*Self(self)->mutex);
    if (Fault("info-size") && id == kAudioUnitProperty_Latency)
        return kAudioUnitErr_InvalidPropertyValue; // fails without saying the size
    bool writable = false;
    const UInt32 size = SizeOf(id, scope, element, &writable);
    if (size == 0)
        return id == kAudioUnitProperty_ParameterInfo && scope == kAudioUnitScope_Global &&
                       !Fault("unknown-element")
                   ? kAudioUnitErr_InvalidElement
                   : kAudioUnitErr_InvalidProperty;
    if (outSize) *outSize = size;
    if (outWritable) *outWritable = writable;
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

CFPropertyListRef SaveState(FaultyUnit* u) {
    u->saved = true;
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    Put(dict, "type", Number(static_cast<SInt32>(kAudioUnitType_Effect)));
    Put(dict, "subtype", Number(static_cast<SInt32>(kSubtype)));
    Put(dict, "manufacturer", Number(static_cast<SInt32>(kManufacturer)));
    Put(dict, "name", CFStringCreateWithCString(nullptr, "Untitled", kCFStringEncodingUTF8));
    const float values[2] = {Gain(u), u->bypassParam};
    Put(dict, "data", CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(values), sizeof values));
    if (Fault("resave-differs")) Put(dict, "restores", Number(u->restores));
    if (Fault("unserialisable")) {
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>("/tmp"), 4, true);
        Put(dict, "where", url);
    }
    return dict;
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
    if (length != sizeof values && !Fault("short-data")) return kAudioUnitErr_InvalidPropertyValue;
    if (length > 0)
        std::memcpy(values, CFDataGetBytePtr(static_cast<CFDataRef>(data)),
                    std::min<size_t>(sizeof values, static_cast<size_t>(length)));
    if (!Fault("nonfinite-data")) {
        if (!std::isfinite(values[0]) || !std::isfinite(values[1]))
            return kAudioUnitErr_InvalidPropertyValue;
    }
    Gain(u) = std::isfinite(values[0]) ? std::fmin(std::fmax(values[0], 0.0f), 2.0f) : 2.0f;
    u->bypassParam = values[1] >= 0.5f ? 1.0f : 0.0f;
    ++u->restores;
    return noErr;
}

void FillParameterInfo(AudioUnitElement element, AudioUnitParameterInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (element == 0) {
        std::strcpy(info->name, "Gain");
        info->maxValue = 2.0f;
        info->defaultValue = 1.0f;
    } else {
        std::strcpy(info->name, "BY");
        info->unit = kAudioUnitParameterUnit_Boolean;
        info->maxValue = 1.0f;
    }
}

OSStatus GetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, void* outData, UInt32* ioSize) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    bool writable = false;
    const UInt32 size = SizeOf(id, scope, element, &writable);
    if (size == 0)
        return id == kAudioUnitProperty_ParameterInfo && scope == kAudioUnitScope_Global &&
                       !Fault("unknown-element")
                   ? kAudioUnitErr_InvalidElement
                   : kAudioUnitErr_InvalidProperty;
    if (!outData || !ioSize) return kAudioUnitErr_InvalidPropertyValue;
    if (*ioSize < size && !Fault("short-get")) return kAudioUnitErr_InvalidPropertyValue;
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef state = SaveState(u);
        std::memcpy(outData, &state, sizeof state);
        break;
    }
    case kAudioUnitProperty_ParameterList: {
        const AudioUnitParameterID ids[2] = {0, 1};
        std::memcpy(outData, ids, sizeof ids);
        break;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info;
        FillParameterInfo(element, &info);
        std::memcpy(outData, &info, sizeof info);
        break;
    }
    case kAudioUnitProperty_StreamFormat: {
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
        break;
    }
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime: {
        const Float64 seconds =
            Fault("latency-negative") && id == kAudioUnitProperty_Latency ? -1.0 : 0.0;
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
        CFArrayRef none = CFArrayCreateMutable(nullptr, 0, nullptr);
        std::memcpy(outData, &none, sizeof none);
        break;
    }
    case kAudioUnitProperty_CurrentPreset: {
        const AUPreset preset = {
            -1, CFStringCreateWithCString(nullptr, "Untitled", kCFStringEncodingUTF8)};
        std::memcpy(outData, &preset, sizeof preset);
        break;
    }
    default: // write-only
        return kAudioUnitErr_InvalidProperty;
    }
    *ioSize = size;
    return noErr;
}

OSStatus SetFormat(FaultyUnit* u, AudioUnitScope scope, const AudioStreamBasicDescription& f) {
    UInt32& channels = scope == kAudioUnitScope_Input ? u->inChannels : u->outChannels;
    // Either way is sound: refuse an unlisted count when it is set, or (this variant) when the
    // unit initialises; an initialised unit refuses it at once.
    const bool laterRefusal = Fault("refuse-at-init") && !u->initialized &&
                              f.mChannelsPerFrame >= 1 && f.mChannelsPerFrame <= 8;
    const bool supported = Supported(f.mChannelsPerFrame);
    if (f.mFormatID != kAudioFormatLinearPCM || !(f.mSampleRate > 0.0) ||
        !(supported || laterRefusal)) {
        if (Fault("refused-format-zeroes")) channels = 0;
        return kAudioUnitErr_FormatNotSupported;
    }
    channels = f.mChannelsPerFrame;
    u->rate = f.mSampleRate;
    return noErr;
}

OSStatus SetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element, const void* inData, UInt32 inSize) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    bool writable = false;
    const UInt32 size = SizeOf(id, scope, element, &writable);
    if (size == 0) return kAudioUnitErr_InvalidProperty;
    if (!writable && !(Fault("readonly-set") && id == kAudioUnitProperty_Latency))
        return kAudioUnitErr_PropertyNotWritable;
    if (!inData || (inSize < size && !Fault("short-set")))
        return kAudioUnitErr_InvalidPropertyValue;
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef plist = nullptr;
        std::memcpy(&plist, inData, sizeof plist);
        return RestoreState(u, plist);
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
        return noErr;
    default:
        return noErr; // the one read-only property the fault lets through
    }
}

OSStatus GetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue* out) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    if (id > 1) return kAudioUnitErr_InvalidParameter;
    *out = id == 0 ? Gain(u) : u->bypassParam;
    return noErr;
}

void SetValue(FaultyUnit* u, AudioUnitParameterID id, float value) {
    if (std::isnan(value) && !Fault("nan-param")) return;
    if (id == 0) {
        float& gain = Gain(u);
        if (Fault("race")) {
            // Written in two steps, with nothing to keep a render from seeing the first.
            reinterpret_cast<volatile float&>(gain) = std::nanf("");
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        reinterpret_cast<volatile float&>(gain) = Fault("no-clamp") || Fault("nan-param")
                                                      ? value
                                                      : std::fmin(std::fmax(value, 0.0f), 2.0f);
    } else {
        u->bypassParam = value >= 0.5f ? 1.0f : 0.0f;
    }
}

OSStatus SetParameter(void* self, AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                      AudioUnitParameterValue value, UInt32) {
    FaultyUnit* u = Self(self);
    if (id > 1) return kAudioUnitErr_InvalidParameter;
    if (Fault("race")) {
        SetValue(u, id, value);
        return noErr;
    }
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    SetValue(u, id, value);
    return noErr;
}

OSStatus Schedule(void* self, const AudioUnitParameterEvent* events, UInt32 count) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.parameter > 1) return kAudioUnitErr_InvalidParameter;
        if (e.eventType == kParameterEvent_Immediate && !Fault("no-schedule"))
            SetValue(u, e.parameter, e.eventValues.immediate.value);
        else if (e.eventType == kParameterEvent_Ramped && e.parameter == 0 && !Fault("no-ramp"))
            u->ramp = {true, e.eventValues.ramp.startValue, e.eventValues.ramp.endValue,
                       static_cast<UInt32>(e.eventValues.ramp.startBufferOffset),
                       e.eventValues.ramp.durationInFrames};
    }
    return noErr;
}

OSStatus Reset(void* self, AudioUnitScope, AudioUnitElement) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    if (Fault("crash")) std::abort();
    if (!Fault("nan-stuck"))
        for (double& s : u->state)
            s = 0.0;
    if (Fault("reset-params")) Gain(u) = 1.0f;
    return noErr;
}

OSStatus AddNotify(void* self, AURenderCallback proc, void* refCon) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
    if (!proc && !Fault("notify-null")) return paramErr;
    if (u->notifyCount == kMaxNotify) return kAudioUnitErr_InvalidPropertyValue;
    u->notify[u->notifyCount++] = {proc, refCon};
    return noErr;
}

OSStatus RemoveNotify(void* self, AURenderCallback proc, void* refCon) {
    FaultyUnit* u = Self(self);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
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

OSStatus Listener(void*, AudioUnitPropertyID, AudioUnitPropertyListenerProc, void*) {
    return noErr;
}

void Notify(FaultyUnit* u, AudioUnitRenderActionFlags stage, const AudioTimeStamp* time, UInt32 bus,
            UInt32 frames, AudioBufferList* io) {
    if (Fault("notify-once") && stage == kAudioUnitRenderAction_PostRender) return;
    for (int i = 0; i < u->notifyCount; ++i) {
        AudioUnitRenderActionFlags flags = stage;
        u->notify[i].inputProc(u->notify[i].inputProcRefCon, &flags, time, bus, frames, io);
    }
}

// Pulls the input into io (or silence, or, with its fault, the last block again).
OSStatus PullInput(FaultyUnit* u, const AudioTimeStamp* time, UInt32 frames, AudioBufferList* io) {
    if (u->input.inputProc) {
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus s =
            u->input.inputProc(u->input.inputProcRefCon, &flags, time, 0, frames, io);
        if (s != noErr) return s;
        for (UInt32 c = 0; c < io->mNumberBuffers; ++c)
            std::memcpy(u->last[c], io->mBuffers[c].mData, frames * sizeof(float));
        u->lastFrames = frames;
        return noErr;
    }
    for (UInt32 c = 0; c < io->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(io->mBuffers[c].mData);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = Fault("disconnected-repeats") && i < u->lastFrames ? u->last[c][i] : 0.0f;
    }
    return noErr;
}

void Process(FaultyUnit* u, UInt32 frames, AudioBufferList* io) {
    const double coefficient = 0.2;
    float gain = Gain(u);
    for (UInt32 c = 0; c < io->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(io->mBuffers[c].mData);
        double& s = u->state[c];
        for (UInt32 i = 0; i < frames; ++i) {
            if (Fault("race")) gain = reinterpret_cast<volatile float&>(Gain(u));
            const double x = samples[i];
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
        }
    }
}

OSStatus RenderLocked(FaultyUnit* u, const AudioTimeStamp* time, UInt32 bus, UInt32 frames,
                      AudioBufferList* io) {
    if (!time || !io || bus != 0) return kAudioUnitErr_InvalidPropertyValue;
    if (!(time->mFlags & kAudioTimeStampSampleTimeValid) && !Fault("untimed"))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!u->initialized) return kAudioUnitErr_Uninitialized;
    if (frames > u->maxFrames && !Fault("over-max")) return kAudioUnitErr_TooManyFramesToProcess;
    if (frames > kMaxBuffer || io->mNumberBuffers != u->outChannels)
        return kAudioUnitErr_InvalidPropertyValue;
    for (UInt32 c = 0; c < io->mNumberBuffers; ++c)
        if (!io->mBuffers[c].mData || io->mBuffers[c].mDataByteSize < frames * sizeof(float))
            return kAudioUnitErr_InvalidPropertyValue;
    if (Fault("alloc")) {
        void* volatile scratch = std::malloc(64);
        std::free(scratch);
    }
    if (Fault("lock")) std::lock_guard<std::mutex> other(globalLock);
    Notify(u, kAudioUnitRenderAction_PreRender, time, bus, frames, io);
    if (const OSStatus s = PullInput(u, time, frames, io); s != noErr) return s;
    const bool bypassed =
        (u->bypass && !Fault("bypass-ignored") && !(Fault("save-breaks-bypass") && u->saved)) ||
        (u->bypassParam >= 0.5f && !Fault("by-param-ignored"));
    if (!bypassed) Process(u, frames, io);
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
    if (Fault("race")) return RenderLocked(u, time, bus, frames, io);
    std::lock_guard<std::recursive_mutex> lock(*u->mutex);
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
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return reinterpret_cast<AudioComponentMethod>(Listener);
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
    fault = chosen ? chosen : "";
    auto* unit = static_cast<FaultyUnit*>(std::calloc(1, sizeof(FaultyUnit)));
    if (!unit) return nullptr;
    unit->mutex = new (std::nothrow) std::recursive_mutex();
    if (!unit->mutex) {
        std::free(unit);
        return nullptr;
    }
    unit->iface.Open = Open;
    unit->iface.Close = Close;
    unit->iface.Lookup = Lookup;
    unit->gain = 1.0f;
    unit->maxFrames = 1024;
    unit->inChannels = unit->outChannels = 2;
    unit->rate = Fault("default-format") ? 48000.0 : 44100.0;
    return &unit->iface;
}
