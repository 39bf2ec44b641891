#include "host/HostApi.h"

#include <ZerubPlatform/HostExtensions.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string FromCFString(CFStringRef string) {
    if (!string || CFGetTypeID(string) != CFStringGetTypeID()) return "";
    const CFIndex size =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    if (size <= 0) return "";
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    if (!CFStringGetCString(string, buffer.data(), size, kCFStringEncodingUTF8)) return "";
    return Printable(buffer.data());
}

CFStringRef ToCFString(const std::string& text) {
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

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

std::string StatusText(OSStatus status) {
    return "status " + std::to_string(static_cast<int>(status));
}

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

OSStatus ReadParameterList(AudioUnit unit, std::vector<AudioUnitParameterID>* ids) {
    std::vector<unsigned char> data;
    const OSStatus status = ReadProperty(unit, kAudioUnitProperty_ParameterList, 0, &data);
    if (status != noErr) return status;
    ids->assign(data.size() / sizeof(AudioUnitParameterID), 0);
    if (!ids->empty()) std::memcpy(ids->data(), data.data(), ids->size() * sizeof(*ids)[0]);
    return noErr;
}

OSStatus ReadParameterInfo(AudioUnit unit, AudioUnitParameterID id, ParameterDescription* out) {
    AudioUnitParameterInfo info;
    std::memset(&info, 0, sizeof info);
    const OSStatus status = ReadFixed(unit, kAudioUnitProperty_ParameterInfo, id, &info);
    if (status != noErr) return status;
    // The strings in the record are the host's to release when the unit says so.
    const bool release = (info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0;
    const bool hasCFName = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    const bool customUnit = info.unit == kAudioUnitParameterUnit_CustomUnit;
    CFOwner nameOwner(release && hasCFName ? info.cfNameString : nullptr);
    CFOwner unitOwner(release && customUnit ? info.unitName : nullptr);
    out->id = id;
    if (hasCFName && info.cfNameString) {
        out->name = FromCFString(info.cfNameString);
    } else {
        info.name[sizeof info.name - 1] = '\0';
        out->name = Printable(info.name);
    }
    out->minValue = info.minValue;
    out->maxValue = info.maxValue;
    out->defaultValue = info.defaultValue;
    out->flags = info.flags;
    out->unit = info.unit;
    out->unitName = customUnit ? FromCFString(info.unitName) : "";
    return noErr;
}

Status ReadParameters(AudioUnit unit, std::vector<ParameterDescription>* parameters) {
    std::vector<AudioUnitParameterID> ids;
    if (const OSStatus s = ReadParameterList(unit, &ids); s != noErr)
        return Status::Fail("the component does not list its parameters (" + StatusText(s) + ")");
    std::vector<ParameterDescription> result(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        if (const OSStatus s = ReadParameterInfo(unit, ids[i], &result[i]); s != noErr)
            return Status::Fail("the component does not describe parameter " +
                                std::to_string(ids[i]) + " (" + StatusText(s) + ")");
    *parameters = std::move(result);
    return Status::Ok();
}

Status FindComponent(const std::string& path, AudioComponent* found) {
    if (path.empty()) {
        const AudioComponentDescription zerub = {kAudioUnitType_Effect, kZerubSubtype,
                                                 kZerubManufacturer, 0, 0};
        *found = AudioComponentFindNext(nullptr, &zerub);
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
    if (!*found) {
        // The platform keeps the reason it left the bundle out (no Info.plist, a library that
        // does not load, a factory not exported, ...).
        std::string reason = "no loadable component in the bundle";
        if (CFStringRef why = AudioComponentCopyBundleError(path.c_str())) {
            const std::string text = FromCFString(why);
            CFRelease(why);
            if (!text.empty()) reason = text;
        }
        return Status::Fail("cannot open component " + path + ": " + reason);
    }
    return Status::Ok();
}

Status OpenInstance(const std::string& path, UnitInstance* instance) {
    AudioComponent component = nullptr;
    if (Status s = FindComponent(path, &component); !s) return s;
    AudioComponentInstance raw = nullptr;
    if (const OSStatus status = AudioComponentInstanceNew(component, &raw); status != noErr) {
        CFStringRef name = nullptr;
        std::string text = "the component";
        if (AudioComponentCopyName(component, &name) == noErr && name) {
            text = FromCFString(name);
            CFRelease(name);
        }
        return Status::Fail("cannot open " + text + ": " + StatusText(status));
    }
    instance->reset(raw);
    return Status::Ok();
}

AudioStreamBasicDescription FloatFormat(double rate, UInt32 channels) {
    AudioStreamBasicDescription f;
    std::memset(&f, 0, sizeof f);
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = 4;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}
