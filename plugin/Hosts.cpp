#include "plugin/Hosts.h"

#include <cstdio>
#include <cstring>

namespace {

struct HostKey {
    const char* key;
    EHost host;
};

// Order matters: the first key contained in the name wins.
constexpr HostKey kHostKeys[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

} // namespace

EHost LookUpHost(const char* name) {
    char lower[264];
    int n = 0;
    if (name) {
        for (; n < 263 && name[n]; ++n) {
            const char c = name[n];
            lower[n] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    lower[n] = 0;
    for (const HostKey& k : kHostKeys)
        if (std::strstr(lower, k.key)) return k.host;
    return kHostUnknown;
}

const char* GetHostNameStr(EHost host) {
    switch (host) {
    case kHostReaper:
        return "Reaper";
    case kHostProTools:
        return "ProTools";
    case kHostCubase:
        return "Cubase";
    case kHostNuendo:
        return "Nuendo";
    case kHostSonar:
        return "Sonar";
    case kHostVegas:
        return "Vegas";
    case kHostFL:
        return "FLStudio";
    case kHostSamplitude:
        return "Samplitude";
    case kHostAbletonLive:
        return "Live";
    case kHostVSTScanner:
        return "VSTScanner";
    case kHostAULab:
        return "AULab";
    case kHostForte:
        return "Forte";
    case kHostChainer:
        return "Chainer";
    case kHostAudition:
        return "Audition";
    case kHostOrion:
        return "Orion";
    case kHostSAWStudio:
        return "SAWStudio";
    case kHostLogic:
        return "Logic";
    case kHostGarageBand:
        return "GarageBand";
    case kHostDigitalPerformer:
        return "DigitalPerformer";
    case kHostStandalone:
        return "Standalone";
    case kHostAudioMulch:
        return "AudioMulch";
    case kHostStudioOne:
        return "StudioOne";
    case kHostVST3TestHost:
        return "VST3PluginTestHost";
    case kHostArdour:
        return "Ardour";
    case kHostRenoise:
        return "Renoise";
    case kHostOpenMPT:
        return "OpenMPT";
    default:
        return "Unknown";
    }
}

void GetHostNameStr(EHost host, char* out) {
    if (out) std::snprintf(out, 19, "%s", GetHostNameStr(host)); // longest name is 18 characters
}

const char* GetAPIString(EAPI api) {
    switch (api) {
    case kAPIVST2:
        return "VST2";
    case kAPIVST3:
        return "VST3";
    case kAPIAU:
        return "AU";
    case kAPIRTAS:
        return "RTAS";
    case kAPIAAX:
        return "AAX";
    case kAPISA:
        return "Standalone";
    case kAPILV2:
        return "LV2";
    default:
        return "";
    }
}

void GetVersionParts(int version, int* major, int* minor, int* revision) {
    const unsigned v = static_cast<unsigned>(version);
    if (major) *major = static_cast<int>(v >> 16);
    if (minor) *minor = static_cast<int>((v >> 8) & 0xFF);
    if (revision) *revision = static_cast<int>(v & 0xFF);
}

int GetDecimalVersion(int version) {
    int major, minor, revision;
    GetVersionParts(version, &major, &minor, &revision);
    return major * 10000 + minor * 100 + revision;
}

void GetVersionStr(int version, char* out) {
    int major, minor, revision;
    GetVersionParts(version, &major, &minor, &revision);
    if (out) std::snprintf(out, 32, "v%d.%d.%d", major, minor, revision);
}
