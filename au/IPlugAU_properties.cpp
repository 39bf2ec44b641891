// Property answers and changes, and the listener and render-notify registries.
#include "au/IPlugAU.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

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

OSStatus IPlugAU::GetParameterInfo(AudioUnitElement element, AudioUnitParameterInfo* info) {
    IParam* param = GetParam(static_cast<int>(element));
    if (!param) return kAudioUnitErr_InvalidElement;
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
    info->defaultValue = static_cast<AudioUnitParameterValue>(param->Value());

    const char* group = param->GetParamGroupForHost();
    if (*group) {
        int found = -1;
        for (int i = 0; i < paramGroups.GetSize() && found < 0; ++i)
            if (!std::strcmp(paramGroups.Get(i), group)) found = i;
        if (found < 0) {
            paramGroups.Add(group);
            found = paramGroups.GetSize() - 1;
        }
        info->clumpID = static_cast<UInt32>(found + 1);
        info->flags |= kAudioUnitParameterFlag_HasClump;
    }
    return noErr;
}

// dataSize is both the caller's buffer size (when data is given) and the size reported back.
OSStatus IPlugAU::GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32* dataSize, Boolean* writeable,
                              void* data) {
    const UInt32 capacity = *dataSize;
    // Sizes the answer and, when data is given, checks the caller made room for it. A caller
    // that passed no size (capacity 0 with data) is trusted, as the entry points allow.
    auto fits = [&](UInt32 size) {
        *dataSize = size;
        return !data || capacity == 0 || capacity >= size;
    };
#define ZERUB_SIZE_OR_REFUSE(size)                                                                 \
    if (!fits(size)) return kAudioUnitErr_InvalidPropertyValue

    const bool global = scope == kAudioUnitScope_Global;
    const int nParams = NParams();

    switch (propID) {
    case kIPlugObjectPropertyID:
        ZERUB_SIZE_OR_REFUSE(sizeof(IPlugAU*));
        if (!data) {
            *writeable = false;
        } else {
            IPlugAU* self = this;
            std::memcpy(data, &self, sizeof self);
        }
        return noErr;
    case kAudioUnitProperty_ClassInfo:
        ZERUB_SIZE_OR_REFUSE(sizeof(CFPropertyListRef));
        if (!data) return noErr;
        *writeable = true;
        return GetState(static_cast<CFPropertyListRef*>(data));
    case kAudioUnitProperty_MakeConnection:
        if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitConnection));
        *writeable = true;
        return noErr;
    case kAudioUnitProperty_SampleRate:
        ZERUB_SIZE_OR_REFUSE(sizeof(Float64));
        *writeable = true;
        if (data) *static_cast<Float64*>(data) = GetSampleRate();
        return noErr;
    case kAudioUnitProperty_ParameterList:
        if (!global) {
            *dataSize = 0;
            return noErr;
        }
        ZERUB_SIZE_OR_REFUSE(static_cast<UInt32>(nParams) * sizeof(AudioUnitParameterID));
        if (data)
            for (int i = 0; i < nParams; ++i)
                static_cast<AudioUnitParameterID*>(data)[i] = static_cast<AudioUnitParameterID>(i);
        return noErr;
    case kAudioUnitProperty_ParameterInfo:
        if (!global) return kAudioUnitErr_InvalidProperty;
        if (element >= static_cast<AudioUnitElement>(nParams)) return kAudioUnitErr_InvalidElement;
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitParameterInfo));
        return data ? GetParameterInfo(element, static_cast<AudioUnitParameterInfo*>(data)) : noErr;
    case kAudioUnitProperty_FastDispatch:
        return kAudioUnitErr_InvalidElement;
    case kAudioUnitProperty_StreamFormat: {
        BusChannels* bus = GetBus(scope, element);
        if (!bus) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioStreamBasicDescription));
        *writeable = true;
        if (data) {
            AudioStreamBasicDescription* format = static_cast<AudioStreamBasicDescription*>(data);
            std::memset(format, 0, sizeof *format);
            format->mSampleRate = GetSampleRate();
            format->mFormatID = kAudioFormatLinearPCM;
            format->mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked |
                                   kAudioFormatFlagIsNonInterleaved;
            format->mBytesPerPacket = 4;
            format->mFramesPerPacket = 1;
            format->mBytesPerFrame = 4;
            format->mChannelsPerFrame = static_cast<UInt32>(
                bus->nHostChannels < 0 ? bus->nPlugChannels : bus->nHostChannels);
            format->mBitsPerChannel = 32;
        }
        return noErr;
    }
    case kAudioUnitProperty_ElementCount:
        ZERUB_SIZE_OR_REFUSE(sizeof(UInt32));
        if (data) {
            UInt32 n = 0;
            if (global)
                n = 1;
            else if (scope == kAudioUnitScope_Input)
                n = static_cast<UInt32>(NInputBuses());
            else if (scope == kAudioUnitScope_Output)
                n = static_cast<UInt32>(NOutputBuses());
            *static_cast<UInt32*>(data) = n;
        }
        return noErr;
    case kAudioUnitProperty_Latency:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(Float64));
        if (data) *static_cast<Float64*>(data) = GetLatency() / GetSampleRate();
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        if (!global) return kAudioUnitErr_InvalidProperty;
        const int n = NChannelIO();
        ZERUB_SIZE_OR_REFUSE(static_cast<UInt32>(n) * sizeof(AUChannelInfo));
        if (data) {
            AUChannelInfo* infos = static_cast<AUChannelInfo*>(data);
            for (int i = 0; i < n; ++i) {
                infos[i].inChannels = static_cast<SInt16>(GetChannelIO(i)->in);
                infos[i].outChannels = static_cast<SInt16>(GetChannelIO(i)->out);
            }
        }
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(UInt32));
        *writeable = true;
        if (data) *static_cast<UInt32*>(data) = static_cast<UInt32>(GetBlockSize());
        return noErr;
    case kAudioUnitProperty_ParameterValueStrings: {
        if (!global) return kAudioUnitErr_InvalidProperty;
        const IParam* param = GetParam(static_cast<int>(element));
        if (!param) return kAudioUnitErr_InvalidElement;
        const int n = param->GetNDisplayTexts();
        if (!n) {
            *dataSize = 0;
            return kAudioUnitErr_InvalidProperty;
        }
        ZERUB_SIZE_OR_REFUSE(sizeof(CFArrayRef));
        if (data) {
            CFMutableArrayRef texts =
                CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFTypeArrayCallBacks);
            if (!texts) return coreFoundationUnknownErr;
            for (int i = 0; i < n; ++i) {
                CFStringRef text = MakeCFString(param->GetDisplayTextAtIdx(i));
                CFArrayAppendValue(texts, text);
                CFRelease(text);
            }
            *static_cast<CFArrayRef*>(data) = texts;
        }
        return noErr;
    }
    case kAudioUnitProperty_GetUIComponentList:
        if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(ComponentDescription));
        if (data) {
            ComponentDescription* cd = static_cast<ComponentDescription*>(data);
            cd->componentType = kAudioUnitCarbonViewComponentType;
            cd->componentSubType = static_cast<OSType>(GetUniqueID());
            cd->componentManufacturer = static_cast<OSType>(GetMfrID());
            cd->componentFlags = 0;
            cd->componentFlagsMask = 0;
        }
        return noErr;
    case kAudioUnitProperty_AudioChannelLayout:
        return kAudioUnitErr_InvalidPropertyValue;
    case kAudioUnitProperty_TailTime:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(Float64));
        *writeable = GetTailSize() > 0;
        if (data) *static_cast<Float64*>(data) = GetTailSize() / GetSampleRate();
        return noErr;
    case kAudioUnitProperty_BypassEffect:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(UInt32));
        *writeable = true;
        if (data) *static_cast<UInt32*>(data) = isBypassed ? 1 : 0;
        return noErr;
    case kAudioUnitProperty_LastRenderError:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(OSStatus));
        if (data) *static_cast<OSStatus*>(data) = noErr;
        return noErr;
    case kAudioUnitProperty_SetRenderCallback:
        if ((!global && scope != kAudioUnitScope_Input) ||
            element >= static_cast<AudioUnitElement>(NInputBuses()))
            return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(AURenderCallbackStruct));
        *writeable = true;
        return noErr;
    case kAudioUnitProperty_FactoryPresets:
        ZERUB_SIZE_OR_REFUSE(sizeof(CFArrayRef));
        if (data) {
            CFMutableArrayRef presetArray = CreateFactoryPresetArray();
            if (!presetArray) return coreFoundationUnknownErr;
            *static_cast<CFArrayRef*>(data) = presetArray;
        }
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        if (!global) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(4 * sizeof(void*));
        *writeable = true;
        return noErr;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        ZERUB_SIZE_OR_REFUSE(sizeof(AUPreset));
        *writeable = true;
        if (data) {
            AUPreset* preset = static_cast<AUPreset*>(data);
            preset->presetNumber = GetCurrentPresetIdx();
            preset->presetName = MakeCFString(GetPresetName(GetCurrentPresetIdx()));
        }
        return noErr;
    case kAudioUnitProperty_ElementName: {
        ZERUB_SIZE_OR_REFUSE(sizeof(CFStringRef));
        *writeable = false;
        if (!data) return kAudioUnitErr_InvalidProperty;
        const WDL_String* label = nullptr;
        if (scope == kAudioUnitScope_Output) {
            label = GetOutputBusLabel(static_cast<int>(element));
        } else if (scope == kAudioUnitScope_Input) {
            if (element > 1) return kAudioUnitErr_InvalidElement;
            label = GetInputBusLabel(static_cast<int>(element));
        } else {
            return kAudioUnitErr_InvalidScope;
        }
        if (!label) return kAudioUnitErr_InvalidElement;
        *static_cast<CFStringRef*>(data) = MakeCFString(label->Get());
        return noErr;
    }
    case kAudioUnitProperty_CocoaUI: {
        SInt32 systemVersion = 0;
        if (!GetGUI() || Gestalt(gestaltSystemVersion, &systemVersion) != noErr ||
            systemVersion < 0x1050)
            return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitCocoaViewInfo));
        if (data) {
            CFStringRef identifier = MakeCFString(GetBundleID());
            CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
            CFRelease(identifier);
            AudioUnitCocoaViewInfo* viewInfo = static_cast<AudioUnitCocoaViewInfo*>(data);
            viewInfo->mCocoaAUViewBundleLocation = bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
            viewInfo->mCocoaAUViewClass[0] = MakeCFString(GetViewClassName());
        }
        return noErr;
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
        if (!isInst || NOutputBuses() == 1) return kAudioUnitErr_InvalidProperty;
        const BusChannels* bus = nullptr;
        if (scope == kAudioUnitScope_Output) {
            bus = outBuses.Get(static_cast<int>(element));
        } else if (scope == kAudioUnitScope_Input) {
            if (!NInputBuses()) return kAudioUnitErr_InvalidProperty;
            bus = inBuses.Get(static_cast<int>(element));
        } else {
            return kAudioUnitErr_InvalidProperty;
        }
        if (!bus) return kAudioUnitErr_InvalidElement;
        ZERUB_SIZE_OR_REFUSE(sizeof(UInt32));
        *writeable = true;
        if (data) *static_cast<UInt32*>(data) = GetTagForNumChannels(bus->nPlugChannels);
        return noErr;
    }
    case kAudioUnitProperty_ParameterStringFromValue: {
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitParameterStringFromValue));
        if (!global || !data) return noErr;
        AudioUnitParameterStringFromValue* sfv =
            static_cast<AudioUnitParameterStringFromValue*>(data);
        const IParam* param = GetParam(static_cast<int>(sfv->inParamID));
        if (!param || !sfv->inValue) return kAudioUnitErr_InvalidElement;
        param->GetDisplayForHost(*sfv->inValue, false, paramValueString, sizeof paramValueString);
        sfv->outString = MakeCFString(paramValueString);
        return noErr;
    }
    case kAudioUnitProperty_ParameterIDName: {
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitParameterIDName));
        if (!global || !data) return noErr;
        AudioUnitParameterIDName* idName = static_cast<AudioUnitParameterIDName*>(data);
        const IParam* param = GetParam(static_cast<int>(idName->inID));
        if (!param || idName->inDesiredLength < kAudioUnitParameterName_Full)
            return kAudioUnitErr_InvalidElement;
        char name[IParam::kMaxNameLen];
        CopyCut(name, param->GetNameForHost(), sizeof name);
        if (idName->inDesiredLength != kAudioUnitParameterName_Full)
            name[std::min<SInt32>(idName->inDesiredLength, IParam::kMaxNameLen - 1)] = 0;
        idName->outName = MakeCFString(name);
        return noErr;
    }
    case kAudioUnitProperty_ParameterClumpName: {
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitParameterNameInfo));
        if (!global || !data) return noErr;
        AudioUnitParameterNameInfo* clump = static_cast<AudioUnitParameterNameInfo*>(data);
        if (static_cast<SInt32>(clump->inID) <= 0) return kAudioUnitErr_PropertyNotInUse;
        const char* group = paramGroups.Get(static_cast<int>(clump->inID) - 1);
        if (!group) return kAudioUnitErr_InvalidElement;
        clump->outName = MakeCFString(group);
        return noErr;
    }
    case kAudioUnitProperty_ParameterValueFromString: {
        ZERUB_SIZE_OR_REFUSE(sizeof(AudioUnitParameterValueFromString));
        if (!global || !data) return noErr;
        AudioUnitParameterValueFromString* vfs =
            static_cast<AudioUnitParameterValueFromString*>(data);
        const IParam* param = GetParam(static_cast<int>(vfs->inParamID));
        if (!param) return kAudioUnitErr_InvalidElement;
        char text[128];
        GetTextIfItFits(vfs->inString, text, sizeof text);
        if (param->GetNDisplayTexts()) {
            int v;
            if (param->MapDisplayText(text, &v))
                vfs->outValue = static_cast<AudioUnitParameterValue>(v);
        } else {
            // Text that reads as no finite Float32 ("nan", "inf", 1e999, 1e300) is matched by
            // nothing, like an unknown display text: outValue stays.
            const double v = std::atof(text);
            if (std::isfinite(v) && std::fabs(v) <= FLT_MAX)
                vfs->outValue =
                    static_cast<AudioUnitParameterValue>(param->GetNegateDisplay() ? -v : v);
        }
        return noErr;
    }
    case kMusicDeviceProperty_InstrumentCount:
        if (!global || !isInst) return kAudioUnitErr_InvalidProperty;
        ZERUB_SIZE_OR_REFUSE(sizeof(UInt32));
        if (data) *static_cast<UInt32*>(data) = 1;
        return noErr;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
#undef ZERUB_SIZE_OR_REFUSE
}

OSStatus IPlugAU::SetStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription* format) {
    BusChannels* bus = GetBus(scope, element);
    if (!bus) return kAudioUnitErr_InvalidProperty;
    const int nChannels = static_cast<int>(std::min<UInt32>(format->mChannelsPerFrame, 0x7fff));
    const bool legal = nChannels > 0 && CheckLegalIO(scope, static_cast<int>(element), nChannels);
    const bool accepted =
        format->mFormatID == kAudioFormatLinearPCM &&
        (format->mFormatFlags & (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked));
    // A refused format changes nothing: the bus keeps the count it had, so the unit renders
    // and re-initialises as before.
    if (!legal || !accepted) return kAudioUnitErr_InvalidProperty;
    bus->nHostChannels = nChannels;
    // The next render binds the plug-in's outputs to the new count.
    if (scope == kAudioUnitScope_Output) bus->connected = false;
    if (format->mSampleRate > 0.0) SetSampleRate(format->mSampleRate);
    AssessInputConnections();
    return noErr;
}

OSStatus IPlugAU::MakeConnection(const AudioUnitConnection* connection) {
    UpstreamLink* link = inBusConnections.Get(static_cast<int>(connection->destInputNumber));
    *link = UpstreamLink();
    OSStatus result = noErr;
    if (connection->sourceAudioUnit) {
        AudioStreamBasicDescription format;
        UInt32 size = sizeof format;
        result = AudioUnitGetProperty(connection->sourceAudioUnit, kAudioUnitProperty_StreamFormat,
                                      kAudioUnitScope_Output, connection->sourceOutputNumber,
                                      &format, &size);
        if (result == noErr) {
            UInt32 setSize = sizeof format;
            result = SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                 connection->destInputNumber, &setSize, &format);
        }
        if (result != noErr) {
            *link = UpstreamLink();
            result = kAudioUnitErr_InvalidProperty;
        } else {
            link->upstreamUnit = connection->sourceAudioUnit;
            link->upstreamBusIdx = connection->sourceOutputNumber;
            AudioUnitRenderProc renderProc = nullptr;
            UInt32 procSize = sizeof renderProc;
            if (AudioUnitGetProperty(connection->sourceAudioUnit, kAudioUnitProperty_FastDispatch,
                                     kAudioUnitScope_Global, kAudioUnitRenderSelect, &renderProc,
                                     &procSize) == noErr &&
                renderProc) {
                link->upstreamRenderProc = renderProc;
                link->upstreamStorage = GetComponentInstanceStorage(
                    reinterpret_cast<ComponentInstance>(connection->sourceAudioUnit));
            }
        }
    }
    AssessInputConnections();
    return result;
}

OSStatus IPlugAU::SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32* dataSize, const void* data) {
    InformListeners(propID, scope);

    // Every settable property carries a structure: refuse what cannot hold it.
    const UInt32 size = dataSize ? *dataSize : 0;
    auto holds = [&](size_t needed) { return data && (!dataSize || size >= needed); };
    const bool global = scope == kAudioUnitScope_Global;

    switch (propID) {
    case kAudioUnitProperty_ClassInfo:
        if (!holds(sizeof(CFPropertyListRef))) return kAudioUnitErr_InvalidPropertyValue;
        return SetState(*static_cast<const CFPropertyListRef*>(data));
    case kAudioUnitProperty_MakeConnection: {
        if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
        if (!holds(sizeof(AudioUnitConnection))) return kAudioUnitErr_InvalidPropertyValue;
        const AudioUnitConnection* connection = static_cast<const AudioUnitConnection*>(data);
        if (connection->destInputNumber >= static_cast<UInt32>(inBusConnections.GetSize()))
            return kAudioUnitErr_InvalidProperty;
        return MakeConnection(connection);
    }
    case kAudioUnitProperty_SampleRate: {
        if (!holds(sizeof(Float64))) return kAudioUnitErr_InvalidPropertyValue;
        const Float64 rate = *static_cast<const Float64*>(data);
        if (!(rate > 0.0)) return kAudioUnitErr_InvalidPropertyValue; // a rate divides later
        SetSampleRate(rate);
        Reset();
        return noErr;
    }
    case kAudioUnitProperty_StreamFormat:
        if (!holds(sizeof(AudioStreamBasicDescription))) return kAudioUnitErr_InvalidPropertyValue;
        return SetStreamFormat(scope, element,
                               static_cast<const AudioStreamBasicDescription*>(data));
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        if (!holds(sizeof(UInt32))) return kAudioUnitErr_InvalidPropertyValue;
        const UInt32 frames = *static_cast<const UInt32*>(data);
        if (frames == 0 || frames > (1u << 20)) return kAudioUnitErr_InvalidPropertyValue;
        SetBlockSize(static_cast<int>(frames));
        Reset();
        return noErr;
    }
    case kAudioUnitProperty_BypassEffect:
        if (!holds(sizeof(UInt32))) return kAudioUnitErr_InvalidPropertyValue;
        isBypassed = *static_cast<const UInt32*>(data) != 0;
        OnActivate(!isBypassed);
        Reset();
        return noErr;
    case kAudioUnitProperty_SetRenderCallback: {
        if (scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
        UpstreamLink* link = inBusConnections.Get(static_cast<int>(element));
        if (!link) return kAudioUnitErr_InvalidProperty;
        if (!holds(sizeof(AURenderCallbackStruct))) return kAudioUnitErr_InvalidPropertyValue;
        *link = UpstreamLink();
        const AURenderCallbackStruct* callback = static_cast<const AURenderCallbackStruct*>(data);
        if (callback->inputProc) link->renderCallback = *callback;
        AssessInputConnections();
        return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
        if (!global) return kAudioUnitErr_InvalidProperty;
        if (!holds(4 * sizeof(void*))) return kAudioUnitErr_InvalidPropertyValue;
        const HostCallbackInfo* info = static_cast<const HostCallbackInfo*>(data);
        hostCallbacks = HostCallbackInfo();
        hostCallbacks.hostUserData = info->hostUserData;
        hostCallbacks.beatAndTempoProc = info->beatAndTempoProc;
        hostCallbacks.musicalTimeLocationProc = info->musicalTimeLocationProc;
        hostCallbacks.transportStateProc = info->transportStateProc;
        return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        if (!holds(sizeof(AUPreset))) return kAudioUnitErr_InvalidPropertyValue;
        RestorePreset(static_cast<const AUPreset*>(data)->presetNumber);
        return noErr;
    case kAudioUnitProperty_OfflineRender:
        if (!holds(sizeof(UInt32))) return kAudioUnitErr_InvalidPropertyValue;
        offline = *static_cast<const UInt32*>(data) != 0;
        return noErr;
    case kAudioUnitProperty_AUHostIdentifier: {
        if (!holds(sizeof(AUHostIdentifier))) return kAudioUnitErr_InvalidPropertyValue;
        const AUHostIdentifier* identifier = static_cast<const AUHostIdentifier*>(data);
        char name[128];
        GetTextIfItFits(identifier->hostName, name, sizeof name);
        const NumVersion& v = identifier->hostVersion;
        SetHost(name, v.majorRev * 65536 + ((v.minorAndBugRev >> 4) & 0x0F) * 256 +
                          (v.minorAndBugRev & 0x0F));
        OnHostIdentified();
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus IPlugAU::DoGetPropertyInfo(AudioUnitPropertyID propID, AudioUnitScope scope,
                                    AudioUnitElement element, UInt32* dataSize,
                                    Boolean* writeable) {
    WDL_MutexLock lock(&mutex);
    UInt32 localSize = 0;
    Boolean localWriteable = false;
    if (!dataSize) dataSize = &localSize;
    if (!writeable) writeable = &localWriteable;
    *dataSize = 0;
    *writeable = false;
    return GetProperty(propID, scope, element, dataSize, writeable, nullptr);
}

OSStatus IPlugAU::DoGetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                                AudioUnitElement element, void* data, UInt32* dataSize) {
    WDL_MutexLock lock(&mutex);
    UInt32 localSize = 0;
    Boolean writeable = false;
    if (!dataSize) dataSize = &localSize;
    return GetProperty(propID, scope, element, dataSize, &writeable, data);
}

OSStatus IPlugAU::DoSetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                                AudioUnitElement element, const void* data, UInt32 dataSize) {
    if (propID == kAudioUnitProperty_ClassInfo) {
        // The dictionary is outside data of any size: read and check it before taking the
        // mutex, so that rendering never waits on it. Listeners hear the set as before.
        ClassInfoState state;
        const OSStatus read = data && dataSize >= sizeof(CFPropertyListRef)
                                  ? ReadState(*static_cast<const CFPropertyListRef*>(data), &state)
                                  : OSStatus(kAudioUnitErr_InvalidPropertyValue);
        WDL_MutexLock lock(&mutex);
        InformListeners(propID, scope);
        return read != noErr ? read : ApplyState(&state);
    }
    WDL_MutexLock lock(&mutex);
    return SetProperty(propID, scope, element, &dataSize, data);
}

// ---- Listeners ----

OSStatus IPlugAU::DoAddPropertyListener(AudioUnitPropertyID propID,
                                        AudioUnitPropertyListenerProc proc, void* userData) {
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < propertyListeners.GetSize(); ++i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc == proc) return noErr;
    }
    propertyListeners.Add(new ListenerEntry{propID, proc, userData});
    return noErr;
}

OSStatus IPlugAU::DoRemovePropertyListener(AudioUnitPropertyID propID,
                                           AudioUnitPropertyListenerProc proc) {
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < propertyListeners.GetSize(); ++i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc == proc) {
            propertyListeners.Delete(i, true);
            break;
        }
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

void IPlugAU::InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope) {
    for (int i = 0; i < propertyListeners.GetSize(); ++i) {
        const ListenerEntry* e = propertyListeners.Get(i);
        if (e->propID == propID && e->listenerProc)
            e->listenerProc(e->procArgs, componentInstance, propID, scope, 0);
    }
}

// The render thread walks this list with the mutex held, so it changes only under the mutex.
OSStatus IPlugAU::DoAddRenderNotify(AURenderCallback proc, void* refCon) {
    if (!proc) return paramErr; // it would be called on the next render
    WDL_MutexLock lock(&mutex);
    renderNotify.Add(new AURenderCallbackStruct{proc, refCon});
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
