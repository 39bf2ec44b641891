// The LV2 wrapper: maps an LV2 host's descriptor calls onto the plug-in base, as the Audio Unit
// wrapper maps component calls.
//
// One LV2 plug-in per channel configuration of the product ("1-1 2-2" gives a mono and a
// stereo plug-in), all in one bundle. Ports of each, in index order: the audio inputs, the audio
// outputs, then one control input per parameter in parameter order (PortLayout).
//
// Instantiate (main thread): refuse a sample rate that is not finite and positive; take urid:map
// and the host's bufsz:maxBlockLength from its options when given, else a default block size
// (a minimal host passes no features at all); size every buffer here, never in run.
//
// Run (audio thread, plug-in mutex held for the whole call): read every connected control port;
// a value that changed since the last run is set as a real value on its parameter (NaN ignored,
// range clamped) and OnParamChange follows, as a host's parameter set does. Then the host's float
// buffers are processed in slices of the block size, so any length works, 0 included. An
// unconnected audio input reads silence, an unconnected output writes to a discard buffer.
//
// State (main thread, mutex held): the base's state chunk (the bytes of the Audio Unit class
// info's "data") under one key, typed atom:Chunk. Without urid:map the state calls answer
// LV2_STATE_ERR_NO_FEATURE. Restore refuses a chunk of another type or size, or with values that
// are not finite, and then changes nothing.
#pragma once

#include "containers/WDL_TypedBuf.h"
#include "plugin/IPlugBase.h"

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>

// Where each kind of port sits for one channel configuration.
struct LV2PortLayout {
    int nIn = 0, nOut = 0, nParams = 0;
    int FirstInput() const { return 0; }
    int FirstOutput() const { return nIn; }
    int FirstControl() const { return nIn + nOut; }
    int NPorts() const { return nIn + nOut + nParams; }
};

class IPlugLV2 : public IPlugBase {
public:
    static constexpr int kDefaultBlockSize = 4096; // when the host does not say its maximum
    static constexpr int kMaxBlockSize = 8192;     // longer host maxima are processed in slices

    // Same arguments as every wrapper; the instance info and side-chain count are not used.
    IPlugLV2(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets,
             const char* effectName, const char* productName, const char* mfrName,
             int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
             bool plugDoesChunks, bool plugIsInst, int plugScChans);
    ~IPlugLV2() override = default;

    // ---- Descriptor calls (see the header comment for threads) ----
    // Chooses channel configuration ioIdx and prepares every buffer; false refuses the instance.
    bool Setup(int ioIdx, double rate, const LV2_Feature* const* features);
    void ConnectPort(uint32_t port, void* data);
    void Activate();   // OnParamReset, Reset, OnActivate(true)
    void Deactivate(); // OnActivate(false)
    void Run(uint32_t nFrames);
    LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    const LV2PortLayout& Layout() const { return layout; }
    bool HasURIDMap() const { return map != nullptr; }

    // The plug-in URI of a channel configuration under base: base#mono, base#stereo, or
    // base#in<N>out<M> for any other; out holds at least 256 bytes.
    static void PluginURI(const char* base, const ChannelIO& io, char* out);
    // The key of the state chunk under base (base#state); out holds at least 256 bytes.
    static void StateKeyURI(const char* base, char* out);

    // ---- Host-facing operations of the base: LV2 carries no transport or MIDI here ----
    void BeginInformHostOfParamChange(int) override {}
    void InformHostOfParamChange(int, double) override {}
    void EndInformHostOfParamChange(int) override {}
    void InformHostOfProgramChange() override {}
    int GetSamplePos() override { return 0; }
    double GetTempo() override { return 120.0; }
    void GetTimeSig(int*, int*) override {}
    void GetTime(ITimeInfo*) override {}
    void ResizeGraphics(int, int) override {}
    bool SendMidiMsg(IMidiMsg*) override { return false; }

private:
    void ReadControlPorts();
    void ProcessSlice(uint32_t offset, int nFrames);

    LV2PortLayout layout;
    const LV2_URID_Map* map = nullptr;
    LV2_URID chunkType = 0;
    LV2_URID stateKey = 0;
    WDL_TypedBuf<float*> audioPorts;   // inputs then outputs, as connected by the host
    WDL_TypedBuf<float*> controlPorts; // one per parameter
    WDL_TypedBuf<float> lastControl;   // what each control port held when last applied
    WDL_TypedBuf<float*> inPtrs, outPtrs;
    WDL_TypedBuf<float> silence, discard;
};

// The plug-in factory each product defines (one per wrapper): constructs the product in memory
// (or in a new block when memory is null) and returns it.
IPlugLV2* MakePlug(void* memory);
// The product's URI, the base of its plug-in, state and preset URIs (no trailing '#').
const char* LV2PluginURIBase();
