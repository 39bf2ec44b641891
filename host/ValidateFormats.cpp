// Stream formats and channel configurations: the default format, the listed configurations,
// every other count refused, and a refused change that leaves the unit as it was.
#include "host/ValidateSupport.h"

#include <cmath>
#include <cstring>
#include <set>

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
    return {{"16-bit integer", integer}, {"64-bit float", wide}, {"interleaved", interleaved}};
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
    std::string problem;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        AudioStreamBasicDescription f;
        const OSStatus s = ReadFormat(unit, scope, &f);
        const char* side = scope == kAudioUnitScope_Input ? "input: " : "output: ";
        if (!problem.empty()) break;
        if (s != noErr)
            problem = side + StatusText(s);
        else if (f.mSampleRate != 44100.0)
            problem = side + Number(f.mSampleRate) + " Hz";
        else if (f.mFormatID != kAudioFormatLinearPCM || f.mBitsPerChannel != 32 ||
                 !(f.mFormatFlags & kAudioFormatFlagIsFloat) || f.mBytesPerFrame != 4)
            problem = std::string(side) + "not 32-bit float";
        else if (!(f.mFormatFlags & kAudioFormatFlagIsNonInterleaved))
            problem = std::string(side) + "interleaved";
    }
    report.Check("stream format: default 44100 Hz, 32-bit float, non-interleaved", problem.empty(),
                 problem);
    problem = PackedFormatProblem(unit);
    report.Check("stream format: 16-bit integer, 64-bit float and interleaved refused with "
                 "kAudioUnitErr_FormatNotSupported, the format kept",
                 problem.empty(), problem);

    std::vector<unsigned char> data;
    const OSStatus cs = ReadProperty(unit, kAudioUnitProperty_SupportedNumChannels, 0, &data);
    std::set<std::pair<int, int>> listed;
    for (size_t i = 0; cs == noErr && i + sizeof(AUChannelInfo) <= data.size();
         i += sizeof(AUChannelInfo)) {
        AUChannelInfo c;
        std::memcpy(&c, data.data() + i, sizeof c);
        listed.insert({c.inChannels, c.outChannels});
    }
    std::string text;
    for (const auto& [in, out] : listed)
        text += (text.empty() ? "" : ", ") + std::to_string(in) + "-" + std::to_string(out);
    report.Check("channels: exactly 1-1 and 2-2 listed",
                 cs == noErr && listed == std::set<std::pair<int, int>>{{1, 1}, {2, 2}},
                 cs != noErr ? StatusText(cs) : "listed: " + (text.empty() ? "none" : text));

    // Each count on an instance of its own; refusing at the set or at initialise are both sound.
    problem.clear();
    for (UInt32 in = 1; in <= 8 && problem.empty(); ++in) {
        for (UInt32 out = 1; out <= 8 && problem.empty(); ++out) {
            AudioComponentInstance fresh = context.Fresh(report, "channels: counts 1-1 to 8-8");
            if (!fresh) return;
            OSStatus s = SetFormat(fresh, kAudioUnitScope_Input, kDefaultRate, in);
            if (s == noErr) s = SetFormat(fresh, kAudioUnitScope_Output, kDefaultRate, out);
            if (s == noErr) s = AudioUnitInitialize(fresh);
            const bool supported = in == out && in <= 2;
            const std::string pair = std::to_string(in) + "-" + std::to_string(out);
            if (supported && s != noErr)
                problem = pair + " refused (" + StatusText(s) + ")";
            else if (!supported && s == noErr)
                problem = pair + " accepted and initialised";
            if (s == noErr) AudioUnitUninitialize(fresh);
            AudioComponentInstanceDispose(fresh);
        }
    }
    report.Check("channels: 1-1 and 2-2 initialise, every other count to 8-8 refused",
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

    UInt32 before = 0, after = 0;
    ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &before);
    const UInt32 zero = 0;
    const OSStatus zs = AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                             kAudioUnitScope_Global, 0, &zero, sizeof zero);
    ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &after);
    report.Check("maximum frames: 0 refused and the maximum kept", zs != noErr && after == before,
                 zs == noErr ? "accepted" : "now " + std::to_string(after));
}

} // namespace validate
