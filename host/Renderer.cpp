#include "host/Renderer.h"

#include <ctime>
#include <vector>

namespace {

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

} // namespace

Status RenderAll(Renderer& renderer, const PlanarAudio& in, int blockFrames, PlanarAudio* out,
                 const RenderProgress& progress, double* loopCpuSeconds) {
    if (blockFrames <= 0) return Status::Fail("block size must be positive");
    const int nChannels = in.NumChannels();
    const int nFrames = in.NumFrames();
    PlanarAudio result(in.sampleRate, nChannels, nFrames);

    std::vector<const float*> ins(nChannels);
    std::vector<float*> outs(nChannels);
    const double loopStart = loopCpuSeconds ? ThreadCpuSeconds() : 0.0;
    for (int start = 0; start < nFrames; start += blockFrames) {
        const int frames = std::min(blockFrames, nFrames - start);
        for (int c = 0; c < nChannels; ++c) {
            ins[c] = in.channels[c].data() + start;
            outs[c] = result.channels[c].data() + start;
        }
        if (Status s = renderer.Render(ins.data(), outs.data(), frames); !s) return s;
        if (progress) progress(start + frames, nFrames);
    }
    if (loopCpuSeconds) *loopCpuSeconds = ThreadCpuSeconds() - loopStart;
    *out = std::move(result);
    return Status::Ok();
}
