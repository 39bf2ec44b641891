#include "host/DirectRenderer.h"

#include "effect/Zerub.h"

#include <cmath>
#include <string>

void DirectRenderer::PlugDeleter::operator()(IPlugBase* p) const {
    delete p;
}

DirectRenderer::DirectRenderer() = default;
DirectRenderer::~DirectRenderer() = default;

Status DirectRenderer::Open(double sampleRate, int channels, int maxBlock) {
    if (plug) return Status::Fail("the effect is already open");
    if (!(sampleRate >= 1.0 && sampleRate <= 192000.0))
        return Status::Fail("unsupported sample rate " + std::to_string(sampleRate) + " Hz");
    if (maxBlock <= 0) return Status::Fail("block size must be positive");

    plug.reset(MakePlug(nullptr));
    if (!plug) return Status::Fail("cannot create the effect: out of memory");
    if (!plug->LegalIO(channels, channels)) {
        plug.reset();
        return Status::Fail("the effect does not take " + std::to_string(channels) +
                            " channels in and out");
    }

    WDL_MutexLock lock(plug->GetMutex());
    plug->SetSampleRate(sampleRate);
    plug->SetBlockSize(maxBlock);
    plug->SetInputChannelConnections(0, channels, true);
    plug->SetOutputChannelConnections(0, channels, true);
    plug->OnParamReset();
    nChannels = channels;
    maxBlockFrames = maxBlock;
    return Status::Ok();
}

Status DirectRenderer::SetParam(int index, double value) {
    if (!plug) return Status::Fail("the effect is not open");
    IParam* param = plug->GetParam(index);
    if (!param) return Status::Fail("no parameter " + std::to_string(index));
    if (!std::isfinite(value))
        return Status::Fail(std::string("parameter ") + param->GetNameForHost() +
                            ": value is not a number");
    WDL_MutexLock lock(plug->GetMutex());
    param->Set(value);
    plug->OnParamChange(index);
    return Status::Ok();
}

Status DirectRenderer::Render(const float* const* in, float* const* out, int nFrames) {
    if (!plug) return Status::Fail("the effect is not open");
    if (nFrames <= 0 || nFrames > maxBlockFrames)
        return Status::Fail("block of " + std::to_string(nFrames) + " frames (maximum " +
                            std::to_string(maxBlockFrames) + ")");
    WDL_MutexLock lock(plug->GetMutex());
    // The base only reads the input buffers; its signature is not const-qualified.
    plug->AttachInputBuffers(0, nChannels, const_cast<float**>(in), nFrames);
    plug->AttachOutputBuffers(0, nChannels, const_cast<float**>(out));
    plug->ProcessBuffers(0.0f, nFrames);
    return Status::Ok();
}
