// Reference-counted factory preset records for the host's preset arrays, and class-info
// dictionary helpers.
#pragma once

#include "plugin/IPlugStructs.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

enum { kCFAUPreset_CurrentVersion = 0 };

struct CFAUPreset {
    AUPreset au;
    UInt32 version;
    CFAllocatorRef allocator;
    CFIndex retainCount;
};
typedef CFAUPreset* CFAUPresetRef;

// A record with count 1 and a copy of name (null name gives a null name).
CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef name);
CFAUPresetRef CFAUPresetRetain(void* preset);
void CFAUPresetRelease(void* preset);

const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef allocator, const void* preset);
void CFAUPresetArrayReleaseCallBack(CFAllocatorRef allocator, const void* preset);
CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* preset);
Boolean CFAUPresetArrayEqualCallBack(const void* preset1, const void* preset2);
void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* callBacks);

extern const CFArrayCallBacks kCFAUPresetArrayCallBacks;

// Class-info dictionary entries; each creates its key and leaves the dictionary sole owner of
// the value it puts.
void PutNumberInDict(CFMutableDictionaryRef dict, const char* key, const void* number,
                     CFNumberType type);
void PutStrInDict(CFMutableDictionaryRef dict, const char* key, const char* text);
void PutDataInDict(CFMutableDictionaryRef dict, const char* key, const ByteChunk* chunk);
// text receives at most size - 1 bytes; false (and "") when the key is missing or not a string.
bool GetStrFromDict(CFDictionaryRef dict, const char* key, char* text, int size);
bool GetDataFromDict(CFDictionaryRef dict, const char* key, ByteChunk* chunk);
// False when the key is missing or its value does not read as a 32-bit number.
bool GetSInt32FromDict(CFDictionaryRef dict, const char* key, SInt32* value);
