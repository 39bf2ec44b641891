#include "Renderers.h"

#include "../au/HostSideSupport.h"
#include "../host/test_support.h"
#include "../lv2/LV2TestHost.h"
#include "effect/Zerub.h"
#include "effect/ZerubProcess.h"
#include "host/WavFile.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <ZerubPlatform/HostExtensions.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

uint32_t BitsOf(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

int MaxFrames(const Job& job) {
    int most = 1;
    for (const Segment& s : job.segments)
        most = std::max(most, s.frames);
    return most;
}

// The output buffers a path writes into: the input itself when in place, else a poison value
// that no render leaves behind.
Planar OutputFor(const Job& job) {
    return job.inPlace ? job.input
                       : Planar(job.input.size(), std::vector<float>(job.input[0].size(), -7.0f));
}

bool HasSignallingNaN(const Job& job) {
    for (const std::vector<float>& channel : job.input)
        for (float x : channel)
            if (std::isnan(x) && !(BitsOf(x) & 0x00400000u)) return true;
    return false;
}

class BlockPathRenderer : public Renderer {
public:
    explicit BlockPathRenderer(bool widen) : doubles(widen) {}
    std::string Unsupported(const Job& job) const override {
        return doubles && HasSignallingNaN(job) ? "a signalling NaN is quietened on widening" : "";
    }

    Planar Render(const Job& job) override {
        Planar out = OutputFor(job);
        DriveCircuit left, right;
        size_t pos = 0;
        for (const Segment& seg : job.segments) {
            if (doubles)
                RenderDoubles(job, seg, pos, out, left, right);
            else
                RenderFloats(job, seg, pos, out, left, right);
            pos += static_cast<size_t>(seg.frames);
        }
        return out;
    }

private:
    // Mono: the second circuit runs on silence into a discard buffer, as the wrappers do.
    static void RenderFloats(const Job& job, const Segment& seg, size_t pos, Planar& out,
                             DriveCircuit& left, DriveCircuit& right) {
        std::vector<float> silence(seg.frames, 0.0f), discard(seg.frames);
        const float* ins[2] = {silence.data(), silence.data()};
        float* outs[2] = {discard.data(), discard.data()};
        for (size_t c = 0; c < job.input.size(); ++c) {
            outs[c] = out[c].data() + pos;
            ins[c] = job.inPlace ? outs[c] : job.input[c].data() + pos;
        }
        ProcessZerubBlock(left, right, job.rate, seg.gain, seg.level, seg.bypass, ins, outs,
                          seg.frames);
    }
    static void RenderDoubles(const Job& job, const Segment& seg, size_t pos, Planar& out,
                              DriveCircuit& left, DriveCircuit& right) {
        std::vector<std::vector<double>> in(2, std::vector<double>(seg.frames, 0.0));
        std::vector<std::vector<double>> result(2, std::vector<double>(seg.frames, -7.0));
        for (size_t c = 0; c < job.input.size(); ++c)
            std::copy_n(job.input[c].begin() + pos, seg.frames, in[c].begin());
        const double* ins[2] = {in[0].data(), in[1].data()};
        double* outs[2] = {result[0].data(), result[1].data()};
        if (job.inPlace) outs[0] = in[0].data(), outs[1] = in[1].data();
        ProcessZerubBlock(left, right, job.rate, seg.gain, seg.level, seg.bypass, ins, outs,
                          seg.frames);
        for (size_t c = 0; c < job.input.size(); ++c)
            for (int s = 0; s < seg.frames; ++s)
                out[c][pos + s] = static_cast<float>(outs[c][s]);
    }
    bool doubles;
};

// The effect on the base's float path, as a wrapper drives it: BY is the effect's own bypass.
class PlugInRenderer : public Renderer {
public:
    std::string Unsupported(const Job&) const override { return ""; }

    Planar Render(const Job& job) override {
        std::unique_ptr<ZerubWrapper> plug(MakePlug(nullptr));
        const int channels = static_cast<int>(job.input.size());
        plug->SetSampleRate(job.rate);
        plug->SetBlockSize(MaxFrames(job));
        plug->SetInputChannelConnections(0, channels, true);
        plug->SetOutputChannelConnections(0, channels, true);
        plug->OnParamReset();
        Planar out = OutputFor(job);
        size_t pos = 0;
        for (const Segment& seg : job.segments) {
            plug->GetParam(Zerub::kGain)->Set(seg.gain);
            plug->OnParamChange(Zerub::kGain);
            plug->GetParam(Zerub::kLevel)->Set(seg.level);
            plug->OnParamChange(Zerub::kLevel);
            plug->GetParam(Zerub::kBypass)->Set(seg.bypass ? 1.0 : 0.0);
            float* ins[2] = {};
            float* outs[2] = {};
            for (int c = 0; c < channels; ++c) {
                outs[c] = out[c].data() + pos;
                ins[c] = job.inPlace ? outs[c] : const_cast<float*>(job.input[c].data()) + pos;
            }
            plug->AttachInputBuffers(0, channels, ins, seg.frames);
            plug->AttachOutputBuffers(0, channels, outs);
            plug->ProcessBuffers(0.0f, seg.frames);
            pos += static_cast<size_t>(seg.frames);
        }
        return out;
    }
};

// The built bundle through the host API: input pulled through a render callback. Its bypass
// is the effect's BY parameter (the wrapper's bypass property also clears the filters).
class ComponentRenderer : public Renderer {
public:
    std::string Unsupported(const Job& job) const override {
        return job.inPlace ? "the unit pulls its input; there is no buffer to render over" : "";
    }

    Planar Render(const Job& job) override {
        const Job* feed = &job;
        AudioUnit unit = Open(job, &feed);
        if (!unit) return {};
        Planar out = OutputFor(job);
        const UInt32 channels = static_cast<UInt32>(job.input.size());
        size_t pos = 0;
        for (const Segment& seg : job.segments) {
            for (const auto& [id, value] : {std::pair{Zerub::kGain, seg.gain},
                                            {Zerub::kLevel, seg.level},
                                            {Zerub::kBypass, seg.bypass ? 1.0f : 0.0f}})
                EXPECT_EQ(AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, value, 0),
                          noErr);
            const UInt32 bytes = static_cast<UInt32>(seg.frames * sizeof(float));
            struct {
                UInt32 count;
                AudioBuffer buffers[2];
            } list = {channels,
                      {{1, bytes, out[0].data() + pos}, {1, bytes, out.back().data() + pos}}};
            AudioTimeStamp ts = {};
            ts.mSampleTime = static_cast<double>(pos);
            ts.mFlags = kAudioTimeStampSampleTimeValid;
            AudioUnitRenderActionFlags flags = 0;
            EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, static_cast<UInt32>(seg.frames),
                                      reinterpret_cast<AudioBufferList*>(&list)),
                      noErr);
            pos += static_cast<size_t>(seg.frames);
        }
        AudioComponentInstanceDispose(unit);
        return out;
    }

private:
    static OSStatus Pull(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t, UInt32,
                         UInt32 frames, AudioBufferList* list) {
        const Job& job = **static_cast<const Job**>(refCon);
        for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
            std::copy_n(job.input[c].begin() + static_cast<long>(t->mSampleTime), frames,
                        static_cast<float*>(list->mBuffers[c].mData));
        return noErr;
    }

    static AudioUnit Open(const Job& job, const Job** feed) {
        AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
        AudioComponentDescription desc = {kAudioUnitType_Effect, 0x5A524231, 0x516D6F72, 0, 0};
        AudioComponent component = AudioComponentFindNext(nullptr, &desc);
        AudioUnit unit = nullptr;
        if (!component || AudioComponentInstanceNew(component, &unit) != noErr) {
            ADD_FAILURE() << "cannot open " << ZERUB_BUNDLE_DIR;
            return nullptr;
        }
        const AudioStreamBasicDescription format =
            FloatFormat(job.rate, static_cast<int>(job.input.size()));
        const UInt32 maxFrames = static_cast<UInt32>(MaxFrames(job));
        AURenderCallbackStruct cb = {Pull, feed};
        for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
            EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &format,
                                           sizeof format),
                      noErr);
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                       kAudioUnitScope_Global, 0, &maxFrames, sizeof maxFrames),
                  noErr);
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback,
                                       kAudioUnitScope_Input, 0, &cb, sizeof cb),
                  noErr);
        EXPECT_EQ(AudioUnitInitialize(unit), noErr);
        return unit;
    }
};

// zerub-host render, a float WAV in and out: one block length and one setting per file.
// (The host library's renderer, which the program runs, is covered through it.)
class HostRenderer : public Renderer {
public:
    std::string Unsupported(const Job& job) const override {
        if (job.inPlace) return "files in, files out";
        const Segment& first = job.segments.front();
        for (size_t i = 0; i < job.segments.size(); ++i) {
            const Segment& s = job.segments[i];
            const bool last = i + 1 == job.segments.size();
            if (s.gain != first.gain || s.level != first.level || s.bypass != first.bypass)
                return "the settings hold for the whole file";
            if (last ? s.frames > first.frames : s.frames != first.frames)
                return "one block length for the whole file";
        }
        return "";
    }

    Planar Render(const Job& job) override {
        hosttest::TempDir dir;
        PlanarAudio in;
        in.sampleRate = static_cast<int>(job.rate);
        in.channels = job.input;
        EXPECT_TRUE(WriteWavFloat(dir / "in.wav", in));
        const Segment& seg = job.segments.front();
        const auto number = [](float v) {
            char text[32];
            std::snprintf(text, sizeof text, "%.9g", v);
            return std::string(text);
        };
        const std::string block = std::to_string(seg.frames);
        const std::string gain = "Gain=" + number(seg.gain), level = "Level=" + number(seg.level);
        std::vector<std::string> args = {
            "render",  "in.wav", "out.wav", "--component", ZERUB_BUNDLE_DIR, "--block", block,
            "--param", gain,     "--param", level};
        if (seg.bypass) args.push_back("--bypass");
        const hosttest::RunResult run = hosttest::RunHost(dir.path(), args);
        EXPECT_EQ(run.status, 0) << run.err;
        PlanarAudio out;
        EXPECT_TRUE(ReadAudioFile(dir / "out.wav", &out));
        return out.channels;
    }
};

// The LV2 bundle in lilv, with or without the host's block-length option (a maximum smaller
// than a run makes the wrapper slice it); "enabled" at 0 bypasses. Each call follows a run of no
// frames, which must change nothing.
class LV2Renderer : public Renderer {
public:
    LV2Renderer(HostFeatures hostFeatures, int blockLimit)
        : features(hostFeatures), maxBlock(blockLimit) {}
    std::string Unsupported(const Job&) const override { return ""; }

    Planar Render(const Job& job) override {
        TestInstance plug(job.input.size() == 1 ? kMonoURI : kStereoURI, job.rate, features,
                          maxBlock);
        if (!plug.Ok()) {
            ADD_FAILURE() << "the LV2 plug-in does not instantiate";
            return {};
        }
        Planar out = OutputFor(job);
        size_t pos = 0;
        for (const Segment& seg : job.segments) {
            plug.Control("gain") = seg.gain;
            plug.Control("level") = seg.level;
            plug.Control("enabled") = seg.bypass ? 0.0f : 1.0f;
            plug.Run(job.inPlace ? out : job.input, out, pos, 0);
            plug.Run(job.inPlace ? out : job.input, out, pos, static_cast<uint32_t>(seg.frames));
            pos += static_cast<size_t>(seg.frames);
        }
        return out;
    }

private:
    HostFeatures features;
    int maxBlock;
};

} // namespace

std::unique_ptr<Renderer> MakeBlockPathRenderer(bool doubles) {
    return std::make_unique<BlockPathRenderer>(doubles);
}
std::unique_ptr<Renderer> MakePlugInRenderer() {
    return std::make_unique<PlugInRenderer>();
}
std::unique_ptr<Renderer> MakeComponentRenderer() {
    return std::make_unique<ComponentRenderer>();
}
std::unique_ptr<Renderer> MakeHostRenderer() {
    return std::make_unique<HostRenderer>();
}
std::unique_ptr<Renderer> MakeLV2Renderer(int maxBlock) {
    return maxBlock > 0 ? std::make_unique<LV2Renderer>(HostFeatures::kMapAndOptions, maxBlock)
                        : std::make_unique<LV2Renderer>(HostFeatures::kNone, 0);
}
