// The wrapper the product derives from. Each bundle compiles the effect once with its own:
// the component with the Audio Unit wrapper (the default), the LV2 plug-in with
// ZERUB_WRAPPER_LV2, the LV2 UI with ZERUB_WRAPPER_LV2UI.
#pragma once

#if defined(ZERUB_WRAPPER_LV2)
#include "lv2/IPlugLV2.h"
using ZerubWrapper = IPlugLV2;
// The LV2 plug-in is the DSP alone: its editor lives in the UI binary, which may run in another
// process.
#define ZERUB_WRAPPER_HAS_EDITOR 0
#elif defined(ZERUB_WRAPPER_LV2UI)
#include "lv2/IPlugLV2UI.h"
using ZerubWrapper = IPlugLV2UI;
#define ZERUB_WRAPPER_HAS_EDITOR 1
#else
#include "au/IPlugAU.h"
using ZerubWrapper = IPlugAU;
#define ZERUB_WRAPPER_HAS_EDITOR 1
#endif
