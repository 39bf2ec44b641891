// What the demo and the file renderer need from the effect: open it at a rate and channel count,
// set parameters by index (real values), and process blocks of planar float audio.
//
// AURenderer is the implementation that drives the component; tests put recorders and refusing
// renderers in its place.
#pragma once

#include "host/PlanarAudio.h"
#include "host/Status.h"

#include <functional>

class Renderer {
public:
    virtual ~Renderer() = default;

    // Prepares the effect for nChannels in and out at sampleRate Hz, with blocks of at most
    // maxBlockFrames. Every parameter starts at its default. Call once, before anything else.
    virtual Status Open(double sampleRate, int nChannels, int maxBlockFrames) = 0;

    // Sets parameter index to a real value (the effect clamps it to its range). After Open; takes
    // effect from the next block.
    virtual Status SetParam(int index, double value) = 0;

    // Processes one block: in and out each hold nChannels pointers to nFrames samples, with
    // 0 < nFrames <= maxBlockFrames. in and out may not overlap.
    virtual Status Render(const float* const* in, float* const* out, int nFrames) = 0;
};

// Called after each block with the frames done so far and the total.
using RenderProgress = std::function<void(long done, long total)>;

// The calling thread's CPU time, in seconds from an arbitrary start.
double ThreadCpuSeconds();

// Renders nFrames frames of nChannels planar buffers from in to out in blocks of blockFrames
// (the last may be shorter). afterBlock, when given, gets the frames done so far in this call.
Status RenderBlocks(Renderer& renderer, const float* const* in, float* const* out, int nChannels,
                    int nFrames, int blockFrames,
                    const std::function<void(int done)>& afterBlock = {});

// Runs all of in through an opened renderer in blocks of blockFrames (the last may be shorter)
// and returns the result in out, with in's rate and channel count. loopCpuSeconds, when given,
// receives the calling thread's CPU time spent in the block loop alone.
Status RenderAll(Renderer& renderer, const PlanarAudio& in, int blockFrames, PlanarAudio* out,
                 const RenderProgress& progress = {}, double* loopCpuSeconds = nullptr);
