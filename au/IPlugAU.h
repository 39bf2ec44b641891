// The Audio Unit wrapper: maps the host's component calls onto the plug-in base.
//
// Entry: the host loads the bundle and calls the factory (or the component-manager entry with
// the open selector); every later call arrives through a fast-dispatch function or the entry,
// which find the plug-in object and take its mutex for the span of the call.
//
// Render call (render thread, mutex held): refuse bad timestamps, buses and oversize blocks;
// pre-render notifications; pull each connected input bus once per timestamp (upstream unit or
// render callback); bind the host's output buffers (or scratch memory); process or pass
// through on the last connected output bus; post-render notifications.
//
// State restore (UI thread): read the class-info dictionary and check its identity and data
// before taking the mutex, refusing it whole when anything is wrong; then, under the mutex,
// select the named preset, load the chunk, redraw the editor.
#pragma once

#include "containers/WDL_HeapBuf.h"
#include "containers/WDL_PtrList.h"
#include "containers/WDL_String.h"
#include "plugin/IPlugBase.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

class IPlugAU : public IPlugBase {
public:
    enum EAUInputType { eNotConnected = 0, eDirectFastProc, eDirectNoFastProc, eRenderCallback };

    // One host bus: its host-set channel count (-1 until set) and its slice of plug-in channels.
    struct BusChannels {
        bool connected = false;
        int nHostChannels = -1;
        int nPlugChannels = 0;
        int plugChannelStartIdx = 0;
    };

    // Where an input bus gets its audio.
    struct UpstreamLink {
        void* upstreamStorage = nullptr;
        AudioUnit upstreamUnit = nullptr;
        UInt32 upstreamBusIdx = 0;
        AudioUnitRenderProc upstreamRenderProc = nullptr;
        AURenderCallbackStruct renderCallback = {nullptr, nullptr};
        EAUInputType inputType = eNotConnected;
    };

    // One registration: (property, procedure, user data). The serial orders registrations, so
    // a notification in progress can tell which entries were there when it began.
    struct ListenerEntry {
        AudioUnitPropertyID propID;
        AudioUnitPropertyListenerProc listenerProc;
        void* procArgs;
        UInt64 serial;
    };

    // A private property that answers the wrapper object itself (for the editor view entries).
    static constexpr AudioUnitPropertyID kIPlugObjectPropertyID =
        static_cast<AudioUnitPropertyID>(-101);

    IPlugAU(const IPlugInstanceInfo& instanceInfo, int nParams, const char* channelIOStr,
            int nPresets, const char* effectName, const char* productName, const char* mfrName,
            int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, int plugScChans);
    ~IPlugAU() override;

    // The component-manager style entries; storage is the plug-in object (or the view record).
    // Each selector keeps the thread and lock rules of the call of the same name below.
    static OSStatus IPlugAUEntry(ComponentParameters* params, void* storage);
    static OSStatus IPlugAUCarbonViewEntry(ComponentParameters* params, void* storage);

    // UI thread, once, right after construction and before any host call, however the unit was
    // opened (factory record or component-manager entry): binds the component instance, runs
    // the host-specific setup, drops the presets the product left uninitialised, then OnOpen.
    void Open(AudioComponentInstance instance);
    // Part of Open: looks up what later calls need from the platform (the component's
    // description, the view bundle's location, the system version) without the mutex, then lists
    // the parameter groups under it, so that no call made under the mutex waits on the component
    // registry, the bundle registry or the file system.
    void OnOpen();

    const char* GetBundleID() const { return bundleID.Get(); }
    const char* GetViewClassName() const { return viewClassName.Get(); }
    AudioComponentInstance GetComponentInstance() const { return componentInstance; }
    bool IsActive() const { return active; }
    int NInputBuses() const { return inBuses.GetSize(); }
    int NOutputBuses() const { return outBuses.GetSize(); }
    const BusChannels* GetInBus(int i) const { return inBuses.Get(i); }
    const BusChannels* GetOutBus(int i) const { return outBuses.Get(i); }
    EAUInputType GetInputType(int bus) const;

    // ---- Host-facing operations of the base ----
    // Called by the base and the editor: parameter and program notices on the UI thread, to be
    // made with the mutex released, since they run the host's listeners (the program notice
    // takes the mutex only to read the listener list); transport queries on the render thread
    // with the mutex held (they call only the host's procedures).
    void BeginInformHostOfParamChange(int paramIdx) override;
    void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
    void EndInformHostOfParamChange(int paramIdx) override;
    void InformHostOfProgramChange() override;
    bool IsRenderingOffline() override { return offline; }
    int GetSamplePos() override;
    double GetTempo() override;
    void GetTimeSig(int* numerator, int* denominator) override;
    void GetTime(ITimeInfo* timeInfo) override;
    EHost GetHost() override;
    void ResizeGraphics(int w, int h) override;
    void HostSpecificInit() override;
    void SetLatency(int samples) override;
    // Through the quality property, as a host would set it: its listeners and, when the latency
    // moves, the latency's listeners hear of it after the mutex is released.
    void SetQualityFromGUI(int quality) override;
    bool SendMidiMsg(IMidiMsg* msg) override;
    void SetBlockSize(int blockSize) override;

    // ---- Calls behind the dispatch ----
    // Threads: "UI" is any thread but the render thread; "any" includes it. "mutex" is the
    // plug-in mutex (recursive), taken for the whole call unless noted.

    // UI; mutex. badComponentSelector when the hosts' channel counts fit no configuration.
    OSStatus DoInitialize();
    // UI; mutex.
    void DoUninitialize();
    // UI; mutex. Size and writable flag of a property; either pointer may be null. Answers the
    // same status a get of the property would.
    OSStatus GetPropertyInfo(AudioUnitPropertyID propID, AudioUnitScope scope,
                             AudioUnitElement element, UInt32* dataSize, Boolean* writeable);
    // Any; mutex. *dataSize is the room at data in bytes; a null dataSize is paramErr, and room
    // smaller than the answer is kAudioUnitErr_InvalidPropertyValue with nothing written. On
    // success *dataSize is the size written. Null data asks for the size only.
    OSStatus GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                         void* data, UInt32* dataSize);
    // UI; applies the set under the mutex (outside data is read and checked before taking it),
    // then, when the set succeeded, tells the property's listeners after releasing it, so that
    // they read the new value and the render never waits on them.
    OSStatus SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                         const void* data, UInt32 dataSize);
    // UI; mutex for the list only. A registration is (property, procedure, user data): the same
    // three again add nothing.
    OSStatus DoAddPropertyListener(AudioUnitPropertyID propID, AudioUnitPropertyListenerProc proc,
                                   void* userData);
    // UI; mutex for the list only. Removes every registration of proc for the property.
    OSStatus DoRemovePropertyListener(AudioUnitPropertyID propID,
                                      AudioUnitPropertyListenerProc proc);
    // UI; mutex for the list only. Removes the registration with exactly these three.
    OSStatus DoRemovePropertyListenerWithUserData(AudioUnitPropertyID propID,
                                                  AudioUnitPropertyListenerProc proc,
                                                  void* userData);
    // UI; mutex (the render walks the list). paramErr for a null procedure.
    OSStatus DoAddRenderNotify(AURenderCallback proc, void* refCon);
    // UI; mutex. Removes the first entry whose procedure and reference constant both match.
    OSStatus DoRemoveRenderNotify(AURenderCallback proc, void* refCon);
    // Any; mutex. The real value of a parameter.
    OSStatus DoGetParameter(AudioUnitParameterID paramID, AudioUnitScope scope,
                            AudioUnitElement element, AudioUnitParameterValue* value);
    // Any; mutex. Stores the value clamped to the range (whole values for integer types).
    OSStatus SetParamProc(AudioUnitParameterID paramID, AudioUnitScope scope,
                          AudioUnitElement element, AudioUnitParameterValue value,
                          UInt32 bufferOffset);
    // Any; mutex. Checks every event first: one bad event refuses the list and applies none.
    OSStatus DoScheduleParameters(const AudioUnitParameterEvent* events, UInt32 numEvents);
    // Any; mutex. badComponentSelector unless the plug-in takes MIDI.
    OSStatus DoMIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
    OSStatus DoSysEx(const UInt8* data, UInt32 length);
    // Render thread; the caller holds the mutex. Refuses an uninitialised unit, a bad timestamp
    // or bus, more frames than the maximum, and output buffers too small for the frames.
    OSStatus RenderProc(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                        UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* bufferList);
    // Any; mutex.
    void AssessInputConnections();
    // A class-info dictionary read and checked, ready to apply.
    struct ClassInfoState {
        char name[64] = "";
        ByteChunk chunk;
        int quality = 0; // absent from the dictionary: standard
    };

    // Mutex held by the caller (a property get).
    OSStatus GetState(CFPropertyListRef* plist);
    // UI; ReadState then ApplyState.
    OSStatus SetState(CFPropertyListRef plist);
    // Reads the dictionary and checks its identity and data; changes nothing, takes no lock.
    OSStatus ReadState(CFPropertyListRef plist, ClassInfoState* state);
    // Under the mutex: selects the named preset, loads the chunk, redraws the editor.
    OSStatus ApplyState(ClassInfoState* state);
    void ClearConnections();
    void SetComponentInstance(AudioComponentInstance instance) { componentInstance = instance; }

private:
    friend struct IPlugAUFactory;
    friend struct IPlugAUProperties;

    BusChannels* GetBus(AudioUnitScope scope, AudioUnitElement element);
    int NHostChannelsConnected(const WDL_PtrList<BusChannels>& buses, int excludeIdx) const;
    bool CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels);
    // Calls each listener registered for the property when the call began, unless it has been
    // removed meanwhile; a listener may add or remove registrations, itself included. Takes the
    // mutex only to read the list, so the listeners run without it unless the caller holds it.
    void InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope,
                         AudioUnitElement element = 0);
    // Mutex held.
    OSStatus SetStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                             const AudioStreamBasicDescription* format);
    // UI; asks the source unit for its format and render function first, then takes the mutex.
    OSStatus MakeConnection(const AudioUnitConnection* connection);
    CFMutableArrayRef CreateFactoryPresetArray();

    WDL_String bundleID{nullptr};
    WDL_String viewClassName{nullptr};
    char paramValueString[32] = {};
    AudioComponentInstance componentInstance = nullptr;
    bool active = false;
    bool offline = false;
    double lastRenderSampleTime = -1.0;
    double tempo = 120.0;
    HostCallbackInfo hostCallbacks = {};
    WDL_HeapBuf inScratchBuf{4096};
    WDL_HeapBuf outScratchBuf{4096};
    WDL_PtrList<AURenderCallbackStruct> renderNotify;
    WDL_PtrList<BusChannels> inBuses;
    WDL_PtrList<BusChannels> outBuses;
    WDL_PtrList<UpstreamLink> inBusConnections;
    WDL_PtrList<ListenerEntry> propertyListeners;
    UInt64 nextListenerSerial = 1;
    // Looked up by OnOpen.
    AudioComponentDescription componentDesc = {};
    OSStatus componentDescStatus = badComponentInstance;
    CFURLRef viewBundleURL = nullptr;
    SInt32 systemVersion = 0;
};

// The plug-in factory each product defines: constructs the product in memory (or in a new
// block when memory is null) and returns it.
IPlugAU* MakePlug(void* memory);

// The factory record the audio component loader receives, and its methods.
struct IPlugAUFactory {
    AudioComponentPlugInInterface interface;
    void (*construct)(void* memory, AudioComponentInstance instance);
    void (*destruct)(void* memory);
    void* reserved[2];
    // The plug-in object follows, constructed in place by Open.

    static OSStatus Open(void* self, AudioComponentInstance instance);
    static OSStatus Close(void* self);
    static AudioComponentMethod Lookup(SInt16 selector);
    static void Construct(void* memory, AudioComponentInstance instance);
    static void Destruct(void* memory);

    static IPlugAUFactory* Create(size_t objectSize);
    IPlugAU* Plug() { return reinterpret_cast<IPlugAU*>(objectStorage()); }
    void* objectStorage() { return reinterpret_cast<char*>(this) + ObjectOffset(); }
    static size_t ObjectOffset();
};
