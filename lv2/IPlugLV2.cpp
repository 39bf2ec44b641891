// Instantiation, ports and run of the LV2 wrapper.
#include "lv2/IPlugLV2.h"

#include "lv2/LV2PortValues.h"
#include "plugin/HostValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void IPlugLV2::PluginURI(const char* base, const ChannelIO& io, char* out) {
    if (io.in == 1 && io.out == 1)
        std::snprintf(out, kLV2URISize, "%s#mono", base);
    else if (io.in == 2 && io.out == 2)
        std::snprintf(out, kLV2URISize, "%s#stereo", base);
    else
        std::snprintf(out, kLV2URISize, "%s#in%dout%d", base, io.in, io.out);
}

bool IPlugLV2::Setup(int ioIdx, double rate) {
    const ChannelIO* io = GetChannelIO(ioIdx);
    if (!io || io->in < 0 || io->out < 0 || io->in > NInChannels() || io->out > NOutChannels())
        return false;
    // A rate that does not fit the circuits' integer rate would run as some other rate.
    if (!UsableSampleRate(rate)) return false;

    layout.nIn = io->in;
    layout.nOut = io->out;
    layout.nParams = NParams();
    const int bypass = LV2Product().enabledParam;
    enabledParam = bypass >= 0 && bypass < NParams() ? bypass : -1;
    layout.bypassPort = enabledParam >= 0;
    layout.qualityPorts = NQualities() > 1;
    const int nControls = layout.NPorts() - layout.FirstControl();

    // Every buffer the run needs, sized now so that run never allocates.
    auto sized = [](auto& buf, int n) { return n == 0 || buf.Resize(n) != nullptr; };
    bool allocated = sized(audioPorts, layout.nIn + layout.nOut) &&
                     sized(controlPorts, nControls) && sized(inPtrs, layout.nIn) &&
                     sized(outPtrs, layout.nOut);
    SetBlockSize(kSliceFrames);
    allocated = allocated && blockSize == kSliceFrames;
    for (int i = 0; i < NInChannels(); ++i)
        allocated = allocated && inChannels.Get(i)->scratch.GetSize() == kSliceFrames;
    for (int i = 0; i < NOutChannels(); ++i)
        allocated = allocated && outChannels.Get(i)->scratch.GetSize() == kSliceFrames;
    if (!allocated) return false;
    for (int i = 0; i < layout.nIn + layout.nOut; ++i)
        audioPorts.Get()[i] = nullptr;
    for (int i = 0; i < nControls; ++i)
        controlPorts.Get()[i] = nullptr;
    // LV2 presets live in the bundle's Turtle and reach the instance as port values: the preset
    // slots (a state chunk each) would only cost memory in every instance.
    presets.Empty(true);

    WDL_MutexLock lock(&mutex);
    SetHost("", 0); // LV2 does not name its host
    SetSampleRate(rate);
    SetInputChannelConnections(0, NInChannels(), false);
    SetInputChannelConnections(0, layout.nIn, true);
    SetOutputChannelConnections(0, NOutChannels(), false);
    SetOutputChannelConnections(0, layout.nOut, true);
    // A host may run without activating first; the effect must hold its parameters by then.
    OnParamReset();
    // Until a port says otherwise the bypass stays as the product set it.
    if (enabledParam >= 0) enabledBypass = GetParam(enabledParam)->Value();
    portBypass = 0.0;
    return true;
}

void IPlugLV2::ConnectPort(uint32_t port, void* data) {
    if (port >= static_cast<uint32_t>(layout.NPorts())) return;
    const int p = static_cast<int>(port);
    if (p < layout.FirstControl())
        audioPorts.Get()[p] = static_cast<float*>(data);
    else
        controlPorts.Get()[p - layout.FirstControl()] = static_cast<float*>(data);
}

void IPlugLV2::Activate() {
    WDL_MutexLock lock(&mutex);
    OnParamReset();
    Reset();
    OnActivate(true);
}

void IPlugLV2::Deactivate() {
    WDL_MutexLock lock(&mutex);
    OnActivate(false);
}

void IPlugLV2::ReadControlPorts() {
    for (int i = 0; i < layout.nParams; ++i) {
        const float* port = controlPorts.Get()[i];
        if (!port) continue;
        const float v = *port;
        if (std::isnan(v)) continue; // nothing to clamp towards; the parameter keeps its value
        if (i == enabledParam) {
            enabledBypass = LV2BypassFromEnabled(v);
            continue;
        }
        GetParam(i)->Set(v); // clamped to the range
        OnParamChange(i);
    }
    ReadQualityPort();
    if (enabledParam < 0) return;
    // Either port bypasses; an earlier session's "by" is not undone by a host's "enabled" at 1.
    const float* by = controlPorts.Get()[layout.BypassPort() - layout.FirstControl()];
    if (!by)
        portBypass = 0.0;
    else if (std::isfinite(*by)) // as the parameter ignores an infinity
        portBypass = LV2BypassFromBypassPort(*by);
    GetParam(enabledParam)->Set(std::max(enabledBypass, portBypass));
    OnParamChange(enabledParam);
}

void IPlugLV2::ReadQualityPort() {
    if (!layout.qualityPorts) return;
    const float* port = ControlPort(layout.QualityPort());
    int quality = GetQuality();
    if (!port)
        quality = 0;
    else if (!std::isnan(*port)) // NaN keeps the setting
        quality = static_cast<int>(std::lround(std::clamp(*port, 0.0f, NQualities() - 1.0f)));
    if (quality != GetQuality()) SetQuality(quality);
    if (float* latencyPort = ControlPort(layout.LatencyPort()))
        *latencyPort = static_cast<float>(GetLatency());
}

void IPlugLV2::ProcessSlice(uint32_t offset, int nFrames) {
    // A null buffer reads as silence and is never written.
    for (int c = 0; c < layout.nIn; ++c) {
        float* port = audioPorts.Get()[layout.FirstInput() + c];
        inPtrs.Get()[c] = port ? port + offset : nullptr;
    }
    for (int c = 0; c < layout.nOut; ++c) {
        float* port = audioPorts.Get()[layout.FirstOutput() + c];
        outPtrs.Get()[c] = port ? port + offset : nullptr;
    }
    AttachInputBuffers(0, layout.nIn, inPtrs.Get(), nFrames);
    AttachOutputBuffers(0, layout.nOut, outPtrs.Get());
    ProcessBuffers(0.0f, nFrames);
}

void IPlugLV2::Run(uint32_t nFrames) {
    ReadControlPorts();
    if (blockSize <= 0) return;
    for (uint32_t done = 0; done < nFrames;) {
        const int n = static_cast<int>(std::min<uint32_t>(nFrames - done, blockSize));
        ProcessSlice(done, n);
        done += static_cast<uint32_t>(n);
    }
}
