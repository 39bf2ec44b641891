// Render speed, side by side in one process, each case reporting its real-time factor ("rtf":
// audio seconds per CPU second at 48 kHz):
//   Plain - the per-sample loop: Calc per block, then per frame a bypass test and one Process
//           per channel (both circuits run in mono too, the second on scratch);
//   Block - the effect's block path (ProcessZerubBlock) on the same double buffers;
//   Host  - the whole path through the host API: AudioUnitRender of the built component bundle,
//           the input served from a 60-second signal held in memory by a render callback that
//           hands over the file's memory (or, copy:1, copies it into the unit's buffers).
// Mono and stereo at 64, 256 and 1024 frames; and 10 s of silence that follows one second of
// signal (the filter state decays towards tiny values), timed alone; and the block path with the
// state in the subnormal range.
#include "effect/DriveCircuit.h"
#include "effect/ZerubProcess.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <ZerubPlatform/HostExtensions.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kSignalFrames = 60 * 48000;

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

struct Blocks {
    explicit Blocks(int channels) : in(2, std::vector<double>(kLoopFrames)), out(in) {
        for (int c = 0; c < channels; ++c)
            for (int s = 0; s < kLoopFrames; ++s)
                in[c][s] = Signal(c)[s];
    }
    int Next(int frames) {
        const int at = position;
        position = (position + frames) % kLoopFrames;
        return at;
    }
    std::vector<std::vector<double>> in, out;
    int position = 0;
};

void BM_Plain(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    Blocks b(channels);
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

void BM_Block(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    Blocks b(channels);
    DriveCircuit left, right;
    for (auto _ : state) {
        const int at = b.Next(frames);
        const double* ins[2] = {b.in[0].data() + at, b.in[1].data() + at};
        double* outs[2] = {b.out[0].data() + at, b.out[1].data() + at};
        ProcessZerubBlock(left, right, kRate, 0.5, 0.5, false, ins, outs, frames);
        benchmark::DoNotOptimize(outs[0]);
        benchmark::DoNotOptimize(outs[1]);
    }
    ReportRate(state, frames);
}

// An initialised instance of the built bundle with a render callback serving the signal.
class HostedUnit {
public:
    HostedUnit(int channels, UInt32 maxFrames) : nChannels(channels) {
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

void BM_Host(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0)),
              channels = static_cast<int>(state.range(1));
    HostedUnit unit(channels, 1024);
    if (!unit.Ok()) {
        state.SkipWithError("the component bundle did not open");
        return;
    }
    for (auto _ : state)
        if (unit.Render(static_cast<UInt32>(frames)) != noErr) {
            state.SkipWithError("render failed");
            break;
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

BENCHMARK(BM_Plain)->Apply(Sizes);
BENCHMARK(BM_Block)->Apply(Sizes);
BENCHMARK(BM_Host)->Apply(HostSizes);
BENCHMARK(BM_HostSilenceAfterSignal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockSubnormalTail);

} // namespace
