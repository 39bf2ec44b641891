// Identity and entry points: what the bundle says of the component, and instances that open,
// close and live side by side.
#include "host/ValidateSupport.h"

#include <cstring>

namespace validate {
namespace {

// Identity from the bundle's Info.plist: the AudioComponents entry with the component's subtype.
std::string InfoPlistMismatch(CFURLRef bundleURL, const AudioComponentDescription& d,
                              UInt32 version) {
    CFBundleRef bundle = CFBundleCreate(nullptr, bundleURL);
    if (!bundle) return "the bundle cannot be read";
    CFOwner owner(bundle);
    CFStringRef key = ToCFString("AudioComponents");
    CFTypeRef entries = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    CFRelease(key);
    if (!entries || CFGetTypeID(entries) != CFArrayGetTypeID()) return "no AudioComponents list";
    const auto list = static_cast<CFArrayRef>(entries);
    auto text = [](CFDictionaryRef entry, const char* name) {
        CFStringRef k = ToCFString(name);
        CFTypeRef v = CFDictionaryGetValue(entry, k);
        CFRelease(k);
        return v && CFGetTypeID(v) == CFStringGetTypeID()
                   ? FromCFString(static_cast<CFStringRef>(v))
                   : std::string();
    };
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        CFTypeRef item = CFArrayGetValueAtIndex(list, i);
        if (!item || CFGetTypeID(item) != CFDictionaryGetTypeID()) continue;
        const auto entry = static_cast<CFDictionaryRef>(item);
        if (text(entry, "subtype") != FourCC(d.componentSubType)) continue;
        if (text(entry, "type") != FourCC(d.componentType))
            return "type " + FourCC(d.componentType) + ", Info.plist says " + text(entry, "type");
        if (text(entry, "manufacturer") != FourCC(d.componentManufacturer))
            return "manufacturer " + FourCC(d.componentManufacturer) + ", Info.plist says " +
                   text(entry, "manufacturer");
        CFStringRef k = ToCFString("version");
        CFTypeRef v = CFDictionaryGetValue(entry, k);
        CFRelease(k);
        SInt64 listed = -1;
        if (!v || CFGetTypeID(v) != CFNumberGetTypeID() ||
            !CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &listed))
            return "Info.plist gives no version";
        if (listed != static_cast<SInt64>(version))
            return "version " + std::to_string(version) + ", Info.plist says " +
                   std::to_string(listed);
        return "";
    }
    return "no Info.plist entry with subtype " + FourCC(d.componentSubType);
}

CFURLRef BundleURL(const std::string& path, AudioUnit unit) {
    if (!path.empty())
        return CFURLCreateFromFileSystemRepresentation(nullptr,
                                                       reinterpret_cast<const UInt8*>(path.c_str()),
                                                       static_cast<CFIndex>(path.size()), true);
    // Found on the search path: the unit says where its bundle is.
    AudioUnitCocoaViewInfo view;
    std::memset(&view, 0, sizeof view);
    if (ReadFixed(unit, kAudioUnitProperty_CocoaUI, 0, &view) != noErr) return nullptr;
    if (view.mCocoaAUViewClass[0]) CFRelease(view.mCocoaAUViewClass[0]);
    return view.mCocoaAUViewBundleLocation;
}

// The identity a saved class info carries: type, subtype, manufacturer and version, against the
// component's description. A host files presets and sessions under these.
std::string ClassInfoMismatch(AudioUnit unit, const AudioComponentDescription& d, UInt32 version) {
    OSStatus s = noErr;
    CFPropertyListRef state = SaveClassInfo(unit, &s);
    if (!state) return "no class info: " + StatusText(s);
    CFOwner owner(state);
    if (CFGetTypeID(state) != CFDictionaryGetTypeID()) return "the class info is no dictionary";
    const auto dict = static_cast<CFDictionaryRef>(state);
    auto number = [dict](const char* name, SInt64* value) {
        CFStringRef key = ToCFString(name);
        CFTypeRef v = key ? CFDictionaryGetValue(dict, key) : nullptr;
        if (key) CFRelease(key);
        return v && CFGetTypeID(v) == CFNumberGetTypeID() &&
               CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, value);
    };
    const std::pair<const char*, UInt32> fields[] = {{"type", d.componentType},
                                                     {"subtype", d.componentSubType},
                                                     {"manufacturer", d.componentManufacturer},
                                                     {"version", version}};
    for (const auto& [name, want] : fields) {
        const bool code = std::string(name) != "version";
        SInt64 got = 0;
        // The version may be left out, or be 0: the API's base classes write the version of the
        // saved format there, which is 0.
        if (!number(name, &got)) {
            if (code) return std::string("the class info has no ") + name;
            continue;
        }
        if (!code && got == 0) continue;
        // Four-character codes are stored as signed 32-bit numbers.
        if (static_cast<UInt32>(got) != want) {
            return std::string("the class info's ") + name + " is " +
                   (code ? FourCC(static_cast<UInt32>(got)) : std::to_string(got)) +
                   ", the component's " + (code ? FourCC(want) : std::to_string(want));
        }
    }
    return "";
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// One render of 256 frames of noise through a started rig; "" or what went wrong.
std::string RenderNoise(Rig& rig) {
    rig.signal = Noise;
    const OSStatus s = rig.Render(256);
    return s == noErr ? "" : StatusText(s);
}

} // namespace

void IdentityChecks(Context& context, AudioUnit unit, Report& report) {
    AudioComponentDescription d{};
    UInt32 version = 0;
    const OSStatus ds = AudioComponentGetDescription(context.component, &d);
    const OSStatus vs = AudioComponentGetVersion(context.component, &version);
    report.Check("identity: effect type aufx",
                 ds == noErr && d.componentType == kAudioUnitType_Effect,
                 ds != noErr ? StatusText(ds) : "type " + FourCC(d.componentType));
    if (ds != noErr || vs != noErr) {
        report.Check("identity: matches Info.plist", false, "no description or version");
        return;
    }
    const std::string classInfo = ClassInfoMismatch(unit, d, version);
    report.Check("identity: the class info names the component's type, subtype, manufacturer "
                 "and version",
                 classInfo.empty(), classInfo);
    CFURLRef url = BundleURL(context.path, unit);
    if (!url) {
        report.Check("identity: matches Info.plist", false, "the bundle cannot be located");
        return;
    }
    CFOwner owner(url);
    const std::string mismatch = InfoPlistMismatch(url, d, version);
    report.Check("identity: " + FourCC(d.componentType) + " " + FourCC(d.componentSubType) + " " +
                     FourCC(d.componentManufacturer) + " version " + std::to_string(version >> 16) +
                     "." + std::to_string((version >> 8) & 0xFF) + "." +
                     std::to_string(version & 0xFF) + " matches Info.plist",
                 mismatch.empty(), mismatch);
}

void EntryChecks(Context& context, AudioUnit unit, Report& report) {
    std::string problem;
    for (int i = 0; i < 100 && problem.empty(); ++i) {
        AudioComponentInstance raw = nullptr;
        OSStatus s = AudioComponentInstanceNew(context.component, &raw);
        if (s == noErr) s = AudioComponentInstanceDispose(raw);
        if (s != noErr) problem = "cycle " + std::to_string(i) + ": " + StatusText(s);
    }
    report.Check("entry: 100 open/close cycles, cold", problem.empty(), problem);

    problem.clear();
    for (int i = 0; i < 100 && problem.empty(); ++i) {
        AudioComponentInstance raw = nullptr;
        OSStatus s = AudioComponentInstanceNew(context.component, &raw);
        if (s != noErr) {
            problem = "cycle " + std::to_string(i) + ": opens with " + StatusText(s);
            break;
        }
        {
            Rig rig(raw, 2, kDefaultRate, 512);
            s = rig.Start();
            if (s == noErr)
                problem = RenderNoise(rig);
            else
                problem = "initialise: " + StatusText(s);
            if (problem.empty() && !(AllFinite(rig.out[0]) && AllFinite(rig.out[1])))
                problem = "output not finite or not written";
            if (problem.empty()) s = AudioUnitUninitialize(raw);
            if (problem.empty() && s != noErr) problem = "uninitialise: " + StatusText(s);
        }
        s = AudioComponentInstanceDispose(raw);
        if (problem.empty() && s != noErr) problem = "dispose: " + StatusText(s);
        if (!problem.empty()) problem = "cycle " + std::to_string(i) + ": " + problem;
    }
    report.Check("entry: 100 open/close cycles, warm (initialised, rendered)", problem.empty(),
                 problem);

    // Two instances: what one is told never reaches the other. A third, untouched instance
    // says what the second should render.
    const std::string check = "entry: two instances independent of each other";
    AudioComponentInstance second = context.Fresh(report, check);
    if (!second) return;
    AudioComponentInstance third = context.Fresh(report, check);
    if (!third) {
        AudioComponentInstanceDispose(second);
        return;
    }
    problem.clear();
    {
        const auto defaults = ReadParams(second, context.parameters);
        Rig a(unit), b(second), c(third);
        for (Rig* rig : {&a, &b, &c})
            if (const OSStatus s = rig->Start(); s != noErr && problem.empty())
                problem = "initialise: " + StatusText(s);
        for (const ParameterDescription& p : context.parameters)
            if (!IsSwitch(p))
                AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, StateValue(p), 0);
        if (problem.empty()) problem = CompareParams(second, defaults);
        for (int block = 0; block < 4 && problem.empty(); ++block) {
            // The first instance is reset and re-initialised between blocks.
            if (block == 2) AudioUnitReset(unit, kAudioUnitScope_Global, 0);
            if (block == 3) {
                AudioUnitUninitialize(unit);
                AudioUnitInitialize(unit);
            }
            for (Rig* rig : {&a, &b, &c})
                if (problem.empty()) problem = RenderNoise(*rig);
            if (problem.empty() && !(SameBits(b.out[0], c.out[0]) && SameBits(b.out[1], c.out[1])))
                problem = "block " + std::to_string(block) +
                          ": the second instance renders differently from an untouched one";
        }
        AudioUnitUninitialize(unit);
    }
    AudioComponentInstanceDispose(second);
    AudioComponentInstanceDispose(third);
    for (const ParameterDescription& p : context.parameters)
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, p.defaultValue, 0);
    report.Check(check, problem.empty(), problem);
}

} // namespace validate
