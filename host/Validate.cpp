#include "host/Validate.h"

#include "host/HostApi.h"

#include <ZerubPlatform/HostExtensions.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr double kRate = 44100.0;
constexpr UInt32 kMaxFrames = 4096;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

class Report {
public:
    explicit Report(std::ostream& out) : out(out) {}
    bool Check(const std::string& name, bool ok, const std::string& reason = "") {
        ++total;
        if (ok) {
            out << "PASS  " << name << '\n';
        } else {
            ++failed;
            out << "FAIL  " << name << ": " << (reason.empty() ? "failed" : reason) << '\n';
        }
        return ok;
    }
    bool CheckStatus(const std::string& name, OSStatus status) {
        return Check(name, status == noErr, StatusText(status));
    }
    void Skip(const std::string& name, const std::string& reason) {
        out << "SKIP  " << name << ": " << reason << '\n';
    }
    int Finish() {
        // Finding the component is always checked, so total is never 0.
        if (failed == 0) {
            out << "VALIDATION PASSED\n";
            return 0;
        }
        out << "VALIDATION FAILED: " << failed << " of " << total << " checks\n";
        return 1;
    }

private:
    std::ostream& out;
    int total = 0;
    int failed = 0;
};

AudioStreamBasicDescription FloatFormat(UInt32 channels) {
    AudioStreamBasicDescription f;
    std::memset(&f, 0, sizeof f);
    f.mSampleRate = kRate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = 4;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}

OSStatus SetFormat(AudioUnit unit, AudioUnitScope scope, UInt32 channels) {
    const AudioStreamBasicDescription f = FloatFormat(channels);
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &f, sizeof f);
}

// A test signal: sample of channel c at frame n.
using Signal = std::function<float(long n, int c)>;

// Drives one instance: stereo, input from a Signal through the render callback.
class Rig {
public:
    explicit Rig(AudioUnit unit) : unit(unit) {}

    OSStatus Prepare() {
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
            if (const OSStatus s = SetFormat(unit, scope, 2); s != noErr) return s;
        const UInt32 frames = kMaxFrames;
        if (const OSStatus s =
                AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                     kAudioUnitScope_Global, 0, &frames, sizeof frames);
            s != noErr)
            return s;
        const AURenderCallbackStruct callback = {Supply, this};
        return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback,
                                    kAudioUnitScope_Input, 0, &callback, sizeof callback);
    }

    // One render call of frames at the running sample time; the output lands in out.
    OSStatus Render(UInt32 frames, bool sampleTimeValid = true) {
        for (auto& channel : out)
            channel.assign(frames, 0.0f);
        struct {
            UInt32 count;
            AudioBuffer buffers[2];
        } list = {2, {{1, frames * 4, out[0].data()}, {1, frames * 4, out[1].data()}}};
        AudioTimeStamp time;
        std::memset(&time, 0, sizeof time);
        time.mFlags = sampleTimeValid ? UInt32{kAudioTimeStampSampleTimeValid} : UInt32{0};
        time.mSampleTime = static_cast<Float64>(position);
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus s = AudioUnitRender(unit, &flags, &time, 0, frames,
                                           reinterpret_cast<AudioBufferList*>(&list));
        if (s != noErr) return s;
        for (int c = 0; c < 2; ++c)
            if (list.buffers[c].mData != out[c].data() && list.buffers[c].mData)
                std::memcpy(out[c].data(), list.buffers[c].mData, frames * 4);
        position += frames;
        return noErr;
    }

    Signal signal = [](long, int) { return 0.0f; };
    std::vector<float> out[2];
    std::vector<float> in[2]; // what the callback supplied for the last block
    long position = 0;

private:
    static OSStatus Supply(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* time,
                           UInt32, UInt32 frames, AudioBufferList* data) {
        auto* self = static_cast<Rig*>(refCon);
        if (!time || !data || data->mNumberBuffers > 2) return kAudioUnitErr_InvalidParameter;
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

    AudioUnit unit;
};

bool AllFinite(const std::vector<float>& samples) {
    for (float s : samples)
        if (!std::isfinite(s)) return false;
    return true;
}

float Noise(long n, int c) {
    // A fixed-seed integer hash: full-scale white noise that every run repeats.
    uint32_t x = static_cast<uint32_t>(n) * 2654435761u ^ static_cast<uint32_t>(c + 1) * 40503u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<float>(x) / 2147483648.0f - 1.0f;
}

bool IsSwitch(const ParameterDescription& p) {
    return p.unit == kAudioUnitParameterUnit_Indexed || p.unit == kAudioUnitParameterUnit_Boolean;
}

std::string Label(const ParameterDescription& p) {
    return "parameter " + std::to_string(p.id) + " (" + p.name + ")";
}

Float32 GetParam(AudioUnit unit, AudioUnitParameterID id, OSStatus* status) {
    Float32 value = std::nanf("");
    *status = AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &value);
    return value;
}

// Identity from the bundle's Info.plist: the AudioComponents entry with the component's subtype.
std::string InfoPlistMismatch(CFURLRef bundleURL, const AudioComponentDescription& d,
                              UInt32 version) {
    CFBundleRef bundle = CFBundleCreate(nullptr, bundleURL);
    if (!bundle) return "the bundle cannot be read";
    CFOwner owner(bundle);
    CFStringRef key = ToCFString("AudioComponents");
    CFTypeRef entries = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    CFRelease(key);
    if (!entries || CFGetTypeID(entries) != CFArrayGetTypeID()) return "no AudioComponents list";
    const auto list = static_cast<CFArrayRef>(entries);
    auto text = [](CFDictionaryRef entry, const char* name) {
        CFStringRef k = ToCFString(name);
        CFTypeRef v = CFDictionaryGetValue(entry, k);
        CFRelease(k);
        return v && CFGetTypeID(v) == CFStringGetTypeID()
                   ? FromCFString(static_cast<CFStringRef>(v))
                   : std::string();
    };
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        CFTypeRef item = CFArrayGetValueAtIndex(list, i);
        if (!item || CFGetTypeID(item) != CFDictionaryGetTypeID()) continue;
        const auto entry = static_cast<CFDictionaryRef>(item);
        if (text(entry, "subtype") != FourCC(d.componentSubType)) continue;
        if (text(entry, "type") != FourCC(d.componentType))
            return "type " + FourCC(d.componentType) + ", Info.plist says " + text(entry, "type");
        if (text(entry, "manufacturer") != FourCC(d.componentManufacturer))
            return "manufacturer " + FourCC(d.componentManufacturer) + ", Info.plist says " +
                   text(entry, "manufacturer");
        CFStringRef k = ToCFString("version");
        CFTypeRef v = CFDictionaryGetValue(entry, k);
        CFRelease(k);
        SInt64 listed = -1;
        if (!v || CFGetTypeID(v) != CFNumberGetTypeID() ||
            !CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &listed))
            return "Info.plist gives no version";
        if (listed != static_cast<SInt64>(version))
            return "version " + std::to_string(version) + ", Info.plist says " +
                   std::to_string(listed);
        return "";
    }
    return "no Info.plist entry with subtype " + FourCC(d.componentSubType);
}

CFURLRef BundleURL(const std::string& path, AudioUnit unit) {
    if (!path.empty())
        return CFURLCreateFromFileSystemRepresentation(nullptr,
                                                       reinterpret_cast<const UInt8*>(path.c_str()),
                                                       static_cast<CFIndex>(path.size()), true);
    // Found on the search path: the unit says where its bundle is.
    AudioUnitCocoaViewInfo view;
    std::memset(&view, 0, sizeof view);
    if (ReadFixed(unit, kAudioUnitProperty_CocoaUI, 0, &view) != noErr) return nullptr;
    if (view.mCocoaAUViewClass[0]) CFRelease(view.mCocoaAUViewClass[0]);
    return view.mCocoaAUViewBundleLocation;
}

class Validation {
public:
    Validation(const std::string& path, std::ostream& out) : path(path), report(out) {}

    int Run() {
        AudioComponent component = nullptr;
        const Status found = FindComponent(path, &component);
        if (!report.Check("component: found", static_cast<bool>(found), found.message()))
            return report.Finish();
        AudioComponentInstance raw = nullptr;
        if (!report.CheckStatus("component: opens", AudioComponentInstanceNew(component, &raw)))
            return report.Finish();
        this->component = component;
        unit = raw;
        Identity();
        Channels();
        Parameters();
        State();
        Presets();
        Formats();
        Rendering();
        Properties();
        Events();
        report.CheckStatus("dispose", Dispose(unit));
        unit = nullptr;
        return report.Finish();
    }

    ~Validation() {
        if (unit) AudioComponentInstanceDispose(unit);
    }

private:
    static OSStatus Dispose(AudioComponentInstance instance) {
        return AudioComponentInstanceDispose(instance);
    }

    // A fresh instance of the same component, or null after a failed check.
    AudioComponentInstance Fresh(const std::string& check) {
        AudioComponentInstance raw = nullptr;
        const OSStatus s = AudioComponentInstanceNew(component, &raw);
        if (s != noErr) {
            report.Check(check, false, "a second instance does not open (" + StatusText(s) + ")");
            return nullptr;
        }
        return raw;
    }

    void Identity() {
        AudioComponentDescription d{};
        UInt32 version = 0;
        const OSStatus ds = AudioComponentGetDescription(component, &d);
        const OSStatus vs = AudioComponentGetVersion(component, &version);
        report.Check("identity: effect type aufx",
                     ds == noErr && d.componentType == kAudioUnitType_Effect,
                     ds != noErr ? StatusText(ds) : "type " + FourCC(d.componentType));
        if (ds != noErr || vs != noErr) {
            report.Check("identity: matches Info.plist", false, "no description or version");
            return;
        }
        CFURLRef url = BundleURL(path, unit);
        if (!url) {
            report.Check("identity: matches Info.plist", false, "the bundle cannot be located");
            return;
        }
        CFOwner owner(url);
        const std::string mismatch = InfoPlistMismatch(url, d, version);
        report.Check("identity: " + FourCC(d.componentType) + " " + FourCC(d.componentSubType) +
                         " " + FourCC(d.componentManufacturer) + " version " +
                         std::to_string(version >> 16) + "." +
                         std::to_string((version >> 8) & 0xFF) + "." +
                         std::to_string(version & 0xFF) + " matches Info.plist",
                     mismatch.empty(), mismatch);
    }

    void Channels() {
        std::vector<unsigned char> data;
        const OSStatus s = ReadProperty(unit, kAudioUnitProperty_SupportedNumChannels, 0, &data);
        bool mono = false, stereo = false;
        for (size_t i = 0; s == noErr && i + sizeof(AUChannelInfo) <= data.size();
             i += sizeof(AUChannelInfo)) {
            AUChannelInfo c;
            std::memcpy(&c, data.data() + i, sizeof c);
            auto takes = [&](int n) {
                return (c.inChannels == n || c.inChannels < 0) &&
                       (c.outChannels == n || c.outChannels < 0);
            };
            mono = mono || takes(1);
            stereo = stereo || takes(2);
        }
        report.Check("channels: 1-1 and 2-2 supported", s == noErr && mono && stereo,
                     s != noErr ? StatusText(s)
                                : std::string(mono ? "" : "no 1-1 ") + (stereo ? "" : "no 2-2"));
    }

    void Parameters() {
        std::vector<AudioUnitParameterID> ids;
        const OSStatus s = ReadParameterList(unit, &ids);
        if (!report.Check("parameters: listed", s == noErr && !ids.empty(),
                          s != noErr ? StatusText(s) : "the list is empty"))
            return;
        for (AudioUnitParameterID id : ids) {
            ParameterDescription p;
            const OSStatus is = ReadParameterInfo(unit, id, &p);
            const std::string label = is == noErr ? Label(p) : "parameter " + std::to_string(id);
            std::string problem;
            if (is != noErr)
                problem = StatusText(is);
            else if (p.name.empty())
                problem = "no name";
            else if (!(std::isfinite(p.minValue) && std::isfinite(p.maxValue) &&
                       p.minValue < p.maxValue))
                problem = "range " + Number(p.minValue) + " .. " + Number(p.maxValue);
            else if (!(p.defaultValue >= p.minValue && p.defaultValue <= p.maxValue))
                problem = "default " + Number(p.defaultValue) + " outside the range";
            else if (!(p.flags & kAudioUnitParameterFlag_IsReadable) ||
                     !(p.flags & kAudioUnitParameterFlag_IsWritable))
                problem = "not flagged readable and writable";
            if (!report.Check(label + ": info", problem.empty(), problem)) continue;
            parameters.push_back(p);
            ValueStrings(p);
            RoundTrip(p);
        }
    }

    void ValueStrings(const ParameterDescription& p) {
        std::vector<unsigned char> data;
        if (ReadProperty(unit, kAudioUnitProperty_ParameterValueStrings, p.id, &data) != noErr)
            return; // not offered
        CFArrayRef strings = nullptr;
        if (data.size() != sizeof strings) {
            report.Check(Label(p) + ": value strings", false, "wrong size");
            return;
        }
        std::memcpy(&strings, data.data(), sizeof strings);
        CFOwner owner(strings);
        std::string problem;
        if (!strings || CFGetTypeID(strings) != CFArrayGetTypeID()) {
            problem = "not an array";
        } else {
            const CFIndex count = CFArrayGetCount(strings);
            for (CFIndex i = 0; i < count && problem.empty(); ++i) {
                CFTypeRef v = CFArrayGetValueAtIndex(strings, i);
                if (!v || CFGetTypeID(v) != CFStringGetTypeID())
                    problem = "entry " + std::to_string(i) + " is not a string";
            }
            const double expected = std::floor(p.maxValue) - std::ceil(p.minValue) + 1;
            if (problem.empty() && p.unit == kAudioUnitParameterUnit_Indexed && count != expected)
                problem = std::to_string(count) + " strings for " + Number(expected) + " values";
        }
        report.Check(Label(p) + ": value strings", problem.empty(), problem);
    }

    void RoundTrip(const ParameterDescription& p) {
        std::string problem;
        for (float v : {p.minValue, p.maxValue, p.defaultValue}) {
            OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, v, 0);
            const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
            if (problem.empty() && (s != noErr || back != v))
                problem = "set " + Number(v) + ", " +
                          (s != noErr ? StatusText(s) : "got " + Number(back));
        }
        report.Check(Label(p) + ": set and get at min, max, default", problem.empty(), problem);

        problem.clear();
        const float span = p.maxValue - p.minValue;
        for (auto [set, expected] :
             {std::pair{p.maxValue + span, p.maxValue}, std::pair{p.minValue - span, p.minValue}}) {
            OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, set, 0);
            const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
            if (problem.empty() && (s != noErr || back != expected))
                problem = "set " + Number(set) + ", " +
                          (s != noErr ? StatusText(s) : "got " + Number(back));
        }
        report.Check(Label(p) + ": out-of-range values clamp", problem.empty(), problem);
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }

    // Distinct, in-range values that differ from the defaults.
    float StateValue(const ParameterDescription& p) const {
        const float v = p.minValue + (p.maxValue - p.minValue) * 0.75f;
        return p.unit == kAudioUnitParameterUnit_Indexed ||
                       p.unit == kAudioUnitParameterUnit_Boolean
                   ? std::round(v)
                   : v;
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

    void State() {
        std::map<AudioUnitParameterID, float> saved;
        for (const ParameterDescription& p : parameters) {
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
            OSStatus s = noErr;
            saved[p.id] = GetParam(unit, p.id, &s);
        }
        CFPropertyListRef state = nullptr;
        UInt32 size = sizeof state;
        const OSStatus gs = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &state, &size);
        if (!report.Check("state: class info saved",
                          gs == noErr && state && size == sizeof state &&
                              CFGetTypeID(state) == CFDictionaryGetTypeID(),
                          gs != noErr ? StatusText(gs) : "not a dictionary")) {
            if (gs == noErr && state) CFRelease(state);
            return;
        }
        CFOwner owner(state);

        if (AudioComponentInstance fresh = Fresh("state: restore into a fresh instance")) {
            const OSStatus s =
                AudioUnitSetProperty(fresh, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                     &state, sizeof state);
            const std::string diff = s == noErr ? CompareParams(fresh, saved) : StatusText(s);
            report.Check("state: restore into a fresh instance", diff.empty(), diff);
            Dispose(fresh);
        }

        // The same dictionary under another subtype must be refused and change nothing.
        CFMutableDictionaryRef foreign =
            CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(state));
        CFOwner foreignOwner(foreign);
        SInt32 other = 0x58585858; // 'XXXX'
        CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &other);
        CFStringRef key = ToCFString("subtype");
        CFDictionarySetValue(foreign, key, number);
        CFRelease(key);
        CFRelease(number);
        if (AudioComponentInstance fresh = Fresh("state: foreign class info refused")) {
            std::map<AudioUnitParameterID, float> defaults;
            for (const ParameterDescription& p : parameters) {
                OSStatus s = noErr;
                defaults[p.id] = GetParam(fresh, p.id, &s);
            }
            CFPropertyListRef plist = foreign;
            const OSStatus s =
                AudioUnitSetProperty(fresh, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                     &plist, sizeof plist);
            std::string problem = s == kAudioUnitErr_InvalidPropertyValue
                                      ? CompareParams(fresh, defaults)
                                      : "accepted with " + StatusText(s);
            report.Check("state: foreign class info refused", problem.empty(), problem);
            Dispose(fresh);
        }
        for (const ParameterDescription& p : parameters)
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }

    void Presets() {
        CFArrayRef presets = nullptr;
        const OSStatus s = ReadFixed(unit, kAudioUnitProperty_FactoryPresets, 0, &presets);
        CFOwner owner(s == noErr ? presets : nullptr);
        if (!report.Check("presets: factory presets listed",
                          s == noErr && presets && CFGetTypeID(presets) == CFArrayGetTypeID(),
                          s != noErr ? StatusText(s) : "not an array"))
            return;
        const CFIndex count = CFArrayGetCount(presets);
        if (count == 0) {
            report.Skip("presets: selectable", "no factory presets");
            return;
        }
        std::string problem;
        for (CFIndex i = 0; i < count && problem.empty(); ++i) {
            const auto* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
            if (!preset) {
                problem = "entry " + std::to_string(i) + " is empty";
                break;
            }
            AUPreset chosen = *preset;
            OSStatus ss = AudioUnitSetProperty(unit, kAudioUnitProperty_CurrentPreset,
                                               kAudioUnitScope_Global, 0, &chosen, sizeof chosen);
            AUPreset current = {-1, nullptr};
            if (ss == noErr) ss = ReadFixed(unit, kAudioUnitProperty_CurrentPreset, 0, &current);
            if (current.presetName) CFRelease(current.presetName);
            if (ss != noErr)
                problem = "preset " + std::to_string(preset->presetNumber) + ": " + StatusText(ss);
            else if (current.presetNumber != preset->presetNumber)
                problem = "selected " + std::to_string(preset->presetNumber) + ", current is " +
                          std::to_string(current.presetNumber);
        }
        report.Check("presets: " + std::to_string(count) + " selectable", problem.empty(), problem);
    }

    void Formats() {
        for (UInt32 channels : {1u, 2u}) {
            std::string problem;
            for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
                const OSStatus s = SetFormat(unit, scope, channels);
                if (s != noErr && problem.empty()) problem = StatusText(s);
                AudioStreamBasicDescription back;
                std::memset(&back, 0, sizeof back);
                UInt32 size = sizeof back;
                const OSStatus gs = AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat,
                                                         scope, 0, &back, &size);
                if (problem.empty() && (gs != noErr || back.mChannelsPerFrame != channels))
                    problem = "reads back " +
                              (gs != noErr ? StatusText(gs)
                                           : std::to_string(back.mChannelsPerFrame) + " channels");
            }
            report.Check(std::string("stream format: ") + (channels == 1 ? "mono" : "stereo") +
                             " accepted",
                         problem.empty(), problem);
        }
        // On an instance of its own: a refused format leaves the bus unset.
        if (AudioComponentInstance fresh = Fresh("stream format: 3 channels refused")) {
            const OSStatus s = SetFormat(fresh, kAudioUnitScope_Input, 3);
            report.Check("stream format: 3 channels refused", s != noErr, "accepted");
            Dispose(fresh);
        }
    }

    void Rendering() {
        Rig rig(unit);
        if (!report.CheckStatus("render: set up (stereo, callback, maximum frames)", rig.Prepare()))
            return;
        if (!report.CheckStatus("initialise", AudioUnitInitialize(unit))) return;
        rig.signal = Noise;
        UInt32 maximum = 0;
        const OSStatus ms = ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &maximum);
        // The buffers are the host's: a maximum it did not ask for is not believed.
        if (!report.Check("render: maximum frames reads back " + std::to_string(kMaxFrames),
                          ms == noErr && maximum == kMaxFrames,
                          ms != noErr ? StatusText(ms) : std::to_string(maximum))) {
            AudioUnitUninitialize(unit);
            return;
        }
        for (UInt32 frames : {1u, 64u, 512u, maximum}) {
            const OSStatus s = rig.Render(frames);
            std::string problem = s != noErr ? StatusText(s) : "";
            if (problem.empty() && (!AllFinite(rig.out[0]) || !AllFinite(rig.out[1])))
                problem = "output not finite";
            report.Check("render: block size " + std::to_string(frames) +
                             (frames == maximum ? " (maximum)" : ""),
                         problem.empty(), problem);
        }
        const OSStatus over = rig.Render(maximum + 1);
        report.Check("render: more than the maximum frames refused",
                     over == kAudioUnitErr_InvalidPropertyValue ||
                         over == kAudioUnitErr_TooManyFramesToProcess,
                     over == noErr ? "rendered" : StatusText(over));
        const OSStatus untimed = rig.Render(64, false);
        report.Check("render: timestamp without sample time refused", untimed != noErr, "rendered");

        FiniteOutput(rig);
        Bypass(rig);
        Notify(rig);
        report.CheckStatus("uninitialise", AudioUnitUninitialize(unit));
    }

    void FiniteOutput(Rig& rig) {
        const std::pair<const char*, Signal> signals[] = {
            {"silence", [](long, int) { return 0.0f; }},
            {"full-scale noise", Noise},
            {"DC", [](long, int) { return 1.0f; }},
            {"1 kHz sine", [](long n, int) {
                 return static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * n / kRate));
             }}};
        const std::pair<const char*, std::function<float(const ParameterDescription&)>> settings[] =
            {{"minimum", [](const ParameterDescription& p) { return p.minValue; }},
             {"default", [](const ParameterDescription& p) { return p.defaultValue; }},
             {"maximum", [](const ParameterDescription& p) { return p.maxValue; }}};
        for (const auto& [settingName, value] : settings) {
            // Switches stay at their defaults: a bypass switch at its maximum would let the
            // signal through untouched and prove nothing.
            for (const ParameterDescription& p : parameters)
                AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0,
                                      IsSwitch(p) ? p.defaultValue : value(p), 0);
            for (const auto& [signalName, signal] : signals) {
                rig.signal = signal;
                std::string problem;
                for (int block = 0; block < 16 && problem.empty(); ++block) {
                    const OSStatus s = rig.Render(512);
                    if (s != noErr)
                        problem = StatusText(s);
                    else if (!AllFinite(rig.out[0]) || !AllFinite(rig.out[1]))
                        problem = "NaN or infinity in block " + std::to_string(block);
                }
                report.Check(std::string("render: finite output, ") + signalName +
                                 ", continuous parameters at " + settingName,
                             problem.empty(), problem);
            }
        }
        for (const ParameterDescription& p : parameters)
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }

    void Bypass(Rig& rig) {
        UInt32 on = 1;
        OSStatus s = AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect,
                                          kAudioUnitScope_Global, 0, &on, sizeof on);
        UInt32 back = 0;
        if (s == noErr) s = ReadFixed(unit, kAudioUnitProperty_BypassEffect, 0, &back);
        rig.signal = Noise;
        if (s == noErr) s = rig.Render(512);
        std::string problem = s != noErr ? StatusText(s) : back != 1 ? "reads back off" : "";
        for (int c = 0; c < 2 && problem.empty(); ++c)
            if (rig.out[c].size() != rig.in[c].size() ||
                std::memcmp(rig.out[c].data(), rig.in[c].data(), rig.out[c].size() * 4) != 0)
                problem = "channel " + std::to_string(c) + " differs from the input";
        report.Check("bypass: input passes through bit for bit", problem.empty(), problem);
        UInt32 off = 0;
        AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &off,
                             sizeof off);
    }

    struct NotifyCount {
        int pre = 0, post = 0;
        static OSStatus Proc(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                             UInt32, UInt32, AudioBufferList*) {
            auto* self = static_cast<NotifyCount*>(refCon);
            if (*flags & kAudioUnitRenderAction_PreRender) ++self->pre;
            if (*flags & kAudioUnitRenderAction_PostRender) ++self->post;
            return noErr;
        }
    };

    void Notify(Rig& rig) {
        NotifyCount count;
        OSStatus s = AudioUnitAddRenderNotify(unit, NotifyCount::Proc, &count);
        if (s == noErr) {
            s = rig.Render(64);
            AudioUnitRemoveRenderNotify(unit, NotifyCount::Proc, &count);
        }
        report.Check("render notify: called before and after",
                     s == noErr && count.pre == 1 && count.post == 1,
                     s != noErr ? StatusText(s)
                                : "before " + std::to_string(count.pre) + ", after " +
                                      std::to_string(count.post));
    }

    void Properties() {
        for (auto [id, name] : {std::pair{kAudioUnitProperty_Latency, "latency"},
                                std::pair{kAudioUnitProperty_TailTime, "tail time"}}) {
            Float64 seconds = -1.0;
            const OSStatus s = ReadFixed(unit, id, 0, &seconds);
            report.Check(std::string(name) + ": reported",
                         s == noErr && std::isfinite(seconds) && seconds >= 0.0,
                         s != noErr ? StatusText(s) : Number(seconds) + " s");
        }
    }

    struct EventLog {
        AudioUnit unit;
        std::vector<AudioUnitEvent> events;
        static void Proc(void* refCon, void*, const AudioUnitEvent* event, UInt64, Float32) {
            auto* self = static_cast<EventLog*>(refCon);
            if (event && event->mEventType <= kAudioUnitEvent_EndParameterChangeGesture &&
                event->mArgument.mParameter.mAudioUnit == self->unit)
                self->events.push_back(*event);
        }
    };

    void Events() {
        if (parameters.empty()) return;
        EventLog log{unit, {}};
        AUEventListenerRef listener = ZerubAddEventListener(EventLog::Proc, &log);
        if (!report.Check("events: listener registered", listener != nullptr)) return;
        const ParameterDescription& p = parameters.front();
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.maxValue, 0);
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
        ZerubRemoveEventListener(listener);
        if (log.events.empty()) {
            report.Skip("events: parameter changes announced",
                        "the unit announces only its editor's changes");
            return;
        }
        bool right = true;
        for (const AudioUnitEvent& e : log.events)
            right = right && e.mArgument.mParameter.mParameterID == p.id;
        report.Check("events: parameter changes announced", right, "events name another parameter");
    }

    std::string path;
    Report report;
    AudioComponent component = nullptr;
    AudioComponentInstance unit = nullptr;
    std::vector<ParameterDescription> parameters;
};

} // namespace

int RunValidation(const std::string& componentPath, std::ostream& out) {
    Validation validation(componentPath, out);
    return validation.Run();
}
