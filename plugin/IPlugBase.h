// The host-independent core of every plug-in: parameters, presets and state, channel
// configurations and buffer routing, identity, and the editor.
//
// A concrete plug-in derives from an API wrapper (which implements the pure virtual host-facing
// operations), which derives from IPlugBase.
//
// Threads: the host's render thread and its user-interface thread. The plug-in mutex is
// recursive and is the only lock on the audio path; the wrapper holds it around each render
// call and around every property, parameter, state and initialise call, so processing never
// overlaps a parameter, preset or state change.
//
// Render cycle (wrapper side): SetBlockSize when the host announces its maximum block, then per
// block Attach{Input,Output}Buffers and ProcessBuffers (or PassThroughBuffers when bypassed).
#pragma once

#include "containers/WDL_Mutex.h"
#include "containers/WDL_PtrList.h"
#include "containers/WDL_String.h"
#include "containers/WDL_TypedBuf.h"
#include "plugin/Hosts.h"
#include "plugin/IParam.h"
#include "plugin/IPlugEditor.h"
#include "plugin/IPlugStructs.h"

class IPlugBase {
public:
    static constexpr int kMaxEffectNameLen = 128; // plug-in, product and maker names, NUL included

    // Names are cut to 127 characters. The channel spec lists configurations "in-out" separated
    // by single spaces, e.g. "1-1 2-2".
    IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
              const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
              int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
              EAPI plugAPI);
    virtual ~IPlugBase();
    IPlugBase(const IPlugBase&) = delete;
    IPlugBase& operator=(const IPlugBase&) = delete;

    // False when construction could not allocate every parameter, preset, channel or bus: such
    // an instance is only fit to be destroyed. A product's constructor returns at once when it
    // is false (GetParam may then be null), and the wrappers refuse the instance.
    bool IsComplete() const { return complete; }

    // ---- Hooks for the product (UI or render thread as noted) ----
    // Reset, OnParamChange and OnActivate are called by the wrapper, which holds the mutex when
    // its format has one to hold (the Audio Unit's host calls) and none in an LV2 run: the hooks
    // themselves take no lock, so a product's run path is lock-free wherever the wrapper's is.
    virtual void Reset() {}                         // host reset
    virtual void OnParamChange(int /*paramIdx*/) {} // after a parameter's value changed
    // Render thread, mutex held. Base: copies inputs to outputs, zero-fills the rest.
    virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
    // Render thread, mutex held: one block on the host's float buffers, called by
    // ProcessBuffers(float) when every connected channel is bound to one. One pointer per
    // channel: inputs[i] is input i's host buffer, or silence (disconnected, or a buffer without
    // memory); outputs[i] is output i's host buffer, or a discard buffer shared by every
    // disconnected output. An input may be its own output. Base: widens the inputs into the
    // scratch buffers, calls ProcessDoubleReplacing and narrows the connected outputs.
    virtual void ProcessFloatReplacing(const float* const* inputs, float* const* outputs,
                                       int nFrames);
    virtual void OnGUIOpen() {}
    virtual void OnGUIClose() {}
    virtual void OnActivate(bool /*active*/) {}
    virtual void ProcessMidiMsg(IMidiMsg* msg) { SendMidiMsg(msg); }
    virtual void ProcessSysEx(ISysEx* /*msg*/) {}
    // Appends the plug-in's state to chunk; false when nothing could be written.
    virtual bool SerializeState(ByteChunk* chunk) { return SerializeParams(chunk); }
    // Reads the state at startPos. Returns the position after the last byte read, or -1 when
    // the chunk is null or ended early (what was read by then is applied): test for < 0. The
    // same holds for UnserializeParams and UnserializePresets.
    virtual int UnserializeState(ByteChunk* chunk, int startPos) {
        return UnserializeParams(chunk, startPos);
    }
    // Whether UnserializeState could restore the chunk whole. Hosts check outside data with it
    // before changing anything, without the mutex, so it reads only the chunk and what is fixed
    // at construction. Base: a finite value for every parameter.
    virtual bool IsValidState(const ByteChunk* chunk, int startPos) const {
        return IsValidParamsState(chunk, startPos);
    }
    // data holds doubles; compares each parameter with double startPos + i, in single precision.
    virtual bool CompareState(const unsigned char* data, int startPos);
    virtual void OnWindowResize() {}
    virtual void OnHostIdentified() {}

    // ---- Editor to plug-in (UI thread) ----
    // Under the mutex: set the normalised value and call OnParamChange; then, with the mutex
    // released, tell the host (which reads the new value back). A non-finite value is ignored
    // (nothing set, nobody told).
    virtual void SetParameterFromGUI(int paramIdx, double normalizedValue);

    // ---- Host-facing operations the wrapper implements ----
    // The notices run host code, which may wait on locks of the host's own: call them with the
    // mutex released (SetParameterFromGUI and DirtyParameters do).
    virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
    virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
    virtual void EndInformHostOfParamChange(int paramIdx) = 0;
    virtual void InformHostOfProgramChange() = 0;
    virtual bool IsRenderingOffline() { return false; }
    virtual int GetSamplePos() = 0;
    virtual double GetTempo() = 0;
    virtual void GetTimeSig(int* numerator, int* denominator) = 0;
    virtual void GetTime(ITimeInfo* timeInfo) = 0;
    virtual EHost GetHost() { return host; }
    virtual EAPI GetAPI() { return api; }
    virtual void ResizeGraphics(int w, int h) = 0;
    virtual void HostSpecificInit() {}
    // Takes ownership of the editor (null is ignored) and pushes every normalised value into it.
    virtual void AttachGraphics(IPlugEditor* graphics);
    // The wrappers' override tells the host; a product changing its own latency under the mutex
    // calls the base's, and the wrapper tells the host once the mutex is released.
    virtual void SetLatency(int samples) { latency = samples; }
    // The processing quality, a setting beside the parameters that the wrappers save and restore:
    // 0 standard, 1 high. Called with the mutex held (or on the LV2 run thread). A product without
    // settings accepts only 0; one whose latency depends on the setting updates it here.
    virtual bool SetQuality(int quality) { return quality == 0; }
    // A bypassed block while the latency is not 0 (render thread, mutex held, buffers as
    // ProcessFloatReplacing and ProcessDoubleReplacing get them): the product writes every output
    // as its input GetLatency() frames earlier and returns true. The base keeps no history:
    // false, and the block passes undelayed.
    virtual bool PassThroughDelayed(const float* const* /*inputs*/, float* const* /*outputs*/,
                                    int /*nFrames*/) {
        return false;
    }
    virtual bool PassThroughDelayed(const double* const* /*inputs*/, double* const* /*outputs*/,
                                    int /*nFrames*/) {
        return false;
    }
    virtual int GetQuality() const { return 0; }
    virtual int NQualities() const { return 1; } // the settings SetQuality takes: 0 .. n - 1
    // SetQuality, then, when the product took it, the editor shows the setting in force. The
    // wrappers call this wherever the host changes the setting; the caller holds the mutex.
    bool ChangeQuality(int quality);
    // Editor to plug-in (UI thread): the user chose a quality. Each wrapper routes it the way a
    // change from its host arrives (the Audio Unit through its property, so that listeners hear
    // of it; the LV2 UI through the quality port). Base: ChangeQuality under the mutex.
    virtual void SetQualityFromGUI(int quality);
    virtual bool SendMidiMsg(IMidiMsg* msg) = 0;
    virtual bool SendSysEx(ISysEx* /*msg*/) { return false; }
    // Pushes every real value into the attached editor.
    virtual void RedrawParamControls();
    virtual void DirtyPTCompareState() {}
    virtual void PresetsChangedByHost() {}
    // Resizes and zero-fills every scratch buffer when n differs from the current block size.
    virtual void SetBlockSize(int blockSize);

    // ---- Identity and accessors ----
    const char* GetEffectName() const { return effectName; }
    const char* GetProductName() const { return productName; }
    const char* GetMfrName() const { return mfrName; }
    int GetUniqueID() const { return uniqueID; }
    int GetMfrID() const { return mfrID; }
    bool DoesStateChunks() const { return stateChunks; }
    bool IsInst() const { return isInst; }
    bool DoesMIDI() const { return doesMIDI; }
    int GetLatency() const { return latency; }
    int GetTailSize() const { return tailSize; }
    int GetCurrentPresetIdx() const { return currentPresetIdx; }

    IParam* GetParam(int idx) const { return params.Get(idx); }
    int NParams() const { return params.GetSize(); }
    int NInChannels() const { return inChannels.GetSize(); }
    int NOutChannels() const { return outChannels.GetSize(); }
    int NChannelIO() const { return channelIO.GetSize(); }
    const ChannelIO* GetChannelIO(int idx) const { return channelIO.Get(idx); }
    double GetSampleRate() const { return sampleRate; }
    int GetBlockSize() const { return blockSize; }
    IPlugEditor* GetGUI() const { return graphics; }
    WDL_Mutex* GetMutex() { return &mutex; }

    // ---- Versions and host identification ----
    int GetEffectVersion(bool decimal) const;
    void GetEffectVersionStr(char* out) const; // at least 32 bytes
    int GetHostVersion(bool decimal);
    void GetHostVersionStr(char* out); // at least 32 bytes
    void SetHost(const char* host, int version);
    const char* GetAPIString() { return ::GetAPIString(GetAPI()); }

    double GetSamplesPerBeat();

    // ---- Channels and buffers (wrapper side, render thread unless noted) ----
    bool LegalIO(int nIn, int nOut) const; // negative counts match anything
    void SetInputChannelConnections(int idx, int n, bool connected);
    void SetOutputChannelConnections(int idx, int n, bool connected);
    bool IsInChannelConnected(int chIdx) const;
    bool IsOutChannelConnected(int chIdx) const;
    // Connected channels of [idx, idx + n) take the next buffer each; disconnected ones none.
    // Blocks must not exceed the block size. Float inputs are bound, not converted: the buffer
    // is read when the block is processed, so it must stay valid (and unchanged) until then.
    void AttachInputBuffers(int idx, int n, double** ppData, int nFrames);
    void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
    void AttachOutputBuffers(int idx, int n, double** ppData);
    void AttachOutputBuffers(int idx, int n, float** ppData);
    void ProcessBuffers(double sampleType, int nFrames);
    void ProcessBuffers(float sampleType, int nFrames);
    void ProcessBuffersAccumulating(float sampleType, int nFrames);
    // Output i takes input i (silence past the inputs), as though every input were read before
    // any output is written: an output may be given any input's buffer.
    // A product that reports latency hands each input on that many frames later
    // (PassThroughDelayed), so that a host's latency compensation keeps the bypassed signal in
    // line with the processed one; without latency the samples pass at once, bit for bit.
    void PassThroughBuffers(double sampleType, int nFrames);
    void PassThroughBuffers(float sampleType, int nFrames);
    void ZeroScratchBuffers();
    // Virtual for products whose latency follows the rate; the caller holds the mutex.
    virtual void SetSampleRate(double rate) { sampleRate = rate; }
    void SetInputLabel(int idx, const char* label);
    void SetOutputLabel(int idx, const char* label);
    void SetInputBusLabel(int idx, const char* label);
    void SetOutputBusLabel(int idx, const char* label);
    const WDL_String* GetInputBusLabel(int idx) const { return inputBusLabels.Get(idx); }
    const WDL_String* GetOutputBusLabel(int idx) const { return outputBusLabels.Get(idx); }

    // Calls OnParamChange for every parameter in order (the caller holds the mutex).
    void OnParamReset();
    // Tells the host every parameter's normalised value, each read under the mutex and sent
    // without it.
    void DirtyParameters();

    // ---- State and presets ----
    bool SerializeParams(ByteChunk* chunk);
    // Returns the position after the last value read, or -1 when the chunk is null or ended
    // early (failure is < 0, as for UnserializeState).
    int UnserializeParams(ByteChunk* chunk, int startPos);
    // True when the chunk holds a finite double for every parameter from startPos on.
    bool IsValidParamsState(const ByteChunk* chunk, int startPos) const;
    static void InitChunkWithIPlugVer(ByteChunk* chunk);
    static int GetIPlugVerFromChunk(ByteChunk* chunk, int* position);

    void MakeDefaultPreset(const char* name = nullptr, int nPresets = 1);
    // One value per parameter: int for bool, int and enum parameters, double for the others.
    void MakePreset(const char* name, ...);
    // n pairs (parameter index as int, value as int or double by that parameter's type).
    void MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
    void MakePresetFromChunk(const char* name, ByteChunk* chunk);
    // blob is Base64 text, decoded into exactly sizeOfChunk bytes.
    void MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
    bool RestorePreset(int idx);
    bool RestorePreset(const char* name);
    const char* GetPresetName(int idx) const;
    int NPresets() const { return presets.GetSize(); }
    void ModifyCurrentPreset(const char* name = nullptr);
    void PruneUninitializedPresets();
    void EnsureDefaultPreset();
    bool SerializePresets(ByteChunk* chunk);
    // Returns the position after the presets, or -1 when the chunk is null or ended early
    // (failure is < 0, as for UnserializeState).
    int UnserializePresets(ByteChunk* chunk, int startPos);

    // ---- Preset files (UI thread; take the mutex) ----
    // Program (FXP) and bank (FXB) files, in chunk form when the plug-in keeps state chunks and
    // in parameter form otherwise. Saves replace the file only once it is wholly written; loads
    // refuse files over 16 MiB, foreign plug-in IDs, unknown formats, and programs, records or
    // chunks cut short or counting another number of parameters, changing nothing for them: a
    // bank is checked whole before any of it is applied.
    bool SaveProgramAsFXP(WDL_String* path);
    bool SaveBankAsFXB(WDL_String* path);
    bool LoadProgramFromFXP(WDL_String* path);
    bool LoadBankFromFXB(WDL_String* path);
    // Developer aids: a source line recreating the current values (paramEnumNames names each
    // parameter; null gives indexes), and Base64 lines for MakePresetFromBlob (chunks over
    // 1533 bytes are cut).
    void DumpPresetSrcCode(const char* path, const char** paramEnumNames);
    void DumpPresetBlob(const char* path);
    void DumpBankBlob(const char* path);

protected:
    IPreset* GetNextUninitializedPreset();
    // Appends item to list, owning it; when the list cannot grow the item is deleted and the
    // instance marked incomplete.
    template <class T>
    void AddOwned(WDL_PtrList<T>& list, T* item) {
        if (!list.Add(item)) {
            delete item;
            complete = false;
        }
    }
    void MarkIncomplete() { complete = false; }

    // The lists hold a few entries each: a small growth step keeps an instance small (hosts may
    // run hundreds of them).
    static constexpr int kListGranularity = 64;

    WDL_PtrList<ChannelIO> channelIO{kListGranularity};
    WDL_Mutex mutex;
    char effectName[kMaxEffectNameLen];
    char productName[kMaxEffectNameLen];
    char mfrName[kMaxEffectNameLen];
    int uniqueID, mfrID, version;
    EAPI api;
    EHost host = kHostUninit;
    int hostVersion = 0;
    bool stateChunks, isInst, doesMIDI;
    bool isBypassed = false;
    int currentPresetIdx = 0;
    double sampleRate = 44100.0;
    int blockSize = 0;
    int latency;
    int tailSize = 0;
    WDL_PtrList<const char> paramGroups{kListGranularity};
    IPlugEditor* graphics = nullptr;
    WDL_PtrList<IParam> params{kListGranularity};
    WDL_PtrList<IPreset> presets{kListGranularity};
    WDL_TypedBuf<double*> inData{kListGranularity}, outData{kListGranularity};
    WDL_PtrList<InChannel> inChannels{kListGranularity};
    WDL_PtrList<OutChannel> outChannels{kListGranularity};
    WDL_PtrList<WDL_String> inputBusLabels{kListGranularity};
    WDL_PtrList<WDL_String> outputBusLabels{kListGranularity};

private:
    bool complete = true;

    // Points the float channel lists at the bound host buffers, silence and discard; false when
    // a connected channel is bound to a double buffer or to none (the double path serves it).
    bool BindFloatChannels();
    // Converts the bound float inputs into their scratch buffers for the double path.
    void WidenFloatInputs(int nFrames);
    // Room for bytes in connected input idx's scratch block, where a pass-through sets the input
    // aside while an output overwrites its buffer; null when the block is smaller or not free.
    void* InputSpare(int idx, size_t bytes);

    // Small granularities: these never grow after SetBlockSize, so over-allocating them would
    // only make every instance bigger.
    WDL_TypedBuf<const float*> fInData{16};
    WDL_TypedBuf<float*> fOutData{16};
    WDL_TypedBuf<float> fSilence{64}, fDiscard{64}; // one block each
    IPreset* FillNextPreset(const char* name);
    void AppendProgramHeader(ByteChunk* out, const char (&formatMagic)[5], int byteSize,
                             const char* name) const;
    // Sets parameters from big-endian normalised floats at pos; returns the position after
    // them, or -1 when the data ran out.
    int ApplyNormalizedFloats(const ByteChunk& data, int pos);
    void StorePreset(int idx, const char* name);
};
