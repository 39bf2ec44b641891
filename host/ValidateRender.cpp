// Rendering: block sizes up to and past the maximum, slices against whole blocks, a
// disconnected input, finite output at every parameter extreme, reset, what a host's buffers,
// maximum and parameter events may ask; and the matrix of rates, block sizes, channel counts and
// signals, bad samples included.
#include "host/ValidateSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

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
                    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): bit for bit
                    if (std::memcmp(&a.out[c][i], &joined[c][i], sizeof(float)) != 0)
                        problem = "channel " + std::to_string(c) + " differs at frame " +
                                  std::to_string(i);
        AudioUnitUninitialize(sliced);
        AudioUnitUninitialize(whole);
        AudioComponentInstanceDispose(sliced);
    }
    AudioComponentInstanceDispose(whole);
    // Units that work in blocks of their own may differ legitimately; a careful unit does not.
    if (sliced) report.Warn(check, problem.empty(), problem);
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
            // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): bit for bit, on purpose
            if (std::memcmp(&memory[c][i], &kUnwritten, sizeof(float)) != 0)
                return "refused (" + StatusText(s) + "), but channel " + std::to_string(c) +
                       " was written at frame " + std::to_string(i);
    return "";
}

// The largest difference between two renders of the same thing, in blocks: instances of one unit
// given the same input agree to well below this (a unit with dither of its own still passes).
constexpr float kSameOutput = 1e-4f;

float MostApart(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return INFINITY;
    float most = 0.0f;
    for (size_t i = 0; i < a.size(); ++i) {
        const float d = std::fabs(a[i] - b[i]);
        if (!(d <= most)) most = std::isnan(d) ? INFINITY : d;
    }
    return most;
}

// A list of up to four buffers, each over its own memory filled with kUnwritten.
struct HostList {
    UInt32 count;
    AudioBuffer buffers[4];
    std::vector<float> memory[4];

    HostList(UInt32 bufferCount, UInt32 frames, bool nullData = false)
        : count(bufferCount), buffers() {
        for (int c = 0; c < 4; ++c) {
            memory[c].assign(frames, kUnwritten);
            buffers[c] = {1, frames * 4, nullData ? nullptr : memory[c].data()};
        }
    }
    AudioBufferList* List() { return reinterpret_cast<AudioBufferList*>(this); }
    // Whether memory holds kUnwritten from buffer first on.
    bool Untouched(UInt32 first = 0) const {
        for (UInt32 c = first; c < 4; ++c)
            for (float v : memory[c])
                if (v != kUnwritten) return false;
        return true;
    }
};

// One render at rig's running sample time into list; the rig's callback supplies the input.
OSStatus RenderInto(AudioUnit unit, Rig& rig, UInt32 frames, AudioBufferList* list) {
    AudioTimeStamp time;
    std::memset(&time, 0, sizeof time);
    time.mFlags = kAudioTimeStampSampleTimeValid;
    time.mSampleTime = static_cast<Float64>(rig.position);
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus s = AudioUnitRender(unit, &flags, &time, 0, frames, list);
    if (s == noErr) rig.position += frames;
    return s;
}

// Two new instances, each with a rig started on noise: for checks that compare one with the
// other. Disposed (uninitialised first) when it goes.
struct Pair {
    Pair(Context& context, Report& report, const std::string& check)
        : a(context.Fresh(report, check)), b(a ? context.Fresh(report, check) : nullptr) {
        if (!b) return;
        rigA = std::make_unique<Rig>(a, 2, kDefaultRate, 4096);
        rigB = std::make_unique<Rig>(b, 2, kDefaultRate, 4096);
        rigA->signal = rigB->signal = Noise;
        status = rigA->Start();
        if (status == noErr) status = rigB->Start();
    }
    ~Pair() {
        rigA.reset();
        rigB.reset();
        for (AudioComponentInstance u : {a, b})
            if (u) {
                AudioUnitUninitialize(u);
                AudioComponentInstanceDispose(u);
            }
    }
    bool Ready() const { return b && status == noErr; }
    AudioComponentInstance a, b;
    std::unique_ptr<Rig> rigA, rigB;
    OSStatus status = noErr;
};

std::string Apart(const char* what, float most) {
    return std::string(what) + " differs by up to " + Number(most);
}

// Reset clears the audio state: after noise and a reset, the output equals that of an instance
// that heard only silence and was reset too (so that what a unit keeps on purpose, such as its
// parameter smoothing, is alike in both).
void ResetClears(Context& context, Report& report) {
    const std::string check = "render: after a reset the output equals that of an instance that "
                              "heard only silence";
    Pair pair(context, report, check);
    if (!pair.b) return;
    std::string problem =
        pair.Ready() ? "" : "does not initialise (" + StatusText(pair.status) + ")";
    pair.rigB->signal = [](long, int) { return 0.0f; };
    for (int block = 0; block < 4 && problem.empty(); ++block) {
        OSStatus s = pair.rigA->Render(512);
        if (s == noErr) s = pair.rigB->Render(512);
        if (s != noErr) problem = StatusText(s);
    }
    for (AudioUnit u : {pair.a, pair.b})
        if (const OSStatus s = AudioUnitReset(u, kAudioUnitScope_Global, 0);
            s != noErr && problem.empty())
            problem = "reset: " + StatusText(s);
    pair.rigB->signal = Noise;
    for (int block = 0; block < 2 && problem.empty(); ++block) {
        OSStatus s = pair.rigA->Render(512);
        if (s == noErr) s = pair.rigB->Render(512);
        for (int c = 0; c < 2 && s == noErr && problem.empty(); ++c)
            if (const float most = MostApart(pair.rigA->out[c], pair.rigB->out[c]);
                !(most <= kSameOutput))
                problem = Apart(("block " + std::to_string(block) + " after the reset, channel " +
                                 std::to_string(c))
                                    .c_str(),
                                most);
        if (s != noErr) problem = StatusText(s);
    }
    report.Check(check, problem.empty(), problem);
}

// Output buffers without memory: the unit renders into buffers of its own and points the list at
// them, with what it would have written into the host's.
void NullData(Context& context, Report& report) {
    const std::string check = "render: output buffers without memory get the unit's own, rightly "
                              "filled";
    Pair pair(context, report, check);
    if (!pair.b) return;
    std::string problem =
        pair.Ready() ? "" : "does not initialise (" + StatusText(pair.status) + ")";
    for (int block = 0; block < 3 && problem.empty(); ++block) {
        const UInt32 frames = block == 1 ? 137 : 512;
        HostList list(2, frames, true);
        OSStatus s = RenderInto(pair.b, *pair.rigB, frames, list.List());
        if (s != noErr) {
            problem = "refused (" + StatusText(s) + ")";
            break;
        }
        if ((s = pair.rigA->Render(frames)) != noErr) {
            problem = "into the host's buffers: " + StatusText(s);
            break;
        }
        for (int c = 0; c < 2 && problem.empty(); ++c) {
            const AudioBuffer& given = list.buffers[c];
            if (!given.mData || given.mDataByteSize < frames * 4) {
                problem = "channel " + std::to_string(c) + " was given " +
                          (given.mData ? std::to_string(given.mDataByteSize) + " bytes"
                                       : std::string("no memory"));
                break;
            }
            const auto* samples = static_cast<const float*>(given.mData);
            const std::vector<float> own(samples, samples + frames);
            if (const float most = MostApart(own, pair.rigA->out[c]); !(most <= kSameOutput))
                problem = Apart(("block " + std::to_string(block) + ", channel " +
                                 std::to_string(c) + " in the unit's buffers")
                                    .c_str(),
                                most) +
                          " from a render into the host's";
        }
    }
    report.Check(check, problem.empty(), problem);
}

// A list with one buffer too few or too many for the stereo format. A unit may refuse it with
// nothing written or render the channels the list has room for (its channels beyond the list
// left unconnected); writing past the list, or rendering wrongly afterwards, fails.
void BufferCount(Context& context, Report& report) {
    const std::string check = "render: a buffer list that does not match the format refused or "
                              "rendered as given, nothing written past it";
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return;
    std::string problem;
    {
        Rig rig(fresh, 2, kDefaultRate, 1024);
        rig.signal = Noise;
        OSStatus s = rig.Start();
        if (s == noErr) s = rig.Render(512);
        if (s != noErr) problem = "does not render (" + StatusText(s) + ")";
        for (UInt32 count : {1u, 3u}) {
            if (!problem.empty()) break;
            HostList list(count, 512);
            const int pulls = rig.pulls;
            s = RenderInto(fresh, rig, 512, list.List());
            const std::string what = std::to_string(count) + " buffers for 2 channels: ";
            if (!list.Untouched(count))
                problem = what + "written past the list";
            else if (s != noErr && !list.Untouched())
                problem = what + "refused (" + StatusText(s) + "), but written";
            else if (s != noErr && rig.pulls != pulls)
                problem = what + "refused (" + StatusText(s) + "), but the input was pulled";
        }
        if (problem.empty() && (s = rig.Render(512)) != noErr)
            problem = "afterwards a render fails (" + StatusText(s) + ")";
        else if (problem.empty() && (!AllFinite(rig.out[0]) || !AllFinite(rig.out[1])))
            problem = "afterwards a render is not written or not finite";
        AudioUnitUninitialize(fresh);
    }
    AudioComponentInstanceDispose(fresh);
    report.Check(check, problem.empty(), problem);
}

// The maximum frames changed while initialised, up and then down: a unit may refuse (the old
// maximum is kept) or take it, and then renders the new maximum in full and refuses one more.
void MaximumWhileInitialised(Context& context, Report& report) {
    const std::string check = "render: the maximum frames changed while initialised is refused, "
                              "or rendered in full";
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return;
    std::string problem;
    {
        Rig rig(fresh, 2, kDefaultRate, 4096);
        rig.signal = Noise;
        UInt32 maximum = 1024;
        OSStatus s = rig.Prepare();
        if (s == noErr)
            s = AudioUnitSetProperty(fresh, kAudioUnitProperty_MaximumFramesPerSlice,
                                     kAudioUnitScope_Global, 0, &maximum, sizeof maximum);
        if (s == noErr) s = AudioUnitInitialize(fresh);
        if (s == noErr) s = rig.Render(maximum);
        if (s != noErr) problem = "does not render 1024 frames (" + StatusText(s) + ")";
        for (UInt32 wanted : {2048u, 256u}) {
            if (!problem.empty()) break;
            const OSStatus set =
                AudioUnitSetProperty(fresh, kAudioUnitProperty_MaximumFramesPerSlice,
                                     kAudioUnitScope_Global, 0, &wanted, sizeof wanted);
            UInt32 now = 0;
            const OSStatus gs = ReadFixed(fresh, kAudioUnitProperty_MaximumFramesPerSlice, 0, &now);
            const std::string what =
                "from " + std::to_string(maximum) + " to " + std::to_string(wanted) + ": ";
            if (gs != noErr || now != (set == noErr ? wanted : maximum)) {
                problem = what + (set == noErr ? "accepted" : "refused") + ", then reads " +
                          (gs != noErr ? StatusText(gs) : std::to_string(now));
                break;
            }
            maximum = now;
            s = rig.Render(maximum);
            if (s != noErr)
                problem = what + std::to_string(maximum) + " frames do not render (" +
                          StatusText(s) + ")";
            else if (!AllFinite(rig.out[0]) || !AllFinite(rig.out[1]))
                problem = what + std::to_string(maximum) +
                          " frames render with samples unwritten or not finite";
            else if (rig.Render(maximum + 1) == noErr)
                problem = what + std::to_string(maximum + 1) + " frames render";
        }
        AudioUnitUninitialize(fresh);
    }
    AudioComponentInstanceDispose(fresh);
    report.Check(check, problem.empty(), problem);
}

// An immediate event at frame 100 of a 512-frame block: applied from that frame on (compared with
// a render split there), or to the whole block (a unit without sample-accurate parameters), not
// later and not never.
void OffsetEvent(Context& context, Report& report) {
    const std::string check = "render: a parameter event at frame 100 applies from that frame or "
                              "to its whole block";
    std::string problem;
    int tried = 0;
    for (const ParameterDescription& p : context.parameters) {
        const bool meter = (p.flags & kAudioUnitParameterFlag_MeterReadOnly) ||
                           ((p.flags & kAudioUnitParameterFlag_IsReadable) &&
                            !(p.flags & kAudioUnitParameterFlag_IsWritable));
        if (IsSwitch(p) || meter || tried == 4 || !problem.empty()) continue;
        ++tried;
        const float to = StateValue(p) != p.defaultValue ? StateValue(p) : p.minValue;
        Pair scheduled(context, report, check), split(context, report, check);
        if (!scheduled.Ready() || !split.Ready()) {
            problem = "does not initialise";
            break;
        }
        Rig* x = scheduled.rigA.get(); // the event
        Rig* whole = scheduled.rigB.get();
        Rig* parts = split.rigA.get();
        OSStatus s = noErr;
        for (Rig* r : {x, whole, parts})
            if (s == noErr) s = r->Render(512);
        AudioUnitParameterEvent event;
        std::memset(&event, 0, sizeof event);
        event.scope = kAudioUnitScope_Global;
        event.parameter = p.id;
        event.eventType = kParameterEvent_Immediate;
        event.eventValues.immediate.bufferOffset = 100;
        event.eventValues.immediate.value = to;
        if (s == noErr) s = AudioUnitScheduleParameters(scheduled.a, &event, 1);
        if (s != noErr) {
            problem = Label(p) + ": " + StatusText(s);
            break;
        }
        s = x->Render(512);
        if (s == noErr)
            s = AudioUnitSetParameter(scheduled.b, p.id, kAudioUnitScope_Global, 0, to, 0);
        if (s == noErr) s = whole->Render(512);
        std::vector<float> joined[2];
        for (UInt32 frames : {100u, 412u}) {
            if (s == noErr && frames == 412)
                s = AudioUnitSetParameter(split.a, p.id, kAudioUnitScope_Global, 0, to, 0);
            if (s == noErr) s = parts->Render(frames);
            for (int c = 0; c < 2 && s == noErr; ++c)
                joined[c].insert(joined[c].end(), parts->out[c].begin(), parts->out[c].end());
        }
        if (s != noErr) {
            problem = Label(p) + ": " + StatusText(s);
            break;
        }
        float fromWhole = 0.0f, fromFrame = 0.0f;
        for (int c = 0; c < 2; ++c) {
            fromWhole = std::max(fromWhole, MostApart(x->out[c], whole->out[c]));
            fromFrame = std::max(fromFrame, MostApart(x->out[c], joined[c]));
        }
        if (!(fromWhole <= kSameOutput) && !(fromFrame <= kSameOutput))
            problem = Label(p) + " to " + Number(to) + ": the block differs by up to " +
                      Number(fromWhole) + " from one with the value set before it, and by " +
                      Number(fromFrame) + " from one with it set at frame 100";
    }
    if (tried == 0)
        report.Skip(check, "no continuous parameter");
    else
        report.Check(check, problem.empty(), problem);
}

// What a host's buffers, maximum and parameter events may ask of a render.
void HostBufferChecks(Context& context, Report& report) {
    ResetClears(context, report);
    NullData(context, report);
    BufferCount(context, report);
    MaximumWhileInitialised(context, report);
    OffsetEvent(context, report);
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
        FiniteOutput(unit, context.parameters, rig, report);
        AudioUnitUninitialize(unit);
    }
    Slices(context, report);
    Disconnected(context, report);
    Connection(context, report);
    Uninitialised(context, report);
    HostBufferChecks(context, report);
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
    // Subnormal output is legal but slows whatever follows the unit: a warning, once.
    std::string subnormal;
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
                                else {
                                    if (std::fpclassify(v) == FP_SUBNORMAL && subnormal.empty())
                                        subnormal = Number(rate) + " Hz, " + where + Number(v) +
                                                    " at frame " + std::to_string(done + i);
                                    if (done + i >= total - 1024) {
                                        tailEnergy += static_cast<double>(v) * v;
                                        ++tailCount;
                                    }
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
    report.Warn("render matrix: no subnormal samples in the output", subnormal.empty(), subnormal);
}

} // namespace validate
