// A plug-in base whose host-facing operations do nothing: for wrappers whose host offers no
// transport, program notices, MIDI or resizing, and for plug-ins with no host behind them
// (tools, fuzz targets). The transport reads "at 0, 120 BPM"; a wrapper that has a host for
// some of these overrides just those.
#pragma once

#include "plugin/IPlugBase.h"

class IPlugHostless : public IPlugBase {
public:
    using IPlugBase::IPlugBase;

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
