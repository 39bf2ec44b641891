// The Audio Unit wrapper: maps the host's component calls onto the plug-in base.
//
// This first form carries the identity and answers the host-facing operations for a plug-in
// that runs without a host (no transport, no listeners); the component entry points, properties
// and rendering are layered on top of it.
#pragma once

#include "plugin/IPlugBase.h"

class IPlugAU : public IPlugBase {
public:
    IPlugAU(const IPlugInstanceInfo& instanceInfo, int nParams, const char* channelIOStr,
            int nPresets, const char* effectName, const char* productName, const char* mfrName,
            int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, int plugScChans);

    const char* GetBundleID() const { return bundleID.Get(); }
    const char* GetViewClassName() const { return viewClassName.Get(); }

    void BeginInformHostOfParamChange(int paramIdx) override;
    void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
    void EndInformHostOfParamChange(int paramIdx) override;
    void InformHostOfProgramChange() override;
    int GetSamplePos() override;
    double GetTempo() override;
    void GetTimeSig(int* numerator, int* denominator) override;
    void GetTime(ITimeInfo* timeInfo) override;
    void ResizeGraphics(int w, int h) override;
    bool SendMidiMsg(IMidiMsg* msg) override;

protected:
    WDL_String bundleID{nullptr};
    WDL_String viewClassName{nullptr};
    double tempo = 120.0;
};
