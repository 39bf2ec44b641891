// Linux-only additions to the platform interface, for hosts and tests. Nothing in a component
// uses them; everything else in platform/include has the macOS names and meanings.
#pragma once

#include <AudioToolbox/AudioToolbox.h>

CF_EXTERN_C_BEGIN

// Makes the component bundle at path (a Name.component folder) known, ahead of the search
// path, as a host's --component option wants. Returns the first component of the bundle, or
// NULL when the bundle cannot be read or loaded. Registering a bundle again returns the
// component already known.
CF_EXPORT AudioComponent AudioComponentRegisterBundle(const char* path);

// Why the bundle at path was left out (a new string, one line of text), or NULL when it was
// loaded or has not been looked at.
CF_EXPORT CFStringRef AudioComponentCopyBundleError(const char* path);

// Reads the search path again (AUDIO_COMPONENT_PATH, then the build folder) and adds the
// components found there that are not yet known. Components already known stay.
CF_EXPORT void AudioComponentRescan(void);

// Receives every event passed to AUEventListenerNotify, for every unit; the host filters on the
// event's unit, parameter or property. Delivery is synchronous, on the notifying thread, and
// may come from any thread. Returns the listener (usable as the sending listener of
// AUEventListenerNotify, which then skips it) or NULL on a null proc.
CF_EXPORT AUEventListenerRef ZerubAddEventListener(AUEventListenerProc inProc, void* inRefCon);
// Stops delivery to the listener; a notification running on another thread may still reach it
// until that call returns. paramErr for a listener not registered.
CF_EXPORT OSStatus ZerubRemoveEventListener(AUEventListenerRef inListener);

CF_EXTERN_C_END
