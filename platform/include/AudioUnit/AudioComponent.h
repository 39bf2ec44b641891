// Audio components: finding a component by its description, making instances of it through its
// factory, and the plug-in interface a component's factory hands back.
//
// A component is found from its bundle's Contents/Info.plist (the AudioComponents array) on the
// search path: the folders and bundles named in the environment variable AUDIO_COMPONENT_PATH
// (colon-separated), then the build folder. Its executable is loaded when the component is
// found, and a bundle that cannot be read or loaded, or whose factory symbol is missing, is left
// out of the list.
//
// Every AudioUnit* call on an instance looks the selector up through the plug-in interface's
// Lookup and calls the method found with the interface itself as the first argument; a selector
// without a method gives badComponentSelector, a NULL or disposed instance badComponentInstance.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

CF_EXTERN_C_BEGIN

typedef struct OpaqueAudioComponent* AudioComponent;
typedef struct ComponentInstanceRecord* AudioComponentInstance;

typedef struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} AudioComponentDescription;

typedef CF_OPTIONS(UInt32, AudioComponentFlags) {
    kAudioComponentFlag_Unsearchable = 1,
    kAudioComponentFlag_SandboxSafe = 2,
    kAudioComponentFlag_IsV3AudioUnit = 4,
    kAudioComponentFlag_RequiresAsyncInstantiation = 8,
    kAudioComponentFlag_CanLoadInProcess = 0x10,
};

typedef CF_OPTIONS(UInt32, AudioComponentInstantiationOptions) {
    kAudioComponentInstantiation_LoadOutOfProcess = 1,
    kAudioComponentInstantiation_LoadInProcess = 2,
};

// A method of a plug-in: the arguments after self are those of the AudioUnit* call for the
// selector. Callers cast it to the method's own type before calling.
typedef OSStatus (*AudioComponentMethod)(void* self, ...);

typedef struct AudioComponentPlugInInterface {
    OSStatus (*Open)(void* self, AudioComponentInstance mInstance);
    OSStatus (*Close)(void* self);
    AudioComponentMethod (*Lookup)(SInt16 selector);
    void* reserved;
} AudioComponentPlugInInterface;

typedef AudioComponentPlugInInterface* (*AudioComponentFactoryFunction)(
    const AudioComponentDescription* inDesc);

CF_ENUM(OSStatus){
    kAudioComponentErr_InstanceTimedOut = -66754,
    kAudioComponentErr_InstanceInvalidated = -66749,
    kAudioComponentErr_DuplicateDescription = -66752,
    kAudioComponentErr_UnsupportedType = -66751,
    kAudioComponentErr_TooManyInstances = -66750,
    kAudioComponentErr_NotPermitted = -66748,
    kAudioComponentErr_InitializationTimedOut = -66747,
    kAudioComponentErr_InvalidFormat = -66746,
};

// The component after inComponent (NULL: the first) that matches inDesc. Zero type, subtype or
// manufacturer fields match anything; a NULL inDesc matches every component.
CF_EXPORT AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                                const AudioComponentDescription* inDesc);
CF_EXPORT UInt32 AudioComponentCount(const AudioComponentDescription* inDesc);
// *outName is a new string the caller releases.
CF_EXPORT OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName);
CF_EXPORT OSStatus AudioComponentGetDescription(AudioComponent inComponent,
                                                AudioComponentDescription* outDesc);
CF_EXPORT OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion);

// Calls the component's factory, then the interface's Open with the new instance. When Open
// fails its status is returned and Close is not called: the plug-in frees its own block then.
CF_EXPORT OSStatus AudioComponentInstanceNew(AudioComponent inComponent,
                                             AudioComponentInstance* outInstance);
// Calls the interface's Close, then forgets the instance.
CF_EXPORT OSStatus AudioComponentInstanceDispose(AudioComponentInstance inInstance);
CF_EXPORT AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance inInstance);
// True when Lookup has a method for the selector.
CF_EXPORT Boolean AudioComponentInstanceCanDo(AudioComponentInstance inInstance,
                                              SInt16 inSelectorID);

// Registers a factory inside this process, as a component found on disk would be.
CF_EXPORT AudioComponent AudioComponentRegister(const AudioComponentDescription* inDesc,
                                                CFStringRef inName, UInt32 inVersion,
                                                AudioComponentFactoryFunction inFactory);

CF_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(AudioComponentDescription) == 20, "AudioComponentDescription layout");
static_assert(sizeof(AudioComponentPlugInInterface) == 32, "AudioComponentPlugInInterface layout");
#endif
