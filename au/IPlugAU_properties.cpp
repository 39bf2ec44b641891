// Property answers and changes, one table row per property, and the listener and render-notify
// registries.
#include "au/IPlugAU.h"
#include "au/IPlugAUQuality.h"
#include "plugin/HostValues.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Scope sets of the table: a bit per scope, or any scope at all.
constexpr UInt8 kAnyScope = 0;
constexpr UInt8 kGlobal = 1u << kAudioUnitScope_Global;
constexpr UInt8 kInput = 1u << kAudioUnitScope_Input;

OSStatus OkOr(bool ok, OSStatus error) {
    return ok ? OSStatus(noErr) : error;
}

bool ScopeAllowed(UInt8 scopes, AudioUnitScope scope) {
    return scopes == kAnyScope || (scope < 8 && (scopes & (1u << scope)));
}

UInt32 GetTagForNumChannels(int nChannels) {
    switch (nChannels) {
    case 1:
        return kAudioChannelLayoutTag_Mono;
    case 2:
        return kAudioChannelLayoutTag_Stereo;
    default:
        return kAudioChannelLayoutTag_Unknown;
    }
}

CFStringRef MakeCFString(const char* text) {
    return CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8);
}

// The UTF-8 text of a host string into text (size bytes), or "" when it does not fit. Every
// UTF-16 unit takes at least a byte, so a longer string is turned away before it is converted:
// the work done under the mutex stays bounded by size, however long the string.
void GetTextIfItFits(CFStringRef string, char* text, int size) {
    text[0] = 0;
    if (string && CFStringGetLength(string) < size)
        CFStringGetCString(string, text, size, kCFStringEncodingUTF8);
}

// A whole decimal number (blanks around it allowed) that a Float32 holds finitely.
bool ParseValue(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text) return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end || !std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    *value = v;
    return true;
}

// The one stream format the unit renders: 32-bit native float, one channel per buffer.
bool IsFloat32NonInterleaved(const AudioStreamBasicDescription& f) {
    const UInt32 kinds = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved |
                         kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian;
    return f.mFormatID == kAudioFormatLinearPCM &&
           (f.mFormatFlags & kinds) ==
               (kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved) &&
           f.mBitsPerChannel == 32 && f.mBytesPerFrame == 4 && f.mBytesPerPacket == 4 &&
           f.mFramesPerPacket == 1;
}

} // namespace

// Where a property call is addressed.
struct PropertyAddress {
    AudioUnitScope scope;
    AudioUnitElement element;
    bool Global() const { return scope == kAudioUnitScope_Global; }
};

// The rows' functions. check (optional) refuses an address the property does not have and
// sets a size or writable flag that depends on the state; get writes the answer into room the
// dispatch has checked; set applies a change to data the dispatch has checked for size.
struct IPlugAUProperties {
    using Check = OSStatus (*)(IPlugAU&, const PropertyAddress&, UInt32* size, Boolean* writable);
    using Get = OSStatus (*)(IPlugAU&, const PropertyAddress&, void* data);
    using Set = OSStatus (*)(IPlugAU&, const PropertyAddress&, const void* data);

    // ---- checks ----

    static OSStatus ParameterListSize(IPlugAU& au, const PropertyAddress& at, UInt32* size,
                                      Boolean*) {
        *size = at.Global() ? static_cast<UInt32>(au.NParams()) * sizeof(AudioUnitParameterID) : 0;
        return noErr;
    }
    static OSStatus ParameterElement(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        return OkOr(au.GetParam(static_cast<int>(at.element)), kAudioUnitErr_InvalidElement);
    }
    static OSStatus NoElement(IPlugAU&, const PropertyAddress&, UInt32*, Boolean*) {
        return kAudioUnitErr_InvalidElement;
    }
    static OSStatus NoLayout(IPlugAU&, const PropertyAddress&, UInt32*, Boolean*) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    static OSStatus StreamBus(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        return OkOr(au.GetBus(at.scope, at.element), kAudioUnitErr_InvalidProperty);
    }
    static OSStatus ChannelConfigsSize(IPlugAU& au, const PropertyAddress&, UInt32* size,
                                       Boolean*) {
        *size = static_cast<UInt32>(au.NChannelIO()) * sizeof(AUChannelInfo);
        return noErr;
    }
    static OSStatus HasValueStrings(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        const IParam* param = au.GetParam(static_cast<int>(at.element));
        if (!param) return kAudioUnitErr_InvalidElement;
        return OkOr(param->GetNDisplayTexts(), kAudioUnitErr_InvalidProperty);
    }
    static OSStatus HasEditor(IPlugAU& au, const PropertyAddress&, UInt32*, Boolean*) {
        return OkOr(au.GetGUI(), kAudioUnitErr_InvalidProperty);
    }
    static OSStatus TailWritable(IPlugAU& au, const PropertyAddress&, UInt32*, Boolean* writable) {
        *writable = au.GetTailSize() > 0;
        return noErr;
    }
    // A rate belongs to the unit (global) or to a bus that exists, as a stream format does.
    static OSStatus RateBus(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        return RateAddress(au, at);
    }
    static OSStatus InputBusElement(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        return OkOr(at.element < static_cast<AudioUnitElement>(au.NInputBuses()),
                    kAudioUnitErr_InvalidProperty);
    }
    // A name for each bus there is; none for a label without a bus.
    static OSStatus NamedBus(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        const int i = static_cast<int>(at.element);
        if (at.scope == kAudioUnitScope_Output)
            return OkOr(at.element < static_cast<AudioUnitElement>(au.NOutputBuses()) &&
                            au.GetOutputBusLabel(i),
                        kAudioUnitErr_InvalidElement);
        if (at.scope == kAudioUnitScope_Input)
            return OkOr(at.element < static_cast<AudioUnitElement>(au.NInputBuses()) &&
                            au.GetInputBusLabel(i),
                        kAudioUnitErr_InvalidElement);
        return kAudioUnitErr_InvalidScope;
    }
    static OSStatus HasCocoaView(IPlugAU& au, const PropertyAddress&, UInt32*, Boolean*) {
        return OkOr(au.GetGUI() && au.systemVersion >= 0x1050, kAudioUnitErr_InvalidProperty);
    }
    static OSStatus LayoutBus(IPlugAU& au, const PropertyAddress& at, UInt32*, Boolean*) {
        if (!au.isInst || au.NOutputBuses() == 1) return kAudioUnitErr_InvalidProperty;
        if (at.scope == kAudioUnitScope_Input && !au.NInputBuses())
            return kAudioUnitErr_InvalidProperty;
        if (at.scope != kAudioUnitScope_Input && at.scope != kAudioUnitScope_Output)
            return kAudioUnitErr_InvalidProperty;
        return OkOr(LayoutBusOf(au, at), kAudioUnitErr_InvalidElement);
    }
    static OSStatus IsInstrument(IPlugAU& au, const PropertyAddress&, UInt32*, Boolean*) {
        return OkOr(au.isInst, kAudioUnitErr_InvalidProperty);
    }

    // ---- gets ----

    static OSStatus GetPlugObject(IPlugAU& au, const PropertyAddress&, void* data) {
        IPlugAU* self = &au;
        // NOLINTNEXTLINE(bugprone-sizeof-expression): the pointer is what travels
        std::memcpy(data, &self, sizeof self);
        return noErr;
    }
    static OSStatus GetClassInfo(IPlugAU& au, const PropertyAddress&, void* data) {
        return au.GetState(static_cast<CFPropertyListRef*>(data));
    }
    // A property that is only ever set: a get has nothing to answer, and says so rather than
    // leave the host's buffer as it was.
    static OSStatus GetWriteOnly(IPlugAU&, const PropertyAddress&, void*) {
        return kAudioUnitErr_PropertyNotInUse;
    }
    static OSStatus GetSampleRate(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<Float64*>(data) = au.GetSampleRate();
        return noErr;
    }
    static OSStatus GetParameterList(IPlugAU& au, const PropertyAddress& at, void* data) {
        if (at.Global())
            for (int i = 0; i < au.NParams(); ++i)
                static_cast<AudioUnitParameterID*>(data)[i] = static_cast<AudioUnitParameterID>(i);
        return noErr;
    }
    static OSStatus GetParameterInfo(IPlugAU& au, const PropertyAddress& at, void* data);
    static OSStatus GetStreamFormat(IPlugAU& au, const PropertyAddress& at, void* data) {
        const IPlugAU::BusChannels* bus = au.GetBus(at.scope, at.element);
        AudioStreamBasicDescription* format = static_cast<AudioStreamBasicDescription*>(data);
        std::memset(format, 0, sizeof *format);
        format->mSampleRate = au.GetSampleRate();
        format->mFormatID = kAudioFormatLinearPCM;
        format->mFormatFlags =
            kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
        format->mBytesPerPacket = 4;
        format->mFramesPerPacket = 1;
        format->mBytesPerFrame = 4;
        format->mChannelsPerFrame =
            static_cast<UInt32>(bus->nHostChannels < 0 ? bus->nPlugChannels : bus->nHostChannels);
        format->mBitsPerChannel = 32;
        return noErr;
    }
    static OSStatus GetElementCount(IPlugAU& au, const PropertyAddress& at, void* data) {
        UInt32 n = 0;
        if (at.Global())
            n = 1;
        else if (at.scope == kAudioUnitScope_Input)
            n = static_cast<UInt32>(au.NInputBuses());
        else if (at.scope == kAudioUnitScope_Output)
            n = static_cast<UInt32>(au.NOutputBuses());
        *static_cast<UInt32*>(data) = n;
        return noErr;
    }
    static OSStatus GetLatency(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<Float64*>(data) = au.GetLatency() / au.GetSampleRate();
        return noErr;
    }
    static OSStatus GetChannelConfigs(IPlugAU& au, const PropertyAddress&, void* data) {
        AUChannelInfo* infos = static_cast<AUChannelInfo*>(data);
        for (int i = 0; i < au.NChannelIO(); ++i) {
            infos[i].inChannels = static_cast<SInt16>(au.GetChannelIO(i)->in);
            infos[i].outChannels = static_cast<SInt16>(au.GetChannelIO(i)->out);
        }
        return noErr;
    }
    static OSStatus GetMaximumFrames(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<UInt32*>(data) = static_cast<UInt32>(au.GetBlockSize());
        return noErr;
    }
    static OSStatus GetValueStrings(IPlugAU& au, const PropertyAddress& at, void* data) {
        const IParam* param = au.GetParam(static_cast<int>(at.element));
        const int n = param->GetNDisplayTexts();
        CFMutableArrayRef texts =
            CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFTypeArrayCallBacks);
        if (!texts) return coreFoundationUnknownErr;
        for (int i = 0; i < n; ++i) {
            CFStringRef text = MakeCFString(param->GetDisplayTextAtIdx(i));
            CFArrayAppendValue(texts, text);
            CFRelease(text);
        }
        *static_cast<CFArrayRef*>(data) = texts;
        return noErr;
    }
    static OSStatus GetUIComponentList(IPlugAU& au, const PropertyAddress&, void* data) {
        ComponentDescription* cd = static_cast<ComponentDescription*>(data);
        cd->componentType = kAudioUnitCarbonViewComponentType;
        cd->componentSubType = static_cast<OSType>(au.GetUniqueID());
        cd->componentManufacturer = static_cast<OSType>(au.GetMfrID());
        cd->componentFlags = 0;
        cd->componentFlagsMask = 0;
        return noErr;
    }
    static OSStatus GetTailTime(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<Float64*>(data) = au.GetTailSize() / au.GetSampleRate();
        return noErr;
    }
    static OSStatus GetBypass(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<UInt32*>(data) = au.isBypassed ? 1 : 0;
        return noErr;
    }
    static OSStatus GetQuality(IPlugAU& au, const PropertyAddress&, void* data) {
        *static_cast<UInt32*>(data) = static_cast<UInt32>(au.GetQuality());
        return noErr;
    }
    static OSStatus GetLastRenderError(IPlugAU&, const PropertyAddress&, void* data) {
        *static_cast<OSStatus*>(data) = noErr;
        return noErr;
    }
    static OSStatus GetFactoryPresets(IPlugAU& au, const PropertyAddress&, void* data) {
        CFMutableArrayRef presets = au.CreateFactoryPresetArray();
        if (!presets) return coreFoundationUnknownErr;
        *static_cast<CFArrayRef*>(data) = presets;
        return noErr;
    }
    static OSStatus GetPreset(IPlugAU& au, const PropertyAddress&, void* data) {
        AUPreset* preset = static_cast<AUPreset*>(data);
        preset->presetNumber = au.GetCurrentPresetIdx();
        preset->presetName = MakeCFString(au.GetPresetName(au.GetCurrentPresetIdx()));
        return noErr;
    }
    static OSStatus GetElementName(IPlugAU& au, const PropertyAddress& at, void* data) {
        const int i = static_cast<int>(at.element);
        const WDL_String* label =
            at.scope == kAudioUnitScope_Output ? au.GetOutputBusLabel(i) : au.GetInputBusLabel(i);
        *static_cast<CFStringRef*>(data) = MakeCFString(label->Get());
        return noErr;
    }
    static OSStatus GetCocoaUI(IPlugAU& au, const PropertyAddress&, void* data) {
        AudioUnitCocoaViewInfo* viewInfo = static_cast<AudioUnitCocoaViewInfo*>(data);
        viewInfo->mCocoaAUViewBundleLocation =
            au.viewBundleURL ? static_cast<CFURLRef>(CFRetain(au.viewBundleURL)) : nullptr;
        viewInfo->mCocoaAUViewClass[0] = MakeCFString(au.GetViewClassName());
        return noErr;
    }
    static OSStatus GetLayoutTag(IPlugAU& au, const PropertyAddress& at, void* data) {
        *static_cast<UInt32*>(data) = GetTagForNumChannels(LayoutBusOf(au, at)->nPlugChannels);
        return noErr;
    }
    static OSStatus GetStringFromValue(IPlugAU& au, const PropertyAddress&, void* data) {
        AudioUnitParameterStringFromValue* sfv =
            static_cast<AudioUnitParameterStringFromValue*>(data);
        const IParam* param = au.GetParam(static_cast<int>(sfv->inParamID));
        if (!param || !sfv->inValue) return kAudioUnitErr_InvalidElement;
        param->GetDisplayForHost(*sfv->inValue, false, au.paramValueString,
                                 sizeof au.paramValueString);
        sfv->outString = MakeCFString(au.paramValueString);
        return noErr;
    }
    static OSStatus GetParameterIDName(IPlugAU& au, const PropertyAddress&, void* data) {
        AudioUnitParameterIDName* idName = static_cast<AudioUnitParameterIDName*>(data);
        const IParam* param = au.GetParam(static_cast<int>(idName->inID));
        if (!param || idName->inDesiredLength < kAudioUnitParameterName_Full)
            return kAudioUnitErr_InvalidElement;
        char name[IParam::kMaxNameLen];
        CopyCut(name, param->GetNameForHost(), sizeof name);
        if (idName->inDesiredLength != kAudioUnitParameterName_Full)
            name[std::min<SInt32>(idName->inDesiredLength, IParam::kMaxNameLen - 1)] = 0;
        idName->outName = MakeCFString(name);
        return noErr;
    }
    static OSStatus GetClumpName(IPlugAU& au, const PropertyAddress&, void* data) {
        AudioUnitParameterNameInfo* clump = static_cast<AudioUnitParameterNameInfo*>(data);
        if (static_cast<SInt32>(clump->inID) <= 0) return kAudioUnitErr_PropertyNotInUse;
        const char* group = au.paramGroups.Get(static_cast<int>(clump->inID) - 1);
        if (!group) return kAudioUnitErr_InvalidElement;
        clump->outName = MakeCFString(group);
        return noErr;
    }
    // A display text of the parameter, else a number; anything else is refused.
    static OSStatus GetValueFromString(IPlugAU& au, const PropertyAddress&, void* data) {
        AudioUnitParameterValueFromString* vfs =
            static_cast<AudioUnitParameterValueFromString*>(data);
        const IParam* param = au.GetParam(static_cast<int>(vfs->inParamID));
        if (!param) return kAudioUnitErr_InvalidElement;
        char text[128];
        GetTextIfItFits(vfs->inString, text, sizeof text);
        int entry;
        double v;
        if (param->GetNDisplayTexts() && param->MapDisplayText(text, &entry))
            vfs->outValue = static_cast<AudioUnitParameterValue>(entry);
        else if (ParseValue(text, &v))
            vfs->outValue =
                static_cast<AudioUnitParameterValue>(param->GetNegateDisplay() ? -v : v);
        else
            return kAudioUnitErr_InvalidPropertyValue;
        return noErr;
    }
    static OSStatus GetInstrumentCount(IPlugAU&, const PropertyAddress&, void* data) {
        *static_cast<UInt32*>(data) = 1;
        return noErr;
    }

    // ---- sets (under the mutex unless the row says the setter takes it) ----

    static OSStatus SetClassInfo(IPlugAU& au, const PropertyAddress&, const void* data) {
        return au.SetState(*static_cast<const CFPropertyListRef*>(data));
    }
    static OSStatus SetConnection(IPlugAU& au, const PropertyAddress&, const void* data) {
        return au.MakeConnection(static_cast<const AudioUnitConnection*>(data));
    }
    static OSStatus SetSampleRate(IPlugAU& au, const PropertyAddress& at, const void* data) {
        if (OSStatus status = RateAddress(au, at)) return status;
        const Float64 rate = *static_cast<const Float64*>(data);
        if (!UsableSampleRate(rate)) return kAudioUnitErr_InvalidPropertyValue;
        au.SetSampleRate(rate);
        au.Reset();
        return noErr;
    }
    static OSStatus SetStreamFormat(IPlugAU& au, const PropertyAddress& at, const void* data) {
        return au.SetStreamFormat(at.scope, at.element,
                                  static_cast<const AudioStreamBasicDescription*>(data));
    }
    static OSStatus SetMaximumFrames(IPlugAU& au, const PropertyAddress&, const void* data) {
        const UInt32 frames = *static_cast<const UInt32*>(data);
        if (frames == 0 || frames > (1u << 20)) return kAudioUnitErr_InvalidPropertyValue;
        au.SetBlockSize(static_cast<int>(frames));
        au.Reset();
        return noErr;
    }
    static OSStatus SetBypass(IPlugAU& au, const PropertyAddress&, const void* data) {
        au.isBypassed = *static_cast<const UInt32*>(data) != 0;
        au.OnActivate(!au.isBypassed);
        au.Reset();
        return noErr;
    }
    static OSStatus SetQuality(IPlugAU& au, const PropertyAddress&, const void* data) {
        const UInt32 quality = *static_cast<const UInt32*>(data);
        if (quality > 1 || !au.ChangeQuality(static_cast<int>(quality)))
            return kAudioUnitErr_InvalidPropertyValue;
        return noErr;
    }
    static OSStatus SetRenderCallback(IPlugAU& au, const PropertyAddress& at, const void* data) {
        IPlugAU::UpstreamLink* link = au.inBusConnections.Get(static_cast<int>(at.element));
        if (!link) return kAudioUnitErr_InvalidProperty;
        *link = IPlugAU::UpstreamLink();
        const AURenderCallbackStruct* callback = static_cast<const AURenderCallbackStruct*>(data);
        if (callback->inputProc) link->renderCallback = *callback;
        au.AssessInputConnections();
        return noErr;
    }
    // The first four members are kept; the second transport procedure is not used.
    static OSStatus SetHostCallbacks(IPlugAU& au, const PropertyAddress&, const void* data) {
        const HostCallbackInfo* info = static_cast<const HostCallbackInfo*>(data);
        au.hostCallbacks = HostCallbackInfo();
        au.hostCallbacks.hostUserData = info->hostUserData;
        au.hostCallbacks.beatAndTempoProc = info->beatAndTempoProc;
        au.hostCallbacks.musicalTimeLocationProc = info->musicalTimeLocationProc;
        au.hostCallbacks.transportStateProc = info->transportStateProc;
        return noErr;
    }
    // Only a factory preset by its number; anything else keeps the current preset.
    static OSStatus SetPreset(IPlugAU& au, const PropertyAddress&, const void* data) {
        const SInt32 number = static_cast<const AUPreset*>(data)->presetNumber;
        if (number < 0 || number >= au.NPresets()) return kAudioUnitErr_InvalidPropertyValue;
        return OkOr(au.RestorePreset(number), kAudioUnitErr_InvalidPropertyValue);
    }
    static OSStatus SetOffline(IPlugAU& au, const PropertyAddress&, const void* data) {
        au.offline = *static_cast<const UInt32*>(data) != 0;
        return noErr;
    }
    static OSStatus SetHostIdentifier(IPlugAU& au, const PropertyAddress&, const void* data) {
        const AUHostIdentifier* identifier = static_cast<const AUHostIdentifier*>(data);
        char name[128];
        GetTextIfItFits(identifier->hostName, name, sizeof name);
        const NumVersion& v = identifier->hostVersion;
        au.SetHost(name, v.majorRev * 65536 + ((v.minorAndBugRev >> 4) & 0x0F) * 256 +
                             (v.minorAndBugRev & 0x0F));
        au.OnHostIdentified();
        return noErr;
    }

private:
    static OSStatus RateAddress(IPlugAU& au, const PropertyAddress& at) {
        if (at.scope != kAudioUnitScope_Global && at.scope != kAudioUnitScope_Input &&
            at.scope != kAudioUnitScope_Output)
            return kAudioUnitErr_InvalidScope;
        return OkOr(au.GetBus(at.scope, at.element), kAudioUnitErr_InvalidElement);
    }
    static const IPlugAU::BusChannels* LayoutBusOf(IPlugAU& au, const PropertyAddress& at) {
        const int i = static_cast<int>(at.element);
        return at.scope == kAudioUnitScope_Output ? au.outBuses.Get(i) : au.inBuses.Get(i);
    }
};

OSStatus IPlugAUProperties::GetParameterInfo(IPlugAU& au, const PropertyAddress& at, void* data) {
    const IParam* param = au.GetParam(static_cast<int>(at.element));
    AudioUnitParameterInfo* info = static_cast<AudioUnitParameterInfo*>(data);
    std::memset(info, 0, sizeof *info);
    info->flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_HasCFNameString |
                  kAudioUnitParameterFlag_CFNameRelease;
    if (param->GetCanAutomate()) info->flags |= kAudioUnitParameterFlag_IsWritable;
    if (param->GetIsMeta()) info->flags |= kAudioUnitParameterFlag_IsElementMeta;

    const char* name = param->GetNameForHost();
    info->cfNameString = MakeCFString(name);
    CopyCut(info->name, name, IParam::kMaxNameLen);

    switch (param->Type()) {
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
        info->unit = kAudioUnitParameterUnit_Indexed;
        break;
    case IParam::kTypeBool:
        info->unit = kAudioUnitParameterUnit_Boolean;
        break;
    default:
        if (*param->GetLabelForHost()) {
            info->unit = kAudioUnitParameterUnit_CustomUnit;
            info->unitName = MakeCFString(param->GetLabelForHost());
        } else {
            info->unit = kAudioUnitParameterUnit_Generic;
        }
    }

    double lo, hi;
    param->GetBounds(&lo, &hi);
    info->minValue = static_cast<AudioUnitParameterValue>(lo);
    info->maxValue = static_cast<AudioUnitParameterValue>(hi);
    // What a host's "reset to default" sets, whatever the value now.
    info->defaultValue = static_cast<AudioUnitParameterValue>(param->GetDefault());

    // The groups were listed at open, in parameter order; the clump ID is 1-based.
    const char* group = param->GetParamGroupForHost();
    for (int i = 0; *group && i < au.paramGroups.GetSize(); ++i) {
        if (!std::strcmp(au.paramGroups.Get(i), group)) {
            info->clumpID = static_cast<UInt32>(i + 1);
            info->flags |= kAudioUnitParameterFlag_HasClump;
            break;
        }
    }
    return noErr;
}

namespace {

// One property: the scopes it answers in, what info requests report, how it is read and set.
struct PropertyRow {
    AudioUnitPropertyID id;
    UInt8 scopes;        // for gets and info requests
    OSStatus scopeError; // the answer in any other scope
    UInt32 size;         // of the answer, unless check sets it
    bool writable;       // as info requests report it, unless check sets it
    IPlugAUProperties::Check check;
    IPlugAUProperties::Get get;
    UInt8 setScopes;
    UInt32 setSize; // the least data a set must bring
    IPlugAUProperties::Set set;
    bool setterLocks; // the setter reads outside data first and takes the mutex itself
    bool notifies;    // listeners are told after a set that succeeded
};

using P = IPlugAUProperties;
constexpr OSStatus kNoProp = kAudioUnitErr_InvalidProperty;
constexpr OSStatus kNoScope = kAudioUnitErr_InvalidScope;

// clang-format off
const PropertyRow kPropertyTable[] = {
    // id, get scopes, error elsewhere, size, writable, check, get,
    //     set scopes, set size, set, setter locks, notifies
    // NOLINTNEXTLINE(bugprone-sizeof-expression): the pointer is what travels
    {IPlugAU::kIPlugObjectPropertyID, kAnyScope, kNoProp, sizeof(IPlugAU*), false, nullptr,
         P::GetPlugObject, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_ClassInfo, kAnyScope, kNoProp, sizeof(CFPropertyListRef), true, nullptr,
         P::GetClassInfo,
         kAnyScope, sizeof(CFPropertyListRef), P::SetClassInfo, true, true},
    {kAudioUnitProperty_MakeConnection, kGlobal | kInput, kNoProp, sizeof(AudioUnitConnection),
         true, nullptr, P::GetWriteOnly,
         kGlobal | kInput, sizeof(AudioUnitConnection), P::SetConnection, true, true},
    {kAudioUnitProperty_SampleRate, kAnyScope, kNoProp, sizeof(Float64), true, P::RateBus,
         P::GetSampleRate,
         kAnyScope, sizeof(Float64), P::SetSampleRate, false, true},
    {kAudioUnitProperty_ParameterList, kAnyScope, kNoProp, 0, false, P::ParameterListSize,
         P::GetParameterList, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_ParameterInfo, kGlobal, kNoProp, sizeof(AudioUnitParameterInfo), false,
         P::ParameterElement, P::GetParameterInfo, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_FastDispatch, kAnyScope, kNoProp, 0, false, P::NoElement, nullptr,
         0, 0, nullptr, false, false},
    {kAudioUnitProperty_StreamFormat, kAnyScope, kNoProp, sizeof(AudioStreamBasicDescription),
         true, P::StreamBus, P::GetStreamFormat,
         kAnyScope, sizeof(AudioStreamBasicDescription), P::SetStreamFormat, false, true},
    {kAudioUnitProperty_ElementCount, kAnyScope, kNoProp, sizeof(UInt32), false, nullptr,
         P::GetElementCount, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_Latency, kGlobal, kNoProp, sizeof(Float64), false, nullptr,
         P::GetLatency, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_SupportedNumChannels, kGlobal, kNoProp, 0, false, P::ChannelConfigsSize,
         P::GetChannelConfigs, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_MaximumFramesPerSlice, kGlobal, kNoProp, sizeof(UInt32), true, nullptr,
         P::GetMaximumFrames,
         kAnyScope, sizeof(UInt32), P::SetMaximumFrames, false, true},
    {kAudioUnitProperty_ParameterValueStrings, kGlobal, kNoProp, sizeof(CFArrayRef), false,
         P::HasValueStrings, P::GetValueStrings, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_GetUIComponentList, kAnyScope, kNoProp, sizeof(ComponentDescription),
         false, P::HasEditor, P::GetUIComponentList, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_AudioChannelLayout, kAnyScope, kNoProp, 0, false, P::NoLayout, nullptr,
         0, 0, nullptr, false, false},
    {kAudioUnitProperty_TailTime, kGlobal, kNoProp, sizeof(Float64), false, P::TailWritable,
         P::GetTailTime, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_BypassEffect, kGlobal, kNoProp, sizeof(UInt32), true, nullptr,
         P::GetBypass,
         kAnyScope, sizeof(UInt32), P::SetBypass, false, true},
    {kIPlugQualityPropertyID, kGlobal, kNoProp, sizeof(UInt32), true, nullptr,
         P::GetQuality,
         kGlobal, sizeof(UInt32), P::SetQuality, false, true},
    {kAudioUnitProperty_LastRenderError, kGlobal, kNoProp, sizeof(OSStatus), false, nullptr,
         P::GetLastRenderError, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_SetRenderCallback, kGlobal | kInput, kNoProp,
         sizeof(AURenderCallbackStruct), true, P::InputBusElement, P::GetWriteOnly,
         kInput, sizeof(AURenderCallbackStruct), P::SetRenderCallback, false, true},
    {kAudioUnitProperty_FactoryPresets, kAnyScope, kNoProp, sizeof(CFArrayRef), false, nullptr,
         P::GetFactoryPresets, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_HostCallbacks, kGlobal, kNoProp, sizeof(HostCallbackInfo), true, nullptr,
         P::GetWriteOnly,
         kGlobal, sizeof(HostCallbackInfo), P::SetHostCallbacks, false, true},
    {kAudioUnitProperty_CurrentPreset, kAnyScope, kNoProp, sizeof(AUPreset), true, nullptr,
         P::GetPreset,
         kAnyScope, sizeof(AUPreset), P::SetPreset, false, true},
    {kAudioUnitProperty_ElementName, kAnyScope, kNoProp, sizeof(CFStringRef), false, P::NamedBus,
         P::GetElementName, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_CocoaUI, kAnyScope, kNoProp, sizeof(AudioUnitCocoaViewInfo), false,
         P::HasCocoaView, P::GetCocoaUI, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_SupportedChannelLayoutTags, kAnyScope, kNoProp, sizeof(UInt32), true,
         P::LayoutBus, P::GetLayoutTag, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_ParameterStringFromValue, kGlobal, kNoScope,
         sizeof(AudioUnitParameterStringFromValue), false, nullptr, P::GetStringFromValue,
         0, 0, nullptr, false, false},
    {kAudioUnitProperty_ParameterIDName, kGlobal, kNoScope, sizeof(AudioUnitParameterIDName),
         false, nullptr, P::GetParameterIDName, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_ParameterClumpName, kGlobal, kNoScope, sizeof(AudioUnitParameterNameInfo),
         false, nullptr, P::GetClumpName, 0, 0, nullptr, false, false},
    {kAudioUnitProperty_PresentPreset, kAnyScope, kNoProp, sizeof(AUPreset), true, nullptr,
         P::GetPreset,
         kAnyScope, sizeof(AUPreset), P::SetPreset, false, true},
    {kAudioUnitProperty_OfflineRender, kAnyScope, kNoProp, 0, false, nullptr, nullptr,
         kAnyScope, sizeof(UInt32), P::SetOffline, false, true},
    {kAudioUnitProperty_ParameterValueFromString, kGlobal, kNoScope,
         sizeof(AudioUnitParameterValueFromString), false, nullptr, P::GetValueFromString,
         0, 0, nullptr, false, false},
    {kAudioUnitProperty_AUHostIdentifier, kAnyScope, kNoProp, 0, false, nullptr, nullptr,
         kAnyScope, sizeof(AUHostIdentifier), P::SetHostIdentifier, false, true},
    {kMusicDeviceProperty_InstrumentCount, kGlobal, kNoProp, sizeof(UInt32), false,
         P::IsInstrument, P::GetInstrumentCount, 0, 0, nullptr, false, false},
};
// clang-format on

const PropertyRow* FindPropertyRow(AudioUnitPropertyID propID) {
    for (const PropertyRow& row : kPropertyTable)
        if (row.id == propID) return &row;
    return nullptr;
}

} // namespace

IPlugAU::BusChannels* IPlugAU::GetBus(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
    case kAudioUnitScope_Global:
    case kAudioUnitScope_Output:
        return outBuses.Get(static_cast<int>(element));
    case kAudioUnitScope_Input:
        return inBuses.Get(static_cast<int>(element));
    default:
        return nullptr;
    }
}

namespace {

// What a get of the property at this address would answer: its row, size and writable flag,
// or the status that refuses the address. Info requests and gets share it, so they agree.
OSStatus Answer(IPlugAU& au, AudioUnitPropertyID propID, const PropertyAddress& at,
                const PropertyRow** row, UInt32* size, Boolean* writable) {
    *row = FindPropertyRow(propID);
    if (!*row || (!(*row)->get && !(*row)->check)) return kAudioUnitErr_InvalidProperty;
    if (!ScopeAllowed((*row)->scopes, at.scope)) return (*row)->scopeError;
    *size = (*row)->size;
    *writable = (*row)->writable;
    if ((*row)->check)
        if (OSStatus status = (*row)->check(au, at, size, writable)) return status;
    return (*row)->get ? OSStatus(noErr) : OSStatus(kAudioUnitErr_InvalidProperty);
}

} // namespace

OSStatus IPlugAU::GetPropertyInfo(AudioUnitPropertyID propID, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* dataSize, Boolean* writeable) {
    if (dataSize) *dataSize = 0;
    if (writeable) *writeable = false;
    WDL_MutexLock lock(&mutex);
    const PropertyRow* row = nullptr;
    UInt32 size = 0;
    Boolean writable = false;
    if (OSStatus status = Answer(*this, propID, {scope, element}, &row, &size, &writable))
        return status;
    if (dataSize) *dataSize = size;
    if (writeable) *writeable = writable;
    return noErr;
}

OSStatus IPlugAU::GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, void* data, UInt32* dataSize) {
    if (!dataSize) return paramErr;
    if (!data) return GetPropertyInfo(propID, scope, element, dataSize, nullptr);
    WDL_MutexLock lock(&mutex);
    const PropertyAddress at = {scope, element};
    const PropertyRow* row = nullptr;
    UInt32 size = 0;
    Boolean writable = false;
    if (OSStatus status = Answer(*this, propID, at, &row, &size, &writable)) return status;
    if (*dataSize < size) return kAudioUnitErr_InvalidPropertyValue; // nothing written
    const OSStatus status = row->get(*this, at, data);
    if (status == noErr) *dataSize = size;
    return status;
}

OSStatus IPlugAU::SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, const void* data, UInt32 dataSize) {
    const PropertyRow* row = FindPropertyRow(propID);
    if (!row || !row->set || !ScopeAllowed(row->setScopes, scope))
        return kAudioUnitErr_InvalidProperty;
    if (!data || dataSize < row->setSize) return kAudioUnitErr_InvalidPropertyValue;
    const PropertyAddress at = {scope, element};
    OSStatus status;
    int latencyBefore, latencyAfter;
    {
        WDL_MutexLock lock(&mutex);
        latencyBefore = GetLatency();
    }
    if (row->setterLocks) {
        status = row->set(*this, at, data);
    } else {
        WDL_MutexLock lock(&mutex);
        status = row->set(*this, at, data);
    }
    {
        WDL_MutexLock lock(&mutex);
        latencyAfter = GetLatency();
    }
    // A rate, a restored state or a setting may change what the product's processing costs.
    if (latencyAfter != latencyBefore)
        InformListeners(kAudioUnitProperty_Latency, kAudioUnitScope_Global);
    if (status != noErr || !row->notifies) return status;
    InformListeners(propID, scope, element);
    if (propID == kAudioUnitProperty_MakeConnection) {
        // A connection brings the source's format to the input bus.
        const AudioUnitConnection* connection = static_cast<const AudioUnitConnection*>(data);
        if (connection->sourceAudioUnit)
            InformListeners(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                            connection->destInputNumber);
    }
    return noErr;
}

OSStatus IPlugAU::SetStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription* format) {
    BusChannels* bus = GetBus(scope, element);
    if (!bus) return kAudioUnitErr_InvalidProperty;
    // Anything but the format the render writes is refused, so the host converts; a refused
    // format changes nothing.
    if (!IsFloat32NonInterleaved(*format) || !UsableSampleRate(format->mSampleRate))
        return kAudioUnitErr_FormatNotSupported;
    const int nChannels = static_cast<int>(std::min<UInt32>(format->mChannelsPerFrame, 0x7fff));
    if (nChannels <= 0 || !CheckLegalIO(scope, static_cast<int>(element), nChannels))
        return kAudioUnitErr_InvalidProperty;
    bus->nHostChannels = nChannels;
    // The next render binds the plug-in's outputs to the new count.
    if (scope == kAudioUnitScope_Output) bus->connected = false;
    SetSampleRate(format->mSampleRate);
    AssessInputConnections();
    return noErr;
}

OSStatus IPlugAU::MakeConnection(const AudioUnitConnection* connection) {
    const int dest = static_cast<int>(connection->destInputNumber);
    if (connection->destInputNumber >= static_cast<UInt32>(inBusConnections.GetSize()))
        return kAudioUnitErr_InvalidProperty;
    // The source is another unit, with a mutex of its own: ask it before taking ours.
    AudioUnit source = connection->sourceAudioUnit;
    AudioStreamBasicDescription format;
    OSStatus result = noErr;
    AudioUnitRenderProc renderProc = nullptr;
    void* storage = nullptr;
    if (source) {
        UInt32 size = sizeof format;
        result =
            AudioUnitGetProperty(source, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                 connection->sourceOutputNumber, &format, &size);
        UInt32 procSize = sizeof renderProc;
        if (result == noErr &&
            AudioUnitGetProperty(source, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                 kAudioUnitRenderSelect, &renderProc, &procSize) == noErr &&
            renderProc)
            storage = GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(source));
        else
            renderProc = nullptr;
    }

    WDL_MutexLock lock(&mutex);
    UpstreamLink* link = inBusConnections.Get(dest);
    *link = UpstreamLink();
    if (source) {
        if (result == noErr)
            result = SetStreamFormat(kAudioUnitScope_Input, connection->destInputNumber, &format);
        if (result != noErr) {
            result = kAudioUnitErr_InvalidProperty;
        } else {
            link->upstreamUnit = source;
            link->upstreamBusIdx = connection->sourceOutputNumber;
            link->upstreamRenderProc = renderProc;
            link->upstreamStorage = storage;
        }
    }
    AssessInputConnections();
    return result;
}

// ---- Listeners ----

OSStatus IPlugAU::DoAddPropertyListener(AudioUnitPropertyID propID,
                                        AudioUnitPropertyListenerProc proc, void* userData) {
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < propertyListeners.GetSize(); ++i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc == proc && e->procArgs == userData) return noErr;
    }
    ListenerEntry* entry = new ListenerEntry{propID, proc, userData, nextListenerSerial};
    if (!propertyListeners.Add(entry)) {
        delete entry;
        return memFullErr;
    }
    ++nextListenerSerial;
    return noErr;
}

OSStatus IPlugAU::DoRemovePropertyListener(AudioUnitPropertyID propID,
                                           AudioUnitPropertyListenerProc proc) {
    WDL_MutexLock lock(&mutex);
    for (int i = propertyListeners.GetSize() - 1; i >= 0; --i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc == proc) propertyListeners.Delete(i, true);
    }
    return noErr;
}

OSStatus IPlugAU::DoRemovePropertyListenerWithUserData(AudioUnitPropertyID propID,
                                                       AudioUnitPropertyListenerProc proc,
                                                       void* userData) {
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < propertyListeners.GetSize(); ++i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc == proc && e->procArgs == userData) {
            propertyListeners.Delete(i, true);
            break;
        }
    }
    return noErr;
}

void IPlugAU::InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element) {
    // Walk by serial rather than by index: a listener may remove itself or others, or add new
    // ones (those wait for the next change), without another listener missing its call.
    UInt64 last;
    {
        WDL_MutexLock lock(&mutex);
        last = nextListenerSerial - 1;
    }
    UInt64 after = 0;
    for (;;) {
        ListenerEntry next = {};
        {
            WDL_MutexLock lock(&mutex);
            for (int i = 0; i < propertyListeners.GetSize(); ++i) {
                const ListenerEntry* e = propertyListeners.Get(i);
                if (e->propID == propID && e->serial > after && e->serial <= last &&
                    (!next.serial || e->serial < next.serial))
                    next = *e;
            }
        }
        if (!next.serial) break;
        after = next.serial;
        if (next.listenerProc)
            next.listenerProc(next.procArgs, componentInstance, propID, scope, element);
    }
}

// The render thread walks this list with the mutex held, so it changes only under the mutex.
OSStatus IPlugAU::DoAddRenderNotify(AURenderCallback proc, void* refCon) {
    if (!proc) return paramErr; // it would be called on the next render
    WDL_MutexLock lock(&mutex);
    AURenderCallbackStruct* entry = new AURenderCallbackStruct{proc, refCon};
    if (!renderNotify.Add(entry)) {
        delete entry;
        return memFullErr;
    }
    return noErr;
}

OSStatus IPlugAU::DoRemoveRenderNotify(AURenderCallback proc, void* refCon) {
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < renderNotify.GetSize(); ++i) {
        const AURenderCallbackStruct* entry = renderNotify.Get(i);
        if (entry->inputProc == proc && entry->inputProcRefCon == refCon) {
            renderNotify.Delete(i, true);
            break;
        }
    }
    return noErr;
}
