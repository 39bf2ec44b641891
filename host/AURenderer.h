// A Renderer over the Audio Unit host interface, as a host drives a unit: stream formats on the
// input and output, the maximum block size, an input render callback, initialise, parameters
// through AudioUnitSetParameter, then one AudioUnitRender per block with the sample time
// advancing by the frames rendered.
#pragma once

#include "host/HostApi.h"
#include "host/Renderer.h"

#include <string>
#include <vector>

class AURenderer : public Renderer {
public:
    // componentPath names a .component bundle; empty means the first Zerub on the search path.
    explicit AURenderer(std::string componentPath = "");
    ~AURenderer() override; // uninitialises and disposes of the instance

    Status Open(double sampleRate, int nChannels, int maxBlockFrames) override;
    // index is the parameter ID; the value goes to the unit as it is (the unit clamps it).
    Status SetParam(int index, double value) override;
    Status Render(const float* const* in, float* const* out, int nFrames) override;

    // After Open: the instance, for properties a caller sets itself.
    AudioUnit Unit() const { return instance.get(); }
    // After Open: the parameters the unit lists, in its order.
    const std::vector<ParameterDescription>& Parameters() const { return parameters; }
    // After Open: the unit's own bypass (kAudioUnitProperty_BypassEffect).
    Status SetBypass(bool bypass);
    // After Open: the unit's quality setting (0 standard, 1 HQ), a custom property.
    Status SetQuality(int quality);

private:
    Status Configure(double sampleRate, int nChannels, int maxBlockFrames);
    static OSStatus SupplyInput(void* self, AudioUnitRenderActionFlags* flags,
                                const AudioTimeStamp* time, UInt32 bus, UInt32 frames,
                                AudioBufferList* data);

    std::string componentPath;
    UnitInstance instance;
    bool initialized = false;
    int nChannels = 0;
    int maxBlockFrames = 0;
    Float64 sampleTime = 0.0;
    std::vector<ParameterDescription> parameters;
    // The output list handed to AudioUnitRender, with room for nChannels buffers.
    std::vector<unsigned char> outputList;
    // The block being rendered, for the input callback.
    const float* const* blockInput = nullptr;
    UInt32 blockFrames = 0;
    bool inputPulled = false;
};
