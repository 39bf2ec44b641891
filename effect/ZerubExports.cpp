// The component's exported entry points: plain, unmangled symbols the host's loader looks up.
#include "au/IPlugAU.h"
#include "effect/Zerub.h"

#include <type_traits>

extern "C" {

__attribute__((visibility("default"))) OSStatus Zerub_Entry(ComponentParameters* params,
                                                            void* storage) {
    return IPlugAU::IPlugAUEntry(params, storage);
}

__attribute__((visibility("default"))) OSStatus Zerub_ViewEntry(ComponentParameters* params,
                                                                void* storage) {
    return IPlugAU::IPlugAUCarbonViewEntry(params, storage);
}

// The component description is not read: the bundle holds one component. The loader calls this
// through AudioComponentFactoryFunction, so it must have exactly that type.
__attribute__((visibility("default"))) AudioComponentPlugInInterface*
Zerub_Factory(const AudioComponentDescription*) {
    IPlugAUFactory* factory = IPlugAUFactory::Create(sizeof(Zerub));
    return factory ? &factory->interface : nullptr;
}

} // extern "C"

static_assert(std::is_same<decltype(&Zerub_Factory), AudioComponentFactoryFunction>::value,
              "the factory is called through the loader's function type");
