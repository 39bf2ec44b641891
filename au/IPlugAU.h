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

    struct ListenerEntry {
        AudioUnitPropertyID propID;
        AudioUnitPropertyListenerProc listenerProc;
        void* procArgs;
    };

    // A private property that answers the wrapper object itself (for the editor view entries).
    static constexpr AudioUnitPropertyID kIPlugObjectPropertyID =
        static_cast<AudioUnitPropertyID>(-101);

    IPlugAU(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
            const char* effectName, const char* productName, const char* mfrName, int vendorVersion,
            int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
            bool plugIsInst, int plugScChans);
    ~IPlugAU() override;

    // The component-manager style entries; storage is the plug-in object (or the view record).
    static OSStatus IPlugAUEntry(ComponentParameters* params, void* storage);
    static OSStatus IPlugAUCarbonViewEntry(ComponentParameters* params, void* storage);

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
    bool SendMidiMsg(IMidiMsg* msg) override;
    void SetBlockSize(int blockSize) override;

    // ---- Calls behind the dispatch (each documented where it is defined) ----
    OSStatus DoInitialize();
    void DoUninitialize();
    OSStatus GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                         UInt32* dataSize, Boolean* writeable, void* data);
    OSStatus SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                         UInt32* dataSize, const void* data);
    OSStatus DoGetPropertyInfo(AudioUnitPropertyID propID, AudioUnitScope scope,
                               AudioUnitElement element, UInt32* dataSize, Boolean* writeable);
    OSStatus DoGetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                           AudioUnitElement element, void* data, UInt32* dataSize);
    OSStatus DoSetProperty(AudioUnitPropertyID propID, AudioUnitScope scope,
                           AudioUnitElement element, const void* data, UInt32 dataSize);
    OSStatus DoAddPropertyListener(AudioUnitPropertyID propID, AudioUnitPropertyListenerProc proc,
                                   void* userData);
    OSStatus DoRemovePropertyListener(AudioUnitPropertyID propID,
                                      AudioUnitPropertyListenerProc proc);
    OSStatus DoRemovePropertyListenerWithUserData(AudioUnitPropertyID propID,
                                                  AudioUnitPropertyListenerProc proc,
                                                  void* userData);
    // paramErr for a null procedure.
    OSStatus DoAddRenderNotify(AURenderCallback proc, void* refCon);
    // Removes the first entry whose procedure and reference constant both match.
    OSStatus DoRemoveRenderNotify(AURenderCallback proc, void* refCon);
    OSStatus DoGetParameter(AudioUnitParameterID paramID, AudioUnitScope scope,
                            AudioUnitElement element, AudioUnitParameterValue* value);
    OSStatus SetParamProc(AudioUnitParameterID paramID, AudioUnitScope scope,
                          AudioUnitElement element, AudioUnitParameterValue value,
                          UInt32 bufferOffset);
    OSStatus DoScheduleParameters(const AudioUnitParameterEvent* events, UInt32 numEvents);
    OSStatus DoMIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
    OSStatus DoSysEx(const UInt8* data, UInt32 length);
    OSStatus RenderProc(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                        UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* bufferList);
    void AssessInputConnections();
    // A class-info dictionary read and checked, ready to apply.
    struct ClassInfoState {
        char name[64] = "";
        ByteChunk chunk;
    };

    OSStatus GetState(CFPropertyListRef* plist);
    // ReadState then ApplyState.
    OSStatus SetState(CFPropertyListRef plist);
    // Reads the dictionary and checks its identity and data; changes nothing, takes no lock.
    OSStatus ReadState(CFPropertyListRef plist, ClassInfoState* state);
    // Under the mutex: selects the named preset, loads the chunk, redraws the editor.
    OSStatus ApplyState(ClassInfoState* state);
    void ClearConnections();
    void SetComponentInstance(AudioComponentInstance instance) { componentInstance = instance; }

private:
    friend struct IPlugAUFactory;

    BusChannels* GetBus(AudioUnitScope scope, AudioUnitElement element);
    int NHostChannelsConnected(const WDL_PtrList<BusChannels>& buses, int excludeIdx) const;
    bool CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels);
    void InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope);
    OSStatus GetParameterInfo(AudioUnitElement element, AudioUnitParameterInfo* info);
    OSStatus SetStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                             const AudioStreamBasicDescription* format);
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

// Readable names for trace lines; tracing is off in this build, so most give "".
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);
const char* AUInputTypeStr(IPlugAU::EAUInputType type);
