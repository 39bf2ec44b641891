// The component registry and the instances, shared by the component services and the host-side
// unit calls.
#pragma once

#include <AudioUnit/AudioUnit.h>

struct ComponentInstanceRecord;

namespace zerub::platform {

// A live instance held for the span of one call (any thread), without a lock. While it is held
// the instance may be disposed, but it is not closed: the disposing thread waits for every pin
// held on other threads. Plugin() is nullptr for NULL, unknown or already disposed instances.
class PinnedInstance {
public:
    explicit PinnedInstance(AudioComponentInstance instance);
    ~PinnedInstance();
    PinnedInstance(const PinnedInstance&) = delete;
    PinnedInstance& operator=(const PinnedInstance&) = delete;

    AudioComponentPlugInInterface* Plugin() const;

private:
    ComponentInstanceRecord* record = nullptr;
};

// Makes plugin, just made by component's factory, a live instance and opens it: noErr with the
// instance in *outInstance, or Open's failure, or memFullErr when no more instances can be made.
OSStatus OpenInstance(AudioComponent component, AudioComponentPlugInInterface* plugin,
                      AudioComponentInstance* outInstance);

} // namespace zerub::platform
