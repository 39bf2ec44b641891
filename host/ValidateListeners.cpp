// Property listeners: told after a set that succeeded, with the new value readable from inside
// the call; never told of a refused set; a listener may remove itself while it is called; a
// registration is the property, the procedure and the user data together.
#include "host/ValidateSupport.h"

#include <cstring>

namespace validate {
namespace {

struct Log {
    AudioUnit unit;
    AudioUnitPropertyID id = kAudioUnitProperty_BypassEffect;
    int calls = 0;
    UInt32 seen = 0xFFFFFFFF; // the bypass read inside the last call
    OSStatus readStatus = noErr;
    bool removeSelf = false;

    static void Proc(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope,
                     AudioUnitElement) {
        auto* self = static_cast<Log*>(refCon);
        ++self->calls;
        if (id == kAudioUnitProperty_BypassEffect)
            self->readStatus =
                ReadFixed(self->unit, kAudioUnitProperty_BypassEffect, 0, &self->seen);
        if (self->removeSelf)
            AudioUnitRemovePropertyListenerWithUserData(self->unit, self->id, Proc, self);
    }
};

OSStatus SetBypass(AudioUnit unit, UInt32 on) {
    return AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0,
                                &on, sizeof on);
}

OSStatus Listen(Log& log) {
    return AudioUnitAddPropertyListener(log.unit, log.id, Log::Proc, &log);
}

void Unlisten(Log& log) {
    AudioUnitRemovePropertyListenerWithUserData(log.unit, log.id, Log::Proc, &log);
}

std::string Calls(const char* who, int calls, int expected) {
    return calls == expected ? ""
                             : std::string(who) + " was called " + std::to_string(calls) +
                                   " times, not " + std::to_string(expected);
}

// After each of two bypass changes (on, off), first and second must have been called the given
// numbers of times in all.
std::string TwoChanges(AudioUnit unit, Log& first, Log& second, const int (&expectFirst)[2],
                       const int (&expectSecond)[2], void (*between)(Log&, Log&)) {
    for (int step = 0; step < 2; ++step) {
        if (step == 1 && between) between(first, second);
        if (const OSStatus s = SetBypass(unit, step == 0 ? 1 : 0); s != noErr)
            return "the bypass set fails (" + StatusText(s) + ")";
        const std::string when = step == 0 ? "after the first change, " : "after the second, ";
        std::string problem = Calls("the first", first.calls, expectFirst[step]);
        if (problem.empty()) problem = Calls("the second", second.calls, expectSecond[step]);
        if (!problem.empty()) return when + problem;
    }
    return "";
}

} // namespace

void ListenerChecks(Context&, AudioUnit unit, Report& report) {
    std::string problem;
    {
        Log log{unit};
        OSStatus s = Listen(log);
        for (UInt32 on : {1u, 0u}) {
            if (s != noErr || !problem.empty()) break;
            const int before = log.calls;
            s = SetBypass(unit, on);
            if (s == noErr && log.calls != before + 1)
                problem = "a bypass change told the listener " +
                          std::to_string(log.calls - before) + " times";
            else if (s == noErr && (log.readStatus != noErr || log.seen != on))
                problem = "inside its call the listener reads bypass " +
                          (log.readStatus != noErr ? StatusText(log.readStatus)
                                                   : std::to_string(log.seen)) +
                          " after it was set to " + std::to_string(on);
        }
        if (s != noErr && problem.empty()) problem = StatusText(s);
        Unlisten(log);
    }
    report.Check("listeners: told after a set succeeds, with the new value readable",
                 problem.empty(), problem);

    // Sets a unit refuses: a rate of -1, 16-bit integer samples. Those it accepts prove nothing.
    problem.clear();
    {
        Log rate{unit, kAudioUnitProperty_SampleRate};
        Log format{unit, kAudioUnitProperty_StreamFormat};
        Listen(rate);
        Listen(format);
        const Float64 negative = -1.0;
        if (AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0,
                                 &negative, sizeof negative) != noErr &&
            rate.calls != 0)
            problem = "a refused sample rate of -1 told its listener";
        AudioStreamBasicDescription integer = FloatFormat(kDefaultRate, 2);
        integer.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                               kAudioFormatFlagIsNonInterleaved;
        integer.mBitsPerChannel = 16;
        integer.mBytesPerFrame = integer.mBytesPerPacket = 2;
        if (AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                                 &integer, sizeof integer) != noErr &&
            format.calls != 0 && problem.empty())
            problem = "a refused 16-bit integer stream format told its listener";
        Unlisten(rate);
        Unlisten(format);
    }
    report.Check("listeners: a refused set tells nobody", problem.empty(), problem);

    {
        Log leaving{unit}, staying{unit};
        leaving.removeSelf = true;
        OSStatus s = Listen(leaving);
        if (s == noErr) s = Listen(staying);
        problem = s != noErr ? StatusText(s)
                             : TwoChanges(unit, leaving, staying, {1, 1}, {1, 2}, nullptr);
        Unlisten(leaving);
        Unlisten(staying);
    }
    report.Check("listeners: one that removes itself inside its call does not make the next miss",
                 problem.empty(), problem);

    // One procedure with two user data: two registrations; removing the second (with its user
    // data) leaves the first.
    {
        Log first{unit}, second{unit};
        OSStatus s = Listen(first);
        if (s == noErr) s = Listen(second);
        problem = s != noErr ? StatusText(s)
                             : TwoChanges(unit, first, second, {1, 2}, {1, 1},
                                          [](Log&, Log& removed) { Unlisten(removed); });
        Unlisten(first);
        Unlisten(second);
    }
    report.Check("listeners: a registration is the property, procedure and user data",
                 problem.empty(), problem);
    SetBypass(unit, 0);
}

} // namespace validate
