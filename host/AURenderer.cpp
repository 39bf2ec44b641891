#include "host/AURenderer.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

std::string ScopeName(AudioUnitScope scope) {
    return scope == kAudioUnitScope_Input ? "input" : "output";
}

} // namespace

AURenderer::AURenderer(std::string path) : componentPath(std::move(path)) {}

AURenderer::~AURenderer() {
    if (initialized) AudioUnitUninitialize(instance.get());
}

Status AURenderer::Open(double sampleRate, int channels, int maxBlock) {
    if (instance.get()) return Status::Fail("the effect is already open");
    if (!(sampleRate > 0.0 && std::isfinite(sampleRate)))
        return Status::Fail("unsupported sample rate " + std::to_string(sampleRate) + " Hz");
    if (channels <= 0) return Status::Fail("no channels to render");
    if (maxBlock <= 0) return Status::Fail("block size must be positive");

    if (Status s = OpenInstance(componentPath, &instance); !s) return s;
    Status s = Configure(sampleRate, channels, maxBlock);
    if (!s) {
        if (initialized) AudioUnitUninitialize(instance.get());
        initialized = false;
        instance.reset();
    }
    return s;
}

Status AURenderer::Configure(double sampleRate, int channels, int maxBlock) {
    AudioUnit au = instance.get();

    const AudioStreamBasicDescription format =
        FloatFormat(sampleRate, static_cast<UInt32>(channels));
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const OSStatus status = AudioUnitSetProperty(au, kAudioUnitProperty_StreamFormat, scope, 0,
                                                     &format, sizeof format);
        if (status != noErr)
            return Status::Fail("the component does not take " + std::to_string(channels) +
                                " channels of 32-bit float at " + std::to_string(sampleRate) +
                                " Hz on its " + ScopeName(scope) + " (" + StatusText(status) + ")");
    }
    const UInt32 maxFrames = static_cast<UInt32>(maxBlock);
    if (const OSStatus s =
            AudioUnitSetProperty(au, kAudioUnitProperty_MaximumFramesPerSlice,
                                 kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames);
        s != noErr)
        return Status::Fail("the component refuses blocks of " + std::to_string(maxBlock) +
                            " frames (" + StatusText(s) + ")");
    const AURenderCallbackStruct callback = {SupplyInput, this};
    if (const OSStatus s =
            AudioUnitSetProperty(au, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                 &callback, sizeof callback);
        s != noErr)
        return Status::Fail("the component refuses an input callback (" + StatusText(s) + ")");
    if (const OSStatus s = AudioUnitInitialize(au); s != noErr)
        return Status::Fail("the component does not initialise (" + StatusText(s) + ")");
    initialized = true;
    if (Status s = ReadParameters(au, &parameters); !s) return s;

    nChannels = channels;
    maxBlockFrames = maxBlock;
    outputList.assign(offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * channels, 0);
    return Status::Ok();
}

Status AURenderer::SetParam(int index, double value) {
    if (!instance.get()) return Status::Fail("the effect is not open");
    if (index < 0) return Status::Fail("no parameter " + std::to_string(index));
    if (!std::isfinite(value))
        return Status::Fail("parameter " + std::to_string(index) + ": value is not a number");
    const OSStatus status = AudioUnitSetParameter(
        instance.get(), static_cast<AudioUnitParameterID>(index), kAudioUnitScope_Global, 0,
        static_cast<AudioUnitParameterValue>(value), 0);
    if (status != noErr)
        return Status::Fail("the component refuses parameter " + std::to_string(index) + " (" +
                            StatusText(status) + ")");
    return Status::Ok();
}

Status AURenderer::SetBypass(bool bypass) {
    if (!instance.get()) return Status::Fail("the effect is not open");
    const UInt32 value = bypass ? 1 : 0;
    const OSStatus status = AudioUnitSetProperty(instance.get(), kAudioUnitProperty_BypassEffect,
                                                 kAudioUnitScope_Global, 0, &value, sizeof value);
    if (status != noErr)
        return Status::Fail("the component cannot be bypassed (" + StatusText(status) + ")");
    return Status::Ok();
}

Status AURenderer::SetQuality(int quality) {
    if (!instance.get()) return Status::Fail("the effect is not open");
    const UInt32 value = static_cast<UInt32>(quality);
    const OSStatus status = AudioUnitSetProperty(instance.get(), kZerubQualityProperty,
                                                 kAudioUnitScope_Global, 0, &value, sizeof value);
    if (status != noErr)
        return Status::Fail("the component has no such quality setting (" + StatusText(status) +
                            ")");
    return Status::Ok();
}

OSStatus AURenderer::SupplyInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                 UInt32 bus, UInt32 frames, AudioBufferList* data) {
    auto* self = static_cast<AURenderer*>(refCon);
    // Only the block being rendered can be supplied, into buffers that can take it.
    if (!self->blockInput || bus != 0 || frames != self->blockFrames || !data ||
        data->mNumberBuffers != static_cast<UInt32>(self->nChannels))
        return kAudioUnitErr_InvalidParameter;
    for (int c = 0; c < self->nChannels; ++c) {
        AudioBuffer& buffer = data->mBuffers[c];
        if (!buffer.mData || buffer.mDataByteSize < frames * sizeof(float))
            return kAudioUnitErr_InvalidParameter;
        std::memcpy(buffer.mData, self->blockInput[c], frames * sizeof(float));
    }
    self->inputPulled = true;
    return noErr;
}

Status AURenderer::Render(const float* const* in, float* const* out, int nFrames) {
    if (!instance.get()) return Status::Fail("the effect is not open");
    if (nFrames <= 0 || nFrames > maxBlockFrames)
        return Status::Fail("block of " + std::to_string(nFrames) + " frames (maximum " +
                            std::to_string(maxBlockFrames) + ")");
    auto* list = reinterpret_cast<AudioBufferList*>(outputList.data());
    list->mNumberBuffers = static_cast<UInt32>(nChannels);
    const UInt32 bytes = static_cast<UInt32>(nFrames) * sizeof(float);
    for (int c = 0; c < nChannels; ++c)
        list->mBuffers[c] = {1, bytes, out[c]};

    AudioTimeStamp time;
    std::memset(&time, 0, sizeof time);
    time.mFlags = kAudioTimeStampSampleTimeValid;
    time.mSampleTime = sampleTime;
    blockInput = in;
    blockFrames = static_cast<UInt32>(nFrames);
    inputPulled = false;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status =
        AudioUnitRender(instance.get(), &flags, &time, 0, static_cast<UInt32>(nFrames), list);
    blockInput = nullptr;
    if (status != noErr)
        return Status::Fail("the component failed to render the block at frame " +
                            std::to_string(static_cast<long long>(sampleTime)) + " (" +
                            StatusText(status) + ")");
    if (!inputPulled) return Status::Fail("the component rendered without asking for its input");
    for (int c = 0; c < nChannels; ++c) {
        const AudioBuffer& buffer = list->mBuffers[c];
        if (!buffer.mData || buffer.mDataByteSize < bytes)
            return Status::Fail("the component returned a short output buffer");
        // A unit may hand back buffers of its own instead of filling the host's.
        if (buffer.mData != out[c]) std::memcpy(out[c], buffer.mData, bytes);
    }
    sampleTime += nFrames;
    return Status::Ok();
}
