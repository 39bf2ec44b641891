// A Renderer that drives the effect object through its plug-in base, the way the Audio Unit
// wrapper does: rate, block size and channel connections, OnParamReset, then per block the
// buffer attachment and ProcessBuffers, each under the plug-in mutex.
#pragma once

#include "host/Renderer.h"

#include <memory>

class IPlugBase;

class DirectRenderer : public Renderer {
public:
    DirectRenderer();
    ~DirectRenderer() override;

    Status Open(double sampleRate, int nChannels, int maxBlockFrames) override;
    Status SetParam(int index, double value) override;
    Status Render(const float* const* in, float* const* out, int nFrames) override;

private:
    struct PlugDeleter {
        void operator()(IPlugBase* plug) const;
    };
    std::unique_ptr<IPlugBase, PlugDeleter> plug;
    int nChannels = 0;
    int maxBlockFrames = 0;
};
