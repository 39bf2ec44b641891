#include "host/PresetFile.h"

#include "host/AtomicFile.h"

namespace {

// Presets are a few hundred bytes; anything this large is not one.
constexpr size_t kMaxPresetBytes = 4 << 20;

CFTypeRef Value(CFDictionaryRef dict, const char* key) {
    CFStringRef cfKey = ToCFString(key);
    if (!cfKey) return nullptr;
    CFTypeRef value = CFDictionaryGetValue(dict, cfKey);
    CFRelease(cfKey);
    return value;
}

bool ReadCode(CFDictionaryRef dict, const char* key, SInt32* code) {
    CFTypeRef value = Value(dict, key);
    return value && CFGetTypeID(value) == CFNumberGetTypeID() &&
           CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, code);
}

} // namespace

Status ReadPresetFile(const std::string& path, AudioUnit unit, CFPropertyListRef* state) {
    std::string bytes;
    if (Status s = ReadSmallFile(path, kMaxPresetBytes, &bytes); !s) return s;
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                  static_cast<CFIndex>(bytes.size()));
    if (!data) return Status::Fail("cannot read " + path + ": out of memory");
    CFPropertyListRef plist =
        CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(data);
    if (!plist) return Status::Fail("cannot load " + path + ": not a property list");
    CFOwner owner(plist);
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID())
        return Status::Fail("cannot load " + path + ": not a dictionary");
    const auto dict = static_cast<CFDictionaryRef>(plist);

    AudioComponentDescription running{};
    if (const OSStatus s =
            AudioComponentGetDescription(AudioComponentInstanceGetComponent(unit), &running);
        s != noErr)
        return Status::Fail("cannot describe the component (" + StatusText(s) + ")");
    const struct {
        const char* key;
        OSType expected;
    } identity[] = {{"type", running.componentType},
                    {"subtype", running.componentSubType},
                    {"manufacturer", running.componentManufacturer}};
    for (const auto& id : identity) {
        SInt32 code = 0;
        if (!ReadCode(dict, id.key, &code))
            return Status::Fail("cannot load " + path + ": missing data (no " + id.key + ")");
        if (static_cast<OSType>(code) != id.expected)
            return Status::Fail("cannot load " + path + ": different component (" + id.key + " " +
                                FourCC(static_cast<UInt32>(code)) + ", this one is " +
                                FourCC(id.expected) + ")");
    }
    CFTypeRef name = Value(dict, "name");
    if (!name || CFGetTypeID(name) != CFStringGetTypeID())
        return Status::Fail("cannot load " + path + ": missing data (no name)");
    CFTypeRef blob = Value(dict, "data");
    if (!blob || CFGetTypeID(blob) != CFDataGetTypeID())
        return Status::Fail("cannot load " + path + ": missing data (no state data)");
    CFRetain(plist);
    *state = plist;
    return Status::Ok();
}

Status RestorePreset(const std::string& path, AudioUnit unit, CFPropertyListRef state) {
    const OSStatus status = AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &state, sizeof state);
    if (status != noErr)
        return Status::Fail("cannot load " + path + ": the component refuses it (" +
                            StatusText(status) + ")");
    return Status::Ok();
}

Status WritePresetFile(const std::string& path, AudioUnit unit) {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &state, &size);
    if (status != noErr || !state || size != sizeof state) {
        if (state && size == sizeof state) CFRelease(state);
        return Status::Fail("the component does not give its state (" + StatusText(status) + ")");
    }
    CFOwner owner(state);
    if (CFGetTypeID(state) != CFDictionaryGetTypeID())
        return Status::Fail("the component's state is not a dictionary");
    CFErrorRef error = nullptr;
    CFDataRef xml =
        CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, &error);
    if (error) CFRelease(error);
    if (!xml) return Status::Fail("cannot write " + path + ": the state is not a property list");
    CFOwner xmlOwner(xml);
    return WriteFileAtomically(path, CFDataGetBytePtr(xml),
                               static_cast<size_t>(CFDataGetLength(xml)));
}
