// Bypass (the property and a "BY" switch parameter), and render-notify procedures: called
// around each render, a null one refused, removal by procedure and user data.
#include "host/RenderProbe.h"
#include "host/ValidateSupport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace validate {
namespace {

struct NotifyCount {
    int pre = 0, post = 0;
    static OSStatus Proc(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                         UInt32, UInt32, AudioBufferList*) {
        renderprobe::Pause hostCode;
        auto* self = static_cast<NotifyCount*>(refCon);
        if (*flags & kAudioUnitRenderAction_PreRender) ++self->pre;
        if (*flags & kAudioUnitRenderAction_PostRender) ++self->post;
        return noErr;
    }
};

// How far the output is from the input over four blocks: 0 when bit for bit; the largest
// difference otherwise, with where it is in *where. A render failure is reported as infinity.
float PassesThrough(Rig& rig, std::string* where) {
    rig.signal = Noise;
    float most = 0.0f;
    for (int block = 0; block < 4; ++block) {
        if (const OSStatus s = rig.Render(block == 2 ? 137 : 512); s != noErr) {
            *where = StatusText(s);
            return INFINITY;
        }
        for (UInt32 c = 0; c < rig.channels; ++c) {
            if (rig.out[c].size() != rig.in[c].size()) {
                *where = "block " + std::to_string(block) + " pulled no input";
                return INFINITY;
            }
            if (std::memcmp(rig.out[c].data(), rig.in[c].data(), rig.out[c].size() * 4) == 0)
                continue;
            for (size_t i = 0; i < rig.out[c].size(); ++i) {
                const float d = std::fabs(rig.out[c][i] - rig.in[c][i]);
                if (!(d <= most)) {
                    most = std::isnan(d) ? INFINITY : std::max(d, 1e-30f);
                    *where = "block " + std::to_string(block) + ", channel " + std::to_string(c) +
                             " differs from the input by up to " + Number(most);
                }
            }
        }
    }
    return most;
}

// Bit for bit passes; within -60 dB of the input is legal but not what a host expects of bypass
// (a warning); further is not bypass at all.
void ReportBypass(Report& report, const std::string& check, float most, const std::string& where) {
    if (most == 0.0f)
        report.Check(check, true);
    else if (most <= 1e-3f)
        report.Warn(check, false, where);
    else
        report.Check(check, false, where);
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

void BypassChecks(Context& context, AudioUnit unit, Report& report) {
    {
        Rig rig(unit);
        std::string problem;
        OSStatus s = rig.Start();
        // Some processing first, so that bypass has state to leave behind.
        rig.signal = Noise;
        if (s == noErr) s = rig.Render(512);
        UInt32 on = 1, back = 0;
        if (s == noErr)
            s = AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global,
                                     0, &on, sizeof on);
        if (s == noErr) s = ReadFixed(unit, kAudioUnitProperty_BypassEffect, 0, &back);
        problem = s != noErr ? StatusText(s) : back != 1 ? "reads back off" : "";
        const float most = problem.empty() ? PassesThrough(rig, &problem) : INFINITY;
        ReportBypass(report, "bypass: the property passes the input through bit for bit", most,
                     problem);
        UInt32 off = 0;
        AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &off,
                             sizeof off);
        AudioUnitUninitialize(unit);
    }
    const ParameterDescription* by = nullptr;
    for (const ParameterDescription& p : context.parameters)
        if (!by && IsSwitch(p) && (Upper(p.name) == "BY" || Upper(p.name) == "BYPASS")) by = &p;
    if (!by) {
        report.Skip("bypass: the BY parameter", "no bypass parameter");
        return;
    }
    Rig rig(unit);
    OSStatus s = rig.Start();
    rig.signal = Noise;
    if (s == noErr) s = rig.Render(512);
    if (s == noErr)
        s = AudioUnitSetParameter(unit, by->id, kAudioUnitScope_Global, 0, by->maxValue, 0);
    std::string problem = s != noErr ? StatusText(s) : "";
    const float most = problem.empty() ? PassesThrough(rig, &problem) : INFINITY;
    ReportBypass(report,
                 "bypass: " + Label(*by) + " at " + Number(by->maxValue) +
                     " passes the input through bit for bit",
                 most, problem);
    AudioUnitSetParameter(unit, by->id, kAudioUnitScope_Global, 0, by->defaultValue, 0);
    AudioUnitUninitialize(unit);
}

void NotifyChecks(Context&, AudioUnit unit, Report& report) {
    Rig rig(unit);
    rig.signal = Noise;
    if (!report.CheckStatus("render notify: unit initialises", rig.Start())) return;
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

    s = AudioUnitAddRenderNotify(unit, nullptr, &count);
    if (s == noErr) AudioUnitRemoveRenderNotify(unit, nullptr, &count);
    report.Check("render notify: a null procedure refused with paramErr", s == paramErr,
                 s == noErr ? "accepted" : StatusText(s));

    NotifyCount first, second;
    std::string problem;
    s = AudioUnitAddRenderNotify(unit, NotifyCount::Proc, &first);
    if (s == noErr) s = AudioUnitAddRenderNotify(unit, NotifyCount::Proc, &second);
    if (s == noErr) s = AudioUnitRemoveRenderNotify(unit, NotifyCount::Proc, &second);
    if (s == noErr) s = rig.Render(64);
    if (s != noErr)
        problem = StatusText(s);
    else if (first.pre != 1 || second.pre != 0)
        problem = "after removing the second, the first was called " + std::to_string(first.pre) +
                  " times and the second " + std::to_string(second.pre);
    AudioUnitRemoveRenderNotify(unit, NotifyCount::Proc, &first);
    AudioUnitRemoveRenderNotify(unit, NotifyCount::Proc, &second);
    report.Check("render notify: removal matches procedure and user data", problem.empty(),
                 problem);
    AudioUnitUninitialize(unit);
}

} // namespace validate
