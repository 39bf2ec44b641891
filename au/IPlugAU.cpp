// Construction, buses, initialise and the component entry points of the wrapper.
#include "au/IPlugAU.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

IPlugAU::IPlugAU(const IPlugInstanceInfo& instanceInfo, int nParams, const char* channelIOStr,
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
        // A bus and its link go in together: the render path reads them in pairs.
        UpstreamLink* link = new UpstreamLink;
        if (!inBuses.Add(bus) || !inBusConnections.Add(link)) {
            if (inBuses.Find(bus) >= 0) inBuses.Delete(inBuses.Find(bus));
            delete bus;
            delete link;
            MarkIncomplete();
        }
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
            AddOwned(outBuses, bus);
            char label[32];
            std::snprintf(label, sizeof label, "output %i", i + 1);
            SetOutputBusLabel(i, label);
        }
    } else {
        BusChannels* bus = new BusChannels;
        bus->nPlugChannels = nOut;
        AddOwned(outBuses, bus);
        SetOutputBusLabel(0, "output");
    }

    AssessInputConnections();
    IPlugAU::SetBlockSize(1024);
}

IPlugAU::~IPlugAU() {
    if (viewBundleURL) CFRelease(viewBundleURL);
    renderNotify.Empty(true);
    inBuses.Empty(true);
    outBuses.Empty(true);
    inBusConnections.Empty(true);
    propertyListeners.Empty(true);
}

void IPlugAU::Open(AudioComponentInstance instance) {
    SetComponentInstance(instance);
    HostSpecificInit();
    PruneUninitializedPresets();
    OnOpen();
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
        if (!known && !paramGroups.Add(group)) break; // out of memory: later groups go unnamed
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

// The instance is bound afterwards, by IPlugAU::Open.
void IPlugAUFactory::Construct(void* memory, AudioComponentInstance /*instance*/) {
    MakePlug(memory);
}

void IPlugAUFactory::Destruct(void* memory) {
    static_cast<IPlugAU*>(memory)->~IPlugAU();
}

OSStatus IPlugAUFactory::Open(void* self, AudioComponentInstance instance) {
    IPlugAUFactory* factory = static_cast<IPlugAUFactory*>(self);
    if (!factory) return paramErr;
    factory->construct(factory->objectStorage(), instance);
    if (!factory->Plug()->IsComplete()) {
        // A failed Open is never closed: the block goes here.
        factory->destruct(factory->objectStorage());
        std::free(factory);
        return memFullErr;
    }
    factory->Plug()->Open(instance);
    return noErr;
}

OSStatus IPlugAUFactory::Close(void* self) {
    IPlugAUFactory* factory = static_cast<IPlugAUFactory*>(self);
    if (!factory) return paramErr;
    factory->destruct(factory->objectStorage());
    std::free(factory);
    return noErr;
}

// ---- The unit's calls ----
// The fast-dispatch table and the component-manager entry reach the unit through the same
// functions, listed once in kCalls. Each keeps the thread and lock rules of the IPlugAU call it
// forwards to (IPlugAU.h); those that take the mutex here (reset, render) say so.

namespace {

OSStatus Initialize(IPlugAU* plug) {
    return plug->DoInitialize();
}

OSStatus Uninitialize(IPlugAU* plug) {
    plug->DoUninitialize();
    return noErr;
}

OSStatus GetPropertyInfo(IPlugAU* plug, AudioUnitPropertyID prop, AudioUnitScope scope,
                         AudioUnitElement elem, UInt32* outDataSize, Boolean* outWritable) {
    return plug->GetPropertyInfo(prop, scope, elem, outDataSize, outWritable);
}

OSStatus GetProperty(IPlugAU* plug, AudioUnitPropertyID inID, AudioUnitScope inScope,
                     AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    return plug->GetProperty(inID, inScope, inElement, outData, ioDataSize);
}

OSStatus SetProperty(IPlugAU* plug, AudioUnitPropertyID inID, AudioUnitScope inScope,
                     AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    return plug->SetProperty(inID, inScope, inElement, inData, inDataSize);
}

OSStatus AddPropertyListener(IPlugAU* plug, AudioUnitPropertyID prop,
                             AudioUnitPropertyListenerProc proc, void* userData) {
    return plug->DoAddPropertyListener(prop, proc, userData);
}

OSStatus RemovePropertyListener(IPlugAU* plug, AudioUnitPropertyID prop,
                                AudioUnitPropertyListenerProc proc) {
    return plug->DoRemovePropertyListener(prop, proc);
}

OSStatus RemovePropertyListenerWithUserData(IPlugAU* plug, AudioUnitPropertyID prop,
                                            AudioUnitPropertyListenerProc proc, void* userData) {
    return plug->DoRemovePropertyListenerWithUserData(prop, proc, userData);
}

OSStatus AddRenderNotify(IPlugAU* plug, AURenderCallback proc, void* userData) {
    return plug->DoAddRenderNotify(proc, userData);
}

OSStatus RemoveRenderNotify(IPlugAU* plug, AURenderCallback proc, void* userData) {
    return plug->DoRemoveRenderNotify(proc, userData);
}

OSStatus GetParameter(IPlugAU* plug, AudioUnitParameterID inID, AudioUnitScope inScope,
                      AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    return plug->DoGetParameter(inID, inScope, inElement, outValue);
}

// SetParamProc takes the mutex.
OSStatus SetParameter(IPlugAU* plug, AudioUnitParameterID inID, AudioUnitScope inScope,
                      AudioUnitElement inElement, AudioUnitParameterValue inValue,
                      UInt32 inBufferOffset) {
    return plug->SetParamProc(inID, inScope, inElement, inValue, inBufferOffset);
}

OSStatus ScheduleParameters(IPlugAU* plug, const AudioUnitParameterEvent* events,
                            UInt32 numEvents) {
    return plug->DoScheduleParameters(events, numEvents);
}

// Takes the mutex.
OSStatus Reset(IPlugAU* plug, AudioUnitScope /*scope*/, AudioUnitElement /*elem*/) {
    WDL_MutexLock lock(plug->GetMutex());
    plug->Reset();
    return noErr;
}

// Takes the mutex.
OSStatus Render(IPlugAU* plug, AudioUnitRenderActionFlags* ioActionFlags,
                const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                AudioBufferList* ioData) {
    WDL_MutexLock lock(plug->GetMutex());
    return plug->RenderProc(ioActionFlags, inTimeStamp, inOutputBusNumber, inNumberFrames, ioData);
}

// Argument i of a component-manager call; the platform passes them last first.
template <class T>
T Arg(const ComponentParameters* params, int i) {
    return (T)(params->params[i]);
}
// A parameter value travels as a Float32 in the low bits of its pointer-sized slot.
template <>
Float32 Arg<Float32>(const ComponentParameters* params, int i) {
    Float32 value;
    const long raw = params->params[i];
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// The two ways into one of the calls above.
template <auto Call>
struct Forward;
template <typename... A, OSStatus (*Call)(IPlugAU*, A...)>
struct Forward<Call> {
    // A fast-dispatch method: self is the factory record.
    static OSStatus Method(void* self, A... args) {
        IPlugAU* plug = self ? static_cast<IPlugAUFactory*>(self)->Plug() : nullptr;
        return plug ? Call(plug, args...) : paramErr;
    }
    // From the component-manager entry, whose storage is the plug-in.
    static OSStatus Entry(IPlugAU* plug, const ComponentParameters* params) {
        return Unpack(plug, params, std::index_sequence_for<A...>());
    }
    template <size_t... I>
    static OSStatus Unpack(IPlugAU* plug, [[maybe_unused]] const ComponentParameters* params,
                           std::index_sequence<I...>) {
        return Call(plug, Arg<A>(params, static_cast<int>(sizeof...(A) - 1 - I))...);
    }
};

struct UnitCall {
    SInt16 selector;
    AudioComponentMethod method;
    OSStatus (*entry)(IPlugAU* plug, const ComponentParameters* params);
    bool announced; // CanDo answers 1
};

template <auto Call>
UnitCall MakeCall(SInt16 selector, bool announced = true) {
    return {selector, reinterpret_cast<AudioComponentMethod>(&Forward<Call>::Method),
            &Forward<Call>::Entry, announced};
}

// Every selector both ways answer. Removing a listener by user data is handled but not
// announced by CanDo, nor are the MIDI and component selectors.
const UnitCall kCalls[] = {
    MakeCall<Render>(kAudioUnitRenderSelect), // first: a host looks it up on every render
    MakeCall<Initialize>(kAudioUnitInitializeSelect),
    MakeCall<Uninitialize>(kAudioUnitUninitializeSelect),
    MakeCall<GetPropertyInfo>(kAudioUnitGetPropertyInfoSelect),
    MakeCall<GetProperty>(kAudioUnitGetPropertySelect),
    MakeCall<SetProperty>(kAudioUnitSetPropertySelect),
    MakeCall<GetParameter>(kAudioUnitGetParameterSelect),
    MakeCall<SetParameter>(kAudioUnitSetParameterSelect),
    MakeCall<Reset>(kAudioUnitResetSelect),
    MakeCall<AddPropertyListener>(kAudioUnitAddPropertyListenerSelect),
    MakeCall<RemovePropertyListener>(kAudioUnitRemovePropertyListenerSelect),
    MakeCall<AddRenderNotify>(kAudioUnitAddRenderNotifySelect),
    MakeCall<RemoveRenderNotify>(kAudioUnitRemoveRenderNotifySelect),
    MakeCall<ScheduleParameters>(kAudioUnitScheduleParametersSelect),
    MakeCall<RemovePropertyListenerWithUserData>(kAudioUnitRemovePropertyListenerWithUserDataSelect,
                                                 false),
};

const UnitCall* FindCall(long selector) {
    for (const UnitCall& call : kCalls)
        if (call.selector == selector) return &call;
    return nullptr;
}

// The Carbon view record: what the view component keeps between its calls.
struct CarbonViewRecord {
    ComponentInstance viewInstance;
    IPlugAU* plug;
};

} // namespace

AudioComponentMethod IPlugAUFactory::Lookup(SInt16 selector) {
    const UnitCall* call = FindCall(selector);
    return call ? call->method : nullptr;
}

// ---- Component-manager entry ----

OSStatus IPlugAU::IPlugAUEntry(ComponentParameters* params, void* storage) {
    if (!params) return paramErr;
    const int select = params->what;
    if (select == kComponentOpenSelect) {
        IPlugAU* plug = MakePlug(nullptr);
        if (!plug || !plug->IsComplete()) {
            delete plug;
            return memFullErr;
        }
        ComponentInstance instance = Arg<ComponentInstance>(params, 0);
        SetComponentInstanceStorage(instance, reinterpret_cast<Handle>(plug));
        plug->Open(reinterpret_cast<AudioComponentInstance>(instance));
        return noErr;
    }

    IPlugAU* plug = static_cast<IPlugAU*>(storage);
    if (!plug) return paramErr;
    if (const UnitCall* call = FindCall(select)) return call->entry(plug, params);
    switch (select) {
    case kComponentCloseSelect:
        plug->ClearConnections();
        delete plug;
        return noErr;
    case kComponentCanDoSelect: {
        const UnitCall* call = FindCall(Arg<long>(params, 0));
        return call && call->announced ? 1 : 0;
    }
    case kComponentVersionSelect:
        return plug->GetEffectVersion(false);
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
        // NOLINTNEXTLINE(bugprone-sizeof-expression): the pointer is what travels
        UInt32 size = sizeof plug;
        if (!unit ||
            AudioUnitGetProperty(unit, kIPlugObjectPropertyID, kAudioUnitScope_Global, 0, &plug,
                                 &size) != noErr ||
            // NOLINTNEXTLINE(bugprone-sizeof-expression): the pointer is what travels
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
