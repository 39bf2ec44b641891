#include "effect/DriveCircuit.h"
#include "effect/Zerub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using PlugPtr = std::unique_ptr<IPlugAU, PlugDeleter>;

// An initialised instance as the wrapper leaves it: every parameter pushed, channels bound.
PlugPtr MakeInitialised(int nChannels, int blockSize = 64, double rate = 44100.0) {
    PlugPtr plug(MakePlug(nullptr));
    plug->SetSampleRate(rate);
    plug->SetBlockSize(blockSize);
    plug->SetInputChannelConnections(0, nChannels, true);
    plug->SetOutputChannelConnections(0, nChannels, true);
    plug->OnParamReset();
    return plug;
}

std::vector<float> Riff(int n, double phase = 0.0) {
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i)
        x[i] = static_cast<float>(0.7 * std::sin(i * 0.05 + phase) * std::exp(-i * 0.001));
    return x;
}

// Renders float buffers through the base's float path, block by block.
void Render(IPlugBase& plug, std::vector<std::vector<float>>& in,
            std::vector<std::vector<float>>& out, int block) {
    const int channels = static_cast<int>(in.size());
    const int n = static_cast<int>(in[0].size());
    for (int start = 0; start < n; start += block) {
        const int frames = std::min(block, n - start);
        std::vector<float*> ins, outs;
        for (int c = 0; c < channels; ++c) {
            ins.push_back(in[c].data() + start);
            outs.push_back(out[c].data() + start);
        }
        plug.AttachInputBuffers(0, channels, ins.data(), frames);
        plug.AttachOutputBuffers(0, channels, outs.data());
        plug.ProcessBuffers(0.0f, frames);
    }
}

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

TEST(Zerub, IdentityAndParameters) {
    PlugPtr plug(MakePlug(nullptr));
    EXPECT_STREQ(plug->GetEffectName(), "Zerub");
    EXPECT_STREQ(plug->GetMfrName(), "Quillmoor");
    EXPECT_STREQ(plug->GetProductName(), "");
    EXPECT_EQ(plug->GetUniqueID(), 0x5A524231); // "ZRB1"
    EXPECT_EQ(plug->GetMfrID(), 0x516D6F72);    // "Qmor"
    EXPECT_EQ(plug->GetEffectVersion(false), 0x10000);
    EXPECT_STREQ(plug->GetBundleID(), "com.Quillmoor.audiounit.Zerub");
    EXPECT_STREQ(plug->GetViewClassName(), "Zerub_View");
    EXPECT_TRUE(plug->LegalIO(1, 1));
    EXPECT_TRUE(plug->LegalIO(2, 2));
    EXPECT_FALSE(plug->LegalIO(1, 2));
    EXPECT_FALSE(plug->DoesMIDI());
    ASSERT_EQ(plug->NParams(), 3);

    const IParam* gain = plug->GetParam(Zerub::kGain);
    EXPECT_STREQ(gain->GetNameForHost(), "Gain");
    EXPECT_STREQ(gain->GetLabelForHost(), "%");
    EXPECT_EQ(gain->Type(), IParam::kTypeDouble);
    char text[32];
    gain->GetDisplayForHost(text, sizeof text);
    EXPECT_STREQ(text, "0.50");
    EXPECT_STREQ(plug->GetParam(Zerub::kLevel)->GetNameForHost(), "Level");
    const IParam* by = plug->GetParam(Zerub::kBypass);
    EXPECT_STREQ(by->GetNameForHost(), "BY");
    EXPECT_EQ(by->Type(), IParam::kTypeInt);
    by->GetDisplayForHost(1.0, false, text, sizeof text);
    EXPECT_STREQ(text, "1");
}

TEST(Zerub, DefaultPresetAndState) {
    PlugPtr plug(MakePlug(nullptr));
    ASSERT_EQ(plug->NPresets(), 1);
    EXPECT_STREQ(plug->GetPresetName(0), "-");
    plug->GetParam(Zerub::kLevel)->Set(0.25);
    plug->GetParam(Zerub::kBypass)->Set(1.0);
    ByteChunk state;
    ASSERT_TRUE(plug->SerializeState(&state));
    const unsigned char expected[24] = {0, 0, 0,    0,    0, 0, 0xE0, 0x3F, 0, 0, 0,    0,
                                        0, 0, 0xD0, 0x3F, 0, 0, 0,    0,    0, 0, 0xF0, 0x3F};
    ASSERT_EQ(state.Size(), 24);
    EXPECT_EQ(std::memcmp(state.GetBytes(), expected, 24), 0);
    ASSERT_TRUE(plug->RestorePreset(0)); // back to the defaults
    EXPECT_EQ(plug->GetParam(Zerub::kLevel)->Value(), 0.5);
    EXPECT_EQ(plug->GetParam(Zerub::kBypass)->Value(), 0.0);
}

TEST(Zerub, FractionalBypassStillProcesses) {
    PlugPtr plug = MakeInitialised(1, 32);
    plug->GetParam(Zerub::kBypass)->Set(0.999); // hosts may send fractions; only 1 bypasses
    std::vector<std::vector<float>> in = {std::vector<float>(32, 0.5f)},
                                    out = {std::vector<float>(32)};
    Render(*plug, in, out, 32);
    EXPECT_NE(out[0][31], 0.5f);
    plug->GetParam(Zerub::kBypass)->Set(7.0); // clamped to 1
    Render(*plug, in, out, 32);
    EXPECT_EQ(out[0][31], 0.5f);
}

TEST(Zerub, FreshInstanceFadesIn) {
    PlugPtr plug = MakeInitialised(1, 512);
    const int n = 2048;
    std::vector<std::vector<float>> in = {std::vector<float>(n)}, out = {std::vector<float>(n)};
    for (int i = 0; i < n; ++i)
        in[0][i] = static_cast<float>(0.3 * std::sin(i * 0.06));
    Render(*plug, in, out, 512);
    auto peak = [&](int from, int to) {
        float p = 0;
        for (int i = from; i < to; ++i)
            p = std::max(p, std::fabs(out[0][i]));
        return p;
    };
    EXPECT_LT(peak(0, 32), 0.2f * peak(1536, 2048));
    EXPECT_GT(peak(1536, 2048), 0.0f);
}

TEST(Zerub, MonoRunsTheSecondCircuitOnScratchOnly) {
    PlugPtr plug = MakeInitialised(1, 64);
    // The host's memory around the mono buffers must be untouched.
    std::vector<float> inMem(64 * 3, 0.25f), outMem(64 * 3, -9.0f);
    float* in = inMem.data() + 64;
    float* out = outMem.data() + 64;
    plug->AttachInputBuffers(0, 2, &in, 64);
    plug->AttachOutputBuffers(0, 2, &out);
    plug->ProcessBuffers(0.0f, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(inMem[i], 0.25f);
        EXPECT_EQ(inMem[128 + i], 0.25f);
        EXPECT_EQ(outMem[i], -9.0f);
        EXPECT_EQ(outMem[128 + i], -9.0f);
    }
    EXPECT_NE(out[10], -9.0f);
}

TEST(Zerub, RateChangeTakesEffectAtTheNextBlock) {
    PlugPtr plug = MakeInitialised(1, 16);
    std::vector<std::vector<float>> in = {Riff(32)}, out = {std::vector<float>(32)};
    DriveCircuit reference;
    std::vector<std::vector<float>> first = {std::vector<float>(in[0].begin(), in[0].begin() + 16)},
                                    second = {std::vector<float>(in[0].begin() + 16, in[0].end())};
    std::vector<std::vector<float>> o1 = {std::vector<float>(16)}, o2 = {std::vector<float>(16)};
    Render(*plug, first, o1, 16);
    plug->SetSampleRate(96000.0);
    Render(*plug, second, o2, 16);
    reference.Calc(44100.0);
    for (int s = 0; s < 16; ++s)
        reference.Process(first[0][s], 0.5, 0.5);
    reference.Calc(96000.0);
    for (int s = 0; s < 16; ++s)
        EXPECT_TRUE(
            SameBits(o2[0][s], static_cast<float>(reference.Process(second[0][s], 0.5, 0.5))));
}
