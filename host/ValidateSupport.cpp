#include "host/ValidateSupport.h"

#include "host/RenderProbe.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace validate {

bool Report::Check(const std::string& name, bool ok, const std::string& reason) {
    ++total;
    if (ok) {
        if (out) *out << "PASS  " << name << '\n';
        return true;
    }
    ++failed;
    const std::string line = name + ": " + (reason.empty() ? "failed" : reason);
    if (firstFailure.empty()) firstFailure = line;
    if (out) *out << "FAIL  " << line << '\n';
    return false;
}

bool Report::CheckStatus(const std::string& name, OSStatus status) {
    return Check(name, status == noErr, StatusText(status));
}

bool Report::Warn(const std::string& name, bool ok, const std::string& reason) {
    if (ok) return Check(name, true);
    ++total;
    ++warned;
    if (out) *out << "WARN  " << name << ": " << (reason.empty() ? "failed" : reason) << '\n';
    return false;
}

void Report::Skip(const std::string& name, const std::string& reason) {
    if (out) *out << "SKIP  " << name << ": " << reason << '\n';
}

AudioComponentInstance Context::Fresh(Report& report, const std::string& check) {
    AudioComponentInstance raw = nullptr;
    const OSStatus s = AudioComponentInstanceNew(component, &raw);
    if (s != noErr) {
        report.Check(check, false, "another instance does not open (" + StatusText(s) + ")");
        return nullptr;
    }
    return raw;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string Label(const ParameterDescription& p) {
    return "parameter " + std::to_string(p.id) + " (" + p.name + ")";
}

bool KeptInState(const ParameterDescription& p) {
    const bool readOnly = (p.flags & kAudioUnitParameterFlag_IsReadable) &&
                          !(p.flags & kAudioUnitParameterFlag_IsWritable);
    return !readOnly && !(p.flags & kAudioUnitParameterFlag_MeterReadOnly) &&
           !(p.flags & kAudioUnitParameterFlag_OmitFromPresets);
}

bool IsSwitch(const ParameterDescription& p) {
    return p.unit == kAudioUnitParameterUnit_Indexed || p.unit == kAudioUnitParameterUnit_Boolean;
}

bool AllFinite(const std::vector<float>& samples) {
    for (float s : samples)
        if (!std::isfinite(s) || s == kUnwritten) return false;
    return true;
}

float Noise(long n, int c) {
    uint32_t x = static_cast<uint32_t>(n) * 2654435761u ^ static_cast<uint32_t>(c + 1) * 40503u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<float>(x) / 2147483648.0f - 1.0f;
}

OSStatus SetFormat(AudioUnit unit, AudioUnitScope scope, double rate, UInt32 channels) {
    const AudioStreamBasicDescription f = FloatFormat(rate, channels);
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &f, sizeof f);
}

Float32 GetParam(AudioUnit unit, AudioUnitParameterID id, OSStatus* status) {
    Float32 value = std::nanf("");
    *status = AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &value);
    return value;
}

std::string CompareParams(AudioUnit other, const std::map<AudioUnitParameterID, float>& want) {
    for (const auto& [id, value] : want) {
        OSStatus s = noErr;
        const Float32 got = GetParam(other, id, &s);
        if (s != noErr || got != value)
            return "parameter " + std::to_string(id) + " is " +
                   (s != noErr ? StatusText(s) : Number(got)) + ", expected " + Number(value);
    }
    return "";
}

std::map<AudioUnitParameterID, float> ReadParams(AudioUnit unit,
                                                 const std::vector<ParameterDescription>& params) {
    std::map<AudioUnitParameterID, float> values;
    for (const ParameterDescription& p : params) {
        OSStatus s = noErr;
        values[p.id] = GetParam(unit, p.id, &s);
    }
    return values;
}

float StateValue(const ParameterDescription& p) {
    const float v = p.minValue + (p.maxValue - p.minValue) * 0.75f;
    return IsSwitch(p) ? std::round(v) : v;
}

CFPropertyListRef SaveClassInfo(AudioUnit unit, OSStatus* status) {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    *status = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                   &state, &size);
    if (*status != noErr || size != sizeof state || !state) {
        if (*status == noErr && size == sizeof state && state) CFRelease(state);
        if (*status == noErr) *status = kAudioUnitErr_InvalidPropertyValue;
        return nullptr;
    }
    return state;
}

OSStatus RestoreClassInfo(AudioUnit unit, CFPropertyListRef state) {
    return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &state, sizeof state);
}

Rig::Rig(AudioUnit instance, UInt32 channelCount, double sampleRate, UInt32 frameLimit)
    : channels(channelCount), rate(sampleRate), maxFrames(frameLimit), unit(instance) {
    for (int c = 0; c < 2; ++c) {
        out[c].reserve(maxFrames * 2 + 1);
        in[c].reserve(maxFrames * 2 + 1);
    }
}

Rig::~Rig() {
    const AURenderCallbackStruct none = {nullptr, nullptr};
    AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                         &none, sizeof none);
}

OSStatus Rig::Prepare() {
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        if (const OSStatus s = SetFormat(unit, scope, rate, channels); s != noErr) return s;
    if (const OSStatus s =
            AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                 kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames);
        s != noErr)
        return s;
    const AURenderCallbackStruct callback = {Supply, this};
    return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input,
                                0, &callback, sizeof callback);
}

OSStatus Rig::Start() {
    AudioUnitUninitialize(unit);
    if (const OSStatus s = Prepare(); s != noErr) return s;
    return AudioUnitInitialize(unit);
}

OSStatus Rig::Render(UInt32 frames, bool sampleTimeValid) {
    for (UInt32 c = 0; c < 2; ++c)
        out[c].assign(frames, c < channels ? kUnwritten : 0.0f);
    struct {
        UInt32 count;
        AudioBuffer buffers[2];
    } list = {channels, {{1, frames * 4, out[0].data()}, {1, frames * 4, out[1].data()}}};
    AudioTimeStamp time;
    std::memset(&time, 0, sizeof time);
    time.mFlags = sampleTimeValid ? UInt32{kAudioTimeStampSampleTimeValid} : UInt32{0};
    time.mSampleTime = static_cast<Float64>(position);
    AudioUnitRenderActionFlags flags = 0;
    if (probe) renderprobe::Arm();
    const OSStatus s =
        AudioUnitRender(unit, &flags, &time, 0, frames, reinterpret_cast<AudioBufferList*>(&list));
    if (probe) renderprobe::Disarm();
    if (s != noErr) return s;
    for (UInt32 c = 0; c < channels; ++c)
        if (list.buffers[c].mData != out[c].data() && list.buffers[c].mData)
            std::memcpy(out[c].data(), list.buffers[c].mData, frames * 4);
    position += frames;
    return noErr;
}

OSStatus Rig::Supply(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* time, UInt32,
                     UInt32 frames, AudioBufferList* data) {
    renderprobe::Pause hostCode;
    auto* self = static_cast<Rig*>(refCon);
    ++self->pulls;
    if (!time || !data || data->mNumberBuffers != self->channels || frames > self->maxFrames * 2)
        return kAudioUnitErr_InvalidParameter;
    const long start = static_cast<long>(time->mSampleTime);
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(data->mBuffers[c].mData);
        if (!samples || data->mBuffers[c].mDataByteSize < frames * 4)
            return kAudioUnitErr_InvalidParameter;
        self->in[c].resize(frames);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = self->in[c][i] =
                self->signal(start + static_cast<long>(i), static_cast<int>(c));
    }
    return noErr;
}

} // namespace validate
