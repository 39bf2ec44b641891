// Core Audio data types: stream formats, buffers, time stamps and channel layouts, with the
// macOS layouts (checked by the size assertions at the end).
#pragma once

#include <CoreFoundation/CFBase.h>
#include <MacTypes.h>

CF_EXTERN_C_BEGIN

// Status codes shared by the audio frameworks.
CF_ENUM(OSStatus){
    kAudio_UnimplementedError = -4,
    kAudio_FileNotFoundError = -43,
    kAudio_FilePermissionError = -54,
    kAudio_TooManyFilesOpenError = -42,
    kAudio_BadFilePathError = 0x21707468, // '!pth'
    kAudio_ParamError = -50,
    kAudio_MemFullError = -108,
};

typedef struct AudioValueRange {
    Float64 mMinimum;
    Float64 mMaximum;
} AudioValueRange;

// One buffer of (possibly interleaved) samples.
typedef struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
} AudioBuffer;

// A variable-length list: mNumberBuffers entries follow, allocated past the declared one.
typedef struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
} AudioBufferList;

typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;

typedef struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    AudioFormatID mFormatID;
    AudioFormatFlags mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
} AudioStreamBasicDescription;

enum { kAudioStreamAnyRate = 0 };

CF_ENUM(AudioFormatID){
    kAudioFormatLinearPCM = 0x6C70636D,     // 'lpcm'
    kAudioFormatAC3 = 0x61632D33,           // 'ac-3'
    kAudioFormatAppleLossless = 0x616C6163, // 'alac'
    kAudioFormatMPEG4AAC = 0x61616320,      // 'aac '
    kAudioFormatMPEGLayer3 = 0x2E6D7033,    // '.mp3'
    kAudioFormatMIDIStream = 0x6D696469,    // 'midi'
};

CF_ENUM(AudioFormatFlags){
    kAudioFormatFlagIsFloat = (1U << 0), // samples are floating point
    kAudioFormatFlagIsBigEndian = (1U << 1),
    kAudioFormatFlagIsSignedInteger = (1U << 2),
    kAudioFormatFlagIsPacked = (1U << 3),
    kAudioFormatFlagIsAlignedHigh = (1U << 4),
    kAudioFormatFlagIsNonInterleaved = (1U << 5),
    kAudioFormatFlagIsNonMixable = (1U << 6),
    kAudioFormatFlagsAreAllClear = 0x80000000U,

    kLinearPCMFormatFlagIsFloat = kAudioFormatFlagIsFloat,
    kLinearPCMFormatFlagIsBigEndian = kAudioFormatFlagIsBigEndian,
    kLinearPCMFormatFlagIsSignedInteger = kAudioFormatFlagIsSignedInteger,
    kLinearPCMFormatFlagIsPacked = kAudioFormatFlagIsPacked,
    kLinearPCMFormatFlagIsAlignedHigh = kAudioFormatFlagIsAlignedHigh,
    kLinearPCMFormatFlagIsNonInterleaved = kAudioFormatFlagIsNonInterleaved,
    kLinearPCMFormatFlagIsNonMixable = kAudioFormatFlagIsNonMixable,
    kLinearPCMFormatFlagsSampleFractionShift = 7,
    kLinearPCMFormatFlagsSampleFractionMask = (0x3FU << kLinearPCMFormatFlagsSampleFractionShift),
    kLinearPCMFormatFlagsAreAllClear = kAudioFormatFlagsAreAllClear,
};

// This target is little-endian.
CF_ENUM(AudioFormatFlags){
    kAudioFormatFlagsNativeEndian = 0, // no kAudioFormatFlagIsBigEndian
    kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagsNativeEndian |
                                         kAudioFormatFlagIsPacked,
};

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#error "the platform headers describe a little-endian target"
#endif

typedef struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
} SMPTETime;

typedef CF_ENUM(UInt32, SMPTETimeType) {
    kSMPTETimeType24 = 0,
    kSMPTETimeType25 = 1,
    kSMPTETimeType30Drop = 2,
    kSMPTETimeType30 = 3,
    kSMPTETimeType2997 = 4,
    kSMPTETimeType2997Drop = 5,
    kSMPTETimeType60 = 6,
    kSMPTETimeType5994 = 7,
    kSMPTETimeType60Drop = 8,
    kSMPTETimeType5994Drop = 9,
    kSMPTETimeType50 = 10,
    kSMPTETimeType2398 = 11,
};

typedef CF_OPTIONS(UInt32, SMPTETimeFlags) {
    kSMPTETimeUnknown = 0,
    kSMPTETimeValid = (1U << 0),
    kSMPTETimeRunning = (1U << 1),
};

typedef struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
} AudioTimeStamp;

typedef CF_OPTIONS(UInt32, AudioTimeStampFlags) {
    kAudioTimeStampNothingValid = 0,
    kAudioTimeStampSampleTimeValid = (1U << 0),
    kAudioTimeStampHostTimeValid = (1U << 1),
    kAudioTimeStampRateScalarValid = (1U << 2),
    kAudioTimeStampWordClockTimeValid = (1U << 3),
    kAudioTimeStampSMPTETimeValid = (1U << 4),
    kAudioTimeStampSampleHostTimeValid = (kAudioTimeStampSampleTimeValid |
                                          kAudioTimeStampHostTimeValid),
};

typedef UInt32 AudioChannelLabel;
typedef UInt32 AudioChannelLayoutTag;

CF_ENUM(AudioChannelLabel){
    kAudioChannelLabel_Unknown = 0xFFFFFFFFU,
    kAudioChannelLabel_Unused = 0,
    kAudioChannelLabel_UseCoordinates = 100,
    kAudioChannelLabel_Left = 1,
    kAudioChannelLabel_Right = 2,
    kAudioChannelLabel_Center = 3,
    kAudioChannelLabel_LFEScreen = 4,
    kAudioChannelLabel_LeftSurround = 5,
    kAudioChannelLabel_RightSurround = 6,
    kAudioChannelLabel_Mono = 42,
};

typedef CF_OPTIONS(UInt32, AudioChannelBitmap) {
    kAudioChannelBit_Left = (1U << 0),
    kAudioChannelBit_Right = (1U << 1),
    kAudioChannelBit_Center = (1U << 2),
    kAudioChannelBit_LFEScreen = (1U << 3),
    kAudioChannelBit_LeftSurround = (1U << 4),
    kAudioChannelBit_RightSurround = (1U << 5),
};

typedef CF_OPTIONS(UInt32, AudioChannelFlags) {
    kAudioChannelFlags_AllOff = 0,
    kAudioChannelFlags_RectangularCoordinates = (1U << 0),
    kAudioChannelFlags_SphericalCoordinates = (1U << 1),
    kAudioChannelFlags_Meters = (1U << 2),
};

typedef struct AudioChannelDescription {
    AudioChannelLabel mChannelLabel;
    AudioChannelFlags mChannelFlags;
    Float32 mCoordinates[3];
} AudioChannelDescription;

// A variable-length record: mNumberChannelDescriptions entries follow.
typedef struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag;
    AudioChannelBitmap mChannelBitmap;
    UInt32 mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1];
} AudioChannelLayout;

// A tag is (layout number << 16) | channel count.
CF_ENUM(AudioChannelLayoutTag){
    kAudioChannelLayoutTag_UseChannelDescriptions = (0U << 16) | 0,
    kAudioChannelLayoutTag_UseChannelBitmap = (1U << 16) | 0,
    kAudioChannelLayoutTag_Mono = (100U << 16) | 1,
    kAudioChannelLayoutTag_Stereo = (101U << 16) | 2,
    kAudioChannelLayoutTag_StereoHeadphones = (102U << 16) | 2,
    kAudioChannelLayoutTag_MatrixStereo = (103U << 16) | 2,
    kAudioChannelLayoutTag_MidSide = (104U << 16) | 2,
    kAudioChannelLayoutTag_XY = (105U << 16) | 2,
    kAudioChannelLayoutTag_Binaural = (106U << 16) | 2,
    kAudioChannelLayoutTag_Ambisonic_B_Format = (107U << 16) | 4,
    kAudioChannelLayoutTag_Quadraphonic = (108U << 16) | 4,
    kAudioChannelLayoutTag_Pentagonal = (109U << 16) | 5,
    kAudioChannelLayoutTag_Hexagonal = (110U << 16) | 6,
    kAudioChannelLayoutTag_Octagonal = (111U << 16) | 8,
    kAudioChannelLayoutTag_Cube = (112U << 16) | 8,
    kAudioChannelLayoutTag_DiscreteInOrder = (147U << 16) | 0,
    kAudioChannelLayoutTag_Unknown = 0xFFFF0000U,
};

// Channel count of a tag.
#define AudioChannelLayoutTag_GetNumberOfChannels(layoutTag) ((UInt32)((layoutTag)&0x0000FFFF))

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(AudioBuffer) == 16, "AudioBuffer layout");
static_assert(sizeof(AudioBufferList) == 24, "AudioBufferList layout");
static_assert(sizeof(AudioStreamBasicDescription) == 40, "AudioStreamBasicDescription layout");
static_assert(sizeof(SMPTETime) == 24, "SMPTETime layout");
static_assert(sizeof(AudioTimeStamp) == 64, "AudioTimeStamp layout");
static_assert(sizeof(AudioChannelDescription) == 20, "AudioChannelDescription layout");
static_assert(sizeof(AudioChannelLayout) == 32, "AudioChannelLayout layout");
#else
_Static_assert(sizeof(AudioStreamBasicDescription) == 40, "AudioStreamBasicDescription layout");
_Static_assert(sizeof(AudioTimeStamp) == 64, "AudioTimeStamp layout");
#endif
