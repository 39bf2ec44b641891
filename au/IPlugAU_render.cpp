// Rendering: input assessment, pulling inputs, binding outputs, scratch sizing, transport.
#include "au/IPlugAU.h"

#include <algorithm>
#include <cstring>

namespace {

// An input bus carries at most this many host channels in one pull.
constexpr int kMaxInputBuffers = 128;

struct LocalBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[kMaxInputBuffers];
};

AudioBufferList* AsList(LocalBufferList* list) {
    return reinterpret_cast<AudioBufferList*>(list);
}

} // namespace

void IPlugAU::AssessInputConnections() {
    WDL_MutexLock lock(&mutex);
    SetInputChannelConnections(0, NInChannels(), false);
    for (int i = 0; i < inBuses.GetSize(); ++i) {
        BusChannels* bus = inBuses.Get(i);
        UpstreamLink* link = inBusConnections.Get(i);
        if (link->upstreamRenderProc && link->upstreamStorage)
            link->inputType = eDirectFastProc;
        else if (link->upstreamUnit)
            link->inputType = eDirectNoFastProc;
        else if (link->renderCallback.inputProc)
            link->inputType = eRenderCallback;
        else
            link->inputType = eNotConnected;

        if (link->inputType == eNotConnected) {
            bus->connected = false;
            continue;
        }
        bus->connected = true;
        if (bus->nHostChannels < 0) bus->nHostChannels = bus->nPlugChannels;
        const int first = bus->plugChannelStartIdx;
        SetInputChannelConnections(first, bus->nHostChannels, true);
        SetInputChannelConnections(first + bus->nHostChannels,
                                   std::max(bus->nPlugChannels - bus->nHostChannels, 0), false);
    }
}

OSStatus IPlugAU::RenderProc(AudioUnitRenderActionFlags* /*flags*/, const AudioTimeStamp* timeStamp,
                             UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* bufferList) {
    if (!timeStamp || !bufferList || !(timeStamp->mFlags & kAudioTimeStampSampleTimeValid) ||
        outputBusIdx >= static_cast<UInt32>(outBuses.GetSize()))
        return kAudioUnitErr_InvalidPropertyValue;
    if (!active) return kAudioUnitErr_Uninitialized;
    if (nFrames > static_cast<UInt32>(GetBlockSize())) return kAudioUnitErr_TooManyFramesToProcess;
    // Every host buffer the render writes must hold the frames (null ones get scratch memory).
    for (UInt32 k = 0; k < bufferList->mNumberBuffers; ++k) {
        const AudioBuffer& buffer = bufferList->mBuffers[k];
        if (buffer.mData && buffer.mDataByteSize < nFrames * sizeof(float)) return paramErr;
    }
    const int n = static_cast<int>(nFrames);

    // Entries added by a notify procedure itself wait for the next render.
    const int nNotify = renderNotify.GetSize();
    auto notify = [&](AudioUnitRenderActionFlags when) {
        for (int i = 0; i < nNotify && i < renderNotify.GetSize(); ++i) {
            const AURenderCallbackStruct* entry = renderNotify.Get(i);
            AudioUnitRenderActionFlags flags = when;
            entry->inputProc(entry->inputProcRefCon, &flags, timeStamp, outputBusIdx, nFrames,
                             bufferList);
        }
    };
    notify(kAudioUnitRenderAction_PreRender);

    if (timeStamp->mSampleTime != lastRenderSampleTime) {
        float* inScratch = static_cast<float*>(inScratchBuf.Get());
        for (int i = 0; i < inBuses.GetSize(); ++i) {
            const BusChannels* bus = inBuses.Get(i);
            if (!bus->connected) continue;
            const UpstreamLink* link = inBusConnections.Get(i);
            LocalBufferList list;
            const int nChannels = std::min(bus->nHostChannels, kMaxInputBuffers);
            list.mNumberBuffers = static_cast<UInt32>(nChannels);
            for (int j = 0; j < nChannels; ++j) {
                list.mBuffers[j].mNumberChannels = 1;
                list.mBuffers[j].mDataByteSize = nFrames * sizeof(float);
                list.mBuffers[j].mData = nullptr;
            }
            AudioUnitRenderActionFlags pullFlags = 0;
            OSStatus status = noErr;
            switch (link->inputType) {
            case eDirectFastProc:
                status = link->upstreamRenderProc(link->upstreamStorage, &pullFlags, timeStamp,
                                                  link->upstreamBusIdx, nFrames, AsList(&list));
                break;
            case eDirectNoFastProc:
                status = AudioUnitRender(link->upstreamUnit, &pullFlags, timeStamp,
                                         link->upstreamBusIdx, nFrames, AsList(&list));
                break;
            case eRenderCallback:
                // Channels past the plug-in's own inputs have no scratch room: leave them null.
                for (int j = 0; j < nChannels; ++j) {
                    const int channel = bus->plugChannelStartIdx + j;
                    if (inScratch && channel < NInChannels())
                        list.mBuffers[j].mData = inScratch + static_cast<size_t>(channel) * n;
                }
                status = link->renderCallback.inputProc(
                    link->renderCallback.inputProcRefCon, &pullFlags, timeStamp,
                    static_cast<UInt32>(i), nFrames, AsList(&list));
                break;
            default:
                break;
            }
            if (status != noErr) return status;
            // A buffer left without memory is silence (the base zero-fills the channel).
            for (int j = 0; j < nChannels; ++j) {
                float* data = static_cast<float*>(list.mBuffers[j].mData);
                AttachInputBuffers(bus->plugChannelStartIdx + j, 1, &data, n);
            }
        }
        lastRenderSampleTime = timeStamp->mSampleTime;
    }

    BusChannels* outBus = outBuses.Get(static_cast<int>(outputBusIdx));
    const int nBuffers = static_cast<int>(bufferList->mNumberBuffers);
    if (!outBus->connected || outBus->nHostChannels != nBuffers) {
        const int m =
            outBus->nHostChannels < 0 ? nBuffers : std::min(outBus->nHostChannels, nBuffers);
        SetOutputChannelConnections(outBus->plugChannelStartIdx, m, true);
        SetOutputChannelConnections(outBus->plugChannelStartIdx + m,
                                    std::max(outBus->nPlugChannels - m, 0), false);
        outBus->connected = true;
    }

    float* outScratch = static_cast<float*>(outScratchBuf.Get());
    for (int k = 0; k < nBuffers; ++k) {
        const int channel = outBus->plugChannelStartIdx + k;
        if (channel >= NOutChannels()) break; // more host buffers than plug-in outputs
        AudioBuffer& buffer = bufferList->mBuffers[k];
        if (!buffer.mData && outScratch)
            buffer.mData = outScratch + static_cast<size_t>(channel) * n;
        float* data = static_cast<float*>(buffer.mData);
        AttachOutputBuffers(channel, 1, &data);
    }

    int lastConnected = outBuses.GetSize() - 1;
    for (int i = 0; i < outBuses.GetSize(); ++i) {
        if (!outBuses.Get(i)->connected) {
            lastConnected = i - 1;
            break;
        }
    }
    if (static_cast<int>(outputBusIdx) == lastConnected) {
        const int next = static_cast<int>(outputBusIdx) + 1;
        if (next < outBuses.GetSize())
            SetOutputChannelConnections(2 * next, 2 * outBuses.GetSize() - 2 * next, false);
        if (isBypassed)
            PassThroughBuffers(0.0f, n);
        else
            ProcessBuffers(0.0f, n);
    }

    notify(kAudioUnitRenderAction_PostRender);
    return noErr;
}

void IPlugAU::SetBlockSize(int frames) {
    frames = std::max(frames, 0);
    const int inFloats = frames * NInChannels(), outFloats = frames * NOutChannels();
    if (void* in = inScratchBuf.Resize(inFloats * static_cast<int>(sizeof(float))))
        std::memset(in, 0, static_cast<size_t>(inFloats) * sizeof(float));
    if (void* out = outScratchBuf.Resize(outFloats * static_cast<int>(sizeof(float))))
        std::memset(out, 0, static_cast<size_t>(outFloats) * sizeof(float));
    IPlugBase::SetBlockSize(frames);
}

void IPlugAU::SetLatency(int samples) {
    IPlugBase::SetLatency(samples);
    InformListeners(kAudioUnitProperty_Latency, kAudioUnitScope_Global);
}

double IPlugAU::GetTempo() {
    if (hostCallbacks.beatAndTempoProc) {
        Float64 beat = 0.0, hostTempo = 0.0;
        hostCallbacks.beatAndTempoProc(hostCallbacks.hostUserData, &beat, &hostTempo);
        if (hostTempo > 0.0) tempo = hostTempo;
    }
    return tempo;
}

int IPlugAU::GetSamplePos() {
    if (!hostCallbacks.transportStateProc) return 0;
    Boolean playing = false, changed = false, cycling = false;
    Float64 samplePos = 0.0, cycleStart = 0.0, cycleEnd = 0.0;
    hostCallbacks.transportStateProc(hostCallbacks.hostUserData, &playing, &changed, &samplePos,
                                     &cycling, &cycleStart, &cycleEnd);
    const double rounded = samplePos + 0.5;
    return rounded > 0.0 && rounded < 2147483647.0 ? static_cast<int>(rounded) : 0;
}

void IPlugAU::GetTimeSig(int* numerator, int* denominator) {
    if (!hostCallbacks.musicalTimeLocationProc) return;
    UInt32 toNextBeat = 0, denom = 0;
    Float32 num = 0.0f;
    Float64 downBeat = 0.0;
    hostCallbacks.musicalTimeLocationProc(hostCallbacks.hostUserData, &toNextBeat, &num, &denom,
                                          &downBeat);
    if (numerator) *numerator = num > 0.0f && num < 65536.0f ? static_cast<int>(num) : 0;
    if (denominator) *denominator = static_cast<int>(denom);
}

void IPlugAU::GetTime(ITimeInfo* ti) {
    if (!ti) return;
    if (hostCallbacks.beatAndTempoProc) {
        Float64 beat = 0.0, hostTempo = 0.0;
        hostCallbacks.beatAndTempoProc(hostCallbacks.hostUserData, &beat, &hostTempo);
        if (hostTempo > 0.0) ti->tempo = hostTempo;
        if (beat > 0.0) ti->ppqPos = beat;
    }
    if (hostCallbacks.transportStateProc) {
        Boolean playing = false, changed = false, cycling = false;
        Float64 samplePos = 0.0, cycleStart = 0.0, cycleEnd = 0.0;
        hostCallbacks.transportStateProc(hostCallbacks.hostUserData, &playing, &changed, &samplePos,
                                         &cycling, &cycleStart, &cycleEnd);
        if (samplePos > 0.0) ti->samplePos = samplePos;
        if (cycleStart > 0.0) ti->cycleStart = cycleStart;
        if (cycleEnd > 0.0) ti->cycleEnd = cycleEnd;
        ti->transportIsRunning = playing;
        ti->transportLoopEnabled = cycling;
    }
    if (hostCallbacks.musicalTimeLocationProc) {
        UInt32 toNextBeat = 0, denom = 0;
        Float32 num = 0.0f;
        Float64 downBeat = 0.0;
        hostCallbacks.musicalTimeLocationProc(hostCallbacks.hostUserData, &toNextBeat, &num, &denom,
                                              &downBeat);
        ti->numerator = num > 0.0f && num < 65536.0f ? static_cast<int>(num) : 0;
        ti->denominator = static_cast<int>(denom);
        if (downBeat > 0.0) ti->lastBar = downBeat;
    }
}
