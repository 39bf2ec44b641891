// A plug-in base with the host-facing operations recorded instead of sent to a host.
#pragma once

#include "editor/IGraphicsHeadless.h"
#include "plugin/IPlugHostless.h"

#include <utility>
#include <vector>

class TestPlug : public IPlugHostless {
public:
    explicit TestPlug(int nParams, const char* io = "1-1 2-2", int nPresets = 1,
                      bool chunks = false)
        : IPlugHostless(nParams, io, nPresets, "Test", "Product", "Maker", 0x10203, FourCC("Tst1"),
                        FourCC("Mkr1"), 0, false, chunks, false, kAPIAU) {}

    void InformHostOfParamChange(int idx, double normalized) override {
        informed.emplace_back(idx, normalized);
    }
    void InformHostOfProgramChange() override { ++programChanges; }
    double GetTempo() override { return tempo; }
    void GetTimeSig(int* num, int* denom) override { *num = *denom = 4; }
    void OnParamChange(int idx) override {
        IPlugBase::OnParamChange(idx);
        changed.push_back(idx);
    }

    double** InData() { return inData.Get(); }
    double** OutData() { return outData.Get(); }
    const OutChannel* Out(int i) const { return outChannels.Get(i); }
    const InChannel* In(int i) const { return inChannels.Get(i); }
    IPreset* Preset(int i) { return presets.Get(i); }
    void SetCurrentPresetIdx(int i) { currentPresetIdx = i; }

    std::vector<std::pair<int, double>> informed;
    std::vector<int> changed;
    int programChanges = 0;
    double tempo = 120.0;
};

// Records what the base pushes into its editor.
class RecordingGraphics : public IGraphicsHeadless {
public:
    struct Push {
        int idx;
        double value;
        bool normalized;
    };
    explicit RecordingGraphics(IPlugBase* plug, int* deletionCount = nullptr)
        : IGraphicsHeadless(plug, 8, 8), deletions(deletionCount) {}
    ~RecordingGraphics() override {
        if (deletions) ++*deletions;
    }
    void SetParameterFromPlug(int idx, double value, bool normalized) override {
        pushes.push_back({idx, value, normalized});
        IGraphicsHeadless::SetParameterFromPlug(idx, value, normalized);
    }
    void PrepDraw() override {
        prepared = pushes.size();
        IGraphicsHeadless::PrepDraw();
    }

    std::vector<Push> pushes;
    size_t prepared = size_t(-1);
    int* deletions;
};
