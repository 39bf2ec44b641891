// Latency and tail: reported, and the latency true to the audio (an impulse arrives when the unit
// says it does) and announced to listeners when it changes.
#include "host/ValidateSupport.h"

#include <cmath>

namespace validate {
namespace {

constexpr long kImpulseAt = 512;
constexpr float kImpulse = 0.5f;

// The response of a new instance to an impulse at kImpulseAt, less its output for silence (a
// unit may add a constant or noise of its own): frames of channel 0.
std::string ImpulseResponse(Context& context, Report& report, const std::string& check, long frames,
                            std::vector<float>* response) {
    AudioComponentInstance units[2] = {context.Fresh(report, check), nullptr};
    if (units[0]) units[1] = context.Fresh(report, check);
    std::string problem = units[1] ? "" : "no instance";
    std::vector<float> out[2];
    for (int i = 0; i < 2 && problem.empty(); ++i) {
        Rig rig(units[i], 2, kDefaultRate, 512);
        if (i == 0) rig.signal = [](long n, int) { return n == kImpulseAt ? kImpulse : 0.0f; };
        OSStatus s = rig.Start();
        while (s == noErr && static_cast<long>(out[i].size()) < frames) {
            s = rig.Render(512);
            out[i].insert(out[i].end(), rig.out[0].begin(), rig.out[0].end());
        }
        if (s != noErr) problem = StatusText(s);
        AudioUnitUninitialize(units[i]);
    }
    for (AudioComponentInstance u : units)
        if (u) AudioComponentInstanceDispose(u);
    if (!problem.empty()) return problem;
    response->resize(static_cast<size_t>(frames));
    for (long n = 0; n < frames; ++n)
        (*response)[n] = out[0][n] - out[1][n];
    return "";
}

// Where an impulse comes out: the first frame (from the impulse) at half the response's peak.
void ImpulseArrives(Context& context, Report& report, Float64 latency) {
    const std::string check = "latency: an impulse arrives at the reported latency";
    const long reported = std::lround(latency * kDefaultRate);
    if (reported > 10 * static_cast<long>(kDefaultRate)) {
        report.Skip(check, "the reported latency is over 10 s");
        return;
    }
    std::vector<float> response;
    const std::string problem =
        ImpulseResponse(context, report, check, kImpulseAt + reported + 4096, &response);
    if (!problem.empty()) {
        report.Check(check, false, problem);
        return;
    }
    float peak = 0.0f;
    for (float v : response)
        if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
    if (!(peak > 1e-6f)) {
        report.Skip(check, "no response to an impulse at the defaults");
        return;
    }
    long first = 0;
    while (!(std::fabs(response[first]) >= 0.5f * peak))
        ++first;
    first -= kImpulseAt;
    // A frame early is a linear-phase filter's main lobe; much later may be an effect's own echo,
    // but is what a host cannot compensate: a warning.
    const std::string where = "half the response's peak arrives at frame " + std::to_string(first) +
                              ", the reported latency is " + std::to_string(reported) + " frames";
    if (first < reported - 1)
        report.Check(check, false, where);
    else
        report.Warn(check, first <= reported + 16, where);
}

struct LatencyLog {
    int calls = 0;
    static void Proc(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                     AudioUnitElement) {
        ++static_cast<LatencyLog*>(refCon)->calls;
    }
};

// Each parameter to its extremes and back, a render after each: whenever the latency reads
// differently, its listeners were told since it was last read.
void ChangeAnnounced(Context& context, AudioUnit unit, Report& report) {
    const std::string check = "latency: a change is announced to its listeners";
    Rig rig(unit, 2, kDefaultRate, 512);
    rig.signal = Noise;
    OSStatus s = rig.Start();
    LatencyLog log;
    if (s == noErr)
        s = AudioUnitAddPropertyListener(unit, kAudioUnitProperty_Latency, LatencyLog::Proc, &log);
    Float64 last = 0.0;
    if (s == noErr) s = ReadFixed(unit, kAudioUnitProperty_Latency, 0, &last);
    std::string problem = s != noErr ? StatusText(s) : "";
    int changes = 0;
    for (const ParameterDescription& p : context.parameters) {
        for (float v : {p.minValue, p.maxValue, p.defaultValue}) {
            if (!problem.empty()) break;
            const int before = log.calls;
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, v, 0);
            rig.Render(512);
            Float64 now = last;
            if ((s = ReadFixed(unit, kAudioUnitProperty_Latency, 0, &now)) != noErr)
                problem = StatusText(s);
            else if (now != last && log.calls == before)
                problem = Label(p) + " at " + Number(v) + " moved the latency from " +
                          Number(last) + " s to " + Number(now) + " s, and no listener was told";
            changes += now != last;
            last = now;
        }
    }
    AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_Latency, LatencyLog::Proc,
                                                &log);
    AudioUnitUninitialize(unit);
    if (problem.empty() && changes == 0)
        report.Skip(check, "no parameter moves the latency");
    else
        report.Check(check, problem.empty(), problem);
}

} // namespace

void LatencyChecks(Context& context, AudioUnit unit, Report& report) {
    Float64 latency = -1.0;
    OSStatus s = ReadFixed(unit, kAudioUnitProperty_Latency, 0, &latency);
    const bool latencyOk = report.Check("latency: reported, finite, not negative",
                                        s == noErr && std::isfinite(latency) && latency >= 0.0,
                                        s != noErr ? StatusText(s) : Number(latency) + " s");
    // A unit without a tail may leave the property out.
    Float64 tail = -1.0;
    s = ReadFixed(unit, kAudioUnitProperty_TailTime, 0, &tail);
    if (s == kAudioUnitErr_InvalidProperty)
        report.Skip("tail time: reported, finite, not negative", "the unit has no tail");
    else
        report.Check("tail time: reported, finite, not negative",
                     s == noErr && std::isfinite(tail) && tail >= 0.0,
                     s != noErr ? StatusText(s) : Number(tail) + " s");
    if (latencyOk) ImpulseArrives(context, report, latency);
    ChangeAnnounced(context, unit, report);
}

} // namespace validate
