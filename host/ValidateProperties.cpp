// The property contract, probed over every standard property ID: what the information call
// reports, buffers of the wrong size, sets of read-only properties, and unknown IDs and elements.
#include "host/ValidateSupport.h"

#include <cstring>

namespace validate {
namespace {

constexpr UInt32 kUnset = 0xDEADBEEF;
constexpr AudioUnitPropertyID kUnknownProperty = 0x7F00ABCD;

// Properties whose data goes both ways (a structure the host fills in first): not read blindly.
bool TakesInput(AudioUnitPropertyID id) {
    return id == kAudioUnitProperty_ParameterStringFromValue ||
           id == kAudioUnitProperty_ParameterIDName ||
           id == kAudioUnitProperty_ParameterClumpName ||
           id == kAudioUnitProperty_ParameterValueFromString;
}

// Offsets of the Core Foundation references a property hands the host, which it releases.
std::vector<size_t> OwnedReferences(AudioUnitPropertyID id, UInt32 size) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
        return {0};
    case kAudioUnitProperty_PresentPreset:
        // Not CurrentPreset: whether its name is the host's to release was never settled (why
        // it was replaced), so a unit may hand over one it keeps.
        return {offsetof(AUPreset, presetName)};
    case kAudioUnitProperty_CocoaUI: {
        std::vector<size_t> offsets;
        for (size_t at = 0; at + sizeof(void*) <= size; at += sizeof(void*))
            offsets.push_back(at);
        return offsets;
    }
    default:
        return {};
    }
}

// Releases the references that lie wholly inside data: a unit that answers a short get copies
// what fits, and a reference cut short is not one to release.
void ReleaseOwned(AudioUnitPropertyID id, std::vector<unsigned char>& data) {
    for (size_t at : OwnedReferences(id, static_cast<UInt32>(data.size()))) {
        CFTypeRef ref = nullptr;
        if (at + sizeof ref > data.size()) continue;
        std::memcpy(&ref, data.data() + at, sizeof ref);
        if (ref) CFRelease(ref);
    }
}

struct Listed {
    AudioUnitPropertyID id;
    UInt32 size;
    bool writable;
    std::vector<unsigned char> data; // a successful read, plain data only; empty otherwise
};

// A get with the size 0, and one with no size pointer, into a guard-filled buffer: refused
// (paramErr without a size pointer), nothing written.
std::string UnsizedGetProblem(AudioUnit unit, AudioUnitPropertyID id, UInt32 size) {
    for (bool sized : {true, false}) {
        std::vector<unsigned char> buffer(size + 16, 0xA5);
        UInt32 zero = 0;
        const OSStatus s = AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, 0, buffer.data(),
                                                sized ? &zero : nullptr);
        bool written = false;
        for (unsigned char b : buffer)
            written = written || b != 0xA5;
        // A get that succeeds here is failed below; whatever it wrote is not released, since no
        // size says how much of it is a reference (the group's process ends soon anyway).
        const std::string how = sized ? "a get of size 0" : "a get without a size pointer";
        if (s == noErr) return "property " + std::to_string(id) + ": " + how + " succeeds";
        if (!sized && s != paramErr)
            return "property " + std::to_string(id) + ": " + how + " answers " + StatusText(s) +
                   ", not paramErr";
        if (written) return "property " + std::to_string(id) + ": " + how + " writes the buffer";
    }
    return "";
}

// Element names on the input and output buses: the information call and the get agree, and the
// element after the last bus is refused as an invalid element.
std::string ElementNameProblem(AudioUnit unit, bool* offered) {
    *offered = false;
    std::string problem;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const std::string side = scope == kAudioUnitScope_Input ? "input " : "output ";
        UInt32 buses = 1, countSize = sizeof buses;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ElementCount, scope, 0, &buses,
                                 &countSize) != noErr ||
            countSize != sizeof buses || buses > 64)
            buses = 1;
        for (UInt32 element = 0; element <= buses && problem.empty(); ++element) {
            UInt32 size = 0;
            Boolean writable = false;
            const OSStatus info = AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ElementName,
                                                           scope, element, &size, &writable);
            CFStringRef name = nullptr;
            // NOLINTBEGIN(bugprone-sizeof-expression): the property is the string reference
            UInt32 nameSize = sizeof name;
            const OSStatus get = AudioUnitGetProperty(unit, kAudioUnitProperty_ElementName, scope,
                                                      element, &name, &nameSize);
            if (get == noErr && name && nameSize == sizeof name) CFRelease(name);
            // NOLINTEND(bugprone-sizeof-expression)
            if (element == 0 && (info == noErr || get == noErr)) *offered = true;
            const std::string where = side + "element " + std::to_string(element) + ": ";
            // A bus without a name: the info call may still answer, the get says so.
            if (info == noErr && get == kAudioUnitErr_PropertyNotInUse && element < buses) continue;
            if (info != get)
                problem = where + "the info call answers " + StatusText(info) + ", get " +
                          StatusText(get);
            else if (element == buses && get != kAudioUnitErr_InvalidElement)
                problem = where + "past the last bus, answers " + StatusText(get);
        }
    }
    return problem;
}

// The answers of a get after a successful info call that say "nothing to read now": a write-only
// property, or one the unit lists but has no value for.
bool NothingToRead(OSStatus s) {
    return s == kAudioUnitErr_PropertyNotInUse || s == kAudioUnitErr_InvalidProperty;
}

// Sets that may be shorter than the property's size: the stream format's last field is reserved,
// and the host callbacks have grown over the API's versions.
bool ShortSetAllowed(AudioUnitPropertyID id, UInt32 size) {
    return (id == kAudioUnitProperty_StreamFormat && size >= 36) ||
           id == kAudioUnitProperty_HostCallbacks;
}

bool NotThere(OSStatus s) {
    return s == kAudioUnitErr_InvalidProperty || s == kAudioUnitErr_InvalidScope ||
           s == kAudioUnitErr_InvalidElement;
}

// Write-only properties (the data goes to the unit): a get answers an error and writes nothing;
// the info call may still give the size. Sets *offered when the unit lists any.
std::string WriteOnlyGetProblem(AudioUnit unit, bool* offered) {
    struct Where {
        AudioUnitPropertyID id;
        AudioUnitScope scope;
    };
    *offered = false;
    for (const Where& w : {Where{kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input},
                           Where{kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input},
                           Where{kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global}}) {
        UInt32 size = 0;
        if (AudioUnitGetPropertyInfo(unit, w.id, w.scope, 0, &size, nullptr) != noErr ||
            size == 0 || size > 65536)
            continue;
        *offered = true;
        std::vector<unsigned char> buffer(size + 16, 0xA5);
        UInt32 given = size;
        const OSStatus s = AudioUnitGetProperty(unit, w.id, w.scope, 0, buffer.data(), &given);
        bool written = false;
        for (unsigned char b : buffer)
            written = written || b != 0xA5;
        const std::string name = "property " + std::to_string(w.id);
        if (s == noErr)
            return name + ": a get answers noErr" + (written ? "" : " and writes nothing");
        if (written) return name + ": a refused get writes the buffer";
    }
    return "";
}

// A parameter's name by ID, or a clump's name, asked in the input scope where the parameter is
// not: an error, or a name written; never noErr with the host's outName left as it was.
std::string NameInScopeProblem(AudioUnit unit, const std::vector<ParameterDescription>& params) {
    if (params.empty()) return "";
    std::vector<std::pair<AudioUnitPropertyID, UInt32>> asks = {
        {kAudioUnitProperty_ParameterIDName, params.front().id}};
    for (const ParameterDescription& p : params) {
        AudioUnitParameterInfo info;
        std::memset(&info, 0, sizeof info);
        UInt32 size = sizeof info;
        if (!(p.flags & kAudioUnitParameterFlag_HasClump) ||
            AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global,
                                 p.id, &info, &size) != noErr ||
            size != sizeof info)
            continue;
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) {
            if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) && info.cfNameString)
                CFRelease(info.cfNameString);
            if (info.unit == kAudioUnitParameterUnit_CustomUnit && info.unitName)
                CFRelease(info.unitName);
        }
        asks.push_back({kAudioUnitProperty_ParameterClumpName, info.clumpID});
        break;
    }
    CFStringRef sentinel = ToCFString("unanswered");
    CFOwner owner(sentinel);
    for (const auto& [id, about] : asks) {
        AudioUnitParameterNameInfo request = {about, kAudioUnitParameterName_Full, sentinel};
        UInt32 size = sizeof request;
        const OSStatus s =
            AudioUnitGetProperty(unit, id, kAudioUnitScope_Input, 0, &request, &size);
        const std::string what =
            (id == kAudioUnitProperty_ParameterIDName ? "the name of parameter "
                                                      : "the name of clump ") +
            std::to_string(about) + " in the input scope";
        if (s != noErr) continue;
        if (request.outName == sentinel) return what + " answers noErr and writes no name";
        if (request.outName) CFRelease(request.outName);
    }
    return "";
}

} // namespace

void PropertyChecks(Context& context, AudioUnit unit, Report& report) {
    std::vector<AudioUnitPropertyID> ids;
    for (AudioUnitPropertyID id = 0; id <= 60; ++id)
        ids.push_back(id);
    ids.push_back(1000);

    std::vector<Listed> listed;
    std::string infoProblem, getProblem;
    for (AudioUnitPropertyID id : ids) {
        UInt32 size = kUnset;
        Boolean writable = 7;
        const OSStatus s =
            AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, 0, &size, &writable);
        // The size is written whenever the property exists, even when the call then fails.
        if (infoProblem.empty() && !NotThere(s) && size == kUnset)
            infoProblem =
                "property " + std::to_string(id) + ": " + StatusText(s) + " without a size";
        if (s != noErr) continue;
        if (infoProblem.empty() && writable > 1)
            infoProblem = "property " + std::to_string(id) + ": writability not written";
        // Either pointer may be null.
        UInt32 alone = kUnset;
        Boolean flag = 7;
        const OSStatus sizeOnly =
            AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, 0, &alone, nullptr);
        const OSStatus flagOnly =
            AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, 0, nullptr, &flag);
        if (infoProblem.empty() &&
            (sizeOnly != noErr || flagOnly != noErr || alone != size || flag != writable))
            infoProblem = "property " + std::to_string(id) +
                          ": answers differently with a null size or writability pointer";
        Listed entry{id, size, writable != 0, {}};
        if (!TakesInput(id) && size > 0 && size <= 65536) {
            std::vector<unsigned char> data(size, 0);
            UInt32 got = size;
            const OSStatus gs =
                AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, 0, data.data(), &got);
            if (gs == noErr) {
                if (getProblem.empty() && got != size)
                    getProblem = "property " + std::to_string(id) + ": info says " +
                                 std::to_string(size) + " bytes, get gives " + std::to_string(got);
                if (got < size) data.resize(got);
                if (OwnedReferences(id, size).empty())
                    entry.data = got == size ? data : std::vector<unsigned char>();
                else
                    ReleaseOwned(id, data);
            } else if (getProblem.empty() && !NothingToRead(gs)) {
                getProblem = "property " + std::to_string(id) + ": get fails with " +
                             StatusText(gs) + " after the info call succeeds";
            }
        }
        listed.push_back(std::move(entry));
    }
    report.Check("properties: " + std::to_string(listed.size()) +
                     " listed; the info call writes the size, even when it fails",
                 infoProblem.empty(), infoProblem);
    report.Check("properties: get gives the size the info call reports", getProblem.empty(),
                 getProblem);

    // Short buffers: a get one byte short is refused, or answered with what fits (as the API's
    // own base classes do), and writes nothing past the buffer; a set one byte short is refused.
    std::string shortGet, shortSet;
    for (const Listed& p : listed) {
        if (TakesInput(p.id) || p.size == 0 || p.size > 65536) continue;
        std::vector<unsigned char> buffer(p.size + 16, 0xA5);
        const UInt32 given = p.size - 1;
        UInt32 size = given;
        const OSStatus s =
            AudioUnitGetProperty(unit, p.id, kAudioUnitScope_Global, 0, buffer.data(), &size);
        bool spilled = false;
        for (size_t i = given; i < buffer.size(); ++i)
            spilled = spilled || buffer[i] != 0xA5;
        if (s == noErr && size <= given) {
            std::vector<unsigned char> head(buffer.begin(), buffer.begin() + size);
            ReleaseOwned(p.id, head);
        }
        const std::string what =
            "property " + std::to_string(p.id) + ": a get of " + std::to_string(given) + " bytes ";
        if (shortGet.empty() && spilled)
            shortGet = what + (s == noErr ? "succeeds" : "is refused") + " and writes past it";
        else if (shortGet.empty() && s == noErr && size > given)
            shortGet = what + "succeeds and claims " + std::to_string(size);
        if (p.writable && !p.data.empty() && shortSet.empty() &&
            !ShortSetAllowed(p.id, p.size - 1)) {
            const OSStatus ss = AudioUnitSetProperty(unit, p.id, kAudioUnitScope_Global, 0,
                                                     p.data.data(), p.size - 1);
            if (ss == noErr)
                shortSet = "property " + std::to_string(p.id) + ": a set of " +
                           std::to_string(p.size - 1) + " bytes succeeds";
        }
    }
    report.Check("properties: short buffers on get refused or cut to the buffer, nothing written "
                 "past it",
                 shortGet.empty(), shortGet);
    std::string unsized;
    for (const Listed& p : listed)
        if (unsized.empty() && !TakesInput(p.id) && p.size > 0 && p.size <= 65536)
            unsized = UnsizedGetProblem(unit, p.id, p.size);
    report.Check("properties: a get of size 0 or without a size refused, nothing written",
                 unsized.empty(), unsized);
    report.Check("properties: short buffers refused on set", shortSet.empty(), shortSet);

    std::string readOnly;
    for (const Listed& p : listed) {
        if (p.writable || p.data.empty() || !readOnly.empty()) continue;
        const OSStatus s =
            AudioUnitSetProperty(unit, p.id, kAudioUnitScope_Global, 0, p.data.data(), p.size);
        if (s == noErr) readOnly = "property " + std::to_string(p.id) + " accepts a set";
    }
    report.Check("properties: read-only properties refuse a set", readOnly.empty(), readOnly);

    bool offered = false;
    const std::string elementNames = ElementNameProblem(unit, &offered);
    const std::string namesCheck = "properties: element names: the info call agrees with get, "
                                   "the element past the buses refused as invalid";
    if (offered)
        report.Check(namesCheck, elementNames.empty(), elementNames);
    else
        report.Skip(namesCheck, "no element names");

    std::string unknown;
    auto expect = [&unknown](const std::string& what, OSStatus got, OSStatus want) {
        if (unknown.empty() && got != want)
            unknown = what + " answers " + StatusText(got) + ", not " + StatusText(want);
    };
    UInt32 size = 0;
    Boolean writable = false;
    unsigned char data[256] = {};
    expect("info of an unknown property",
           AudioUnitGetPropertyInfo(unit, kUnknownProperty, kAudioUnitScope_Global, 0, &size,
                                    &writable),
           kAudioUnitErr_InvalidProperty);
    size = sizeof data;
    expect("get of an unknown property",
           AudioUnitGetProperty(unit, kUnknownProperty, kAudioUnitScope_Global, 0, data, &size),
           kAudioUnitErr_InvalidProperty);
    expect("set of an unknown property",
           AudioUnitSetProperty(unit, kUnknownProperty, kAudioUnitScope_Global, 0, data, 4),
           kAudioUnitErr_InvalidProperty);
    // The element of a parameter's information is its ID: an unknown one may be called an
    // invalid element or an invalid parameter. The info call may answer the size regardless.
    auto unknownParameter = [](OSStatus s) {
        return s == kAudioUnitErr_InvalidElement || s == kAudioUnitErr_InvalidParameter;
    };
    size = sizeof(AudioUnitParameterInfo);
    const OSStatus infoGet = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo,
                                                  kAudioUnitScope_Global, 100000, data, &size);
    if (unknown.empty() && !unknownParameter(infoGet))
        unknown = "parameter info of element 100000 answers " + StatusText(infoGet);
    const OSStatus infoInfo = AudioUnitGetPropertyInfo(
        unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 100000, &size, &writable);
    if (unknown.empty() && infoInfo != noErr && !unknownParameter(infoInfo))
        unknown = "info of parameter info of element 100000 answers " + StatusText(infoInfo);
    // An unknown parameter may be named as a parameter or as an element: both say it is not
    // there. A set may also create it (the API's base classes do, until initialised), so it
    // comes after the get.
    Float32 value = 0.0f;
    const OSStatus get = AudioUnitGetParameter(unit, 100000, kAudioUnitScope_Global, 0, &value);
    if (unknown.empty() && !unknownParameter(get))
        unknown = "parameter 100000 answers " + StatusText(get);
    const OSStatus set = AudioUnitSetParameter(unit, 100000, kAudioUnitScope_Global, 0, 0.0f, 0);
    if (unknown.empty() && set != noErr && !unknownParameter(set))
        unknown = "a set of parameter 100000 answers " + StatusText(set);
    report.Check("properties: unknown IDs and elements answer the right error", unknown.empty(),
                 unknown);

    // The class info is what every host sets to restore a session.
    UInt32 classInfoSize = 0;
    Boolean classInfoWritable = false;
    if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                 &classInfoSize, &classInfoWritable) == noErr)
        report.Check("properties: the class info reported writable", classInfoWritable != 0,
                     "the info call says read-only");
    else
        report.Skip("properties: the class info reported writable", "no class info");

    bool writeOnly = false;
    const std::string writeOnlyProblem = WriteOnlyGetProblem(unit, &writeOnly);
    const std::string writeOnlyCheck =
        "properties: a get of a write-only property refused, nothing written";
    if (writeOnly)
        report.Check(writeOnlyCheck, writeOnlyProblem.empty(), writeOnlyProblem);
    else
        report.Skip(writeOnlyCheck, "no write-only property listed");
    const std::string names = NameInScopeProblem(unit, context.parameters);
    report.Check("properties: parameter and clump names in another scope refused or answered",
                 names.empty(), names);
}

} // namespace validate
