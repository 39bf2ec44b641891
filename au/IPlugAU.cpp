#include "au/IPlugAU.h"

IPlugAU::IPlugAU(const IPlugInstanceInfo& instanceInfo, int nParams, const char* channelIOStr,
                 int nPresets, const char* effectName, const char* productName, const char* mfrName,
                 int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
                 bool plugDoesChunks, bool plugIsInst, int /*plugScChans*/)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIAU) {
    bundleID.Set(instanceInfo.bundleID.Get());
    viewClassName.Set(instanceInfo.cocoaViewFactoryClassName.Get());
    // Until the host announces its maximum block, render with the host's usual default.
    SetBlockSize(1024);
}

void IPlugAU::BeginInformHostOfParamChange(int /*paramIdx*/) {}

void IPlugAU::InformHostOfParamChange(int /*paramIdx*/, double /*normalizedValue*/) {}

void IPlugAU::EndInformHostOfParamChange(int /*paramIdx*/) {}

void IPlugAU::InformHostOfProgramChange() {}

int IPlugAU::GetSamplePos() {
    return 0;
}

double IPlugAU::GetTempo() {
    return tempo;
}

void IPlugAU::GetTimeSig(int* numerator, int* denominator) {
    if (numerator) *numerator = 0;
    if (denominator) *denominator = 0;
}

void IPlugAU::GetTime(ITimeInfo* /*timeInfo*/) {}

void IPlugAU::ResizeGraphics(int /*w*/, int /*h*/) {}

bool IPlugAU::SendMidiMsg(IMidiMsg* /*msg*/) {
    return false;
}
