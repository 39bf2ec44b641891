// The component's exported entry points: plain, unmangled symbols the host's loader looks up.
#include "au/IPlugAU.h"
#include "effect/Zerub.h"

extern "C" {

__attribute__((visibility("default"))) OSStatus Zerub_Entry(ComponentParameters* params,
                                                            void* storage) {
    return IPlugAU::IPlugAUEntry(params, storage);
}

__attribute__((visibility("default"))) OSStatus Zerub_ViewEntry(ComponentParameters* params,
                                                                void* storage) {
    return IPlugAU::IPlugAUCarbonViewEntry(params, storage);
}

// The component description is not read: the bundle holds one component.
__attribute__((visibility("default"))) void* Zerub_Factory(const AudioComponentDescription*) {
    return IPlugAUFactory::Create(sizeof(Zerub));
}

} // extern "C"
