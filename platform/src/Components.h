// The component registry and the instance table, shared by the component services and the
// host-side unit calls.
#pragma once

#include <AudioUnit/AudioUnit.h>

struct ComponentInstanceRecord;

namespace zerub::platform {

// A live instance held for the span of one call (any thread). While it is held the instance may
// leave the table (disposed), but it is not closed: the disposing thread waits for every pin
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

} // namespace zerub::platform
