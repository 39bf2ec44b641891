// Render speed, side by side in one process, each case reporting its real-time factor ("rtf":
// audio seconds per CPU second at 48 kHz):
//   Chain      - the reference: the gain network's loop-carried recurrence alone (its multiply,
//                two additions, division and subtraction), both channels in the two lanes, with
//                no other work. No implementation that reproduces the circuit bit for bit can
//                run faster, so every other case is read as a fraction of it;
//   Plain      - the per-sample loop: Calc per block, then per frame a bypass test and one
//                Process per channel (both circuits run in mono too, the second on scratch);
//   Block      - the effect's block path (ProcessZerubBlock) on double buffers;
//   BlockFloat - the same on float buffers, as the wrappers call it;
//   Host       - the whole path through the host API: AudioUnitRender of the built component
//                bundle, the input served from a 60-second signal held in memory by a render
//                callback that hands over the file's memory (or, copy:1, copies it into the
//                unit's buffers);
//   LV2Run     - the whole path through the built LV2 bundle: its Zerub.so opened with dlopen,
//                ports connected to the same signal and run once per block;
//   BlockHQ, HostHQ, LV2RunHQ - the same with the quality setting HQ: the circuits at four times
//                the rate between the resamplers (set through the unit's quality property, or
//                the plug-in's quality port).
// Mono and stereo at 64, 256 and 1024 frames; and 10 s of silence that follows one second of
// signal (the filter state decays towards tiny values), timed alone; and the block path with the
// state in the subnormal range.
#include "effect/DriveCircuit.h"
#include "effect/ZerubHQ.h"
#include "effect/ZerubProcess.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <ZerubPlatform/HostExtensions.h>

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <emmintrin.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kSignalFrames = 60 * 48000;
// The component's quality property (a UInt32: 0 Standard, 1 HQ).
constexpr AudioUnitPropertyID kQualityProperty = 64000;

// A minute of a decaying riff with some noise, different on each channel.
struct SignalData {
    SignalData() : channels{std::vector<float>(kSignalFrames), std::vector<float>(kSignalFrames)} {
        unsigned seed = 12345;
        for (int i = 0; i < kSignalFrames; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (seed >> 8) * (1.0 / 16777216.0) - 0.5;
            const double env = std::exp(-(i % 24000) * 2e-4);
            channels[0][i] = static_cast<float>(0.8 * env * std::sin(i * 0.0231) + 0.02 * noise);
            channels[1][i] =
                static_cast<float>(0.7 * env * std::sin(i * 0.0173 + 1.0) - 0.02 * noise);
        }
    }
    std::vector<float> channels[2];
};

const float* Signal(int channel) {
    static const SignalData data;
    return data.channels[channel].data();
}

void ReportRate(benchmark::State& state, int frames) {
    state.counters["rtf"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * frames / kRate, benchmark::Counter::kIsRate);
}

// The start of the signal in double precision, as a wrapper's conversion leaves it; blocks are
// taken from it one after another.
constexpr int kLoopFrames = 48 * 1024;

template <typename T>
struct Blocks {
    explicit Blocks(int channels) : in(2, std::vector<T>(kLoopFrames)), out(in) {
        for (int c = 0; c < channels; ++c)
            for (int s = 0; s < kLoopFrames; ++s)
                in[c][s] = Signal(c)[s];
    }
    int Next(int frames) {
        const int at = position;
        position = (position + frames) % kLoopFrames;
        return at;
    }
    std::vector<std::vector<T>> in, out;
    int position = 0;
};

// The recurrence r = h - (A3 n3 + (A2 n2 + A1 n1)) / A0 with the input coupling h that feeds it,
// at the settled coefficients of gain 0.5 and 48 kHz: the two channels' chains in the two lanes,
// each sample waiting on the last. The clipper, the output stage, the feed-forward sum and the
// conversions are left out: they can overlap the chain, it cannot overlap itself.
void BM_Chain(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    Blocks<double> b(2);
    DriveCircuit settled;
    settled.Calc(kRate);
    for (int s = 0; s < 20000; ++s)
        settled.Process(0.0, 0.5, 0.5);
    const double g = settled.gainSmooth;
    auto coefficient = [&](const double* gainPart, const double* base, int k) {
        return _mm_set1_pd(gainPart[k] * g + base[k]);
    };
    const __m128d a0 = coefficient(settled.aGain, settled.aBase, 0),
                  a1 = coefficient(settled.aGain, settled.aBase, 1),
                  a2 = coefficient(settled.aGain, settled.aBase, 2),
                  a3 = coefficient(settled.aGain, settled.aBase, 3);
    __m128d ip = _mm_setzero_pd(), cp = ip, n1 = ip, n2 = ip, n3 = ip;
    for (auto _ : state) {
        const int at = b.Next(frames);
        const double* xa = b.in[0].data() + at;
        const double* xb = b.in[1].data() + at;
        for (int s = 0; s < frames; ++s) {
            const __m128d x = _mm_loadh_pd(_mm_load_sd(xa + s), xb + s);
            const __m128d h = _mm_sub_pd(_mm_add_pd(cp, x), ip);
            const __m128d fb =
                _mm_add_pd(_mm_mul_pd(a3, n3), _mm_add_pd(_mm_mul_pd(a2, n2), _mm_mul_pd(a1, n1)));
            const __m128d r = _mm_sub_pd(h, _mm_div_pd(fb, a0));
            ip = x;
            cp = h;
            n3 = n2;
            n2 = n1;
            n1 = r;
        }
        benchmark::DoNotOptimize(n1);
    }
    ReportRate(state, frames);
}

void BM_Plain(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    Blocks<double> b(channels);
    DriveCircuit left, right;
    const double gain = 0.5, level = 0.5;
    volatile double bypassParam = 0.0; // read per frame, as the plain loop reads the parameter
    for (auto _ : state) {
        const int at = b.Next(frames);
        const double* inL = b.in[0].data() + at;
        const double* inR = b.in[1].data() + at;
        double* outL = b.out[0].data() + at;
        double* outR = b.out[1].data() + at;
        left.Calc(kRate);
        right.Calc(kRate);
        for (int s = 0; s < frames; ++s) {
            if (static_cast<int>(bypassParam) == 1) {
                outL[s] = inL[s];
                outR[s] = inR[s];
            } else {
                outL[s] = left.Process(inL[s], gain, level);
                outR[s] = right.Process(inR[s], gain, level);
            }
        }
        benchmark::DoNotOptimize(outL);
        benchmark::DoNotOptimize(outR);
    }
    ReportRate(state, frames);
}

template <typename T>
void BM_Block(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    Blocks<T> b(channels);
    DriveCircuit left, right;
    for (auto _ : state) {
        const int at = b.Next(frames);
        const T* ins[2] = {b.in[0].data() + at, b.in[1].data() + at};
        T* outs[2] = {b.out[0].data() + at, b.out[1].data() + at};
        ProcessZerubBlock(left, right, kRate, 0.5, 0.5, false, ins, outs, frames);
        benchmark::DoNotOptimize(outs[0]);
        benchmark::DoNotOptimize(outs[1]);
    }
    ReportRate(state, frames);
}

// The HQ path alone on float buffers, as the wrappers call it.
void BM_BlockHQ(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    Blocks<float> b(channels);
    DriveCircuit left, right;
    auto hq = std::make_unique<ZerubHQ>();
    hq->Prepare(kRate); // as the product does when the rate is set
    for (auto _ : state) {
        const int at = b.Next(frames);
        const float* ins[2] = {b.in[0].data() + at, b.in[1].data() + at};
        float* outs[2] = {b.out[0].data() + at, b.out[1].data() + at};
        hq->Process(left, right, kRate, 0.5, 0.5, false, ins, outs, frames);
        benchmark::DoNotOptimize(outs[0]);
        benchmark::DoNotOptimize(outs[1]);
    }
    ReportRate(state, frames);
}

// An initialised instance of the built bundle with a render callback serving the signal.
class HostedUnit {
public:
    HostedUnit(int channels, UInt32 maxFrames, UInt32 quality = 0) : nChannels(channels) {
        Signal(0); // computed once, before any timing
        AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
        AudioComponentDescription desc = {kAudioUnitType_Effect, 0x5A524231, 0x516D6F72, 0, 0};
        AudioComponent component = AudioComponentFindNext(nullptr, &desc);
        if (!component || AudioComponentInstanceNew(component, &unit) != noErr) {
            unit = nullptr;
            return;
        }
        AudioStreamBasicDescription format = {};
        format.mSampleRate = kRate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags =
            kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
        format.mBytesPerPacket = format.mBytesPerFrame = 4;
        format.mFramesPerPacket = 1;
        format.mChannelsPerFrame = static_cast<UInt32>(channels);
        format.mBitsPerChannel = 32;
        AURenderCallbackStruct cb = {Serve, this};
        ok = AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                                  &format, sizeof format) == noErr &&
             AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                  &format, sizeof format) == noErr &&
             AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                  kAudioUnitScope_Global, 0, &maxFrames,
                                  sizeof maxFrames) == noErr &&
             AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input,
                                  0, &cb, sizeof cb) == noErr &&
             AudioUnitSetProperty(unit, kQualityProperty, kAudioUnitScope_Global, 0, &quality,
                                  sizeof quality) == noErr &&
             AudioUnitInitialize(unit) == noErr;
        left.resize(maxFrames);
        right.resize(maxFrames);
    }
    ~HostedUnit() {
        if (unit) AudioComponentInstanceDispose(unit);
    }
    bool Ok() const { return unit && ok; }

    // One render of n frames at the next sample time.
    OSStatus Render(UInt32 n) {
        struct {
            UInt32 count;
            AudioBuffer buffers[2];
        } list = {static_cast<UInt32>(nChannels),
                  {{1, n * 4, left.data()}, {1, n * 4, right.data()}}};
        AudioTimeStamp t = {};
        t.mSampleTime = sampleTime;
        t.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        sampleTime += n;
        return AudioUnitRender(unit, &flags, &t, 0, n, reinterpret_cast<AudioBufferList*>(&list));
    }

    bool silent = false;
    bool copying = false; // copy the input into the unit's buffers rather than lend the file's

private:
    static OSStatus Serve(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* t,
                          UInt32, UInt32 frames, AudioBufferList* list) {
        const HostedUnit* self = static_cast<const HostedUnit*>(refCon);
        const long start = static_cast<long>(t->mSampleTime) % kSignalFrames;
        const long first = std::min<long>(frames, kSignalFrames - start);
        for (UInt32 c = 0; c < list->mNumberBuffers && c < 2; ++c) {
            float* dst = static_cast<float*>(list->mBuffers[c].mData);
            if (!dst) return -1;
            if (self->silent) {
                std::memset(dst, 0, frames * sizeof(float));
                continue;
            }
            const float* src = Signal(static_cast<int>(c));
            if (!self->copying && first == static_cast<long>(frames)) {
                // The file's own memory, as the render contract allows: the unit only reads it.
                list->mBuffers[c].mData = const_cast<float*>(src + start);
                continue;
            }
            std::memcpy(dst, src + start, first * sizeof(float));
            std::memcpy(dst + first, src, (frames - first) * sizeof(float));
        }
        return noErr;
    }

    AudioUnit unit = nullptr;
    bool ok = false;
    int nChannels;
    double sampleTime = 0.0;
    std::vector<float> left, right;
};

template <UInt32 quality>
void BM_Host(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    HostedUnit unit(channels, 1024, quality);
    if (!unit.Ok()) {
        state.SkipWithError("the component bundle did not open");
        return;
    }
    unit.copying = state.range(2) != 0;
    for (auto _ : state)
        if (unit.Render(static_cast<UInt32>(frames)) != noErr) {
            state.SkipWithError("render failed");
            break;
        }
    ReportRate(state, frames);
}

// The built LV2 bundle's plug-in (the #stereo or #mono one), loaded the way a host loads it, with
// urid:map and a maximum block length of 1024 offered; controls at their defaults, enabled, at
// the quality asked for.
class LV2Plugin {
public:
    LV2Plugin(int channels, int maxFrames, float quality = 0.0f)
        : nChannels(channels), maxBlock(maxFrames) {
        controls[4] = quality;
        Signal(0); // computed once, before any timing
        const std::string bundle = std::string(ZERUB_LV2_BUNDLE_DIR) + "/";
        library = dlopen((bundle + "Zerub.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
        const std::string suffix = channels == 1 ? "#mono" : "#stereo";
        for (uint32_t i = 0; entry && !descriptor; ++i) {
            const LV2_Descriptor* d = entry(i);
            if (!d) break;
            const std::string uri = d->URI;
            if (uri.size() > suffix.size() &&
                uri.compare(uri.size() - suffix.size(), suffix.size(), suffix) == 0)
                descriptor = d;
        }
        if (!descriptor) return;
        map = {this, [](LV2_URID_Map_Handle h, const char* uri) {
                   auto& known = static_cast<LV2Plugin*>(h)->uris;
                   for (size_t k = 0; k < known.size(); ++k)
                       if (known[k] == uri) return static_cast<LV2_URID>(k + 1);
                   known.emplace_back(uri);
                   return static_cast<LV2_URID>(known.size());
               }};
        options[0] = {LV2_OPTIONS_INSTANCE,
                      0,
                      map.map(this, LV2_BUF_SIZE__maxBlockLength),
                      sizeof(int32_t),
                      map.map(this, LV2_ATOM__Int),
                      &maxBlock};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        mapFeature = {LV2_URID__map, &map};
        optionsFeature = {LV2_OPTIONS__options, options};
        const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
        handle = descriptor->instantiate(descriptor, kRate, bundle.c_str(), features);
        if (!handle) return;
        // Gain, Level, the bypass parameter's port (lv2:enabled), "by", "quality" and the
        // latency output after the audio ports.
        for (int k = 0; k < 6; ++k)
            descriptor->connect_port(handle, static_cast<uint32_t>(2 * channels + k), &controls[k]);
        if (descriptor->activate) descriptor->activate(handle);
        out.assign(2, std::vector<float>(static_cast<size_t>(maxFrames)));
    }
    ~LV2Plugin() {
        if (handle) {
            if (descriptor->deactivate) descriptor->deactivate(handle);
            descriptor->cleanup(handle);
        }
        if (library) dlclose(library);
    }
    bool Ok() const { return handle != nullptr; }

    // One run of n frames of the signal from position at, connected as a host connects its
    // buffers for each cycle.
    void Run(long at, uint32_t n) {
        for (int c = 0; c < nChannels; ++c) {
            descriptor->connect_port(handle, static_cast<uint32_t>(c),
                                     const_cast<float*>(Signal(c) + at));
            descriptor->connect_port(handle, static_cast<uint32_t>(nChannels + c), out[c].data());
        }
        descriptor->run(handle, n);
    }

private:
    int nChannels;
    int32_t maxBlock;
    void* library = nullptr;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    std::vector<std::string> uris;
    LV2_URID_Map map{};
    LV2_Options_Option options[2]{};
    LV2_Feature mapFeature{}, optionsFeature{};
    // Gain, Level, enabled (not bypassed), by, quality, and the latency the plug-in writes.
    float controls[6] = {0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 0.0f};
    std::vector<std::vector<float>> out;
};

template <int quality>
void BM_LV2Run(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    LV2Plugin plugin(channels, 1024, static_cast<float>(quality));
    if (!plugin.Ok()) {
        state.SkipWithError("the LV2 bundle did not load");
        return;
    }
    long at = 0;
    for (auto _ : state) {
        plugin.Run(at, static_cast<uint32_t>(frames));
        at += frames;
        if (at + frames > kSignalFrames) at = 0;
    }
    ReportRate(state, frames);
}

// Ten seconds of silence after a second of signal, stereo, 256 frames per render; only the
// silence is timed.
void BM_HostSilenceAfterSignal(benchmark::State& state) {
    constexpr int kFrames = 256;
    constexpr int kSilentRenders = 10 * 48000 / kFrames;
    long renders = 0;
    std::unique_ptr<HostedUnit> unit;
    for (auto _ : state) {
        state.PauseTiming(); // a fresh instance and its second of signal are not timed
        unit.reset();
        unit = std::make_unique<HostedUnit>(2, 1024);
        if (!unit->Ok()) {
            state.SkipWithError("the component bundle did not open");
            break;
        }
        for (int i = 0; i < 48000 / kFrames; ++i)
            unit->Render(kFrames);
        unit->silent = true;
        state.ResumeTiming();
        for (int i = 0; i < kSilentRenders; ++i)
            unit->Render(kFrames);
        renders += kSilentRenders;
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(renders) * kFrames / kRate,
                                               benchmark::Counter::kIsRate);
}

// The block path on silence with the gain network in a subnormal cycle: at 100 Hz an impulse that
// leaves the input coupling at exactly zero decays into subnormal values within 71,000 samples
// and stays there. Bit-exactness rules out flushing them, so this shows what they cost here.
void BM_BlockSubnormalTail(benchmark::State& state) {
    constexpr int kFrames = 256;
    DriveCircuit left, right;
    std::vector<double> silence(kFrames, 0.0), outL(kFrames), outR(kFrames);
    const double impulse = 0.5;
    double first[2];
    const double* one[2] = {&impulse, &impulse};
    double* firstOut[2] = {first, first + 1};
    ProcessZerubBlock(left, right, 100.0, 0.5, 0.5, false, one, firstOut, 1);
    const double* ins[2] = {silence.data(), silence.data()};
    double* outs[2] = {outL.data(), outR.data()};
    for (int i = 0; i < 400; ++i)
        ProcessZerubBlock(left, right, 100.0, 0.5, 0.5, false, ins, outs, kFrames);
    if (std::fpclassify(left.net1) != FP_SUBNORMAL) {
        state.SkipWithError("the state did not reach subnormal values");
        return;
    }
    for (auto _ : state) {
        ProcessZerubBlock(left, right, 100.0, 0.5, 0.5, false, ins, outs, kFrames);
        benchmark::DoNotOptimize(outs[0]);
    }
    ReportRate(state, kFrames);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"frames", "channels"});
    for (int channels : {1, 2})
        for (int frames : {64, 256, 1024})
            b->Args({frames, channels});
}

// The host lends the file's memory, or (copy:1, at 256 frames) copies it into the unit's buffers.
void HostSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"frames", "channels", "copy"});
    for (int channels : {1, 2})
        for (int frames : {64, 256, 1024})
            b->Args({frames, channels, 0});
    b->Args({256, 1, 1});
    b->Args({256, 2, 1});
}

// The chain is the same for mono and stereo: both lanes run either way.
void ChainSizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"frames"});
    for (int frames : {64, 256, 1024})
        b->Args({frames});
}

BENCHMARK(BM_Chain)->Apply(ChainSizes);
BENCHMARK(BM_Plain)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Block, double)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Block, float)->Name("BM_BlockFloat")->Apply(Sizes);
BENCHMARK(BM_BlockHQ)->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_Host, 0)->Name("BM_Host")->Apply(HostSizes);
BENCHMARK_TEMPLATE(BM_Host, 1)->Name("BM_HostHQ")->Apply(HostSizes);
BENCHMARK_TEMPLATE(BM_LV2Run, 0)->Name("BM_LV2Run")->Apply(Sizes);
BENCHMARK_TEMPLATE(BM_LV2Run, 1)->Name("BM_LV2RunHQ")->Apply(Sizes);
BENCHMARK(BM_HostSilenceAfterSignal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockSubnormalTail);

} // namespace
