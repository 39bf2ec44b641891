#include "host/Renderer.h"

#include <vector>

Status RenderAll(Renderer& renderer, const PlanarAudio& in, int blockFrames, PlanarAudio* out,
                 const RenderProgress& progress) {
    if (blockFrames <= 0) return Status::Fail("block size must be positive");
    const int nChannels = in.NumChannels();
    const int nFrames = in.NumFrames();
    PlanarAudio result(in.sampleRate, nChannels, nFrames);

    std::vector<const float*> ins(nChannels);
    std::vector<float*> outs(nChannels);
    for (int start = 0; start < nFrames; start += blockFrames) {
        const int frames = std::min(blockFrames, nFrames - start);
        for (int c = 0; c < nChannels; ++c) {
            ins[c] = in.channels[c].data() + start;
            outs[c] = result.channels[c].data() + start;
        }
        if (Status s = renderer.Render(ins.data(), outs.data(), frames); !s) return s;
        if (progress) progress(start + frames, nFrames);
    }
    *out = std::move(result);
    return Status::Ok();
}
