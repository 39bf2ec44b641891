// The Core Services subset this system uses: component-manager records, selectors and errors,
// component instance storage, and Gestalt for the system version.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

CF_EXTERN_C_BEGIN

typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;
typedef SInt32 ComponentResult;

typedef struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} ComponentDescription;

// The argument block of a component-manager style call: what is the selector, params the
// arguments, each widened to a long, in the order of the call.
typedef struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
#if defined(__LP64__) && __LP64__
    UInt32 padding;
#endif
    long params[1];
} ComponentParameters;

enum {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kComponentRegisterSelect = -5,
    kComponentTargetSelect = -6,
    kComponentUnregisterSelect = -7,
    kComponentGetMPWorkFunctionSelect = -8,
    kComponentExecuteWiredActionSelect = -9,
    kComponentGetPublicResourceSelect = -10,
};

CF_ENUM(OSStatus){
    badComponentInstance = (int)0x80008001,
    badComponentSelector = (int)0x80008002,
    invalidComponentID = -3000,
    validInstancesExist = -3001,
    componentNotCaptured = -3002,
    componentDontRegister = -3003,
    unresolvedComponentDLLErr = -3004,
    retryComponentRegistrationErr = -3005,
    coreFoundationUnknownErr = -4960,
};

typedef ComponentResult (*ComponentRoutineProcPtr)(ComponentParameters* cp,
                                                   Handle componentStorage);

// A pointer-sized value kept per instance. Until an instance's storage is set, it reads as the
// instance's plug-in interface, the self its methods take. NULL for an unknown instance.
CF_EXPORT void SetComponentInstanceStorage(ComponentInstance aComponentInstance, Handle theStorage);
CF_EXPORT Handle GetComponentInstanceStorage(ComponentInstance aComponentInstance);

// Gestalt: facts about the system.
enum {
    gestaltSystemVersion = 0x73797376,       // 'sysv': 0xMMmb in BCD digits, 10.9.5 is 0x1095
    gestaltSystemVersionMajor = 0x73797331,  // 'sys1'
    gestaltSystemVersionMinor = 0x73797332,  // 'sys2'
    gestaltSystemVersionBugFix = 0x73797333, // 'sys3'
};

enum {
    gestaltUnknownErr = -5550,
    gestaltUndefSelectorErr = -5551,
    gestaltDupSelectorErr = -5552,
    gestaltLocationErr = -5553,
};

CF_EXPORT OSErr Gestalt(OSType selector, SInt32* response);

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(ComponentDescription) == 20, "ComponentDescription layout");
static_assert(sizeof(ComponentParameters) == 16, "ComponentParameters layout");
#endif
