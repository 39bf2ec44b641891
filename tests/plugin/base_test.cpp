#include "TestPlug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

TEST(PlugBase, ChannelSpecAndLegalIO) {
    TestPlug plug(0, "1-1 2-2");
    EXPECT_EQ(plug.NChannelIO(), 2);
    EXPECT_EQ(plug.NInChannels(), 2);
    EXPECT_EQ(plug.NOutChannels(), 2);
    EXPECT_TRUE(plug.LegalIO(1, 1));
    EXPECT_TRUE(plug.LegalIO(2, 2));
    EXPECT_FALSE(plug.LegalIO(1, 2));
    EXPECT_TRUE(plug.LegalIO(-1, 2));
    EXPECT_FALSE(plug.LegalIO(3, -1));
    EXPECT_TRUE(plug.LegalIO(-1, -1));

    TestPlug trailing(0, "1-1 2-2 ");
    ASSERT_EQ(trailing.NChannelIO(), 3);
    EXPECT_EQ(trailing.GetChannelIO(2)->in, 0);
    EXPECT_EQ(trailing.GetChannelIO(2)->out, 0);
    EXPECT_TRUE(trailing.LegalIO(0, 0));

    TestPlug none(0, nullptr);
    EXPECT_EQ(none.NChannelIO(), 0);
    EXPECT_FALSE(none.LegalIO(-1, -1));

    TestPlug odd(0, "x 0-4 3-1");
    EXPECT_EQ(odd.GetChannelIO(0)->in, 0); // unparsed fields stay 0
    EXPECT_EQ(odd.NInChannels(), 3);
    EXPECT_EQ(odd.NOutChannels(), 4);
}

TEST(PlugBase, NamesAreCutToTheirArrays) {
    const std::string longName(300, 'x');
    struct Direct : IPlugHostless {
        explicit Direct(const char* n)
            : IPlugHostless(0, "1-1", 0, n, n, n, 0, 0, 0, 0, false, false, false, kAPIAU) {}
    } direct(longName.c_str());
    EXPECT_EQ(std::string(direct.GetEffectName()), std::string(127, 'x'));
    EXPECT_EQ(std::string(direct.GetMfrName()), std::string(127, 'x'));
}

TEST(PlugBase, SetBlockSizeZeroFillsOnlyOnChange) {
    TestPlug plug(0, "2-2");
    plug.SetOutputChannelConnections(0, 2, false);
    plug.SetBlockSize(4);
    double* scratch = plug.OutData()[1];
    ASSERT_NE(scratch, nullptr);
    EXPECT_EQ(scratch, plug.Out(1)->scratch.Get());
    scratch[2] = 7.0;
    plug.SetBlockSize(4);
    EXPECT_EQ(plug.OutData()[1][2], 7.0);
    plug.SetBlockSize(8);
    for (int s = 0; s < 8; ++s)
        EXPECT_EQ(plug.OutData()[1][s], 0.0);
    EXPECT_EQ(plug.OutData()[1], plug.Out(1)->scratch.Get()); // re-pointed if it moved
}

TEST(PlugBase, AttachSkipsDisconnectedChannels) {
    TestPlug plug(0, "3-3");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 3, true);
    plug.SetInputChannelConnections(1, 1, false);
    double a[4] = {}, b[4] = {};
    double* bufs[] = {a, b};
    plug.AttachInputBuffers(0, 3, bufs, 4);
    EXPECT_EQ(plug.InData()[0], a);
    EXPECT_EQ(plug.InData()[1], plug.In(1)->scratch.Get());
    EXPECT_EQ(plug.InData()[2], b);

    float fa[4] = {1, 2, 3, 4}, fb[4] = {5, 6, 7, 8};
    float* fbufs[] = {fa, fb};
    plug.AttachInputBuffers(0, 3, fbufs, 4);
    plug.ProcessBuffers(0.0, 4); // float inputs are read when a block is processed
    EXPECT_EQ(plug.InData()[2], plug.In(2)->scratch.Get());
    EXPECT_EQ(plug.InData()[2][3], 8.0);
    EXPECT_EQ(plug.InData()[0][0], 1.0);

    // Ranges are cut at the channel count.
    plug.SetOutputChannelConnections(2, 10, true);
    EXPECT_TRUE(plug.IsOutChannelConnected(2));
    EXPECT_FALSE(plug.IsOutChannelConnected(3));
    EXPECT_FALSE(plug.IsOutChannelConnected(-1));
}

TEST(PlugBase, FloatProcessingLeavesDisconnectedOutputsAlone) {
    TestPlug plug(0, "2-2");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 2, true);
    plug.SetOutputChannelConnections(0, 1, true);
    plug.SetOutputChannelConnections(1, 1, false);
    float in0[4] = {0.5f, -0.5f, 0.25f, 1.0f}, in1[4] = {1, 1, 1, 1};
    float out0[4] = {9, 9, 9, 9}, out1[4] = {9, 9, 9, 9};
    float* ins[] = {in0, in1};
    float* outs[] = {out0, out1};
    plug.AttachInputBuffers(0, 2, ins, 4);
    plug.AttachOutputBuffers(0, 2, outs);
    plug.ProcessBuffers(0.0f, 4);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(out0[s], in0[s]);
        EXPECT_EQ(out1[s], 9.0f); // its pointer was never taken
    }
    plug.ProcessBuffersAccumulating(0.0f, 4);
    EXPECT_EQ(out0[0], 1.0f);
    EXPECT_EQ(out1[0], 9.0f);
    plug.PassThroughBuffers(0.0f, 4);
    EXPECT_EQ(out0[3], 1.0f);
}

namespace {

// Records what the base hands to the float hook, then lets the base's default run.
class FloatHookPlug : public TestPlug {
public:
    using TestPlug::TestPlug;
    void ProcessFloatReplacing(const float* const* inputs, float* const* outputs,
                               int nFrames) override {
        ++calls;
        seenIn.assign(inputs, inputs + NInChannels());
        seenOut.assign(outputs, outputs + NOutChannels());
        IPlugBase::ProcessFloatReplacing(inputs, outputs, nFrames);
    }
    int calls = 0;
    std::vector<const float*> seenIn;
    std::vector<float*> seenOut;
};

} // namespace

TEST(PlugBase, FloatHookGetsTheHostsBuffersSilenceAndDiscard) {
    FloatHookPlug plug(0, "3-3");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 3, true);
    plug.SetInputChannelConnections(1, 1, false);
    plug.SetOutputChannelConnections(0, 2, true);
    plug.SetOutputChannelConnections(2, 1, false);
    float in0[4] = {1, 2, 3, 4}, out0[4] = {}, out1[4] = {9, 9, 9, 9}, out2[4] = {9, 9, 9, 9};
    float* ins[] = {in0, nullptr}; // channel 2's buffer has no memory: silence
    float* outs[] = {out0, out1, out2};
    plug.AttachInputBuffers(0, 3, ins, 4);
    plug.AttachOutputBuffers(0, 3, outs);
    plug.ProcessBuffers(0.0f, 4);
    ASSERT_EQ(plug.calls, 1);
    EXPECT_EQ(plug.seenIn[0], in0);
    EXPECT_EQ(plug.seenOut[0], out0);
    EXPECT_EQ(plug.seenOut[1], out1);
    EXPECT_NE(plug.seenOut[2], out2); // disconnected: a discard buffer, never the host's
    for (int c : {1, 2})
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(plug.seenIn[c][s], 0.0f);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(out0[s], in0[s]); // the default widens, copies through and narrows
        EXPECT_EQ(out1[s], 0.0f);
        EXPECT_EQ(out2[s], 9.0f);
    }

    // A double input among them: the double path serves the block, with the same result.
    double d0[4] = {5, 6, 7, 8};
    double* dins[] = {d0};
    plug.AttachInputBuffers(0, 1, dins, 4);
    plug.ProcessBuffers(0.0f, 4);
    EXPECT_EQ(plug.calls, 1);
    EXPECT_EQ(out0[3], 8.0f);
}

TEST(PlugBase, FloatPassThroughCopiesEveryBitInPlaceOrNot) {
    TestPlug plug(0, "1-2");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 1, true);
    plug.SetOutputChannelConnections(0, 2, true);
    const uint32_t signalling = 0x7f800001u; // a trip through double would quiet it
    float in[4] = {1.5f, -0.0f, 0.0f, 3.0f}, out0[4] = {}, out1[4] = {9, 9, 9, 9};
    std::memcpy(&in[2], &signalling, sizeof signalling);
    float* ins[] = {in};
    float* outs[] = {out0, out1};
    plug.AttachInputBuffers(0, 1, ins, 4);
    plug.AttachOutputBuffers(0, 2, outs);
    plug.PassThroughBuffers(0.0f, 4);
    EXPECT_EQ(std::memcmp(out0, in, sizeof in), 0);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(out1[s], 0.0f); // no input for it: silence
    const float before[4] = {in[0], in[1], in[2], in[3]};
    float* inPlace[] = {in};
    plug.AttachOutputBuffers(0, 1, inPlace);
    plug.PassThroughBuffers(0.0f, 4);
    EXPECT_EQ(std::memcmp(in, before, sizeof in), 0);
}

namespace {

// Passes one block of two channels through plug on buffers shared as given (inputs on buffers
// inBuf, outputs on outBuf, of four) and returns what each output holds.
template <typename T>
std::vector<std::vector<T>> PassShared(TestPlug& plug, const int (&inBuf)[2],
                                       const int (&outBuf)[2]) {
    const T left[4] = {0.25, 0.5, -1, 2}, right[4] = {-0.75, 3, 0, -0.125};
    std::vector<std::vector<T>> buf(4, std::vector<T>(4, T(9)));
    buf[inBuf[0]].assign(left, left + 4);
    if (inBuf[1] != inBuf[0]) buf[inBuf[1]].assign(right, right + 4);
    T* ins[] = {buf[inBuf[0]].data(), buf[inBuf[1]].data()};
    T* outs[] = {buf[outBuf[0]].data(), buf[outBuf[1]].data()};
    plug.AttachInputBuffers(0, 2, ins, 4);
    plug.AttachOutputBuffers(0, 2, outs);
    plug.PassThroughBuffers(T(0), 4);
    return {buf[outBuf[0]], buf[outBuf[1]]};
}

} // namespace

// A host may hand an output another channel's input buffer: the pass-through reads every input
// before it writes any output, on float and on double buffers, whatever is shared.
TEST(PlugBase, PassThroughWithSharedBuffersGivesEachOutputItsInput) {
    TestPlug plug(0, "2-2");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 2, true);
    plug.SetOutputChannelConnections(0, 2, true);
    for (bool inputsShare : {false, true}) {
        const int inBuf[2] = {0, inputsShare ? 0 : 1};
        for (int pick = 0; pick < 9; ++pick) {
            const int k[2] = {pick % 3 - 1, pick / 3 - 1}; // -1: the output's own buffer
            const int outBuf[2] = {k[0] < 0 ? 2 : inBuf[k[0]], k[1] < 0 ? 3 : inBuf[k[1]]};
            if (outBuf[0] == outBuf[1]) continue; // two outputs on one buffer
            SCOPED_TRACE(std::to_string(inBuf[1]) + " " + std::to_string(outBuf[0]) + " " +
                         std::to_string(outBuf[1]));
            const auto f = PassShared<float>(plug, inBuf, outBuf);
            const auto d = PassShared<double>(plug, inBuf, outBuf);
            EXPECT_EQ(f[0][0], 0.25f);
            EXPECT_EQ(f[1][0], inputsShare ? 0.25f : -0.75f);
            EXPECT_EQ(f[1][3], inputsShare ? 2.0f : -0.125f);
            EXPECT_EQ(d[0][0], 0.25);
            EXPECT_EQ(d[1][0], inputsShare ? 0.25 : -0.75);
            EXPECT_EQ(d[1][3], inputsShare ? 2.0 : -0.125);
        }
    }
}

TEST(PlugBase, OversizeBlocksStayInsideScratchBuffers) {
    TestPlug plug(0, "1-1");
    plug.SetBlockSize(4);
    plug.SetInputChannelConnections(0, 1, true);
    plug.SetOutputChannelConnections(0, 1, true);
    std::vector<float> in(64, 0.5f), out(64, 3.0f);
    float* ins[] = {in.data()};
    float* outs[] = {out.data()};
    plug.AttachInputBuffers(0, 1, ins, 64);
    plug.AttachOutputBuffers(0, 1, outs);
    plug.ProcessBuffers(0.0f, 64); // ASan would see any write past the 4-sample scratch
    EXPECT_EQ(out[3], 0.5f);
    EXPECT_EQ(out[4], 3.0f);
}

TEST(PlugBase, BasePassThroughZeroFillsExtraOutputs) {
    TestPlug plug(0, "1-2");
    double in[3] = {1, 2, 3}, o0[3], o1[3] = {5, 5, 5};
    double* ins[] = {in};
    double* outs[] = {o0, o1};
    plug.ProcessDoubleReplacing(ins, outs, 3);
    EXPECT_EQ(o0[2], 3.0);
    EXPECT_EQ(o1[1], 0.0);
}

TEST(PlugBase, CompareStateInSinglePrecision) {
    TestPlug plug(2);
    plug.GetParam(0)->InitDouble("a", 0.5, 0, 1, 0.01);
    plug.GetParam(1)->InitDouble("b", 0.25, 0, 1, 0.01);
    unsigned char bytes[1 + 3 * sizeof(double)];
    const double values[3] = {99.0, 0.500009, 0.25};
    std::memcpy(bytes + 1, values, sizeof values); // unaligned on purpose
    EXPECT_TRUE(plug.CompareState(bytes + 1, 1));
    const double off[3] = {99.0, 0.50002, 0.25};
    std::memcpy(bytes + 1, off, sizeof off);
    EXPECT_FALSE(plug.CompareState(bytes + 1, 1));
    TestPlug empty(0);
    EXPECT_TRUE(empty.CompareState(nullptr, 0));
}

TEST(PlugBase, GuiChangesReachHostAndProduct) {
    TestPlug plug(2);
    plug.GetParam(1)->InitInt("i", 0, 0, 10);
    plug.SetParameterFromGUI(1, 0.46);
    EXPECT_EQ(plug.GetParam(1)->Value(), 5.0);
    ASSERT_EQ(plug.informed.size(), 1u);
    EXPECT_EQ(plug.informed[0].second, 0.46); // the host hears the normalised value as given
    ASSERT_EQ(plug.changed.size(), 1u);
    EXPECT_EQ(plug.changed[0], 1);
    plug.SetParameterFromGUI(7, 0.5); // ignored
    EXPECT_EQ(plug.informed.size(), 1u);
    // So is a value no control can mean: nothing set, nobody told.
    for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL})
        plug.SetParameterFromGUI(1, v);
    EXPECT_EQ(plug.GetParam(1)->Value(), 5.0);
    EXPECT_EQ(plug.informed.size(), 1u);
    EXPECT_EQ(plug.changed.size(), 1u);

    plug.informed.clear();
    plug.DirtyParameters();
    EXPECT_EQ(plug.informed.size(), 2u);
    EXPECT_EQ(plug.informed[1].second, 0.5);
}

TEST(PlugBase, AttachGraphicsPushesNormalisedThenRedrawPushesReal) {
    int deletions = 0;
    {
        TestPlug plug(2);
        plug.GetParam(0)->InitDouble("a", 5.0, 0, 10, 0.1);
        plug.GetParam(1)->InitInt("b", 1, 0, 4);
        plug.AttachGraphics(nullptr);
        EXPECT_EQ(plug.GetGUI(), nullptr);
        auto* gui = new RecordingGraphics(&plug, &deletions);
        plug.AttachGraphics(gui);
        EXPECT_EQ(plug.GetGUI(), gui);
        ASSERT_EQ(gui->pushes.size(), 2u);
        EXPECT_EQ(gui->prepared, 2u); // prepared after the values arrived
        EXPECT_TRUE(gui->pushes[0].normalized);
        EXPECT_EQ(gui->pushes[0].value, 0.5);
        EXPECT_EQ(gui->pushes[1].value, 0.25);
        plug.RedrawParamControls();
        ASSERT_EQ(gui->pushes.size(), 4u);
        EXPECT_FALSE(gui->pushes[2].normalized);
        EXPECT_EQ(gui->pushes[2].value, 5.0);
        EXPECT_EQ(gui->pushes[3].value, 1.0);
    }
    EXPECT_EQ(deletions, 1); // owned by the base
}

TEST(PlugBase, LabelsAndBusLabels) {
    TestPlug plug(0, "2-2");
    plug.SetInputLabel(1, "right");
    plug.SetInputLabel(5, "ignored");
    EXPECT_STREQ(plug.In(1)->label.Get(), "right");
    plug.SetInputBusLabel(2, "no");
    plug.SetInputBusLabel(0, "main");
    plug.SetInputBusLabel(1, "side");
    plug.SetInputBusLabel(0, "main in"); // replaced in place
    ASSERT_NE(plug.GetInputBusLabel(0), nullptr);
    EXPECT_STREQ(plug.GetInputBusLabel(0)->Get(), "main in");
    EXPECT_STREQ(plug.GetInputBusLabel(1)->Get(), "side");
    EXPECT_EQ(plug.GetInputBusLabel(2), nullptr);
    plug.SetOutputBusLabel(40, "far"); // beyond the end: appended
    ASSERT_NE(plug.GetOutputBusLabel(0), nullptr);
    EXPECT_STREQ(plug.GetOutputBusLabel(0)->Get(), "far");
}

TEST(PlugBase, SamplesPerBeat) {
    TestPlug plug(0);
    plug.SetSampleRate(48000.0);
    plug.tempo = 120.0;
    EXPECT_EQ(plug.GetSamplesPerBeat(), 24000.0);
    plug.tempo = 0.0;
    EXPECT_EQ(plug.GetSamplesPerBeat(), 0.0);
}
