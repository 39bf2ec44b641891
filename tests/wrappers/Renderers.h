// Every way the effect's audio can be reached, behind one interface, so that one suite checks
// each of them against the circuit's per-sample definition.
#pragma once

#include <memory>
#include <string>
#include <vector>

using Planar = std::vector<std::vector<float>>; // one vector per channel

// One render call: its length and the settings in force for it (as the single-precision values
// hosts hold).
struct Segment {
    int frames;
    float gain = 0.5f, level = 0.5f;
    bool bypass = false;
};

// A signal rendered in consecutive calls on one fresh instance.
struct Job {
    double rate = 48000.0;
    bool inPlace = false; // the output written over the input, where the path allows it
    Planar input;         // 1 or 2 channels
    std::vector<Segment> segments;
};

class Renderer {
public:
    virtual ~Renderer() = default;
    // Why this path cannot render the job as asked (e.g. settings that change between calls),
    // or empty when it can.
    virtual std::string Unsupported(const Job& job) const = 0;
    // The output, or an empty result after reporting a test failure.
    virtual Planar Render(const Job& job) = 0;
};

// The circuit's definition: Calc per call, Process per sample, bypassed calls copy the input
// and leave the circuits where they were.
Planar RenderDefinition(const Job& job);

std::unique_ptr<Renderer> MakeBlockPathRenderer(bool doubles); // ProcessZerubBlock
std::unique_ptr<Renderer> MakePlugInRenderer();                // the base's float buffers
std::unique_ptr<Renderer> MakeComponentRenderer();             // AudioUnitRender on the bundle
std::unique_ptr<Renderer> MakeHostRenderer();                  // zerub-host render on a WAV
// The LV2 bundle through lilv; with a maxBlock above 0 the host announces that maximum length of
// a run (and maps URIs), with 0 it offers no feature at all.
std::unique_ptr<Renderer> MakeLV2Renderer(int maxBlock);
