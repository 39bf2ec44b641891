// The component registry and the instance table, shared by the component services and the
// host-side unit calls.
#pragma once

#include <AudioUnit/AudioUnit.h>

namespace zerub::platform {

// The plug-in interface of a live instance, or nullptr for NULL, unknown or disposed ones.
AudioComponentPlugInInterface* PluginOf(AudioComponentInstance instance);

} // namespace zerub::platform
