// Parameters: what the unit says of each, values set and read back (edges, random, out of
// range, non-finite), values that survive a reset and re-initialisation, scheduled events, and
// the events announced to listeners.
#include "host/ValidateSupport.h"

#include <ZerubPlatform/HostExtensions.h>

#include <cmath>
#include <cstring>

namespace validate {
namespace {

void ValueStrings(AudioUnit unit, const ParameterDescription& p, Report& report) {
    std::vector<unsigned char> data;
    if (ReadProperty(unit, kAudioUnitProperty_ParameterValueStrings, p.id, &data) != noErr)
        return; // not offered
    CFArrayRef strings = nullptr;
    // NOLINTBEGIN(bugprone-sizeof-expression): the property is the array reference itself
    if (data.size() != sizeof strings) {
        report.Check(Label(p) + ": value strings", false, "wrong size");
        return;
    }
    std::memcpy(&strings, data.data(), sizeof strings);
    // NOLINTEND(bugprone-sizeof-expression)
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

void RoundTrip(AudioUnit unit, const ParameterDescription& p, Report& report) {
    std::string problem;
    for (float v : {p.minValue, p.maxValue, p.defaultValue}) {
        OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, v, 0);
        const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
        if (problem.empty() && (s != noErr || back != v))
            problem =
                "set " + Number(v) + ", " + (s != noErr ? StatusText(s) : "got " + Number(back));
    }
    report.Check(Label(p) + ": set and get at min, max, default", problem.empty(), problem);

    problem.clear();
    std::string stored;
    const float span = p.maxValue - p.minValue;
    for (auto [set, expected] :
         {std::pair{p.maxValue + span, p.maxValue}, std::pair{p.minValue - span, p.minValue}}) {
        OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, set, 0);
        const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
        // Refused, clamped, or (as the API allows) stored as given.
        if (s == kAudioUnitErr_InvalidParameterValue || (s == noErr && back == expected)) continue;
        const std::string what =
            "set " + Number(set) + ", " + (s != noErr ? StatusText(s) : "got " + Number(back));
        if (s == noErr && back == set) {
            if (stored.empty()) stored = what;
        } else if (problem.empty()) {
            problem = what;
        }
    }
    if (!problem.empty())
        report.Check(Label(p) + ": out-of-range values clamp", false, problem);
    else
        report.Warn(Label(p) + ": out-of-range values clamp", stored.empty(),
                    stored + " (stored as given)");
    AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
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

void Events(AudioUnit unit, const std::vector<ParameterDescription>& parameters, Report& report) {
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

// What is wrong with a parameter's description, or "".
std::string InfoProblem(OSStatus status, const ParameterDescription& p) {
    if (status != noErr) return StatusText(status);
    if (p.name.empty()) return "no name";
    if (!(std::isfinite(p.minValue) && std::isfinite(p.maxValue) && p.minValue < p.maxValue))
        return "range " + Number(p.minValue) + " .. " + Number(p.maxValue);
    if (!(p.defaultValue >= p.minValue && p.defaultValue <= p.maxValue))
        return "default " + Number(p.defaultValue) + " outside the range";
    // A meter is read, never written.
    if (!(p.flags & kAudioUnitParameterFlag_IsReadable) ||
        (!(p.flags & kAudioUnitParameterFlag_IsWritable) &&
         !(p.flags & kAudioUnitParameterFlag_MeterReadOnly)))
        return "not flagged readable and writable (nor a read-only meter)";
    return "";
}

std::string SetAndRead(AudioUnit unit, const ParameterDescription& p, float value) {
    OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, value, 0);
    const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
    if (s != noErr) return Label(p) + ": set " + Number(value) + ", " + StatusText(s);
    if (back != value) return Label(p) + ": set " + Number(value) + ", got " + Number(back);
    return "";
}

// A scheduled list whose second event is bad: the bad event never applied (the problem
// returned). Best refused whole, with the good first event not applied; otherwise *byEvent says
// how it was taken.
std::string BadScheduleProblem(AudioUnit unit, const ParameterDescription& p,
                               std::string* byEvent) {
    AudioUnitParameterEvent events[2];
    std::memset(events, 0, sizeof events);
    for (AudioUnitParameterEvent& e : events) {
        e.scope = kAudioUnitScope_Global;
        e.parameter = p.id;
        e.eventType = kParameterEvent_Immediate;
        e.eventValues.immediate.value = StateValue(p);
    }
    const std::pair<const char*, void (*)(AudioUnitParameterEvent&)> bad[] = {
        {"an unknown parameter", [](AudioUnitParameterEvent& e) { e.parameter = 100000; }},
        {"the input scope", [](AudioUnitParameterEvent& e) { e.scope = kAudioUnitScope_Input; }},
        {"a NaN value",
         [](AudioUnitParameterEvent& e) { e.eventValues.immediate.value = std::nanf(""); }},
        {"an unknown event type",
         [](AudioUnitParameterEvent& e) { e.eventType = static_cast<AUParameterEventType>(99); }},
    };
    *byEvent = "";
    for (const auto& [name, spoil] : bad) {
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
        AudioUnitParameterEvent list[2] = {events[0], events[1]};
        spoil(list[1]);
        const OSStatus s = AudioUnitScheduleParameters(unit, list, 2);
        OSStatus gs = noErr;
        const Float32 now = GetParam(unit, p.id, &gs);
        const std::string what = std::string("a second event with ") + name;
        if (gs != noErr) return what + ": the parameter reads " + StatusText(gs);
        // Applied event by event, as the API's base classes do: the good event may take effect,
        // the bad one never.
        if (now != p.defaultValue && now != StateValue(p))
            return what + ": " + Label(p) + " reads " + Number(now);
        if (byEvent->empty() && (s == noErr || now != p.defaultValue))
            *byEvent = what + (s == noErr ? " is accepted" : " is refused, but the first applied");
    }
    return "";
}

// Whatever a parameter's value, its information gives the default it started with.
std::string DefaultsProblem(AudioUnit unit, const std::vector<ParameterDescription>& usable) {
    std::string problem;
    for (const ParameterDescription& p : usable) {
        const float other = StateValue(p) != p.defaultValue ? StateValue(p)
                            : p.defaultValue != p.minValue  ? p.minValue
                                                            : p.maxValue;
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, other, 0);
        ParameterDescription now;
        const OSStatus s = ReadParameterInfo(unit, p.id, &now);
        if (problem.empty() && (s != noErr || now.defaultValue != p.defaultValue))
            problem = Label(p) + " at " + Number(other) + " gives the default " +
                      (s != noErr ? StatusText(s) : Number(now.defaultValue)) + ", not " +
                      Number(p.defaultValue);
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }
    return problem;
}

// An integer or boolean parameter set to a fraction reads back a value in its range, and the
// state saves that value: a fresh instance restored from it reads the same. The value is best
// whole (*fraction says when it is not); the API lets a boolean be any value, true when nonzero.
std::string WholeValuesProblem(Context& context, AudioUnit unit,
                               const std::vector<ParameterDescription>& usable,
                               std::string* fraction) {
    for (const ParameterDescription& p : usable) {
        if (!IsSwitch(p) || p.maxValue - p.minValue < 1.0f) continue;
        const float given = p.minValue + 0.7f;
        OSStatus s = AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, given, 0);
        const Float32 back = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
        std::string problem;
        if (s != noErr)
            problem = StatusText(s);
        else if (!std::isfinite(back) || back < p.minValue || back > p.maxValue)
            problem = "reads back " + Number(back);
        else if (back != std::floor(back) && fraction->empty())
            *fraction = Label(p) + " set to " + Number(given) + " reads back " + Number(back);
        // A parameter left out of the state has nothing there to compare.
        const bool compare = problem.empty() && KeptInState(p);
        CFPropertyListRef state = compare ? SaveClassInfo(unit, &s) : nullptr;
        if (compare && !state) problem = "the state is not saved: " + StatusText(s);
        if (state) {
            AudioComponentInstance fresh = nullptr;
            if (AudioComponentInstanceNew(context.component, &fresh) == noErr) {
                s = RestoreClassInfo(fresh, state);
                const Float32 restored = s == noErr ? GetParam(fresh, p.id, &s) : 0.0f;
                if (s != noErr)
                    problem = "the saved state does not restore: " + StatusText(s);
                else if (p.unit == kAudioUnitParameterUnit_Boolean
                             ? (restored != 0.0f) != (back != 0.0f)
                             : restored != back)
                    problem = "reads back " + Number(back) + ", but the saved state holds " +
                              Number(restored);
                AudioComponentInstanceDispose(fresh);
            }
            CFRelease(state);
        }
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
        if (!problem.empty()) return Label(p) + " set to " + Number(given) + ": " + problem;
    }
    return "";
}

OSStatus ValueFromText(AudioUnit unit, AudioUnitScope scope, AudioUnitParameterID id,
                       CFStringRef text, Float32* value) {
    AudioUnitParameterValueFromString request = {id, text, 0.0f};
    UInt32 size = sizeof request;
    const OSStatus s = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueFromString,
                                            scope, 0, &request, &size);
    *value = request.outValue;
    return s;
}

OSStatus TextOfValue(AudioUnit unit, AudioUnitScope scope, AudioUnitParameterID id, Float32 value,
                     std::string* text) {
    AudioUnitParameterStringFromValue request = {id, &value, nullptr};
    UInt32 size = sizeof request;
    const OSStatus s = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterStringFromValue,
                                            scope, 0, &request, &size);
    if (s == noErr && request.outString) {
        *text = FromCFString(request.outString);
        CFRelease(request.outString);
    }
    return s;
}

// Conversions between values and text: the global scope only, and a text that names no value
// (none, empty, a word) refused rather than read as 0.
void TextConversions(AudioUnit unit, const std::vector<ParameterDescription>& usable,
                     Report& report) {
    const std::string check =
        "parameters: text conversions refuse another scope and a text that is not a value";
    UInt32 size = 0;
    if (usable.empty() ||
        (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterStringFromValue,
                                  kAudioUnitScope_Global, 0, &size, nullptr) != noErr &&
         AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterValueFromString,
                                  kAudioUnitScope_Global, 0, &size, nullptr) != noErr)) {
        report.Skip(check, "no text conversions");
        return;
    }
    std::string problem;
    for (const ParameterDescription& p : usable) {
        std::string text;
        Float32 value = 0.0f;
        OSStatus s = TextOfValue(unit, kAudioUnitScope_Global, p.id, p.defaultValue, &text);
        if (s != noErr) problem = Label(p) + ": the text of its default: " + StatusText(s);
        if (problem.empty()) {
            CFStringRef plain = ToCFString(Number(p.defaultValue));
            s = ValueFromText(unit, kAudioUnitScope_Global, p.id, plain, &value);
            CFRelease(plain);
            if (s != noErr)
                problem = Label(p) + ": the value of \"" + Number(p.defaultValue) +
                          "\": " + StatusText(s);
        }
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            const OSStatus toText = TextOfValue(unit, scope, p.id, p.defaultValue, &text);
            CFStringRef plain = ToCFString(Number(p.defaultValue));
            const OSStatus toValue = ValueFromText(unit, scope, p.id, plain, &value);
            CFRelease(plain);
            const std::string where = Label(p) + " in scope " + std::to_string(scope) + ": ";
            if (problem.empty() && toText != kAudioUnitErr_InvalidScope)
                problem = where + "value to text answers " + StatusText(toText);
            if (problem.empty() && toValue != kAudioUnitErr_InvalidScope)
                problem = where + "text to value answers " + StatusText(toValue);
        }
        for (const char* bad : {"abc", "", static_cast<const char*>(nullptr)}) {
            CFStringRef string = bad ? ToCFString(bad) : nullptr;
            s = ValueFromText(unit, kAudioUnitScope_Global, p.id, string, &value);
            if (string) CFRelease(string);
            if (problem.empty() && s == noErr)
                problem = Label(p) + ": " + (bad ? "\"" + std::string(bad) + "\"" : "no text") +
                          " converts to " + Number(value);
        }
        if (!problem.empty()) break;
    }
    report.Check(check, problem.empty(), problem);
}

void Scheduled(Context& context, AudioUnit unit, Report& report) {
    const ParameterDescription* target = nullptr;
    for (const ParameterDescription& p : context.parameters)
        if (!target && !IsSwitch(p)) target = &p;
    if (!target) {
        report.Skip("parameters: scheduled events", "no continuous parameter");
        return;
    }
    const ParameterDescription& p = *target;
    Rig rig(unit);
    rig.signal = Noise;
    std::string immediate, ramped;
    if (const OSStatus s = rig.Start(); s != noErr) immediate = ramped = StatusText(s);
    const float first = p.minValue + (p.maxValue - p.minValue) * 0.25f;
    const float second = p.minValue + (p.maxValue - p.minValue) * 0.625f;
    if (immediate.empty()) {
        AudioUnitParameterEvent e;
        std::memset(&e, 0, sizeof e);
        e.scope = kAudioUnitScope_Global;
        e.parameter = p.id;
        e.eventType = kParameterEvent_Immediate;
        e.eventValues.immediate.bufferOffset = 0;
        e.eventValues.immediate.value = first;
        OSStatus s = AudioUnitScheduleParameters(unit, &e, 1);
        if (s == noErr) s = rig.Render(256);
        const Float32 now = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
        if (s != noErr)
            immediate = StatusText(s);
        else if (now != first)
            immediate = "scheduled " + Number(first) + ", the parameter is " + Number(now);
    }
    if (ramped.empty()) {
        AudioUnitParameterEvent e;
        std::memset(&e, 0, sizeof e);
        e.scope = kAudioUnitScope_Global;
        e.parameter = p.id;
        e.eventType = kParameterEvent_Ramped;
        e.eventValues.ramp.startBufferOffset = 0;
        e.eventValues.ramp.durationInFrames = 256;
        e.eventValues.ramp.startValue = first;
        e.eventValues.ramp.endValue = second;
        OSStatus s = AudioUnitScheduleParameters(unit, &e, 1);
        if (s == noErr) s = rig.Render(256);
        const Float32 now = s == noErr ? GetParam(unit, p.id, &s) : 0.0f;
        if (s != noErr)
            ramped = StatusText(s);
        else if (now != second)
            ramped = "a ramp to " + Number(second) + " over the block leaves the parameter at " +
                     Number(now);
    }
    AudioUnitUninitialize(unit);
    AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    report.Check("parameters: a scheduled immediate event takes effect", immediate.empty(),
                 immediate);
    // A parameter that does not say it can ramp may ignore a ramp.
    if (!ramped.empty() && !(p.flags & kAudioUnitParameterFlag_CanRamp))
        report.Warn("parameters: a scheduled ramp takes effect", false,
                    ramped + " (the parameter is not flagged to ramp)");
    else
        report.Check("parameters: a scheduled ramp takes effect", ramped.empty(), ramped);
    std::string byEvent;
    const std::string bad = BadScheduleProblem(unit, p, &byEvent);
    AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    const std::string badCheck =
        "parameters: a scheduled list with a bad event refused, none of it applied";
    if (!bad.empty())
        report.Check(badCheck, false, bad);
    else
        report.Warn(badCheck, byEvent.empty(), byEvent);
}

} // namespace

void ParameterChecks(Context& context, AudioUnit unit, Report& report) {
    std::vector<AudioUnitParameterID> ids;
    const OSStatus s = ReadParameterList(unit, &ids);
    if (!report.Check("parameters: listed", s == noErr && !ids.empty(),
                      s != noErr ? StatusText(s) : "the list is empty"))
        return;
    std::vector<ParameterDescription> usable;
    for (AudioUnitParameterID id : ids) {
        ParameterDescription p;
        const OSStatus is = ReadParameterInfo(unit, id, &p);
        const std::string label = is == noErr ? Label(p) : "parameter " + std::to_string(id);
        const std::string problem = InfoProblem(is, p);
        if (!report.Check(label + ": info", problem.empty(), problem)) continue;
        if (!(p.flags & kAudioUnitParameterFlag_IsWritable)) continue; // a meter
        usable.push_back(p);
        ValueStrings(unit, p, report);
        RoundTrip(unit, p, report);
    }

    std::string problem;
    for (const ParameterDescription& p : usable) {
        std::uniform_real_distribution<float> pick(p.minValue, p.maxValue);
        for (int i = 0; i < 16 && problem.empty(); ++i) {
            const float v = IsSwitch(p) ? std::round(pick(context.random)) : pick(context.random);
            problem = SetAndRead(unit, p, v);
        }
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }
    report.Check("parameters: random values in range read back", problem.empty(), problem);

    problem.clear();
    for (const ParameterDescription& p : usable) {
        const float kept = StateValue(p);
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, kept, 0);
        for (float bad : {std::nanf(""), INFINITY, -INFINITY}) {
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, bad, 0);
            OSStatus gs = noErr;
            const Float32 now = GetParam(unit, p.id, &gs);
            if (problem.empty() && (!std::isfinite(now) || (std::isnan(bad) && now != kept)))
                problem = Label(p) + ": set " + Number(bad) + ", reads " + Number(now);
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, kept, 0);
        }
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }
    report.Check("parameters: NaN is ignored and nothing non-finite is stored", problem.empty(),
                 problem);

    problem.clear();
    {
        std::map<AudioUnitParameterID, float> set;
        for (const ParameterDescription& p : usable) {
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
            OSStatus gs = noErr;
            set[p.id] = GetParam(unit, p.id, &gs);
        }
        Rig rig(unit);
        OSStatus rs = rig.Start();
        if (rs == noErr) rs = AudioUnitReset(unit, kAudioUnitScope_Global, 0);
        if (rs != noErr) problem = StatusText(rs);
        if (problem.empty()) problem = CompareParams(unit, set);
        if (problem.empty()) {
            AudioUnitUninitialize(unit);
            rs = AudioUnitInitialize(unit);
            problem = rs != noErr ? StatusText(rs) : CompareParams(unit, set);
            if (!problem.empty()) problem = "after uninitialise and initialise: " + problem;
        } else {
            problem = "after reset: " + problem;
        }
        AudioUnitUninitialize(unit);
        for (const ParameterDescription& p : usable)
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    }
    report.Check("parameters: values survive reset and uninitialise/initialise", problem.empty(),
                 problem);

    problem = DefaultsProblem(unit, usable);
    report.Check("parameters: the information gives each default, whatever the value",
                 problem.empty(), problem);
    std::string fraction;
    problem = WholeValuesProblem(context, unit, usable, &fraction);
    const std::string wholeCheck =
        "parameters: integer and boolean parameters hold whole values, read back and saved";
    if (!problem.empty())
        report.Check(wholeCheck, false, problem);
    else
        report.Warn(wholeCheck, fraction.empty(), fraction);
    TextConversions(unit, usable, report);
    Scheduled(context, unit, report);
    Events(unit, usable, report);
}

} // namespace validate
