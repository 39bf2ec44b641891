// The LV2 wrapper: maps an LV2 host's descriptor calls onto the plug-in base, as the Audio Unit
// wrapper maps component calls.
//
// One LV2 plug-in per channel configuration of the product ("1-1 2-2" gives a mono and a
// stereo plug-in), all in one bundle. Ports of each, in index order: the audio inputs, the audio
// outputs, one control input per parameter in parameter order, then, when the product has a
// bypass parameter, its earlier port "by" (LV2PortLayout). Indexes never move: hosts that save
// ports by index reopen their sessions.
//
// The control ports are the parameters' only truth: every run reads every connected control port
// and sets its parameter from it, so whatever a host restores (and in whatever order) the ports
// decide the sound. The bundle therefore keeps no state of its own: a host's saved session is its
// port values, and there is no state interface to race with run.
//
// Instantiate (main thread): refuse a sample rate that is not finite, positive and below 2^31 Hz;
// size every buffer here, never in run. Buffers hold one slice of kSliceFrames whatever the host's
// maximum block, so an instance stays small; runs of any length, 0 included, go in slices.
//
// Run (audio thread): no lock, no allocation. Per connected control port: NaN is ignored (the
// parameter keeps its value), other values are clamped to the range, and the product takes the
// value through OnParamChange, which takes no lock. The bypass parameter,
// LV2Product().enabledParam, has two ports, each asking for a bypass of its own: its parameter port
// with lv2:designation lv2:enabled
// (> 0 processes, otherwise bypass), and the optional port "by" after every parameter's, the
// bypass port of earlier builds, kept so that their sessions (restored by symbol, with no
// "enabled" value) still bypass where they did (then, for a product with a quality setting, the
// input "quality", read as the nearest setting, unconnected or absent from a session meaning 0,
// and the output "latency", written with the product's latency on every run): read as the parameter
// itself reads a value (1 and above bypass), unconnected meaning 0. The parameter bypasses (1) when
// either asks; NaN (and, on "by", an infinity) keeps that port's last request. An unconnected audio
// input reads silence, an unconnected output is not written.
#pragma once

#include "containers/WDL_TypedBuf.h"
#include "lv2/IPlugLV2Base.h"
#include "lv2/LV2Product.h"

#include <lv2/core/lv2.h>

#include <cstdint>

// Where each kind of port sits for one channel configuration.
struct LV2PortLayout {
    int nIn = 0, nOut = 0, nParams = 0;
    bool bypassPort = false; // the earlier bypass port "by" follows the parameters' ports
    // The quality setting's input port "quality" and the output port "latency" come last, for
    // a product with more than one quality.
    bool qualityPorts = false;
    int FirstInput() const { return 0; }
    int FirstOutput() const { return nIn; }
    int FirstControl() const { return nIn + nOut; }
    int BypassPort() const { return bypassPort ? nIn + nOut + nParams : -1; }
    int QualityPort() const {
        return qualityPorts ? nIn + nOut + nParams + (bypassPort ? 1 : 0) : -1;
    }
    int LatencyPort() const { return qualityPorts ? QualityPort() + 1 : -1; }
    int NPorts() const {
        return nIn + nOut + nParams + (bypassPort ? 1 : 0) + (qualityPorts ? 2 : 0);
    }
};

class IPlugLV2 : public IPlugLV2Base {
public:
    static constexpr int kSliceFrames = 256; // frames processed per slice of a run

    using IPlugLV2Base::IPlugLV2Base;

    // ---- Descriptor calls (see the header comment for threads) ----
    // Chooses channel configuration ioIdx and prepares every buffer; false refuses the instance.
    bool Setup(int ioIdx, double rate);
    void ConnectPort(uint32_t port, void* data);
    void Activate();   // OnParamReset, Reset, OnActivate(true); instantiation thread
    void Deactivate(); // OnActivate(false); instantiation thread
    void Run(uint32_t nFrames);

    const LV2PortLayout& Layout() const { return layout; }

    // The plug-in URI of a channel configuration under base: base#mono, base#stereo, or
    // base#in<N>out<M> for any other; out holds at least kLV2URISize bytes.
    static void PluginURI(const char* base, const ChannelIO& io, char* out);

private:
    void ReadControlPorts();
    void ReadQualityPort();
    float* ControlPort(int port) const { return controlPorts.Get()[port - layout.FirstControl()]; }
    void ProcessSlice(uint32_t offset, int nFrames);

    LV2PortLayout layout;
    int enabledParam = -1;
    // What each bypass port last asked for (real parameter values); render thread after Setup.
    double enabledBypass = 0.0, portBypass = 0.0;
    WDL_TypedBuf<float*> audioPorts{64}; // inputs then outputs, as connected by the host
    // One per parameter, then "by", "quality" and "latency" where the layout has them.
    WDL_TypedBuf<float*> controlPorts{64};
    WDL_TypedBuf<float*> inPtrs{64}, outPtrs{64};
};

// The plug-in factory each product defines (one per wrapper): constructs the product in memory
// (or in a new block when memory is null) and returns it.
IPlugLV2* MakePlug(void* memory);
