// What the test component records; read by the tests through the FakeUnit_Log export.
#pragma once

#include <AudioUnit/AudioUnit.h>

enum { kFakeParameterCount = 4, kFakeMaxLookups = 256 };

struct FakeLog {
    int factoryCalls;
    OSType factorySubtype;
    int opens;
    void* openSelf;
    AudioComponentInstance openInstance;
    OSType openSubtype;
    Handle openStorage;
    bool openFoundBundle;
    int closes;
    void* closeSelf;
    int lookupCount;
    SInt16 lookups[kFakeMaxLookups];
    void* lastSelf;
    int initializes;
    int renders;
    int resets;
    AudioUnitPropertyID lastPropertyID;
    AudioUnitScope lastScope;
    AudioUnitElement lastElement;
    UInt32 lastSize;
    AudioUnitParameterValue lastParameterValue;
    UInt32 lastBufferOffset;
};

typedef FakeLog* (*FakeLogFunction)(void);
