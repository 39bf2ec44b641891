// Construction, buses, initialise and the component entry points of the wrapper.
#include "au/IPlugAU.h"

#include "editor/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

IPlugAU::IPlugAU(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr,
                 int nPresets, const char* effectNameText, const char* productNameText,
                 const char* mfrNameText, int vendorVersion, int uniqueId, int mfrId,
                 int latencySamples, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                 int plugScChans)
    : IPlugBase(nParams, channelIOStr, nPresets, effectNameText, productNameText, mfrNameText,
                vendorVersion, uniqueId, mfrId, latencySamples, plugDoesMidi, plugDoesChunks,
                plugIsInst, kAPIAU) {
    bundleID.Set(instanceInfo.bundleID.Get());
    viewClassName.Set(instanceInfo.cocoaViewFactoryClassName.Get());

    const int nIn = NInChannels(), nOut = NOutChannels();
    auto addInBus = [this](int nChannels, int first) {
        BusChannels* bus = new BusChannels;
        bus->nPlugChannels = nChannels;
        bus->plugChannelStartIdx = first;
        inBuses.Add(bus);
        inBusConnections.Add(new UpstreamLink);
    };
    if (nIn > 0 && plugScChans != 0) {
        addInBus(nIn - plugScChans, 0);
        addInBus(plugScChans, nIn - plugScChans);
        SetInputBusLabel(0, "main input");
        SetInputBusLabel(1, "aux input");
    } else if (nIn > 0) {
        addInBus(nIn, 0);
        SetInputBusLabel(0, "input");
        SetInputBusLabel(1, "aux input");
    }

    if (plugIsInst) {
        const int nBuses = (nOut + 1) / 2;
        for (int i = 0; i < nBuses; ++i) {
            BusChannels* bus = new BusChannels;
            bus->plugChannelStartIdx = 2 * i;
            bus->nPlugChannels = std::min(nOut - 2 * i, 2);
            outBuses.Add(bus);
            char label[32];
            std::snprintf(label, sizeof label, "output %i", i + 1);
            SetOutputBusLabel(i, label);
        }
    } else {
        BusChannels* bus = new BusChannels;
        bus->nPlugChannels = nOut;
        outBuses.Add(bus);
        SetOutputBusLabel(0, "output");
    }

    AssessInputConnections();
    SetBlockSize(1024);
}

IPlugAU::~IPlugAU() {
    if (viewBundleURL) CFRelease(viewBundleURL);
    renderNotify.Empty(true);
    inBuses.Empty(true);
    outBuses.Empty(true);
    inBusConnections.Empty(true);
    propertyListeners.Empty(true);
}

void IPlugAU::OnOpen() {
    AudioComponent component = AudioComponentInstanceGetComponent(componentInstance);
    componentDescStatus = AudioComponentGetDescription(component, &componentDesc);

    if (viewBundleURL) CFRelease(viewBundleURL);
    viewBundleURL = nullptr;
    CFStringRef identifier =
        CFStringCreateWithCString(kCFAllocatorDefault, GetBundleID(), kCFStringEncodingUTF8);
    if (CFBundleRef bundle = identifier ? CFBundleGetBundleWithIdentifier(identifier) : nullptr)
        viewBundleURL = CFBundleCopyBundleURL(bundle);
    if (identifier) CFRelease(identifier);
    if (Gestalt(gestaltSystemVersion, &systemVersion) != noErr) systemVersion = 0;

    // Clump IDs are positions in this list, in the order the parameters name their groups.
    WDL_MutexLock lock(&mutex);
    paramGroups.Empty();
    for (int i = 0; i < NParams(); ++i) {
        const char* group = GetParam(i)->GetParamGroupForHost();
        bool known = !*group;
        for (int g = 0; g < paramGroups.GetSize() && !known; ++g)
            known = !std::strcmp(paramGroups.Get(g), group);
        if (!known) paramGroups.Add(group);
    }
}

IPlugAU::EAUInputType IPlugAU::GetInputType(int bus) const {
    const UpstreamLink* link = inBusConnections.Get(bus);
    return link ? link->inputType : eNotConnected;
}

int IPlugAU::NHostChannelsConnected(const WDL_PtrList<BusChannels>& buses, int excludeIdx) const {
    bool any = false;
    int total = 0;
    for (int i = 0; i < buses.GetSize(); ++i) {
        const BusChannels* bus = buses.Get(i);
        if (i != excludeIdx && bus->nHostChannels >= 0) {
            total += bus->nHostChannels;
            any = true;
        }
    }
    return any ? total : -1;
}

bool IPlugAU::CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels) {
    int nIn, nOut;
    if (scope == kAudioUnitScope_Input) {
        nIn = std::max(NHostChannelsConnected(inBuses, busIdx), 0) + nChannels;
        nOut = active ? NHostChannelsConnected(outBuses, -1) : -1;
    } else {
        nIn = active ? NHostChannelsConnected(inBuses, -1) : -1;
        nOut = std::max(NHostChannelsConnected(outBuses, busIdx), 0) + nChannels;
    }
    return LegalIO(nIn, nOut);
}

OSStatus IPlugAU::DoInitialize() {
    WDL_MutexLock lock(&mutex);
    const int nIn = NHostChannelsConnected(inBuses, -1);
    const int nOut = NHostChannelsConnected(outBuses, -1);
    if (!(nIn == 0 && nOut == 0) && !LegalIO(nIn, nOut)) return badComponentSelector;
    active = true;
    OnParamReset();
    OnActivate(true);
    return noErr;
}

void IPlugAU::DoUninitialize() {
    WDL_MutexLock lock(&mutex);
    active = false;
    OnActivate(false);
}

void IPlugAU::ClearConnections() {
    for (int i = 0; i < inBuses.GetSize(); ++i) {
        BusChannels* bus = inBuses.Get(i);
        bus->connected = false;
        bus->nHostChannels = -1;
        *inBusConnections.Get(i) = UpstreamLink();
    }
    for (int i = 0; i < outBuses.GetSize(); ++i) {
        BusChannels* bus = outBuses.Get(i);
        bus->connected = false;
        bus->nHostChannels = -1;
    }
}

// ---- Factory record ----

size_t IPlugAUFactory::ObjectOffset() {
    // Keep the object at its natural alignment after the hooks.
    return (sizeof(IPlugAUFactory) + alignof(std::max_align_t) - 1) &
           ~(alignof(std::max_align_t) - 1);
}

IPlugAUFactory* IPlugAUFactory::Create(size_t objectSize) {
    void* block = std::malloc(ObjectOffset() + objectSize);
    if (!block) return nullptr;
    IPlugAUFactory* factory = static_cast<IPlugAUFactory*>(block);
    factory->interface.Open = Open;
    factory->interface.Close = Close;
    factory->interface.Lookup = Lookup;
    factory->interface.reserved = nullptr;
    factory->construct = Construct;
    factory->destruct = Destruct;
    factory->reserved[0] = factory->reserved[1] = nullptr;
    return factory;
}

void IPlugAUFactory::Construct(void* memory, AudioComponentInstance instance) {
    IPlugAU* plug = MakePlug(memory);
    plug->SetComponentInstance(instance);
}

void IPlugAUFactory::Destruct(void* memory) {
    static_cast<IPlugAU*>(memory)->~IPlugAU();
}

OSStatus IPlugAUFactory::Open(void* self, AudioComponentInstance instance) {
    IPlugAUFactory* factory = static_cast<IPlugAUFactory*>(self);
    if (!factory) return paramErr;
    factory->construct(factory->objectStorage(), instance);
    IPlugAU* plug = factory->Plug();
    plug->HostSpecificInit();
    plug->PruneUninitializedPresets();
    plug->OnOpen();
    return noErr;
}

OSStatus IPlugAUFactory::Close(void* self) {
    IPlugAUFactory* factory = static_cast<IPlugAUFactory*>(self);
    if (!factory) return paramErr;
    factory->destruct(factory->objectStorage());
    std::free(factory);
    return noErr;
}

// ---- Fast-dispatch functions: self is the factory record ----
// Each keeps the thread and lock rules of the IPlugAU call it forwards to (IPlugAU.h); those
// that take the mutex here (set parameter, reset, render) say so.

namespace {

IPlugAU* PlugOf(void* self) {
    return self ? static_cast<IPlugAUFactory*>(self)->Plug() : nullptr;
}

#define ZERUB_PLUG_OR_FAIL(self)                                                                   \
    IPlugAU* plug = PlugOf(self);                                                                  \
    if (!plug) return paramErr

OSStatus AUMethodInitialize(void* self) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoInitialize();
}

OSStatus AUMethodUninitialize(void* self) {
    ZERUB_PLUG_OR_FAIL(self);
    plug->DoUninitialize();
    return noErr;
}

OSStatus AUMethodGetPropertyInfo(void* self, AudioUnitPropertyID prop, AudioUnitScope scope,
                                 AudioUnitElement elem, UInt32* outDataSize, Boolean* outWritable) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->GetPropertyInfo(prop, scope, elem, outDataSize, outWritable);
}

OSStatus AUMethodGetProperty(void* self, AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->GetProperty(inID, inScope, inElement, outData, ioDataSize);
}

OSStatus AUMethodSetProperty(void* self, AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->SetProperty(inID, inScope, inElement, inData, inDataSize);
}

OSStatus AUMethodAddPropertyListener(void* self, AudioUnitPropertyID prop,
                                     AudioUnitPropertyListenerProc proc, void* userData) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoAddPropertyListener(prop, proc, userData);
}

OSStatus AUMethodRemovePropertyListener(void* self, AudioUnitPropertyID prop,
                                        AudioUnitPropertyListenerProc proc) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoRemovePropertyListener(prop, proc);
}

OSStatus AUMethodRemovePropertyListenerWithUserData(void* self, AudioUnitPropertyID prop,
                                                    AudioUnitPropertyListenerProc proc,
                                                    void* userData) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoRemovePropertyListenerWithUserData(prop, proc, userData);
}

OSStatus AUMethodAddRenderNotify(void* self, AURenderCallback proc, void* userData) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoAddRenderNotify(proc, userData);
}

OSStatus AUMethodRemoveRenderNotify(void* self, AURenderCallback proc, void* userData) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoRemoveRenderNotify(proc, userData);
}

OSStatus AUMethodGetParameter(void* self, AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoGetParameter(inID, inScope, inElement, outValue);
}

OSStatus AUMethodSetParameter(void* self, AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue inValue,
                              UInt32 inBufferOffset) {
    ZERUB_PLUG_OR_FAIL(self);
    WDL_MutexLock lock(plug->GetMutex());
    return plug->SetParamProc(inID, inScope, inElement, inValue, inBufferOffset);
}

OSStatus AUMethodScheduleParameters(void* self, const AudioUnitParameterEvent* events,
                                    UInt32 numEvents) {
    ZERUB_PLUG_OR_FAIL(self);
    return plug->DoScheduleParameters(events, numEvents);
}

OSStatus AUMethodReset(void* self, AudioUnitScope /*scope*/, AudioUnitElement /*elem*/) {
    ZERUB_PLUG_OR_FAIL(self);
    WDL_MutexLock lock(plug->GetMutex());
    plug->Reset();
    return noErr;
}

OSStatus AUMethodRender(void* self, AudioUnitRenderActionFlags* ioActionFlags,
                        const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                        UInt32 inNumberFrames, AudioBufferList* ioData) {
    ZERUB_PLUG_OR_FAIL(self);
    WDL_MutexLock lock(plug->GetMutex());
    return plug->RenderProc(ioActionFlags, inTimeStamp, inOutputBusNumber, inNumberFrames, ioData);
}

#undef ZERUB_PLUG_OR_FAIL

template <class Fn>
AudioComponentMethod AsMethod(Fn fn) {
    return reinterpret_cast<AudioComponentMethod>(fn);
}

} // namespace

AudioComponentMethod IPlugAUFactory::Lookup(SInt16 selector) {
    switch (selector) {
    case kAudioUnitInitializeSelect:
        return AsMethod(AUMethodInitialize);
    case kAudioUnitUninitializeSelect:
        return AsMethod(AUMethodUninitialize);
    case kAudioUnitGetPropertyInfoSelect:
        return AsMethod(AUMethodGetPropertyInfo);
    case kAudioUnitGetPropertySelect:
        return AsMethod(AUMethodGetProperty);
    case kAudioUnitSetPropertySelect:
        return AsMethod(AUMethodSetProperty);
    case kAudioUnitGetParameterSelect:
        return AsMethod(AUMethodGetParameter);
    case kAudioUnitSetParameterSelect:
        return AsMethod(AUMethodSetParameter);
    case kAudioUnitResetSelect:
        return AsMethod(AUMethodReset);
    case kAudioUnitAddPropertyListenerSelect:
        return AsMethod(AUMethodAddPropertyListener);
    case kAudioUnitRemovePropertyListenerSelect:
        return AsMethod(AUMethodRemovePropertyListener);
    case kAudioUnitRenderSelect:
        return AsMethod(AUMethodRender);
    case kAudioUnitAddRenderNotifySelect:
        return AsMethod(AUMethodAddRenderNotify);
    case kAudioUnitRemoveRenderNotifySelect:
        return AsMethod(AUMethodRemoveRenderNotify);
    case kAudioUnitScheduleParametersSelect:
        return AsMethod(AUMethodScheduleParameters);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return AsMethod(AUMethodRemovePropertyListenerWithUserData);
    default:
        return nullptr;
    }
}

// ---- Component-manager entry ----

namespace {

// Arguments of a component-manager call, in the platform's order for the selector.
template <class T>
T Arg(const ComponentParameters* params, int i) {
    return (T)(params->params[i]);
}

// The selectors the entry answers CanDo for with 1. Selector 18 is handled but not announced,
// and the MIDI and component selectors are not announced either.
bool CanDo(long selector) {
    switch (selector) {
    case kAudioUnitInitializeSelect:
    case kAudioUnitUninitializeSelect:
    case kAudioUnitGetPropertyInfoSelect:
    case kAudioUnitGetPropertySelect:
    case kAudioUnitSetPropertySelect:
    case kAudioUnitGetParameterSelect:
    case kAudioUnitSetParameterSelect:
    case kAudioUnitResetSelect:
    case kAudioUnitAddPropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRenderSelect:
    case kAudioUnitAddRenderNotifySelect:
    case kAudioUnitRemoveRenderNotifySelect:
    case kAudioUnitScheduleParametersSelect:
        return true;
    default:
        return false;
    }
}

// The Carbon view record: what the view component keeps between its calls.
struct CarbonViewRecord {
    ComponentInstance viewInstance;
    IPlugAU* plug;
};

} // namespace

OSStatus IPlugAU::IPlugAUEntry(ComponentParameters* params, void* storage) {
    if (!params) return paramErr;
    const int select = params->what;
    if (select == kComponentOpenSelect) {
        IPlugAU* plug = MakePlug(nullptr);
        if (!plug) return memFullErr;
        plug->HostSpecificInit();
        plug->PruneUninitializedPresets();
        ComponentInstance instance = Arg<ComponentInstance>(params, 0);
        plug->SetComponentInstance(reinterpret_cast<AudioComponentInstance>(instance));
        SetComponentInstanceStorage(instance, reinterpret_cast<Handle>(plug));
        plug->OnOpen();
        return noErr;
    }

    IPlugAU* plug = static_cast<IPlugAU*>(storage);
    if (!plug) return paramErr;
    switch (select) {
    case kComponentCloseSelect:
        plug->ClearConnections();
        delete plug;
        return noErr;
    case kComponentCanDoSelect:
        return CanDo(Arg<long>(params, 0)) ? 1 : 0;
    case kComponentVersionSelect:
        return plug->GetEffectVersion(false);
    case kAudioUnitInitializeSelect:
        return plug->DoInitialize();
    case kAudioUnitUninitializeSelect:
        plug->DoUninitialize();
        return noErr;
    case kAudioUnitGetPropertyInfoSelect:
        return plug->GetPropertyInfo(
            Arg<AudioUnitPropertyID>(params, 4), Arg<AudioUnitScope>(params, 3),
            Arg<AudioUnitElement>(params, 2), Arg<UInt32*>(params, 1), Arg<Boolean*>(params, 0));
    case kAudioUnitGetPropertySelect:
        return plug->GetProperty(Arg<AudioUnitPropertyID>(params, 4),
                                 Arg<AudioUnitScope>(params, 3), Arg<AudioUnitElement>(params, 2),
                                 Arg<void*>(params, 1), Arg<UInt32*>(params, 0));
    case kAudioUnitSetPropertySelect:
        return plug->SetProperty(Arg<AudioUnitPropertyID>(params, 4),
                                 Arg<AudioUnitScope>(params, 3), Arg<AudioUnitElement>(params, 2),
                                 Arg<const void*>(params, 1), Arg<UInt32>(params, 0));
    case kAudioUnitGetParameterSelect:
        return plug->DoGetParameter(
            Arg<AudioUnitParameterID>(params, 3), Arg<AudioUnitScope>(params, 2),
            Arg<AudioUnitElement>(params, 1), Arg<AudioUnitParameterValue*>(params, 0));
    case kAudioUnitSetParameterSelect: {
        WDL_MutexLock lock(&plug->mutex);
        // The value travels as a Float32 in the low bits of its pointer-sized slot.
        Float32 value;
        const long raw = params->params[1];
        std::memcpy(&value, &raw, sizeof value);
        return plug->SetParamProc(Arg<AudioUnitParameterID>(params, 4),
                                  Arg<AudioUnitScope>(params, 3), Arg<AudioUnitElement>(params, 2),
                                  value, Arg<UInt32>(params, 0));
    }
    case kAudioUnitResetSelect: {
        WDL_MutexLock lock(&plug->mutex);
        plug->Reset();
        return noErr;
    }
    case kAudioUnitAddPropertyListenerSelect:
        return plug->DoAddPropertyListener(Arg<AudioUnitPropertyID>(params, 2),
                                           Arg<AudioUnitPropertyListenerProc>(params, 1),
                                           Arg<void*>(params, 0));
    case kAudioUnitRemovePropertyListenerSelect:
        return plug->DoRemovePropertyListener(Arg<AudioUnitPropertyID>(params, 1),
                                              Arg<AudioUnitPropertyListenerProc>(params, 0));
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return plug->DoRemovePropertyListenerWithUserData(
            Arg<AudioUnitPropertyID>(params, 2), Arg<AudioUnitPropertyListenerProc>(params, 1),
            Arg<void*>(params, 0));
    case kAudioUnitRenderSelect: {
        WDL_MutexLock lock(&plug->mutex);
        return plug->RenderProc(Arg<AudioUnitRenderActionFlags*>(params, 4),
                                Arg<const AudioTimeStamp*>(params, 3), Arg<UInt32>(params, 2),
                                Arg<UInt32>(params, 1), Arg<AudioBufferList*>(params, 0));
    }
    case kAudioUnitAddRenderNotifySelect:
        return plug->DoAddRenderNotify(Arg<AURenderCallback>(params, 1), Arg<void*>(params, 0));
    case kAudioUnitRemoveRenderNotifySelect:
        return plug->DoRemoveRenderNotify(Arg<AURenderCallback>(params, 1), Arg<void*>(params, 0));
    case kAudioUnitScheduleParametersSelect:
        return plug->DoScheduleParameters(Arg<const AudioUnitParameterEvent*>(params, 1),
                                          Arg<UInt32>(params, 0));
    case kMusicDeviceMIDIEventSelect:
        return plug->DoMIDIEvent(Arg<UInt32>(params, 3), Arg<UInt32>(params, 2),
                                 Arg<UInt32>(params, 1), Arg<UInt32>(params, 0));
    case kMusicDeviceSysExSelect:
        return plug->DoSysEx(Arg<const UInt8*>(params, 1), Arg<UInt32>(params, 0));
    case kMusicDevicePrepareInstrumentSelect:
    case kMusicDeviceReleaseInstrumentSelect:
    case kMusicDeviceStopNoteSelect:
        return noErr;
    case kMusicDeviceStartNoteSelect: {
        // Arguments: instrument, group, note instance ID out, offset, note parameters.
        NoteInstanceID* noteID = Arg<NoteInstanceID*>(params, 2);
        const MusicDeviceNoteParams* note = Arg<const MusicDeviceNoteParams*>(params, 0);
        if (noteID && note) *noteID = static_cast<NoteInstanceID>(note->mPitch);
        return noErr;
    }
    default:
        return badComponentSelector;
    }
}

OSStatus IPlugAU::IPlugAUCarbonViewEntry(ComponentParameters* params, void* storage) {
    if (!params) return paramErr;
    const int select = params->what;
    if (select == kComponentOpenSelect) {
        CarbonViewRecord* record = new (std::nothrow) CarbonViewRecord;
        if (!record) return memFullErr;
        record->viewInstance = Arg<ComponentInstance>(params, 0);
        record->plug = nullptr;
        SetComponentInstanceStorage(record->viewInstance, reinterpret_cast<Handle>(record));
        return noErr;
    }
    CarbonViewRecord* record = static_cast<CarbonViewRecord*>(storage);
    if (!record) return paramErr;
    switch (select) {
    case kAudioUnitCarbonViewCreateSelect: {
        // Arguments: edited unit, window, parent control, location, size, out control.
        // The unit's storage is the plug-in only for units opened through the entry; for units
        // made by the factory it is the factory record. Ask the unit itself, as the view
        // factory does.
        AudioUnit unit = Arg<AudioUnit>(params, 5);
        IPlugAU* plug = nullptr;
        UInt32 size = sizeof plug;
        if (!unit ||
            AudioUnitGetProperty(unit, kIPlugObjectPropertyID, kAudioUnitScope_Global, 0, &plug,
                                 &size) != noErr ||
            size != sizeof plug)
            plug = nullptr;
        record->plug = plug;
        // The editor has no Carbon window on this system: there is never a control to give.
        if (record->plug && record->plug->GetGUI()) {
            ControlRef* outControl = Arg<ControlRef*>(params, 0);
            if (outControl) *outControl = nullptr;
            return noErr;
        }
        return badComponentSelector;
    }
    case kComponentCloseSelect:
        delete record;
        return noErr;
    default:
        return badComponentSelector;
    }
}

const char* AUSelectStr(int) {
    return "";
}
const char* AUPropertyStr(int) {
    return "";
}
const char* AUScopeStr(int) {
    return "";
}

const char* AUInputTypeStr(IPlugAU::EAUInputType type) {
    switch (type) {
    case IPlugAU::eDirectFastProc:
        return "DirectFastProc";
    case IPlugAU::eDirectNoFastProc:
        return "DirectNoFastProc";
    case IPlugAU::eRenderCallback:
        return "RenderCallback";
    default:
        return "NotConnected";
    }
}
