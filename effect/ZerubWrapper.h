// The wrapper the product derives from. Each bundle compiles the effect once with its own:
// the component with the Audio Unit wrapper (the default), the LV2 bundle with ZERUB_WRAPPER_LV2.
#pragma once

#if defined(ZERUB_WRAPPER_LV2)
#include "lv2/IPlugLV2.h"
using ZerubWrapper = IPlugLV2;
// LV2 hosts get no editor yet; building one would pull the platform layer into the bundle.
#define ZERUB_WRAPPER_HAS_EDITOR 0
#else
#include "au/IPlugAU.h"
using ZerubWrapper = IPlugAU;
#define ZERUB_WRAPPER_HAS_EDITOR 1
#endif
