#include "host/Components.h"

#include "host/AURenderer.h"
#include "host/HostApi.h"

#include <AudioToolbox/AudioToolbox.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ZerubPlatform/HostExtensions.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

std::string VersionText(UInt32 version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u", version >> 16, (version >> 8) & 0xFF,
                  version & 0xFF);
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

const char* TypeName(OSType type) {
    switch (type) {
    case kAudioUnitType_Effect:
        return "effect";
    case kAudioUnitType_MusicEffect:
        return "music effect";
    case kAudioUnitType_MusicDevice:
        return "instrument";
    case kAudioUnitType_Generator:
        return "generator";
    case kAudioUnitType_Mixer:
        return "mixer";
    case kAudioUnitType_Output:
        return "output";
    default:
        return "other";
    }
}

std::string ComponentName(AudioComponent component) {
    CFStringRef name = nullptr;
    if (AudioComponentCopyName(component, &name) != noErr || !name) return "(no name)";
    CFOwner owner(name);
    return FromCFString(name);
}

std::string ChannelCount(SInt16 n) {
    if (n == -1) return "any";
    if (n == -2) return "any (matching)";
    return std::to_string(n);
}

std::string UnitText(const ParameterDescription& info) {
    switch (info.unit) {
    case kAudioUnitParameterUnit_Generic:
        return "generic";
    case kAudioUnitParameterUnit_Indexed:
        return "indexed";
    case kAudioUnitParameterUnit_Boolean:
        return "on/off";
    case kAudioUnitParameterUnit_Percent:
        return "percent";
    case kAudioUnitParameterUnit_Seconds:
        return "seconds";
    case kAudioUnitParameterUnit_Hertz:
        return "Hz";
    case kAudioUnitParameterUnit_Decibels:
        return "dB";
    case kAudioUnitParameterUnit_Milliseconds:
        return "ms";
    case kAudioUnitParameterUnit_CustomUnit:
        return "\"" + info.unitName + "\"";
    default:
        return "unit " + std::to_string(static_cast<unsigned>(info.unit));
    }
}

struct ParameterRow {
    std::string id, name, range, defaultValue, unit, values;
};

ParameterRow DescribeParameter(AudioUnit unit, AudioUnitParameterID id) {
    ParameterRow row;
    row.id = std::to_string(id);
    ParameterDescription info;
    const OSStatus status = ReadParameterInfo(unit, id, &info);
    if (status != noErr) {
        row.name = "(no information: " + StatusText(status) + ")";
        return row;
    }
    row.name = info.name;
    row.range = Number(info.minValue) + " .. " + Number(info.maxValue);
    row.defaultValue = Number(info.defaultValue);
    row.unit = UnitText(info);

    std::vector<unsigned char> data;
    CFArrayRef strings = nullptr;
    // NOLINTBEGIN(bugprone-sizeof-expression): the property is the array reference itself
    if (ReadProperty(unit, kAudioUnitProperty_ParameterValueStrings, id, &data) == noErr &&
        data.size() == sizeof strings) {
        std::memcpy(&strings, data.data(), sizeof strings);
        // NOLINTEND(bugprone-sizeof-expression)
        CFOwner stringsOwner(strings);
        const bool isArray = strings && CFGetTypeID(strings) == CFArrayGetTypeID();
        const CFIndex count = isArray ? CFArrayGetCount(strings) : 0;
        for (CFIndex i = 0; i < count; ++i) {
            const auto text = static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i));
            row.values += (i ? ", " : "") + FromCFString(text);
        }
    }
    return row;
}

void PrintParameters(AudioUnit unit, std::ostream& out) {
    std::vector<unsigned char> data;
    const OSStatus status = ReadProperty(unit, kAudioUnitProperty_ParameterList, 0, &data);
    if (status != noErr) {
        out << "parameters     not reported (" << StatusText(status) << ")\n";
        return;
    }
    std::vector<AudioUnitParameterID> ids(data.size() / sizeof(AudioUnitParameterID));
    if (!ids.empty()) std::memcpy(ids.data(), data.data(), ids.size() * sizeof ids[0]);
    out << "parameters     " << ids.size() << "\n";
    if (ids.empty()) return;

    std::vector<ParameterRow> rows = {{"id", "name", "range", "default", "unit", "values"}};
    for (AudioUnitParameterID id : ids)
        rows.push_back(DescribeParameter(unit, id));
    size_t width[5] = {};
    for (const ParameterRow& r : rows) {
        const std::string* cells[5] = {&r.id, &r.name, &r.range, &r.defaultValue, &r.unit};
        for (int c = 0; c < 5; ++c)
            width[c] = std::max(width[c], cells[c]->size());
    }
    for (const ParameterRow& r : rows) {
        const std::string* cells[5] = {&r.id, &r.name, &r.range, &r.defaultValue, &r.unit};
        std::string line = "  ";
        for (int c = 0; c < 5; ++c)
            line += *cells[c] + std::string(width[c] - cells[c]->size() + 2, ' ');
        line += r.values;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    }
}

void PrintChannels(AudioUnit unit, std::ostream& out) {
    std::vector<unsigned char> data;
    const OSStatus status = ReadProperty(unit, kAudioUnitProperty_SupportedNumChannels, 0, &data);
    if (status != noErr) {
        out << "channels       not reported (" << StatusText(status) << ")\n";
        return;
    }
    std::vector<AUChannelInfo> configs(data.size() / sizeof(AUChannelInfo));
    if (!configs.empty())
        std::memcpy(configs.data(), data.data(), configs.size() * sizeof configs[0]);
    std::string text;
    for (const AUChannelInfo& c : configs)
        text += (text.empty() ? "" : ", ") + ChannelCount(c.inChannels) + " in / " +
                ChannelCount(c.outChannels) + " out";
    out << "channels       " << (text.empty() ? "none" : text) << "\n";
}

void PrintSeconds(AudioUnit unit, AudioUnitPropertyID id, const char* label, std::ostream& out) {
    Float64 seconds = 0.0;
    const OSStatus status = ReadFixed(unit, id, 0, &seconds);
    out << label;
    if (status == noErr)
        out << Number(seconds) << " s\n";
    else
        out << "not reported (" << StatusText(status) << ")\n";
}

void PrintPresets(AudioUnit unit, std::ostream& out) {
    CFArrayRef presets = nullptr;
    const OSStatus status = ReadFixed(unit, kAudioUnitProperty_FactoryPresets, 0, &presets);
    if (status != noErr) {
        out << "presets        not reported (" << StatusText(status) << ")\n";
        return;
    }
    if (!presets) {
        out << "presets        0\n";
        return;
    }
    CFOwner owner(presets);
    if (CFGetTypeID(presets) != CFArrayGetTypeID()) {
        out << "presets        not reported (not an array)\n";
        return;
    }
    const CFIndex count = CFArrayGetCount(presets);
    out << "presets        " << count << "\n";
    for (CFIndex i = 0; i < count; ++i) {
        const auto* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
        if (!preset) continue;
        out << "  " << preset->presetNumber << "  " << FromCFString(preset->presetName) << "\n";
    }
}

} // namespace

RendererFactory ComponentRenderers(const std::string& componentPath) {
    return [componentPath] { return std::make_unique<AURenderer>(componentPath); };
}

bool ComponentsAvailable() {
    return true;
}

Status ListComponents(std::ostream& out) {
    int count = 0;
    for (AudioComponent c = AudioComponentFindNext(nullptr, nullptr); c;
         c = AudioComponentFindNext(c, nullptr)) {
        AudioComponentDescription d{};
        UInt32 version = 0;
        if (AudioComponentGetDescription(c, &d) != noErr) continue;
        AudioComponentGetVersion(c, &version);
        out << FourCC(d.componentType) << " " << FourCC(d.componentSubType) << " "
            << FourCC(d.componentManufacturer) << "  " << VersionText(version) << "  "
            << ComponentName(c) << "\n";
        ++count;
    }
    if (count == 0)
        return Status::Fail(
            "no components on the search path (AUDIO_COMPONENT_PATH, lib/audio-components "
            "of the installed tree and the build folder)");
    return Status::Ok();
}

// Only for units with the setting: others have no quality to speak of.
static void PrintQuality(AudioUnit unit, std::ostream& out) {
    UInt32 quality = 0;
    if (ReadFixed(unit, kZerubQualityProperty, 0, &quality) != noErr) return;
    out << "quality        "
        << (quality == 0   ? "standard"
            : quality == 1 ? "hq"
                           : std::to_string(quality))
        << "\n";
}

Status DescribeComponent(const std::string& path, std::ostream& out, bool hq) {
    AudioComponent component = nullptr;
    if (Status s = FindComponent(path, &component); !s) return s;

    AudioComponentDescription d{};
    if (const OSStatus status = AudioComponentGetDescription(component, &d); status != noErr)
        return Status::Fail("cannot describe the component: " + StatusText(status));
    UInt32 version = 0;
    AudioComponentGetVersion(component, &version);
    const std::string name = ComponentName(component);

    AudioComponentInstance raw = nullptr;
    if (const OSStatus status = AudioComponentInstanceNew(component, &raw); status != noErr)
        return Status::Fail("cannot open component " + name + ": " + StatusText(status));
    UnitInstance instance(raw);
    if (hq) {
        const UInt32 value = 1;
        if (const OSStatus status =
                AudioUnitSetProperty(instance.get(), kZerubQualityProperty, kAudioUnitScope_Global,
                                     0, &value, sizeof value);
            status != noErr)
            return Status::Fail("component " + name + " has no HQ setting: " + StatusText(status));
    }

    out << "name           " << name << "\n"
        << "type           " << FourCC(d.componentType) << " (" << TypeName(d.componentType)
        << ")\n"
        << "subtype        " << FourCC(d.componentSubType) << "\n"
        << "manufacturer   " << FourCC(d.componentManufacturer) << "\n"
        << "version        " << VersionText(version) << "\n";
    PrintChannels(instance.get(), out);
    PrintQuality(instance.get(), out);
    PrintSeconds(instance.get(), kAudioUnitProperty_Latency, "latency        ", out);
    PrintSeconds(instance.get(), kAudioUnitProperty_TailTime, "tail time      ", out);
    PrintParameters(instance.get(), out);
    PrintPresets(instance.get(), out);
    return Status::Ok();
}
