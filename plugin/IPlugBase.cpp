#include "plugin/IPlugBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

IPlugBase::IPlugBase(int nParams, const char* channelIOStr, int nPresets,
                     const char* effectNameText, const char* productNameText,
                     const char* mfrNameText, int vendorVersion, int uniqueId, int mfrId,
                     int latencySamples, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                     EAPI plugAPI)
    : uniqueID(uniqueId), mfrID(mfrId), version(vendorVersion), api(plugAPI),
      stateChunks(plugDoesChunks), isInst(plugIsInst), doesMIDI(plugDoesMidi),
      latency(latencySamples) {
    CopyCut(effectName, effectNameText, kMaxEffectNameLen);
    CopyCut(productName, productNameText, kMaxEffectNameLen);
    CopyCut(mfrName, mfrNameText, kMaxEffectNameLen);

    for (int i = 0; i < nParams; ++i)
        AddOwned(params, new IParam);
    for (int i = 0; i < nPresets; ++i)
        AddOwned(presets, new IPreset);

    // Configurations "in-out" separated by single spaces; a field that does not parse stays 0.
    int maxIn = 0, maxOut = 0;
    for (const char* p = channelIOStr; p;) {
        int nIn = 0, nOut = 0;
        std::sscanf(p, "%d-%d", &nIn, &nOut);
        AddOwned(channelIO, new ChannelIO(nIn, nOut));
        maxIn = std::max(maxIn, nIn);
        maxOut = std::max(maxOut, nOut);
        p = std::strchr(p, ' ');
        if (p) ++p;
    }

    // Slots start null: scratch buffers are empty until the first SetBlockSize.
    if ((maxIn > 0 && (!inData.Resize(maxIn) || !fInData.Resize(maxIn))) ||
        (maxOut > 0 && (!outData.Resize(maxOut) || !fOutData.Resize(maxOut)))) {
        complete = false;
        return;
    }
    for (int i = 0; i < maxIn; ++i) {
        inData.Get()[i] = nullptr;
        InChannel* ch = new InChannel;
        ch->src = inData.Get() + i;
        AddOwned(inChannels, ch);
    }
    for (int i = 0; i < maxOut; ++i) {
        outData.Get()[i] = nullptr;
        OutChannel* ch = new OutChannel;
        ch->dest = outData.Get() + i;
        AddOwned(outChannels, ch);
    }
}

IPlugBase::~IPlugBase() {
    delete graphics;
    params.Empty(true);
    presets.Empty(true);
    inChannels.Empty(true);
    outChannels.Empty(true);
    inputBusLabels.Empty(true);
    outputBusLabels.Empty(true);
    channelIO.Empty(true);
}

namespace {

// Single to double precision and back, four samples at a time where SSE2 is there: each value
// converts exactly as a scalar conversion would (widening is exact; narrowing rounds to nearest).
void Widen(const float* src, double* dst, int n) {
    int s = 0;
#if defined(__SSE2__)
    for (; s + 4 <= n; s += 4) {
        const __m128 f = _mm_loadu_ps(src + s);
        _mm_storeu_pd(dst + s, _mm_cvtps_pd(f));
        _mm_storeu_pd(dst + s + 2, _mm_cvtps_pd(_mm_movehl_ps(f, f)));
    }
#endif
    for (; s < n; ++s)
        dst[s] = src[s];
}

void Narrow(const double* src, float* dst, int n) {
    int s = 0;
#if defined(__SSE2__)
    for (; s + 4 <= n; s += 4) {
        const __m128 lo = _mm_cvtpd_ps(_mm_loadu_pd(src + s));
        const __m128 hi = _mm_cvtpd_ps(_mm_loadu_pd(src + s + 2));
        _mm_storeu_ps(dst + s, _mm_movelh_ps(lo, hi));
    }
#endif
    for (; s < n; ++s)
        dst[s] = static_cast<float>(src[s]);
}

// Copies input i to output i where both exist and zero-fills the remaining outputs (a null
// input is silence, a null output is skipped), as though every input were read before any output
// is written: a host may hand an output another channel's input buffer. Such an input is first
// set aside in spare(i), room for nFrames samples that nothing else reads now (null when there
// is none: the input is then copied where it lies).
template <typename T, typename Spare>
void CopyThrough(const T* const* inputs, int nIn, T* const* outputs, int nOut, int nFrames,
                 Spare spare) {
    if (nFrames <= 0) return;
    const size_t bytes = static_cast<size_t>(nFrames) * sizeof(T);
    auto holds = [&](const T* p) {
        for (int k = 0; k < nIn; ++k)
            if (inputs[k] == p) return true;
        for (int k = 0; k < nOut; ++k)
            if (outputs[k] == p) return true;
        return false;
    };
    // The room input i is set aside in, or null when it is read where it lies.
    auto stashOf = [&](int i) -> T* {
        if (!inputs[i] || !outputs[i]) return nullptr;
        bool overwritten = false;
        for (int k = 0; k < nOut && !overwritten; ++k)
            overwritten = k != i && outputs[k] == inputs[i];
        if (!overwritten) return nullptr;
        T* room = spare(i);
        return room && !holds(room) ? room : nullptr;
    };
    const int nCopied = std::min(nIn, nOut);
    for (int i = 0; i < nCopied; ++i)
        if (T* room = stashOf(i)) std::memcpy(room, inputs[i], bytes);
    for (int i = 0; i < nOut; ++i) {
        if (!outputs[i]) continue;
        const T* src = nullptr;
        if (i < nIn) {
            const T* room = stashOf(i);
            src = room ? room : inputs[i];
        }
        if (!src)
            std::memset(outputs[i], 0, bytes);
        else if (src != outputs[i])
            std::memmove(outputs[i], src, bytes);
    }
}

} // namespace

void IPlugBase::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
    CopyThrough(inputs, NInChannels(), outputs, NOutChannels(), nFrames, [&](int i) {
        return static_cast<double*>(InputSpare(i, sizeof(double) * std::max(nFrames, 0)));
    });
}

void IPlugBase::ProcessFloatReplacing(const float* const* inputs, float* const* outputs,
                                      int nFrames) {
    for (int i = 0; i < NInChannels(); ++i) {
        InChannel* ch = inChannels.Get(i);
        if (ch->scratch.GetSize() < nFrames) return; // never past the scratch blocks
        Widen(inputs[i], ch->scratch.Get(), nFrames);
        *ch->src = ch->scratch.Get();
    }
    ProcessDoubleReplacing(inData.Get(), outData.Get(), nFrames);
    for (int i = 0; i < NOutChannels(); ++i)
        if (outChannels.Get(i)->connected) Narrow(outData.Get()[i], outputs[i], nFrames);
}

bool IPlugBase::CompareState(const unsigned char* data, int startPos) {
    if (!NParams()) return true;
    if (!data || startPos < 0) return false;
    for (int i = 0; i < NParams(); ++i) {
        double stored; // the data need not be aligned
        std::memcpy(&stored, data + (static_cast<size_t>(startPos) + i) * sizeof(double),
                    sizeof stored);
        const float diff = static_cast<float>(GetParam(i)->Value()) - static_cast<float>(stored);
        if (!(std::fabs(diff) < 1e-05)) return false;
    }
    return true;
}

void IPlugBase::SetParameterFromGUI(int paramIdx, double normalizedValue) {
    if (!std::isfinite(normalizedValue)) return; // no change to announce
    {
        WDL_MutexLock lock(&mutex);
        IParam* param = GetParam(paramIdx);
        if (!param) return;
        param->SetNormalized(normalizedValue);
        OnParamChange(paramIdx);
    }
    // The host hears of it once the mutex is free: its listener may wait on a lock of the host's
    // own that a render thread holds while that thread waits for our mutex.
    InformHostOfParamChange(paramIdx, normalizedValue);
}

void IPlugBase::AttachGraphics(IPlugEditor* newGraphics) {
    if (!newGraphics) return;
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < NParams(); ++i)
        newGraphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
    newGraphics->SetQualityFromPlug(GetQuality());
    newGraphics->PrepDraw();
    if (graphics != newGraphics) delete graphics; // a second editor replaces the first
    graphics = newGraphics;
}

bool IPlugBase::ChangeQuality(int quality) {
    if (!SetQuality(quality)) return false;
    if (graphics) graphics->SetQualityFromPlug(GetQuality());
    return true;
}

void IPlugBase::SetQualityFromGUI(int quality) {
    WDL_MutexLock lock(&mutex);
    ChangeQuality(quality);
}

void IPlugBase::RedrawParamControls() {
    if (!graphics) return;
    for (int i = 0; i < NParams(); ++i)
        graphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPlugBase::SetBlockSize(int n) {
    if (n == blockSize) return;
    n = std::max(n, 0);
    // The scratch blocks may move: every slot, connected or not, is pointed at its own channel's
    // new block (silence until the next attach), so nothing is left pointing at freed memory.
    for (int i = 0; i < NInChannels(); ++i) {
        InChannel* ch = inChannels.Get(i);
        if (double* scratch = ch->scratch.Resize(n)) std::memset(scratch, 0, sizeof(double) * n);
        *ch->src = ch->scratch.Get();
        ch->fBound = false; // the host's buffers of the last block are not read again
        ch->fSrc = nullptr;
    }
    for (int i = 0; i < NOutChannels(); ++i) {
        OutChannel* ch = outChannels.Get(i);
        if (double* scratch = ch->scratch.Resize(n)) std::memset(scratch, 0, sizeof(double) * n);
        *ch->dest = ch->scratch.Get();
        ch->fDest = nullptr; // the next render binds the host's buffer again
    }
    // A buffer that could not grow keeps its old, smaller size: the render paths compare each
    // with blockSize and refuse to run on it.
    if (float* silence = fSilence.Resize(n)) std::memset(silence, 0, sizeof(float) * n);
    (void)fDiscard.Resize(n);
    blockSize = n;
}

int IPlugBase::GetEffectVersion(bool decimal) const {
    return decimal ? GetDecimalVersion(version) : version;
}

void IPlugBase::GetEffectVersionStr(char* out) const {
    GetVersionStr(version, out);
}

int IPlugBase::GetHostVersion(bool decimal) {
    GetHost();
    return decimal ? GetDecimalVersion(hostVersion) : hostVersion;
}

void IPlugBase::GetHostVersionStr(char* out) {
    GetHost();
    GetVersionStr(hostVersion, out);
}

void IPlugBase::SetHost(const char* hostName, int hostVersionNumber) {
    host = LookUpHost(hostName);
    hostVersion = hostVersionNumber;
}

double IPlugBase::GetSamplesPerBeat() {
    const double tempo = GetTempo();
    return tempo > 0.0 ? sampleRate * 60.0 / tempo : 0.0;
}

bool IPlugBase::LegalIO(int nIn, int nOut) const {
    for (int i = 0; i < NChannelIO(); ++i) {
        const ChannelIO* io = channelIO.Get(i);
        if ((nIn < 0 || nIn == io->in) && (nOut < 0 || nOut == io->out)) return true;
    }
    return false;
}

void IPlugBase::SetInputChannelConnections(int idx, int n, bool connected) {
    const int end = std::min(NInChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        InChannel* ch = inChannels.Get(i);
        ch->connected = connected;
        ch->fBound = false; // reads its slot until the next attach
        ch->fSrc = nullptr;
        if (connected) continue;
        // A disconnected input is silence, not whatever block it last received.
        if (ch->scratch.GetSize())
            std::memset(ch->scratch.Get(), 0, sizeof(double) * ch->scratch.GetSize());
        *ch->src = ch->scratch.Get();
    }
}

void IPlugBase::SetOutputChannelConnections(int idx, int n, bool connected) {
    const int end = std::min(NOutChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        OutChannel* ch = outChannels.Get(i);
        ch->connected = connected;
        if (!connected) *ch->dest = ch->scratch.Get();
    }
}

bool IPlugBase::IsInChannelConnected(int chIdx) const {
    const InChannel* ch = inChannels.Get(chIdx);
    return ch && ch->connected;
}

bool IPlugBase::IsOutChannelConnected(int chIdx) const {
    const OutChannel* ch = outChannels.Get(chIdx);
    return ch && ch->connected;
}

void IPlugBase::AttachInputBuffers(int idx, int n, double** ppData, int /*nFrames*/) {
    const int end = std::min(NInChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        InChannel* ch = inChannels.Get(i);
        if (!ch->connected) continue;
        *ch->src = *ppData++;
        ch->fBound = false;
    }
}

void IPlugBase::AttachInputBuffers(int idx, int n, float** ppData, int /*nFrames*/) {
    const int end = std::min(NInChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        InChannel* ch = inChannels.Get(i);
        if (!ch->connected) continue;
        ch->fSrc = *ppData++; // null: a buffer without memory delivers silence
        ch->fBound = true;
        *ch->src = ch->scratch.Get();
    }
}

void IPlugBase::WidenFloatInputs(int nFrames) {
    for (int i = 0; i < NInChannels(); ++i) {
        InChannel* ch = inChannels.Get(i);
        if (!ch->connected || !ch->fBound) continue;
        // The scratch buffer holds one block: never convert more than it can take.
        const int frames = std::min(nFrames, ch->scratch.GetSize());
        double* dst = ch->scratch.Get();
        if (dst && ch->fSrc)
            Widen(ch->fSrc, dst, frames);
        else if (dst && frames > 0)
            std::memset(dst, 0, sizeof(double) * static_cast<size_t>(frames));
        *ch->src = dst;
    }
}

void* IPlugBase::InputSpare(int idx, size_t bytes) {
    // Only a connected input's scratch block is free: a disconnected one is its silence.
    InChannel* ch = inChannels.Get(idx);
    if (!ch || !ch->connected || !ch->scratch.Get()) return nullptr;
    return ch->scratch.GetSize() * sizeof(double) >= bytes ? ch->scratch.Get() : nullptr;
}

bool IPlugBase::BindFloatChannels() {
    if (blockSize <= 0 || fSilence.GetSize() != blockSize || fDiscard.GetSize() != blockSize)
        return false;
    for (int i = 0; i < NInChannels(); ++i) {
        const InChannel* ch = inChannels.Get(i);
        if (ch->connected && !ch->fBound) return false;
        fInData.Get()[i] = ch->connected && ch->fSrc ? ch->fSrc : fSilence.Get();
    }
    for (int i = 0; i < NOutChannels(); ++i) {
        const OutChannel* ch = outChannels.Get(i);
        if (!ch->connected) {
            fOutData.Get()[i] = fDiscard.Get();
            continue;
        }
        if (!ch->fDest || *ch->dest != ch->scratch.Get()) return false;
        fOutData.Get()[i] = ch->fDest;
    }
    return true;
}

void IPlugBase::AttachOutputBuffers(int idx, int n, double** ppData) {
    const int end = std::min(NOutChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        OutChannel* ch = outChannels.Get(i);
        if (ch->connected) *ch->dest = *ppData++;
    }
}

void IPlugBase::AttachOutputBuffers(int idx, int n, float** ppData) {
    const int end = std::min(NOutChannels(), idx + std::max(n, 0));
    for (int i = std::max(idx, 0); i < end; ++i) {
        OutChannel* ch = outChannels.Get(i);
        if (!ch->connected) continue;
        *ch->dest = ch->scratch.Get();
        ch->fDest = *ppData++;
    }
}

void IPlugBase::ProcessBuffers(double /*sampleType*/, int nFrames) {
    nFrames = std::min(nFrames, blockSize);
    WidenFloatInputs(nFrames);
    ProcessDoubleReplacing(inData.Get(), outData.Get(), nFrames);
}

namespace {

enum class FloatOut { kReplace, kAccumulate };

void WriteFloatOutputs(const WDL_PtrList<OutChannel>& channels, int nFrames, FloatOut mode) {
    for (int i = 0; i < channels.GetSize(); ++i) {
        const OutChannel* ch = channels.Get(i);
        if (!ch->connected || !ch->fDest || !*ch->dest) continue;
        const double* src = *ch->dest;
        float* dst = ch->fDest;
        if (mode == FloatOut::kReplace)
            Narrow(src, dst, nFrames);
        else
            for (int s = 0; s < nFrames; ++s)
                dst[s] += static_cast<float>(src[s]);
    }
}

} // namespace

void IPlugBase::ProcessBuffers(float /*sampleType*/, int nFrames) {
    nFrames = std::min(nFrames, blockSize);
    if (BindFloatChannels()) {
        ProcessFloatReplacing(fInData.Get(), fOutData.Get(), nFrames);
        return;
    }
    ProcessBuffers(0.0, nFrames);
    WriteFloatOutputs(outChannels, nFrames, FloatOut::kReplace);
}

void IPlugBase::ProcessBuffersAccumulating(float /*sampleType*/, int nFrames) {
    nFrames = std::min(nFrames, blockSize);
    ProcessBuffers(0.0, nFrames);
    WriteFloatOutputs(outChannels, nFrames, FloatOut::kAccumulate);
}

void IPlugBase::PassThroughBuffers(double /*sampleType*/, int nFrames) {
    nFrames = std::min(nFrames, blockSize);
    WidenFloatInputs(nFrames);
    if (latency > 0 && PassThroughDelayed(inData.Get(), outData.Get(), nFrames)) return;
    CopyThrough(inData.Get(), NInChannels(), outData.Get(), NOutChannels(), nFrames, [&](int i) {
        return static_cast<double*>(InputSpare(i, sizeof(double) * std::max(nFrames, 0)));
    });
}

void IPlugBase::PassThroughBuffers(float /*sampleType*/, int nFrames) {
    nFrames = std::min(nFrames, blockSize);
    if (BindFloatChannels()) {
        if (latency > 0 && PassThroughDelayed(fInData.Get(), fOutData.Get(), nFrames)) return;
        // Float to float: the samples pass bit for bit, without a trip through doubles. A
        // disconnected output writes to the discard block, which no input reads.
        CopyThrough(
            fInData.Get(), NInChannels(), fOutData.Get(), NOutChannels(), nFrames, [&](int i) {
                return static_cast<float*>(InputSpare(i, sizeof(float) * std::max(nFrames, 0)));
            });
        return;
    }
    PassThroughBuffers(0.0, nFrames);
    WriteFloatOutputs(outChannels, nFrames, FloatOut::kReplace);
}

void IPlugBase::ZeroScratchBuffers() {
    for (int i = 0; i < NInChannels(); ++i) {
        WDL_TypedBuf<double>& b = inChannels.Get(i)->scratch;
        if (b.GetSize()) std::memset(b.Get(), 0, sizeof(double) * b.GetSize());
    }
    for (int i = 0; i < NOutChannels(); ++i) {
        WDL_TypedBuf<double>& b = outChannels.Get(i)->scratch;
        if (b.GetSize()) std::memset(b.Get(), 0, sizeof(double) * b.GetSize());
    }
}

void IPlugBase::SetInputLabel(int idx, const char* text) {
    if (InChannel* ch = inChannels.Get(idx)) ch->label.Set(text);
}

void IPlugBase::SetOutputLabel(int idx, const char* text) {
    if (OutChannel* ch = outChannels.Get(idx)) ch->label.Set(text);
}

namespace {

void SetBusLabel(WDL_PtrList<WDL_String>& labels, int idx, const char* text) {
    if (WDL_String* existing = labels.Get(idx))
        existing->Set(text);
    else if (WDL_String* added = new WDL_String(text); !labels.Insert(idx, added))
        delete added;
}

} // namespace

void IPlugBase::SetInputBusLabel(int idx, const char* text) {
    if (idx == 0 || idx == 1) SetBusLabel(inputBusLabels, idx, text);
}

void IPlugBase::SetOutputBusLabel(int idx, const char* text) {
    if (idx >= 0) SetBusLabel(outputBusLabels, idx, text);
}

void IPlugBase::OnParamReset() {
    for (int i = 0; i < NParams(); ++i)
        OnParamChange(i);
}

void IPlugBase::DirtyParameters() {
    for (int i = 0; i < NParams(); ++i) {
        double normalized;
        {
            WDL_MutexLock lock(&mutex);
            normalized = GetParam(i)->GetNormalized();
        }
        InformHostOfParamChange(i, normalized); // never under the mutex, as SetParameterFromGUI
    }
}
