// Stream formats and channel configurations: the default format, the listed configurations,
// every other count refused, and a refused change that leaves the unit as it was.
#include "host/ValidateSupport.h"

#include <cmath>
#include <cstring>

namespace validate {
namespace {

OSStatus ReadFormat(AudioUnit unit, AudioUnitScope scope, AudioStreamBasicDescription* f) {
    std::memset(f, 0, sizeof *f);
    UInt32 size = sizeof *f;
    const OSStatus s =
        AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, f, &size);
    return s == noErr && size != sizeof *f ? kAudioUnitErr_InvalidPropertyValue : s;
}

bool SameFormat(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b) {
    return a.mSampleRate == b.mSampleRate && a.mFormatID == b.mFormatID &&
           a.mFormatFlags == b.mFormatFlags && a.mBytesPerPacket == b.mBytesPerPacket &&
           a.mFramesPerPacket == b.mFramesPerPacket && a.mBytesPerFrame == b.mBytesPerFrame &&
           a.mChannelsPerFrame == b.mChannelsPerFrame && a.mBitsPerChannel == b.mBitsPerChannel;
}

// Formats a unit that renders 32-bit float, one buffer per channel, must refuse, so that the
// host puts a converter in front of it rather than have it write floats into other samples.
std::vector<std::pair<const char*, AudioStreamBasicDescription>> PackedFormats(UInt32 channels) {
    AudioStreamBasicDescription integer = FloatFormat(kDefaultRate, channels);
    integer.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                           kAudioFormatFlagIsNonInterleaved;
    integer.mBitsPerChannel = 16;
    integer.mBytesPerFrame = integer.mBytesPerPacket = 2;
    AudioStreamBasicDescription wide = FloatFormat(kDefaultRate, channels);
    wide.mBitsPerChannel = 64;
    wide.mBytesPerFrame = wide.mBytesPerPacket = 8;
    AudioStreamBasicDescription interleaved = FloatFormat(kDefaultRate, channels);
    interleaved.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    interleaved.mBytesPerFrame = interleaved.mBytesPerPacket = 4 * channels;
    // Interleaved mono is laid out as non-interleaved mono: a unit may take it.
    if (channels == 1) return {{"16-bit integer", integer}, {"64-bit float", wide}};
    return {{"16-bit integer", integer}, {"64-bit float", wide}, {"interleaved", interleaved}};
}

// The channel configurations a unit lists, read as the API documents them: none listed means any
// equal count; -1 on both sides any equal count; -1 or -2 against -1 or -2 any counts; otherwise
// a side of -1 any count, below -1 up to that many, else exactly that many.
struct Configurations {
    bool listed = false;
    std::vector<AUChannelInfo> entries;

    bool Allows(int in, int out) const {
        if (!listed) return in == out;
        for (const AUChannelInfo& c : entries) {
            const int i = c.inChannels, o = c.outChannels;
            if (i == -1 && o == -1) {
                if (in == out) return true;
                continue;
            }
            if ((i == -1 || i == -2) && (o == -1 || o == -2)) return true;
            if (Side(i, in) && Side(o, out)) return true;
        }
        return false;
    }
    // A count the unit names exactly, which must therefore work.
    bool Names(int in, int out) const {
        for (const AUChannelInfo& c : entries)
            if (c.inChannels == in && c.outChannels == out) return true;
        return false;
    }

private:
    static bool Side(int listed, int count) {
        if (listed == -1) return true;
        if (listed < -1) return count <= -listed;
        return count == listed;
    }
};

std::string ConfigurationText(const Configurations& c) {
    if (!c.listed) return "none listed";
    std::string text;
    for (const AUChannelInfo& e : c.entries)
        text += (text.empty() ? "" : ", ") + std::to_string(e.inChannels) + "-" +
                std::to_string(e.outChannels);
    return text.empty() ? "an empty list" : text;
}

bool IsZerub(const Context& context) {
    AudioComponentDescription d{};
    return AudioComponentGetDescription(context.component, &d) == noErr &&
           d.componentSubType == kZerubSubtype && d.componentManufacturer == kZerubManufacturer;
}

// The sample rate set on an element past the buses or in a scope that does not exist: refused
// with the error that names what is wrong, and the rate of output bus 0 kept.
std::string SampleRateAddressProblem(AudioUnit unit) {
    UInt32 size = 0;
    if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                                 &size, nullptr) != noErr)
        return "";
    AudioStreamBasicDescription before;
    if (const OSStatus s = ReadFormat(unit, kAudioUnitScope_Output, &before); s != noErr)
        return "output format: " + StatusText(s);
    const Float64 other = before.mSampleRate == 48000.0 ? 96000.0 : 48000.0;
    struct Address {
        AudioUnitScope scope;
        AudioUnitElement element;
        OSStatus want;
    };
    for (const Address& a : {Address{kAudioUnitScope_Input, 99, kAudioUnitErr_InvalidElement},
                             Address{kAudioUnitScope_Output, 99, kAudioUnitErr_InvalidElement},
                             Address{3, 0, kAudioUnitErr_InvalidScope},
                             Address{0xFFFF, 0, kAudioUnitErr_InvalidScope}}) {
        const OSStatus s = AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, a.scope,
                                                a.element, &other, sizeof other);
        AudioStreamBasicDescription after;
        const OSStatus rs = ReadFormat(unit, kAudioUnitScope_Output, &after);
        const std::string where =
            "scope " + std::to_string(a.scope) + " element " + std::to_string(a.element) + ": ";
        if (s != a.want) return where + "answers " + StatusText(s) + ", not " + StatusText(a.want);
        if (rs != noErr || after.mSampleRate != before.mSampleRate)
            return where + "refused, but output bus 0 now runs at " +
                   (rs != noErr ? StatusText(rs) : Number(after.mSampleRate) + " Hz");
    }
    return "";
}

std::string PackedFormatProblem(AudioUnit unit) {
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const char* side = scope == kAudioUnitScope_Input ? "input" : "output";
        AudioStreamBasicDescription before;
        if (const OSStatus s = ReadFormat(unit, scope, &before); s != noErr)
            return std::string(side) + ": " + StatusText(s);
        for (const auto& [name, format] : PackedFormats(before.mChannelsPerFrame)) {
            const OSStatus s = AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0,
                                                    &format, sizeof format);
            AudioStreamBasicDescription after;
            const OSStatus rs = ReadFormat(unit, scope, &after);
            const std::string what = std::string(side) + ", " + name + ": ";
            if (s != kAudioUnitErr_FormatNotSupported)
                return what + (s == noErr ? "accepted" : "refused with " + StatusText(s));
            if (rs != noErr || !SameFormat(before, after))
                return what + "the format changed after the refusal";
        }
    }
    return "";
}

bool RenderedSomething(const Rig& rig) {
    for (UInt32 c = 0; c < rig.channels; ++c)
        for (float v : rig.out[c])
            if (v == kUnwritten || !std::isfinite(v)) return false;
    return true;
}

} // namespace

void FormatChecks(Context& context, AudioUnit unit, Report& report) {
    // The default format is the API's canonical one: 32-bit float, one buffer per channel (mono
    // may say interleaved, the same layout), at a rate of the unit's choosing.
    std::string problem, rate;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        AudioStreamBasicDescription f;
        const OSStatus s = ReadFormat(unit, scope, &f);
        const char* side = scope == kAudioUnitScope_Input ? "input: " : "output: ";
        if (!problem.empty()) break;
        if (s != noErr)
            problem = side + StatusText(s);
        else if (!(std::isfinite(f.mSampleRate) && f.mSampleRate > 0.0))
            problem = side + Number(f.mSampleRate) + " Hz";
        else if (f.mFormatID != kAudioFormatLinearPCM || f.mBitsPerChannel != 32 ||
                 !(f.mFormatFlags & kAudioFormatFlagIsFloat) || f.mBytesPerFrame != 4)
            problem = std::string(side) + "not 32-bit float";
        else if (!(f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) && f.mChannelsPerFrame != 1)
            problem = std::string(side) + "interleaved";
        if (s == noErr && rate.empty() && f.mSampleRate != kDefaultRate)
            rate = side + Number(f.mSampleRate) + " Hz";
    }
    report.Check("stream format: default 32-bit float, non-interleaved", problem.empty(), problem);
    // Hosts set the rate before they initialise, but one that forgets meets the common rate.
    report.Warn("stream format: default rate 44100 Hz", rate.empty(), rate);
    problem = PackedFormatProblem(unit);
    report.Check("stream format: 16-bit integer, 64-bit float and interleaved refused with "
                 "kAudioUnitErr_FormatNotSupported, the format kept",
                 problem.empty(), problem);

    // The configurations: absent means any equal count; a list is whole AUChannelInfo records.
    Configurations configs;
    std::vector<unsigned char> data;
    const OSStatus cs = ReadProperty(unit, kAudioUnitProperty_SupportedNumChannels, 0, &data);
    configs.listed = cs == noErr;
    for (size_t i = 0; cs == noErr && i + sizeof(AUChannelInfo) <= data.size();
         i += sizeof(AUChannelInfo)) {
        AUChannelInfo c;
        std::memcpy(&c, data.data() + i, sizeof c);
        configs.entries.push_back(c);
    }
    problem.clear();
    if (cs != noErr && cs != kAudioUnitErr_InvalidProperty)
        problem = "answers " + StatusText(cs);
    else if (cs == noErr && (data.empty() || data.size() % sizeof(AUChannelInfo) != 0))
        problem = std::to_string(data.size()) + " bytes";
    report.Check("channels: configurations listed as whole records, or none", problem.empty(),
                 problem);
    // The product's own configurations; another unit lists its own.
    if (IsZerub(context))
        report.Warn("channels: exactly 1-1 and 2-2 listed",
                    configs.listed && configs.entries.size() == 2 && configs.Names(1, 1) &&
                        configs.Names(2, 2),
                    "listed: " + ConfigurationText(configs));

    // Each count on an instance of its own; refusing at the set or at initialise are both sound.
    // A count outside the configurations is refused; one they name exactly initialises; one a
    // wildcard covers may still be refused, as long as mono or stereo work.
    problem.clear();
    bool anyWorks = false;
    for (UInt32 in = 1; in <= 8 && problem.empty(); ++in) {
        for (UInt32 out = 1; out <= 8 && problem.empty(); ++out) {
            AudioComponentInstance fresh =
                context.Fresh(report, "channels: counts 1-1 to 8-8 as the configurations say");
            if (!fresh) return;
            OSStatus s = SetFormat(fresh, kAudioUnitScope_Input, kDefaultRate, in);
            if (s == noErr) s = SetFormat(fresh, kAudioUnitScope_Output, kDefaultRate, out);
            if (s == noErr) s = AudioUnitInitialize(fresh);
            const int i = static_cast<int>(in), o = static_cast<int>(out);
            const std::string pair = std::to_string(in) + "-" + std::to_string(out);
            if (configs.Names(i, o) && s != noErr)
                problem = pair + " listed but refused (" + StatusText(s) + ")";
            else if (!configs.Allows(i, o) && s == noErr)
                problem = pair + " accepted and initialised, but the configurations (" +
                          ConfigurationText(configs) + ") exclude it";
            if (s == noErr && in == out && in <= 2) anyWorks = true;
            if (s == noErr) AudioUnitUninitialize(fresh);
            AudioComponentInstanceDispose(fresh);
        }
    }
    if (problem.empty() && !anyWorks) problem = "neither 1-1 nor 2-2 initialises";
    report.Check("channels: counts 1-1 to 8-8 initialise or are refused as the configurations say",
                 problem.empty(), problem);

    // A refused change on an initialised stereo unit changes nothing.
    problem.clear();
    {
        Rig rig(unit, 2);
        rig.signal = Noise;
        OSStatus s = rig.Start();
        if (s != noErr) problem = "stereo does not initialise (" + StatusText(s) + ")";
        for (UInt32 bad : {3u, 0u}) {
            if (!problem.empty()) break;
            for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
                if (SetFormat(unit, scope, kDefaultRate, bad) == noErr) continue;
                AudioStreamBasicDescription f;
                s = ReadFormat(unit, scope, &f);
                if (problem.empty() && (s != noErr || f.mChannelsPerFrame != 2))
                    problem = "after refusing " + std::to_string(bad) + " channels the bus has " +
                              (s != noErr ? StatusText(s) : std::to_string(f.mChannelsPerFrame));
            }
        }
        if (problem.empty()) {
            const int pulls = rig.pulls;
            s = rig.Render(256);
            if (s != noErr || rig.pulls == pulls || !RenderedSomething(rig))
                problem =
                    "the next render " + (s != noErr ? "fails (" + StatusText(s) + ")"
                                                     : std::string("does not take stereo input"));
        }
        if (problem.empty()) {
            AudioUnitUninitialize(unit);
            s = AudioUnitInitialize(unit);
            if (s != noErr) problem = "initialise after uninitialise fails (" + StatusText(s) + ")";
        }
        AudioUnitUninitialize(unit);
    }
    report.Check("stream format: a refused change leaves the format and rendering as they were",
                 problem.empty(), problem);

    // While uninitialised a unit may take 0 (the API's base classes do) and fail at initialise;
    // refusing it at once serves the host better. A refusal keeps the maximum.
    UInt32 before = 0, after = 0;
    ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &before);
    const UInt32 zero = 0;
    const OSStatus zs = AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                             kAudioUnitScope_Global, 0, &zero, sizeof zero);
    ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &after);
    if (zs == noErr) {
        AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                             0, &before, sizeof before);
        report.Warn("maximum frames: 0 refused and the maximum kept", false, "accepted");
    } else {
        report.Check("maximum frames: 0 refused and the maximum kept", after == before,
                     "now " + std::to_string(after));
    }

    problem = SampleRateAddressProblem(unit);
    report.Check("sample rate: an element past the buses or an unknown scope refused, the rate "
                 "kept",
                 problem.empty(), problem);
}

} // namespace validate
