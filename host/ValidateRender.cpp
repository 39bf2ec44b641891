// Rendering: block sizes up to and past the maximum, slices against whole blocks, a
// disconnected input, finite output at every parameter extreme, latency and tail; and the matrix
// of rates, block sizes, channel counts and signals, bad samples included.
#include "host/ValidateSupport.h"

#include <cmath>
#include <cstring>

namespace validate {
namespace {

void FiniteOutput(AudioUnit unit, const std::vector<ParameterDescription>& parameters, Rig& rig,
                  Report& report) {
    const std::pair<const char*, Signal> signals[] = {
        {"silence", [](long, int) { return 0.0f; }},
        {"full-scale noise", Noise},
        {"DC", [](long, int) { return 1.0f; }},
        {"1 kHz sine", [](long n, int) {
             return static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * n / kDefaultRate));
         }}};
    const std::pair<const char*, std::function<float(const ParameterDescription&)>> settings[] = {
        {"minimum", [](const ParameterDescription& p) { return p.minValue; }},
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
                    problem =
                        "NaN, infinity or unwritten samples in block " + std::to_string(block);
            }
            report.Check(std::string("render: finite output, ") + signalName +
                             ", continuous parameters at " + settingName,
                         problem.empty(), problem);
        }
    }
    for (const ParameterDescription& p : parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool Untouched(const Rig& rig) {
    for (UInt32 c = 0; c < rig.channels; ++c)
        for (float v : rig.out[c])
            if (v != kUnwritten) return false;
    return true;
}

void Slices(Context& context, Report& report) {
    const std::string check = "render: 512 frames in one block equal eight slices of 64";
    AudioComponentInstance whole = context.Fresh(report, check);
    if (!whole) return;
    AudioComponentInstance sliced = context.Fresh(report, check);
    std::string problem;
    if (sliced) {
        Rig a(whole), b(sliced);
        a.signal = b.signal = Noise;
        OSStatus s = a.Start();
        if (s == noErr) s = b.Start();
        if (s == noErr) s = a.Render(512);
        std::vector<float> joined[2];
        for (int i = 0; i < 8 && s == noErr; ++i) {
            s = b.Render(64);
            for (int c = 0; c < 2; ++c)
                joined[c].insert(joined[c].end(), b.out[c].begin(), b.out[c].end());
        }
        if (s != noErr)
            problem = StatusText(s);
        else
            for (int c = 0; c < 2 && problem.empty(); ++c)
                for (size_t i = 0; i < 512 && problem.empty(); ++i)
                    if (std::memcmp(&a.out[c][i], &joined[c][i], sizeof(float)) != 0)
                        problem = "channel " + std::to_string(c) + " differs at frame " +
                                  std::to_string(i);
        AudioUnitUninitialize(sliced);
        AudioUnitUninitialize(whole);
        AudioComponentInstanceDispose(sliced);
    }
    AudioComponentInstanceDispose(whole);
    if (sliced) report.Check(check, problem.empty(), problem);
}

// After noise, a disconnected input renders as silence would: compared with an instance that
// was given the same noise and then zeros. A unit may also refuse to render without input.
void Disconnected(Context& context, Report& report) {
    const std::string check = "render: a disconnected input is silence";
    std::string problem;
    for (int way = 0; way < 2 && problem.empty(); ++way) {
        AudioComponentInstance cut = context.Fresh(report, check);
        if (!cut) return;
        AudioComponentInstance fed = context.Fresh(report, check);
        if (!fed) {
            AudioComponentInstanceDispose(cut);
            return;
        }
        {
            Rig a(cut), b(fed);
            a.signal = b.signal = Noise;
            OSStatus s = a.Start();
            if (s == noErr) s = b.Start();
            if (s == noErr) s = a.Render(256);
            if (s == noErr) s = b.Render(256);
            const char* how = way == 0 ? "callback removed" : "connection without a source";
            if (s == noErr) {
                if (way == 0) {
                    const AURenderCallbackStruct none = {nullptr, nullptr};
                    s = AudioUnitSetProperty(cut, kAudioUnitProperty_SetRenderCallback,
                                             kAudioUnitScope_Input, 0, &none, sizeof none);
                } else {
                    AudioUnitConnection connection = {nullptr, 0, 0};
                    s = AudioUnitSetProperty(cut, kAudioUnitProperty_MakeConnection,
                                             kAudioUnitScope_Input, 0, &connection,
                                             sizeof connection);
                }
                // A unit that refuses connections fails the connection check, not this one.
                if (s != noErr && way == 0)
                    problem = std::string(how) + ": refused (" + StatusText(s) + ")";
            } else {
                problem = StatusText(s);
            }
            b.signal = [](long, int) { return 0.0f; };
            for (int block = 0; block < 2 && problem.empty() && s == noErr; ++block) {
                const OSStatus cs = a.Render(256);
                s = b.Render(256);
                if (cs != noErr) break; // refusing to render without input is sound
                if (s != noErr)
                    problem = StatusText(s);
                else if (!SameBits(a.out[0], b.out[0]) || !SameBits(a.out[1], b.out[1]))
                    problem = std::string(how) + ": block " + std::to_string(block) +
                              " differs from silence";
            }
            AudioUnitUninitialize(cut);
            AudioUnitUninitialize(fed);
        }
        AudioComponentInstanceDispose(cut);
        AudioComponentInstanceDispose(fed);
    }
    report.Check(check, problem.empty(), problem);
}

// A connection without a source is how a host disconnects an input; a unit must take it.
void Connection(Context& context, Report& report) {
    const std::string check = "connections: kAudioUnitProperty_MakeConnection accepted (no source, "
                              "input 0)";
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return;
    std::string problem;
    {
        Rig rig(fresh);
        rig.signal = Noise;
        OSStatus s = rig.Start();
        AudioUnitConnection connection = {nullptr, 0, 0};
        if (s == noErr)
            s = AudioUnitSetProperty(fresh, kAudioUnitProperty_MakeConnection,
                                     kAudioUnitScope_Input, 0, &connection, sizeof connection);
        if (s != noErr) problem = StatusText(s);
        AudioUnitUninitialize(fresh);
    }
    AudioComponentInstanceDispose(fresh);
    report.Check(check, problem.empty(), problem);
}

// Render before initialise and after uninitialise: refused as uninitialised, on an instance of
// its own (the first render a unit sees).
void Uninitialised(Context& context, Report& report) {
    const std::string check =
        "render: refused with kAudioUnitErr_Uninitialized before initialise and after uninitialise";
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return;
    std::string problem;
    {
        Rig rig(fresh);
        rig.signal = Noise;
        OSStatus s = rig.Prepare();
        if (s != noErr) problem = "set up: " + StatusText(s);
        if (problem.empty() && (s = rig.Render(64)) != kAudioUnitErr_Uninitialized)
            problem = "before initialise: " + (s == noErr ? "rendered" : StatusText(s));
        if (problem.empty() && (s = AudioUnitInitialize(fresh)) == noErr) s = rig.Render(64);
        if (problem.empty() && s != noErr) problem = "initialised: " + StatusText(s);
        if (problem.empty()) {
            AudioUnitUninitialize(fresh);
            if ((s = rig.Render(64)) != kAudioUnitErr_Uninitialized)
                problem = "after uninitialise: " + (s == noErr ? "rendered" : StatusText(s));
        }
    }
    AudioComponentInstanceDispose(fresh);
    report.Check(check, problem.empty(), problem);
}

// 512 frames into output buffers of 256 bytes: refused, and nothing written past the 256 bytes
// (the rest of each allocation is a guard).
std::string SmallBuffers(AudioUnit unit) {
    constexpr UInt32 kFrames = 512, kBytes = 256;
    std::vector<float> memory[2];
    for (std::vector<float>& m : memory)
        m.assign(kFrames, kUnwritten);
    struct {
        UInt32 count;
        AudioBuffer buffers[2];
    } list = {2, {{1, kBytes, memory[0].data()}, {1, kBytes, memory[1].data()}}};
    AudioTimeStamp time;
    std::memset(&time, 0, sizeof time);
    time.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus s =
        AudioUnitRender(unit, &flags, &time, 0, kFrames, reinterpret_cast<AudioBufferList*>(&list));
    if (s == noErr) return "rendered";
    for (int c = 0; c < 2; ++c)
        for (UInt32 i = kBytes / 4; i < kFrames; ++i)
            if (std::memcmp(&memory[c][i], &kUnwritten, sizeof(float)) != 0)
                return "refused (" + StatusText(s) + "), but channel " + std::to_string(c) +
                       " was written at frame " + std::to_string(i);
    return "";
}

} // namespace

void RenderChecks(Context& context, AudioUnit unit, Report& report) {
    {
        Rig rig(unit);
        if (!report.CheckStatus("render: set up (stereo, callback, 4096 frames) and initialise",
                                rig.Start()))
            return;
        rig.signal = Noise;
        UInt32 maximum = 0;
        const OSStatus ms = ReadFixed(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, &maximum);
        // The buffers are the host's: a maximum it did not ask for is not believed.
        if (!report.Check("render: maximum frames reads back 4096",
                          ms == noErr && maximum == rig.maxFrames,
                          ms != noErr ? StatusText(ms) : std::to_string(maximum))) {
            AudioUnitUninitialize(unit);
            return;
        }
        const int pulls = rig.pulls;
        const OSStatus over = rig.Render(maximum + 1);
        std::string problem;
        if (over != kAudioUnitErr_TooManyFramesToProcess)
            problem = over == noErr ? "rendered" : "refused with " + StatusText(over);
        else if (rig.pulls != pulls || !Untouched(rig))
            problem = "refused, but input was pulled or output written";
        report.Check("render: more frames than the maximum refused with "
                     "kAudioUnitErr_TooManyFramesToProcess, nothing rendered",
                     problem.empty(), problem);
        problem = SmallBuffers(unit);
        report.Check("render: output buffers smaller than the frames refused, nothing written "
                     "past them",
                     problem.empty(), problem);
        const OSStatus untimed = rig.Render(64, false);
        report.Check("render: timestamp without sample time refused", untimed != noErr, "rendered");
        FiniteOutput(unit, context.parameters, rig, report);
        AudioUnitUninitialize(unit);
    }
    Slices(context, report);
    Disconnected(context, report);
    Connection(context, report);
    Uninitialised(context, report);
    for (auto [id, name] : {std::pair{kAudioUnitProperty_Latency, "latency"},
                            std::pair{kAudioUnitProperty_TailTime, "tail time"}}) {
        Float64 seconds = -1.0;
        const OSStatus s = ReadFixed(unit, id, 0, &seconds);
        report.Check(std::string(name) + ": reported, finite, not negative",
                     s == noErr && std::isfinite(seconds) && seconds >= 0.0,
                     s != noErr ? StatusText(s) : Number(seconds) + " s");
    }
}

// The level of the last 1024 of 2048 frames of noise through a started rig, in blocks of 512.
double NoiseLevel(Rig& rig) {
    rig.signal = Noise;
    double energy = 0.0;
    long count = 0;
    for (int block = 0; block < 4; ++block) {
        if (rig.Render(512) != noErr) return 0.0;
        for (UInt32 c = 0; c < rig.channels && block >= 2; ++c)
            for (float v : rig.out[c]) {
                energy += static_cast<double>(v) * v;
                ++count;
            }
    }
    return count ? std::sqrt(energy / count) : 0.0;
}

void RenderMatrixChecks(Context& context, AudioUnit unit, Report& report) {
    const double rates[] = {11025, 22050, 44100, 48000, 96000, 192000};
    const UInt32 blocks[] = {1, 64, 137, 512, 4096};
    struct Kind {
        const char* name;
        Signal signal;
        bool bad; // holds one non-finite sample at frame 100
    };
    const Kind kinds[] = {
        {"noise", Noise, false},
        {"silence after noise", [](long n, int c) { return n < 300 ? Noise(n, c) : 0.0f; }, false},
        {"full scale", [](long n, int) { return (n / 50) % 2 ? 1.0f : -1.0f; }, false},
        {"a NaN", [](long n, int c) { return n == 100 ? std::nanf("") : Noise(n, c); }, true},
        {"an infinity", [](long n, int c) { return n == 100 ? INFINITY : Noise(n, c); }, true},
    };
    for (double rate : rates) {
        for (UInt32 channels : {1u, 2u}) {
            const std::string check = "render matrix: " + Number(rate) + " Hz " +
                                      (channels == 1 ? "mono" : "stereo") +
                                      ", blocks 1 to 4096, noise, silence, full scale, NaN, "
                                      "infinity";
            // What noise gives on an instance that has seen nothing else.
            double noiseLevel = 0.0;
            if (AudioComponentInstance fresh = context.Fresh(report, check)) {
                {
                    Rig reference(fresh, channels, rate, 4096);
                    if (reference.Start() == noErr) noiseLevel = NoiseLevel(reference);
                    AudioUnitUninitialize(fresh);
                }
                AudioComponentInstanceDispose(fresh);
            } else {
                continue;
            }
            Rig rig(unit, channels, rate, 4096);
            std::string problem;
            if (!(noiseLevel > 0.0)) problem = "noise renders as silence on a new instance";
            if (const OSStatus s = rig.Start(); s != noErr)
                problem = "does not initialise (" + StatusText(s) + ")";
            for (UInt32 block : blocks) {
                for (const Kind& kind : kinds) {
                    if (!problem.empty()) break;
                    AudioUnitReset(unit, kAudioUnitScope_Global, 0);
                    rig.signal = kind.signal;
                    rig.position = 0;
                    const long total = block == 1 ? 2048 : std::max<long>(2048, 4L * block);
                    double tailEnergy = 0.0;
                    long tailCount = 0;
                    for (long done = 0; done < total && problem.empty(); done += block) {
                        const OSStatus s = rig.Render(block);
                        const std::string where =
                            std::to_string(block) + "-frame blocks, " + kind.name + ": ";
                        if (s != noErr) {
                            problem = where + StatusText(s);
                            break;
                        }
                        for (UInt32 c = 0; c < channels && problem.empty(); ++c)
                            for (UInt32 i = 0; i < block && problem.empty(); ++i) {
                                const float v = rig.out[c][i];
                                if (v == kUnwritten)
                                    problem = where + "channel " + std::to_string(c) +
                                              " not written at frame " + std::to_string(done + i);
                                else if (!std::isfinite(v))
                                    problem =
                                        where + Number(v) + " at frame " + std::to_string(done + i);
                                else if (std::fpclassify(v) == FP_SUBNORMAL)
                                    problem =
                                        where + "subnormal at frame " + std::to_string(done + i);
                                else if (done + i >= total - 1024) {
                                    tailEnergy += static_cast<double>(v) * v;
                                    ++tailCount;
                                }
                            }
                    }
                    const double level = tailCount ? std::sqrt(tailEnergy / tailCount) : 0.0;
                    // Noise, and the noise after a bad sample, come through as on a new instance.
                    const bool noisy = kind.bad || std::strcmp(kind.name, "noise") == 0;
                    if (problem.empty() && noisy && !(level > 0.1 * noiseLevel))
                        problem = std::to_string(block) + "-frame blocks, " + kind.name +
                                  ": level " + Number(level) + " at the end, against " +
                                  Number(noiseLevel) + " for noise on a new instance";
                }
            }
            AudioUnitUninitialize(unit);
            report.Check(check, problem.empty(), problem);
        }
    }
}

} // namespace validate
