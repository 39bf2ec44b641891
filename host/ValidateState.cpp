// Class info and presets: saved, restored, re-saved byte for byte, carried as XML and binary
// property lists; short, foreign and non-finite data refused with nothing changed.
#include "host/ValidateSupport.h"

#include <cmath>
#include <cstring>
#include <map>

namespace validate {
namespace {

CFTypeRef Entry(CFDictionaryRef dict, const char* key) {
    CFStringRef k = ToCFString(key);
    CFTypeRef v = CFDictionaryGetValue(dict, k);
    CFRelease(k);
    return v;
}

// A copy of state with its "data" entry replaced.
CFMutableDictionaryRef WithData(CFPropertyListRef state, const std::vector<unsigned char>& bytes) {
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(state));
    CFDataRef data = CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
    CFStringRef key = ToCFString("data");
    CFDictionarySetValue(copy, key, data);
    CFRelease(key);
    CFRelease(data);
    return copy;
}

std::string Serialised(CFPropertyListRef plist, CFPropertyListFormat format) {
    CFDataRef data = CFPropertyListCreateData(nullptr, plist, format, 0, nullptr);
    if (!data) return "";
    std::string bytes(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                      static_cast<size_t>(CFDataGetLength(data)));
    CFRelease(data);
    return bytes;
}

// The property a host selects presets with: PresentPreset, or the deprecated CurrentPreset when
// that is all a unit offers. The name PresentPreset hands over is the caller's to release;
// CurrentPreset's is not (its ownership was never settled, which is why it was replaced), so
// that one is only read, never released.
struct PresetProperty {
    AudioUnitPropertyID id;
    const char* name;
};
constexpr PresetProperty kPresent = {kAudioUnitProperty_PresentPreset, "present preset"};
constexpr PresetProperty kCurrent = {kAudioUnitProperty_CurrentPreset, "current preset"};

OSStatus ReadPreset(AudioUnit unit, const PresetProperty& property, SInt32* number,
                    std::string* name) {
    AUPreset preset = {-1, nullptr};
    const OSStatus s = ReadFixed(unit, property.id, 0, &preset);
    if (s != noErr) return s;
    *number = preset.presetNumber;
    *name = FromCFString(preset.presetName);
    if (preset.presetName && property.id == kAudioUnitProperty_PresentPreset)
        CFRelease(preset.presetName);
    return noErr;
}

// The preset property the unit offers, PresentPreset first; null when it offers neither.
const PresetProperty* Offered(AudioUnit unit) {
    for (const PresetProperty* property : {&kPresent, &kCurrent}) {
        SInt32 number = 0;
        std::string name;
        if (ReadPreset(unit, *property, &number, &name) == noErr) return property;
    }
    return nullptr;
}

std::string PresetText(AudioUnit unit) {
    const PresetProperty* property = Offered(unit);
    if (!property) return "";
    SInt32 number = -1;
    std::string name;
    const OSStatus s = ReadPreset(unit, *property, &number, &name);
    return s != noErr ? StatusText(s) : std::to_string(number) + " \"" + name + "\"";
}

OSStatus SelectPreset(AudioUnit unit, const PresetProperty& property, SInt32 number,
                      const char* name) {
    CFStringRef text = name ? ToCFString(name) : nullptr;
    const AUPreset chosen = {number, text};
    const OSStatus s =
        AudioUnitSetProperty(unit, property.id, kAudioUnitScope_Global, 0, &chosen, sizeof chosen);
    if (text) CFRelease(text);
    return s;
}

// A value in range other than StateValue's (switches rounded), to move a parameter off a preset
// from two sides.
float OtherStateValue(const ParameterDescription& p) {
    const float v = p.minValue + (p.maxValue - p.minValue) * 0.25f;
    return IsSwitch(p) ? std::round(v) : v;
}

// The parameters a unit keeps in its state.
std::vector<ParameterDescription> Kept(const std::vector<ParameterDescription>& parameters) {
    std::vector<ParameterDescription> kept;
    for (const ParameterDescription& p : parameters)
        if (KeptInState(p)) kept.push_back(p);
    return kept;
}

// Selecting preset number from two settings off it, in unit and in a fresh instance: it must set
// at least one parameter, and each it sets to the same value every time. "" when it does.
std::string SelectionProblem(Context& context, AudioUnit unit, Report& report,
                             const PresetProperty& property, SInt32 number,
                             const std::vector<ParameterDescription>& kept) {
    std::map<AudioUnitParameterID, float> from[2], to[2];
    for (int side = 0; side < 2; ++side) {
        for (const ParameterDescription& p : kept)
            AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0,
                                  side == 0 ? StateValue(p) : OtherStateValue(p), 0);
        from[side] = ReadParams(unit, kept);
        if (const OSStatus s = SelectPreset(unit, property, number, nullptr); s != noErr)
            return "preset " + std::to_string(number) + ": " + StatusText(s);
        SInt32 current = -1;
        std::string name;
        const OSStatus gs = ReadPreset(unit, property, &current, &name);
        if (gs != noErr || current != number)
            return "selected " + std::to_string(number) + ", current is " +
                   (gs != noErr ? StatusText(gs) : std::to_string(current));
        to[side] = ReadParams(unit, kept);
    }
    std::map<AudioUnitParameterID, float> fresh;
    if (AudioComponentInstance other = context.Fresh(report, "presets: selectable")) {
        SelectPreset(other, property, number, nullptr);
        fresh = ReadParams(other, kept);
        AudioComponentInstanceDispose(other);
    }
    bool setsOne = kept.empty();
    for (const ParameterDescription& p : kept) {
        if (to[0][p.id] == from[0][p.id] && to[1][p.id] == from[1][p.id]) continue;
        setsOne = true;
        if (to[0][p.id] != to[1][p.id] || (!fresh.empty() && fresh[p.id] != to[0][p.id]))
            return "preset " + std::to_string(number) + " sets " + Label(p) + " to " +
                   Number(to[0][p.id]) + " from one setting, " + Number(to[1][p.id]) +
                   " from another" +
                   (fresh.empty() ? "" : " and " + Number(fresh[p.id]) + " on a new instance");
    }
    return setsOne ? "" : "selecting preset " + std::to_string(number) + " changes no parameter";
}

void Presets(Context& context, AudioUnit unit, Report& report) {
    CFArrayRef presets = nullptr;
    const OSStatus s = ReadFixed(unit, kAudioUnitProperty_FactoryPresets, 0, &presets);
    CFOwner owner(s == noErr ? presets : nullptr);
    CFIndex count = 0;
    // A unit without factory presets may leave the property out.
    if (s == kAudioUnitErr_InvalidProperty)
        report.Skip("presets: factory presets listed", "the unit offers none");
    else if (report.Check("presets: factory presets listed",
                          s == noErr && presets && CFGetTypeID(presets) == CFArrayGetTypeID(),
                          s != noErr ? StatusText(s) : "not an array"))
        count = CFArrayGetCount(presets);
    const PresetProperty* property = Offered(unit);
    if (count > 0 && !property)
        report.Check("presets: selectable", false,
                     "neither the present nor the current preset can be read");
    if (count == 0 || !property) {
        if (count == 0) report.Skip("presets: selectable", "no factory presets");
    } else {
        // Each preset is selected from settings off it, so that a selection that changes
        // nothing shows.
        const std::vector<ParameterDescription> kept = Kept(context.parameters);
        std::string problem;
        for (CFIndex i = 0; i < count && problem.empty(); ++i) {
            const auto* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
            if (!preset)
                problem = "entry " + std::to_string(i) + " is empty";
            else
                problem =
                    SelectionProblem(context, unit, report, *property, preset->presetNumber, kept);
        }
        report.Check("presets: " + std::to_string(count) +
                         " selectable, each setting the "
                         "parameters it holds",
                     problem.empty(), problem);
    }

    // Numbers that name no factory preset, through both preset properties: a number past the
    // factory presets, and a negative one without a name, are refused and the preset kept. A
    // negative number with a name is a user preset: a unit may keep it (and then reads it back
    // as set) or refuse it.
    std::string problem;
    for (const PresetProperty* p : {&kCurrent, &kPresent}) {
        SInt32 before = -1;
        std::string beforeName;
        if (ReadPreset(unit, *p, &before, &beforeName) != noErr) continue; // not offered
        const SInt32 past = count > 999 ? static_cast<SInt32>(count) : 999;
        const std::pair<SInt32, const char*> tries[] = {
            {past, nullptr}, {-5, nullptr}, {-5, "validator user preset"}};
        for (const auto& [number, name] : tries) {
            if (!problem.empty()) break;
            const OSStatus ss = SelectPreset(unit, *p, number, name);
            SInt32 after = -1;
            std::string afterName;
            const OSStatus gs = ReadPreset(unit, *p, &after, &afterName);
            const std::string what = std::string(p->name) + " " + std::to_string(number) +
                                     (name ? " named \"" + std::string(name) + "\"" : "") + ": ";
            if (gs != noErr) {
                problem = what + "then unreadable (" + StatusText(gs) + ")";
            } else if (ss == noErr && !name) {
                problem = what + "accepted";
            } else if (ss == noErr && (after != number || afterName != name)) {
                problem = what + "accepted, but reads back " + std::to_string(after) + " \"" +
                          afterName + "\"";
            } else if (ss != noErr && (after != before || afterName != beforeName)) {
                problem = what + "refused (" + StatusText(ss) + "), but the preset is now " +
                          std::to_string(after) + ", not " + std::to_string(before);
            }
            if (ss == noErr && name) {
                // Back to where it was, so that what follows starts from a factory preset.
                if (before >= 0) SelectPreset(unit, *p, before, nullptr);
                SInt32 back = -1;
                ReadPreset(unit, *p, &back, &afterName);
                before = back;
                beforeName = afterName;
            }
        }
    }
    report.Check("presets: a number past the factory presets, or negative without a name, "
                 "refused and the current one kept; a named user preset kept as set or refused",
                 problem.empty(), problem);
}

// Restores bad (a dictionary) into a fresh instance holding other values: it must be refused
// with kAudioUnitErr_InvalidPropertyValue and change neither a parameter nor the preset. When
// mayIgnore, it may instead be accepted as a restore of nothing: no parameter changes (a unit may
// still take the preset name it carries).
std::string RefusedWithNothingChanged(Context& context, Report& report, const std::string& check,
                                      CFPropertyListRef bad, bool mayIgnore = false) {
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return "no instance";
    const std::vector<ParameterDescription> kept = Kept(context.parameters);
    for (const ParameterDescription& p : kept)
        if (!IsSwitch(p))
            AudioUnitSetParameter(fresh, p.id, kAudioUnitScope_Global, 0,
                                  p.minValue + (p.maxValue - p.minValue) * 0.125f, 0);
    const auto before = ReadParams(fresh, kept);
    const std::string preset = PresetText(fresh);
    const OSStatus s = RestoreClassInfo(fresh, bad);
    std::string problem;
    if (s != kAudioUnitErr_InvalidPropertyValue && !(s == noErr && mayIgnore))
        problem = s == noErr ? "accepted" : "refused with " + StatusText(s);
    if (problem.empty()) problem = CompareParams(fresh, before);
    if (problem.empty() && s != noErr && PresetText(fresh) != preset)
        problem = "the current preset changed from " + preset + " to " + PresetText(fresh);
    AudioComponentInstanceDispose(fresh);
    return problem;
}

// Offsets in data where value is stored as a little-endian float or double.
std::vector<std::pair<size_t, size_t>> Occurrences(const std::vector<unsigned char>& data,
                                                   double value) {
    std::vector<std::pair<size_t, size_t>> found;
    const float f = static_cast<float>(value);
    for (size_t at = 0; at + sizeof f <= data.size(); ++at) {
        // NOLINTBEGIN(bugprone-suspicious-memory-comparison): the bytes as stored, on purpose
        if (at + sizeof value <= data.size() && std::memcmp(&data[at], &value, sizeof value) == 0)
            found.push_back({at, sizeof value});
        else if (std::memcmp(&data[at], &f, sizeof f) == 0)
            found.push_back({at, sizeof f});
        // NOLINTEND(bugprone-suspicious-memory-comparison)
    }
    return found;
}

} // namespace

void StateChecks(Context& context, AudioUnit unit, Report& report) {
    // Meters, read-only parameters and those left out of presets are not compared.
    const std::vector<ParameterDescription> kept = Kept(context.parameters);
    for (const ParameterDescription& p : context.parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
    const auto saved = ReadParams(unit, kept);
    OSStatus gs = noErr;
    CFPropertyListRef state = SaveClassInfo(unit, &gs);
    CFOwner owner(state);
    if (!report.Check("state: class info saved",
                      state && CFGetTypeID(state) == CFDictionaryGetTypeID(),
                      gs != noErr ? StatusText(gs) : "not a dictionary"))
        return;

    const std::string original = Serialised(state, kCFPropertyListXMLFormat_v1_0);
    if (AudioComponentInstance fresh =
            context.Fresh(report, "state: restore into a fresh instance")) {
        const OSStatus s = RestoreClassInfo(fresh, state);
        const std::string diff = s == noErr ? CompareParams(fresh, saved) : StatusText(s);
        report.Check("state: restore into a fresh instance", diff.empty(), diff);
        std::string problem;
        CFPropertyListRef again = SaveClassInfo(fresh, &gs);
        if (!again)
            problem = "not saved again: " + StatusText(gs);
        else if (Serialised(again, kCFPropertyListXMLFormat_v1_0) != original)
            problem = "the bytes differ";
        if (again) CFRelease(again);
        report.Check("state: re-saving a restored state gives identical bytes", problem.empty(),
                     problem);
        AudioComponentInstanceDispose(fresh);
    }

    for (auto [format, name] : {std::pair{kCFPropertyListXMLFormat_v1_0, "XML"},
                                std::pair{kCFPropertyListBinaryFormat_v1_0, "binary"}}) {
        const std::string check = std::string("state: .aupreset as ") + name + " property list";
        const std::string bytes = Serialised(state, format);
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                      static_cast<CFIndex>(bytes.size()));
        CFPropertyListRef read =
            data ? CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr,
                                                nullptr)
                 : nullptr;
        if (data) CFRelease(data);
        std::string problem = bytes.empty() ? "cannot be written" : read ? "" : "cannot be read";
        if (AudioComponentInstance fresh =
                problem.empty() ? context.Fresh(report, check) : nullptr) {
            const OSStatus s = RestoreClassInfo(fresh, read);
            problem = s == noErr ? CompareParams(fresh, saved) : StatusText(s);
            AudioComponentInstanceDispose(fresh);
        }
        if (read) CFRelease(read);
        report.Check(check, problem.empty(), problem);
    }

    // The same dictionary under another subtype.
    CFMutableDictionaryRef foreign =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(state));
    CFOwner foreignOwner(foreign);
    SInt32 other = 0x58585858; // 'XXXX'
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &other);
    CFStringRef key = ToCFString("subtype");
    CFDictionarySetValue(foreign, key, number);
    CFRelease(key);
    CFRelease(number);
    std::string problem = RefusedWithNothingChanged(context, report,
                                                    "state: foreign class info "
                                                    "refused with nothing changed",
                                                    foreign);
    report.Check("state: foreign class info refused with nothing changed", problem.empty(),
                 problem);

    // Empty, a fragment, and one byte short (or 8 bytes, when the data is longer). Empty data
    // may also be taken as a restore of nothing.
    problem.clear();
    CFTypeRef savedData = Entry(static_cast<CFDictionaryRef>(state), "data");
    const size_t savedLength =
        savedData && CFGetTypeID(savedData) == CFDataGetTypeID()
            ? static_cast<size_t>(CFDataGetLength(static_cast<CFDataRef>(savedData)))
            : 0;
    std::vector<size_t> lengths = {0, 2, savedLength > 8 ? 8 : savedLength - 1};
    for (size_t length : lengths) {
        if (length >= savedLength) continue;
        CFMutableDictionaryRef shortState = WithData(state, std::vector<unsigned char>(length, 0));
        if (problem.empty()) {
            problem = RefusedWithNothingChanged(context, report, "state: short data refused",
                                                shortState, length == 0);
            if (!problem.empty())
                problem = "data of " + std::to_string(length) + " bytes: " + problem;
        }
        CFRelease(shortState);
    }
    report.Check("state: short data (2, 8 bytes or one short) refused, empty data refused or "
                 "ignored, nothing changed",
                 problem.empty(), problem);

    // Where a saved value is found in the data, a non-finite one in its place is refused.
    CFTypeRef blob = Entry(static_cast<CFDictionaryRef>(state), "data");
    std::vector<std::pair<size_t, size_t>> places;
    std::vector<unsigned char> bytes;
    if (blob && CFGetTypeID(blob) == CFDataGetTypeID()) {
        const auto* start = CFDataGetBytePtr(static_cast<CFDataRef>(blob));
        bytes.assign(start, start + CFDataGetLength(static_cast<CFDataRef>(blob)));
        for (const ParameterDescription& p : kept)
            if (!IsSwitch(p) && places.empty()) places = Occurrences(bytes, saved.at(p.id));
    }
    if (places.empty()) {
        report.Skip("state: non-finite data refused with nothing changed",
                    "no saved value found in the data");
    } else {
        problem.clear();
        for (double bad : {static_cast<double>(INFINITY), std::nan("")}) {
            for (const auto& [at, width] : places) {
                std::vector<unsigned char> edited = bytes;
                if (width == sizeof(double))
                    std::memcpy(&edited[at], &bad, sizeof bad);
                else {
                    const float f = static_cast<float>(bad);
                    std::memcpy(&edited[at], &f, sizeof f);
                }
                CFMutableDictionaryRef nonFinite = WithData(state, edited);
                if (problem.empty()) {
                    problem = RefusedWithNothingChanged(context, report, "state: non-finite data",
                                                        nonFinite);
                    if (!problem.empty())
                        problem = Number(bad) + " at byte " + std::to_string(at) + ": " + problem;
                }
                CFRelease(nonFinite);
            }
        }
        report.Check("state: non-finite data refused with nothing changed", problem.empty(),
                     problem);
    }
    for (const ParameterDescription& p : context.parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    Presets(context, unit, report);
}

} // namespace validate
