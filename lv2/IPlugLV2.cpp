// Instantiation, ports, run and state of the LV2 wrapper.
#include "lv2/IPlugLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

IPlugLV2::IPlugLV2(IPlugInstanceInfo /*instanceInfo*/, int nParams, const char* channelIOStr,
                   int nPresets, const char* effectNameText, const char* productNameText,
                   const char* mfrNameText, int vendorVersion, int uniqueId, int mfrId,
                   int latencySamples, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                   int /*plugScChans*/)
    : IPlugBase(nParams, channelIOStr, nPresets, effectNameText, productNameText, mfrNameText,
                vendorVersion, uniqueId, mfrId, latencySamples, plugDoesMidi, plugDoesChunks,
                plugIsInst, kAPILV2) {}

void IPlugLV2::PluginURI(const char* base, const ChannelIO& io, char* out) {
    if (io.in == 1 && io.out == 1)
        std::snprintf(out, 256, "%s#mono", base);
    else if (io.in == 2 && io.out == 2)
        std::snprintf(out, 256, "%s#stereo", base);
    else
        std::snprintf(out, 256, "%s#in%dout%d", base, io.in, io.out);
}

void IPlugLV2::StateKeyURI(const char* base, char* out) {
    std::snprintf(out, 256, "%s#state", base);
}

namespace {

// The host's maximum block length from its options, or 0 when it gives none we can read.
int MaxBlockFromOptions(const LV2_Options_Option* options, const LV2_URID_Map* map) {
    if (!options || !map) return 0;
    const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
        if (o->key != maxKey || o->type != intType || o->size != sizeof(int32_t) || !o->value)
            continue;
        int32_t n;
        std::memcpy(&n, o->value, sizeof n);
        return std::max(n, 0);
    }
    return 0;
}

} // namespace

bool IPlugLV2::Setup(int ioIdx, double rate, const LV2_Feature* const* features) {
    const ChannelIO* io = GetChannelIO(ioIdx);
    if (!io || io->in < 0 || io->out < 0 || io->in > NInChannels() || io->out > NOutChannels())
        return false;
    if (!std::isfinite(rate) || rate <= 0.0) return false;

    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if (!(*f)->URI) continue;
        if (!std::strcmp((*f)->URI, LV2_URID__map))
            map = static_cast<const LV2_URID_Map*>((*f)->data);
        else if (!std::strcmp((*f)->URI, LV2_OPTIONS__options))
            options = static_cast<const LV2_Options_Option*>((*f)->data);
    }
    if (map && !map->map) map = nullptr;
    if (map) {
        char key[256];
        StateKeyURI(LV2PluginURIBase(), key);
        chunkType = map->map(map->handle, LV2_ATOM__Chunk);
        stateKey = map->map(map->handle, key);
    }

    int block = MaxBlockFromOptions(options, map);
    block = block > 0 ? std::min(block, kMaxBlockSize) : kDefaultBlockSize;

    layout.nIn = io->in;
    layout.nOut = io->out;
    layout.nParams = NParams();

    // Every buffer the run needs, sized now so that run never allocates.
    audioPorts.Resize(layout.nIn + layout.nOut);
    controlPorts.Resize(layout.nParams);
    lastControl.Resize(layout.nParams);
    inPtrs.Resize(layout.nIn);
    outPtrs.Resize(layout.nOut);
    silence.Resize(block);
    discard.Resize(block);
    SetBlockSize(block);
    bool allocated = audioPorts.GetSize() == layout.nIn + layout.nOut &&
                     controlPorts.GetSize() == layout.nParams &&
                     lastControl.GetSize() == layout.nParams && inPtrs.GetSize() == layout.nIn &&
                     outPtrs.GetSize() == layout.nOut && silence.GetSize() == block &&
                     discard.GetSize() == block && blockSize == block;
    for (int i = 0; i < NInChannels(); ++i)
        allocated = allocated && inChannels.Get(i)->scratch.GetSize() == block;
    for (int i = 0; i < NOutChannels(); ++i)
        allocated = allocated && outChannels.Get(i)->scratch.GetSize() == block;
    if (!allocated) return false;

    for (int i = 0; i < layout.nIn + layout.nOut; ++i)
        audioPorts.Get()[i] = nullptr;
    for (int i = 0; i < layout.nParams; ++i) {
        controlPorts.Get()[i] = nullptr;
        // A port is applied when it differs from what the plug-in holds, so a port still at the
        // default leaves a restored state alone.
        lastControl.Get()[i] = static_cast<float>(GetParam(i)->Value());
    }
    std::memset(silence.Get(), 0, sizeof(float) * block);

    WDL_MutexLock lock(&mutex);
    SetHost("", 0); // LV2 does not name its host
    SetSampleRate(rate);
    SetInputChannelConnections(0, NInChannels(), false);
    SetInputChannelConnections(0, layout.nIn, true);
    SetOutputChannelConnections(0, NOutChannels(), false);
    SetOutputChannelConnections(0, layout.nOut, true);
    // A host may run without activating first; the effect must hold its parameters by then.
    OnParamReset();
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
        float& last = lastControl.Get()[i];
        if (v == last) continue;
        last = v;
        if (std::isnan(v)) continue; // nothing to clamp towards; the parameter keeps its value
        GetParam(i)->Set(v);         // clamped to the range, as a host's set is
        OnParamChange(i);
    }
}

void IPlugLV2::ProcessSlice(uint32_t offset, int nFrames) {
    for (int c = 0; c < layout.nIn; ++c) {
        float* port = audioPorts.Get()[layout.FirstInput() + c];
        inPtrs.Get()[c] = port ? port + offset : silence.Get();
    }
    for (int c = 0; c < layout.nOut; ++c) {
        float* port = audioPorts.Get()[layout.FirstOutput() + c];
        outPtrs.Get()[c] = port ? port + offset : discard.Get();
    }
    AttachInputBuffers(0, layout.nIn, inPtrs.Get(), nFrames);
    AttachOutputBuffers(0, layout.nOut, outPtrs.Get());
    if (isBypassed)
        PassThroughBuffers(0.0f, nFrames);
    else
        ProcessBuffers(0.0f, nFrames);
}

void IPlugLV2::Run(uint32_t nFrames) {
    WDL_MutexLock lock(&mutex);
    ReadControlPorts();
    if (blockSize <= 0) return;
    for (uint32_t done = 0; done < nFrames;) {
        const int n = static_cast<int>(std::min<uint32_t>(nFrames - done, blockSize));
        ProcessSlice(done, n);
        done += static_cast<uint32_t>(n);
    }
}

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (!map) return LV2_STATE_ERR_NO_FEATURE;
    if (!store) return LV2_STATE_ERR_UNKNOWN;
    ByteChunk chunk;
    {
        WDL_MutexLock lock(&mutex);
        if (!SerializeState(&chunk)) return LV2_STATE_ERR_UNKNOWN;
    }
    return store(handle, stateKey, chunk.GetBytes(), static_cast<size_t>(chunk.Size()), chunkType,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve,
                                        LV2_State_Handle handle) {
    if (!map) return LV2_STATE_ERR_NO_FEATURE;
    if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, stateKey, &size, &type, &flags);
    if (!data) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != chunkType) return LV2_STATE_ERR_BAD_TYPE;
    if (size > static_cast<size_t>(INT32_MAX)) return LV2_STATE_ERR_UNKNOWN;

    ByteChunk chunk;
    if (chunk.PutBytes(data, static_cast<int>(size)) != static_cast<int>(size))
        return LV2_STATE_ERR_UNKNOWN;
    if (!DoesStateChunks()) {
        // The parameter layout: exactly one finite double per parameter, or nothing is touched.
        if (chunk.Size() != NParams() * static_cast<int>(sizeof(double)))
            return LV2_STATE_ERR_UNKNOWN;
        for (int i = 0; i < NParams(); ++i) {
            double v = 0.0;
            chunk.Read(&v, i * static_cast<int>(sizeof(double)));
            if (!std::isfinite(v)) return LV2_STATE_ERR_UNKNOWN;
        }
    }
    WDL_MutexLock lock(&mutex);
    if (UnserializeState(&chunk, 0) < 0) return LV2_STATE_ERR_UNKNOWN;
    RedrawParamControls();
    return LV2_STATE_SUCCESS;
}
