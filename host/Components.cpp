#include "host/Components.h"

#include <AudioToolbox/AudioToolbox.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ZerubPlatform/HostExtensions.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr AudioComponentDescription kZerub = {kAudioUnitType_Effect, 0x5A524231 /* ZRB1 */,
                                              0x516D6F72 /* Qmor */, 0, 0};
// A component answering more than this for one property is not believed.
constexpr UInt32 kMaxPropertySize = 1 << 20;

// Owns one Core Foundation reference.
class CFOwner {
public:
    explicit CFOwner(CFTypeRef ref = nullptr) : ref(ref) {}
    ~CFOwner() {
        if (ref) CFRelease(ref);
    }
    CFOwner(const CFOwner&) = delete;
    CFOwner& operator=(const CFOwner&) = delete;

private:
    CFTypeRef ref;
};

// Disposes of the instance when the description is done.
class Instance {
public:
    explicit Instance(AudioComponentInstance unit) : unit(unit) {}
    ~Instance() {
        if (unit) AudioComponentInstanceDispose(unit);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    AudioUnit get() const { return unit; }

private:
    AudioComponentInstance unit;
};

// Text from a component goes to a terminal: control characters are shown as '?'.
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// "" for a null reference or one that is not a string (a unit may hand back anything).
std::string FromCFString(CFStringRef string) {
    if (!string || CFGetTypeID(string) != CFStringGetTypeID()) return "";
    const CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    if (size <= 0) return "";
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(string, buffer.data(), size, kCFStringEncodingUTF8)) return "";
    return Printable(buffer.data());
}

// 'aufx' as text; codes with unprintable bytes as hexadecimal.
std::string FourCC(UInt32 code) {
    char text[5] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                    static_cast<char>(code >> 8), static_cast<char>(code), '\0'};
    for (int i = 0; i < 4; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
            return hex;
        }
    }
    return text;
}

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

std::string StatusText(OSStatus status) {
    return "status " + std::to_string(static_cast<int>(status));
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

// Reads a property of variable size: its size from GetPropertyInfo, then the data. An empty
// vector with noErr means the property is empty.
OSStatus ReadProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitElement element,
                      std::vector<unsigned char>* data) {
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus status =
        AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, element, &size, &writable);
    if (status != noErr) return status;
    if (size > kMaxPropertySize) return kAudioUnitErr_InvalidPropertyValue;
    data->assign(size, 0);
    if (size == 0) return noErr;
    status = AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, element, data->data(), &size);
    if (status == noErr) data->resize(std::min<size_t>(size, data->size()));
    return status;
}

// Reads a property of fixed size into value.
template <typename T>
OSStatus ReadFixed(AudioUnit unit, AudioUnitPropertyID id, AudioUnitElement element, T* value) {
    UInt32 size = sizeof(T);
    const OSStatus status =
        AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, element, value, &size);
    if (status == noErr && size != sizeof(T)) return kAudioUnitErr_InvalidPropertyValue;
    return status;
}

std::string ChannelCount(SInt16 n) {
    if (n == -1) return "any";
    if (n == -2) return "any (matching)";
    return std::to_string(n);
}

std::string UnitText(const AudioUnitParameterInfo& info) {
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
        return "\"" + FromCFString(info.unitName) + "\"";
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
    AudioUnitParameterInfo info;
    std::memset(&info, 0, sizeof info);
    const OSStatus status = ReadFixed(unit, kAudioUnitProperty_ParameterInfo, id, &info);
    if (status != noErr) {
        row.name = "(no information: " + StatusText(status) + ")";
        return row;
    }
    // The strings in the record are the host's to release when the unit says so.
    const bool release = (info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0;
    const bool hasCFName = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    CFOwner nameOwner(release && hasCFName ? info.cfNameString : nullptr);
    CFOwner unitOwner(release && info.unit == kAudioUnitParameterUnit_CustomUnit ? info.unitName
                                                                                 : nullptr);
    if (hasCFName && info.cfNameString) {
        row.name = FromCFString(info.cfNameString);
    } else {
        info.name[sizeof info.name - 1] = '\0';
        row.name = Printable(info.name);
    }
    row.range = Number(info.minValue) + " .. " + Number(info.maxValue);
    row.defaultValue = Number(info.defaultValue);
    row.unit = UnitText(info);

    std::vector<unsigned char> data;
    CFArrayRef strings = nullptr;
    if (ReadProperty(unit, kAudioUnitProperty_ParameterValueStrings, id, &data) == noErr &&
        data.size() == sizeof strings) {
        std::memcpy(&strings, data.data(), sizeof strings);
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

Status FindComponent(const std::string& path, AudioComponent* found) {
    if (path.empty()) {
        *found = AudioComponentFindNext(nullptr, &kZerub);
        if (!*found)
            return Status::Fail("no Zerub component on the search path (AUDIO_COMPONENT_PATH and "
                                "the build folder); name one with --component PATH");
        return Status::Ok();
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return Status::Fail("cannot open component " + path + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return Status::Fail("cannot open component " + path + ": not a .component bundle");
    *found = AudioComponentRegisterBundle(path.c_str());
    if (!*found)
        return Status::Fail("cannot open component " + path +
                            ": no loadable component in the bundle");
    return Status::Ok();
}

} // namespace

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
            "no components on the search path (AUDIO_COMPONENT_PATH and the build folder)");
    return Status::Ok();
}

Status DescribeComponent(const std::string& path, std::ostream& out) {
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
    Instance instance(raw);

    out << "name           " << name << "\n"
        << "type           " << FourCC(d.componentType) << " (" << TypeName(d.componentType)
        << ")\n"
        << "subtype        " << FourCC(d.componentSubType) << "\n"
        << "manufacturer   " << FourCC(d.componentManufacturer) << "\n"
        << "version        " << VersionText(version) << "\n";
    PrintChannels(instance.get(), out);
    PrintSeconds(instance.get(), kAudioUnitProperty_Latency, "latency        ", out);
    PrintSeconds(instance.get(), kAudioUnitProperty_TailTime, "tail time      ", out);
    PrintParameters(instance.get(), out);
    PrintPresets(instance.get(), out);
    return Status::Ok();
}
