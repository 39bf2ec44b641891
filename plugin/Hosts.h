// Host and plug-in API identification, and packed versions (major * 65536 + minor * 256 + rev).
#pragma once

enum EHost : int {
    kHostUninit = -1,
    kHostUnknown = 0,
    kHostReaper,
    kHostProTools,
    kHostCubase,
    kHostNuendo,
    kHostSonar,
    kHostVegas,
    kHostFL,
    kHostSamplitude,
    kHostAbletonLive,
    kHostTracktion,
    kHostNTracks,
    kHostMelodyneStudio,
    kHostVSTScanner,
    kHostAULab,
    kHostForte,
    kHostChainer,
    kHostAudition,
    kHostOrion,
    kHostBias,
    kHostSAWStudio,
    kHostLogic,
    kHostGarageBand,
    kHostDigitalPerformer,
    kHostStandalone,
    kHostAudioMulch,
    kHostStudioOne,
    kHostVST3TestHost,
    kHostArdour,
    kHostRenoise,
    kHostOpenMPT
};

// Fixed to int, so that any number read from outside is a value the names can be asked for.
enum EAPI : int {
    kAPIVST2 = 0,
    kAPIVST3 = 1,
    kAPIAU = 2,
    kAPIRTAS = 3,
    kAPIAAX = 4,
    kAPISA = 5,
    kAPILV2 = 6
};

// The host code for an application name, by case-insensitive substring search in a fixed order.
EHost LookUpHost(const char* name);
// Writes the host's display name; out holds at least 19 bytes.
void GetHostNameStr(EHost host, char* out);
const char* GetHostNameStr(EHost host);
const char* GetAPIString(EAPI api);

void GetVersionParts(int version, int* major, int* minor, int* revision);
int GetDecimalVersion(int version);
// Writes "v<major>.<minor>.<revision>"; out holds at least 32 bytes.
void GetVersionStr(int version, char* out);
