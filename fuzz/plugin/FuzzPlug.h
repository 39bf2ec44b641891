// A plug-in base with three parameters of different types and no host behind it, for the
// fuzz targets of the base's readers.
#pragma once

#include "plugin/IPlugBase.h"

class FuzzPlug : public IPlugBase {
public:
    explicit FuzzPlug(bool chunks = false)
        : IPlugBase(3, "1-1 2-2", 3, "Fuzz", "", "", 0x10000, 1, 2, 0, false, chunks, false,
                    kAPIAU) {
        GetParam(0)->InitDouble("a", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitInt("b", 0, -5, 5);
        GetParam(2)->InitBool("c", false);
    }
    void BeginInformHostOfParamChange(int) override {}
    void InformHostOfParamChange(int, double) override {}
    void EndInformHostOfParamChange(int) override {}
    void InformHostOfProgramChange() override {}
    int GetSamplePos() override { return 0; }
    double GetTempo() override { return 120.0; }
    void GetTimeSig(int*, int*) override {}
    void GetTime(ITimeInfo*) override {}
    void ResizeGraphics(int, int) override {}
    bool SendMidiMsg(IMidiMsg*) override { return false; }
};
