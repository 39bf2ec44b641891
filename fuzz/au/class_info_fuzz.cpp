// The class-info dictionary as a host hands it over: kAudioUnitProperty_ClassInfo set on the
// built component through the host-side API. The input either is a whole property list, or
// edits the unit's own saved state (keys removed, replaced by other types or by fuzzed values,
// the state chunk replaced by fuzzed bytes). Checks: a refused restore changes nothing; an
// accepted one had a whole, finite chunk, leaves every parameter finite and in range, and the
// unit still renders finite audio.
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UInt32 kFrames = 64;

OSStatus Input(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32,
               UInt32 frames, AudioBufferList* data) {
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        auto* samples = static_cast<float*>(data->mBuffers[b].mData);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = 0.5f * std::sin(0.05f * static_cast<float>(time->mSampleTime + i));
    }
    return noErr;
}

struct Fixture {
    AudioUnit unit = fuzz::SharedUnit();
    CFPropertyListRef initial = nullptr;
    std::vector<AudioUnitParameterID> ids;
    std::vector<AudioUnitParameterInfo> infos;
    UInt32 channels = 0;
    Float64 sampleTime = 0;

    Fixture() {
        UInt32 size = 0;
        Boolean writable = false;
        if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global,
                                     0, &size, &writable) != noErr)
            fuzz::Fail("no parameter list");
        ids.resize(size / sizeof(AudioUnitParameterID));
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                 ids.data(), &size) != noErr)
            fuzz::Fail("no parameter list");
        for (AudioUnitParameterID id : ids) {
            AudioUnitParameterInfo info{};
            size = sizeof info;
            if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global,
                                     id, &info, &size) != noErr)
                fuzz::Fail("no parameter info");
            // The strings in the record are the host's to release when the unit says so.
            if (info.flags & kAudioUnitParameterFlag_CFNameRelease) {
                if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) && info.cfNameString)
                    CFRelease(info.cfNameString);
                if (info.unit == kAudioUnitParameterUnit_CustomUnit && info.unitName)
                    CFRelease(info.unitName);
            }
            infos.push_back(info);
        }
        AudioStreamBasicDescription format{};
        size = sizeof format;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                 &format, &size) != noErr)
            fuzz::Fail("no output format");
        channels = format.mChannelsPerFrame;
        AURenderCallbackStruct callback = {Input, nullptr};
        if (AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input,
                                 0, &callback, sizeof callback) != noErr ||
            AudioUnitInitialize(unit) != noErr)
            fuzz::Fail("cannot prepare the unit");
        initial = State();
    }

    CFPropertyListRef State() const {
        CFPropertyListRef state = nullptr;
        UInt32 size = sizeof state;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                 &state, &size) != noErr ||
            !state)
            fuzz::Fail("the unit does not give its state");
        return state;
    }

    OSStatus Restore(CFPropertyListRef state) const {
        return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                    &state, sizeof state);
    }

    std::vector<float> Values() const {
        std::vector<float> values;
        for (AudioUnitParameterID id : ids) {
            float v = 0;
            if (AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v) != noErr)
                fuzz::Fail("a listed parameter cannot be read");
            values.push_back(v);
        }
        return values;
    }

    void RenderFinite() {
        std::vector<float> samples(kFrames * channels);
        std::vector<unsigned char> storage(offsetof(AudioBufferList, mBuffers) +
                                           channels * sizeof(AudioBuffer));
        auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
        list->mNumberBuffers = channels;
        for (UInt32 c = 0; c < channels; ++c)
            list->mBuffers[c] = {1, kFrames * sizeof(float), samples.data() + c * kFrames};
        AudioTimeStamp time{};
        time.mSampleTime = sampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        sampleTime += kFrames;
        AudioUnitRenderActionFlags flags = 0;
        if (AudioUnitRender(unit, &flags, &time, 0, kFrames, list) != noErr)
            fuzz::Fail("render fails after a restore");
        for (float s : samples)
            if (!std::isfinite(s)) fuzz::Fail("non-finite output after a restore");
    }
};

CFStringRef Key(const char* key) {
    return CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
}

// A value of a fuzzed type; null when the choice is to remove the key.
CFTypeRef FuzzedValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
        return nullptr;
    case 1: {
        const SInt32 v = in.ConsumeIntegral<SInt32>();
        return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
    }
    case 2: {
        const SInt64 v = in.ConsumeIntegral<SInt64>();
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    case 3: {
        const double v = in.ConsumeFloatingPoint<double>();
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
    }
    case 4: {
        const std::string text = in.ConsumeRandomLengthString(300);
        return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                       static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8,
                                       false);
    }
    case 5:
        return CFRetain(kCFBooleanTrue);
    default: {
        const std::string bytes = in.ConsumeRandomLengthString(4096);
        return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                            static_cast<CFIndex>(bytes.size()));
    }
    }
}

CFPropertyListRef EditedState(FuzzedDataProvider& in, CFPropertyListRef initial) {
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(initial));
    static const char* const keys[] = {"version",      "type", "subtype",
                                       "manufacturer", "name", "data"};
    while (in.remaining_bytes() > 0) {
        const int action = in.ConsumeIntegralInRange(0, 3);
        const char* key = keys[in.ConsumeIntegralInRange<size_t>(0, 5)];
        CFStringRef cfKey = Key(key);
        if (action == 0) {
            CFTypeRef value = FuzzedValue(in);
            if (value) {
                CFDictionarySetValue(dict, cfKey, value);
                CFRelease(value);
            } else {
                CFDictionaryRemoveValue(dict, cfKey);
            }
        } else if (std::strcmp(key, "name") == 0) {
            // Names are read into a fixed buffer: long ones and odd characters matter.
            const std::string text = in.ConsumeRandomLengthString(in.ConsumeBool() ? 70 : 20000);
            CFStringRef name = CFStringCreateWithBytes(
                nullptr, reinterpret_cast<const UInt8*>(text.data()),
                static_cast<CFIndex>(text.size()), kCFStringEncodingISOLatin1, false);
            if (name) {
                CFDictionarySetValue(dict, cfKey, name);
                CFRelease(name);
            }
        } else {
            // Any other key picks the state chunk: fuzzed bytes, or the saved chunk with some
            // bytes changed.
            auto saved = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
            std::string bytes;
            if (action == 1 || !saved || CFGetTypeID(saved) != CFDataGetTypeID()) {
                bytes = in.ConsumeRandomLengthString(4096);
            } else {
                bytes.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(saved)),
                             static_cast<size_t>(CFDataGetLength(saved)));
                const size_t at = in.ConsumeIntegralInRange<size_t>(0, bytes.size());
                const std::string patch = in.ConsumeRandomLengthString(16);
                bytes.replace(at, std::min(patch.size(), bytes.size() - at), patch);
                bytes.resize(in.ConsumeIntegralInRange<size_t>(0, bytes.size() + 8));
            }
            CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                          static_cast<CFIndex>(bytes.size()));
            CFDictionarySetValue(dict, CFSTR("data"), data);
            CFRelease(data);
        }
        CFRelease(cfKey);
    }
    return dict;
}

bool ChunkIsWhole(const std::string& chunk, size_t parameters) {
    if (chunk.size() < parameters * sizeof(double)) return false;
    for (size_t i = 0; i < parameters; ++i) {
        double v;
        std::memcpy(&v, chunk.data() + i * sizeof v, sizeof v);
        if (!std::isfinite(v)) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static Fixture fixture;
    if (fixture.Restore(fixture.initial) != noErr) fuzz::Fail("the unit refuses its own state");
    FuzzedDataProvider in(bytes, size);

    CFPropertyListRef state = nullptr;
    if (in.ConsumeBool()) {
        // A whole property list, XML or binary, of any shape.
        const std::vector<uint8_t> document = in.ConsumeRemainingBytes<uint8_t>();
        CFDataRef data =
            CFDataCreate(nullptr, document.data(), static_cast<CFIndex>(document.size()));
        state = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr);
        CFRelease(data);
        if (!state) return 0;
    } else {
        state = EditedState(in, fixture.initial);
    }

    const CFPropertyListRef before = fixture.State();
    const std::vector<float> valuesBefore = fixture.Values();
    const OSStatus status = fixture.Restore(state);
    std::string accepted;
    if (CFGetTypeID(state) == CFDictionaryGetTypeID()) {
        CFTypeRef data = CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data"));
        if (data && CFGetTypeID(data) == CFDataGetTypeID())
            accepted.assign(
                reinterpret_cast<const char*>(CFDataGetBytePtr(static_cast<CFDataRef>(data))),
                static_cast<size_t>(CFDataGetLength(static_cast<CFDataRef>(data))));
    }
    CFRelease(state);
    const std::vector<float> values = fixture.Values();
    if (status != noErr) {
        const CFPropertyListRef after = fixture.State();
        const bool same = CFEqual(before, after);
        CFRelease(after);
        if (values != valuesBefore) fuzz::Fail("a refused restore changed a parameter");
        if (!same) fuzz::Fail("a refused restore changed the saved state");
    } else {
        // The chunk holds one double per parameter: one too short for them, or holding a
        // value that is not finite, is not a state of this unit.
        if (!ChunkIsWhole(accepted, fixture.ids.size()))
            fuzz::Fail("a restore accepted a chunk too short for the parameters or not finite");
        for (size_t i = 0; i < values.size(); ++i)
            if (!std::isfinite(values[i]) || values[i] < fixture.infos[i].minValue ||
                values[i] > fixture.infos[i].maxValue)
                fuzz::Fail("a restore set a parameter outside its range");
        fixture.RenderFinite();
    }
    CFRelease(before);
    return 0;
}
