// Class info and presets: saved, restored, re-saved byte for byte, carried as XML and binary
// property lists; short, foreign and non-finite data refused with nothing changed.
#include "host/ValidateSupport.h"

#include <cmath>
#include <cstring>

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

std::string PresetText(AudioUnit unit) {
    AUPreset current = {-1, nullptr};
    const OSStatus s = ReadFixed(unit, kAudioUnitProperty_CurrentPreset, 0, &current);
    if (s != noErr) return StatusText(s);
    const std::string text =
        std::to_string(current.presetNumber) + " \"" + FromCFString(current.presetName) + "\"";
    if (current.presetName) CFRelease(current.presetName);
    return text;
}

void Presets(AudioUnit unit, Report& report) {
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

    // Numbers that name no factory preset, through both preset properties.
    problem.clear();
    for (AudioUnitPropertyID id :
         {kAudioUnitProperty_CurrentPreset, kAudioUnitProperty_PresentPreset}) {
        const std::string property =
            id == kAudioUnitProperty_CurrentPreset ? "current preset" : "present preset";
        AUPreset before = {-1, nullptr};
        if (ReadFixed(unit, id, 0, &before) != noErr) continue; // not offered
        if (before.presetName) CFRelease(before.presetName);
        for (SInt32 number : {999, -5}) {
            const AUPreset chosen = {number, nullptr};
            const OSStatus ss =
                AudioUnitSetProperty(unit, id, kAudioUnitScope_Global, 0, &chosen, sizeof chosen);
            AUPreset after = {-1, nullptr};
            const OSStatus gs = ReadFixed(unit, id, 0, &after);
            if (after.presetName) CFRelease(after.presetName);
            const std::string what = property + " " + std::to_string(number) + ": ";
            if (problem.empty() && ss != kAudioUnitErr_InvalidPropertyValue)
                problem = what + (ss == noErr ? "accepted" : "refused with " + StatusText(ss));
            if (problem.empty() && (gs != noErr || after.presetNumber != before.presetNumber))
                problem = what + "the preset is now " +
                          (gs != noErr ? StatusText(gs) : std::to_string(after.presetNumber)) +
                          ", not " + std::to_string(before.presetNumber);
        }
    }
    report.Check("presets: a number that is no factory preset refused, the current one kept",
                 problem.empty(), problem);
}

// Restores bad (a dictionary) into a fresh instance holding other values: it must be refused
// with kAudioUnitErr_InvalidPropertyValue and change neither a parameter nor the preset.
std::string RefusedWithNothingChanged(Context& context, Report& report, const std::string& check,
                                      CFPropertyListRef bad) {
    AudioComponentInstance fresh = context.Fresh(report, check);
    if (!fresh) return "no instance";
    for (const ParameterDescription& p : context.parameters)
        if (!IsSwitch(p))
            AudioUnitSetParameter(fresh, p.id, kAudioUnitScope_Global, 0,
                                  p.minValue + (p.maxValue - p.minValue) * 0.125f, 0);
    const auto before = ReadParams(fresh, context.parameters);
    const std::string preset = PresetText(fresh);
    const OSStatus s = RestoreClassInfo(fresh, bad);
    std::string problem;
    if (s != kAudioUnitErr_InvalidPropertyValue)
        problem = s == noErr ? "accepted" : "refused with " + StatusText(s);
    if (problem.empty()) problem = CompareParams(fresh, before);
    if (problem.empty() && PresetText(fresh) != preset)
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
        if (at + sizeof value <= data.size() && std::memcmp(&data[at], &value, sizeof value) == 0)
            found.push_back({at, sizeof value});
        else if (std::memcmp(&data[at], &f, sizeof f) == 0)
            found.push_back({at, sizeof f});
    }
    return found;
}

} // namespace

void StateChecks(Context& context, AudioUnit unit, Report& report) {
    for (const ParameterDescription& p : context.parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
    const auto saved = ReadParams(unit, context.parameters);
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

    // Empty, a fragment, and one byte short (or 8 bytes, when the data is longer).
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
            problem =
                RefusedWithNothingChanged(context, report, "state: short data refused", shortState);
            if (!problem.empty())
                problem = "data of " + std::to_string(length) + " bytes: " + problem;
        }
        CFRelease(shortState);
    }
    report.Check("state: short data (0, 2, 8 bytes or one short) refused with nothing changed",
                 problem.empty(), problem);

    // Where a saved value is found in the data, a non-finite one in its place is refused.
    CFTypeRef blob = Entry(static_cast<CFDictionaryRef>(state), "data");
    std::vector<std::pair<size_t, size_t>> places;
    std::vector<unsigned char> bytes;
    if (blob && CFGetTypeID(blob) == CFDataGetTypeID()) {
        const auto* start = CFDataGetBytePtr(static_cast<CFDataRef>(blob));
        bytes.assign(start, start + CFDataGetLength(static_cast<CFDataRef>(blob)));
        for (const ParameterDescription& p : context.parameters)
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
    Presets(unit, report);
}

} // namespace validate
