// Music device (instrument) selectors, records and host-side calls.
#pragma once

#include <AudioUnit/AUComponent.h>

CF_EXTERN_C_BEGIN

typedef UInt32 MusicDeviceInstrumentID;
typedef UInt32 MusicDeviceGroupID;
typedef UInt32 NoteInstanceID;
typedef AudioComponentInstance MusicDeviceComponent;

typedef struct NoteParamsControlValue {
    AudioUnitParameterID mID;
    AudioUnitParameterValue mValue;
} NoteParamsControlValue;

// A variable-length record: argCount - 2 control values follow pitch and velocity.
typedef struct MusicDeviceNoteParams {
    UInt32 argCount;
    Float32 mPitch;
    Float32 mVelocity;
    NoteParamsControlValue mControls[1];
} MusicDeviceNoteParams;

CF_ENUM(UInt32){
    kMusicNoteEvent_UseGroupInstrument = 0xFFFFFFFF,
    kMusicNoteEvent_Unused = 0xFFFFFFFF,
};

enum {
    kMusicDeviceRange = 0x0100,
    kMusicDeviceMIDIEventSelect = 0x0101,
    kMusicDeviceSysExSelect = 0x0102,
    kMusicDevicePrepareInstrumentSelect = 0x0103,
    kMusicDeviceReleaseInstrumentSelect = 0x0104,
    kMusicDeviceStartNoteSelect = 0x0105,
    kMusicDeviceStopNoteSelect = 0x0106,
    kMusicDeviceMIDIEventListSelect = 0x0107,
};

typedef OSStatus (*MusicDeviceMIDIEventProc)(void* self, UInt32 inStatus, UInt32 inData1,
                                             UInt32 inData2, UInt32 inOffsetSampleFrame);
typedef OSStatus (*MusicDeviceSysExProc)(void* self, const UInt8* inData, UInt32 inLength);
typedef OSStatus (*MusicDeviceStartNoteProc)(void* self, MusicDeviceInstrumentID inInstrument,
                                             MusicDeviceGroupID inGroupID,
                                             NoteInstanceID* outNoteInstanceID,
                                             UInt32 inOffsetSampleFrame,
                                             const MusicDeviceNoteParams* inParams);
typedef OSStatus (*MusicDeviceStopNoteProc)(void* self, MusicDeviceGroupID inGroupID,
                                            NoteInstanceID inNoteInstanceID,
                                            UInt32 inOffsetSampleFrame);

CF_EXPORT OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus,
                                        UInt32 inData1, UInt32 inData2, UInt32 inOffsetSampleFrame);

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(MusicDeviceNoteParams) == 20, "MusicDeviceNoteParams layout");
#endif
