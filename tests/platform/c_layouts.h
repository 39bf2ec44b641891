/* Record sizes and constants as a C translation unit sees them (c_layouts.c). */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct CLayouts {
    size_t streamDescription, timeStamp, parameterInfo, componentParameters, plugInInterface;
    size_t event, hostCallbacks, parameterEvent, channelLayout, stringFromValue;
    long badSelector, renderSelect, cocoaUI;
    unsigned long stereoTag;
};

void ZerubCLayouts(struct CLayouts* out);

#ifdef __cplusplus
}
#endif
