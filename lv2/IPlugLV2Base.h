// What the LV2 plug-in and the LV2 UI share as wrappers of the plug-in base: the wrappers'
// common constructor, and no transport, program notices, MIDI or host resizing (LV2 carries
// none of them here).
#pragma once

#include "plugin/IPlugHostless.h"

class IPlugLV2Base : public IPlugHostless {
public:
    // Same arguments as every wrapper; the instance info and side-chain count are not used.
    IPlugLV2Base(const IPlugInstanceInfo& /*instanceInfo*/, int nParams, const char* channelIOStr,
                 int nPresets, const char* effectNameText, const char* productNameText,
                 const char* mfrNameText, int vendorVersion, int uniqueId, int mfrId,
                 int latencySamples, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
                 int /*plugScChans*/)
        : IPlugHostless(nParams, channelIOStr, nPresets, effectNameText, productNameText,
                        mfrNameText, vendorVersion, uniqueId, mfrId, latencySamples, plugDoesMidi,
                        plugDoesChunks, plugIsInst, kAPILV2) {}
};
