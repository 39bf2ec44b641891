#include "host/Renderer.h"

#include <ctime>
#include <vector>

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Status RenderBlocks(Renderer& renderer, const float* const* in, float* const* out, int nChannels,
                    int nFrames, int blockFrames, const std::function<void(int done)>& afterBlock) {
    if (blockFrames <= 0) return Status::Fail("block size must be positive");
    std::vector<const float*> ins(static_cast<size_t>(nChannels));
    std::vector<float*> outs(static_cast<size_t>(nChannels));
    for (int start = 0; start < nFrames; start += blockFrames) {
        const int frames = std::min(blockFrames, nFrames - start);
        for (int c = 0; c < nChannels; ++c) {
            ins[c] = in[c] + start;
            outs[c] = out[c] + start;
        }
        if (Status s = renderer.Render(ins.data(), outs.data(), frames); !s) return s;
        if (afterBlock) afterBlock(start + frames);
    }
    return Status::Ok();
}

Status RenderAll(Renderer& renderer, const PlanarAudio& in, int blockFrames, PlanarAudio* out,
                 const RenderProgress& progress, double* loopCpuSeconds) {
    if (blockFrames <= 0) return Status::Fail("block size must be positive");
    const int nChannels = in.NumChannels();
    const int nFrames = in.NumFrames();
    PlanarAudio result(in.sampleRate, nChannels, nFrames);

    std::vector<const float*> ins(nChannels);
    std::vector<float*> outs(nChannels);
    for (int c = 0; c < nChannels; ++c) {
        ins[c] = in.channels[c].data();
        outs[c] = result.channels[c].data();
    }
    const double loopStart = loopCpuSeconds ? ThreadCpuSeconds() : 0.0;
    std::function<void(int)> afterBlock;
    if (progress) afterBlock = [&progress, nFrames](int done) { progress(done, nFrames); };
    if (Status s = RenderBlocks(renderer, ins.data(), outs.data(), nChannels, nFrames, blockFrames,
                                afterBlock);
        !s)
        return s;
    if (loopCpuSeconds) *loopCpuSeconds = ThreadCpuSeconds() - loopStart;
    *out = std::move(result);
    return Status::Ok();
}
