// How a parameter's real value travels on its LV2 control port, for the plug-in, its Turtle
// writer and its UI alike. Every port carries the real value, except the product's bypass
// parameter (LV2Product().enabledParam), which sits inverted on the host's own bypass port
// (lv2:enabled, above 0 processes), and which the earlier builds' port "by" sets as the
// parameter itself reads a value.
#pragma once

#include "lv2/LV2Product.h"
#include "plugin/HostValues.h"

// The bypass parameter's real value for a value of the enabled port, and back.
inline double LV2BypassFromEnabled(float enabled) {
    return enabled > 0.0f ? 0.0 : 1.0;
}
inline float LV2EnabledFromBypass(double bypass) {
    return BypassEngaged(bypass) ? 0.0f : 1.0f;
}
// The bypass parameter's real value for a finite value of the "by" port.
inline double LV2BypassFromBypassPort(float by) {
    return BypassEngaged(by) ? 1.0 : 0.0;
}

// A parameter's real value as its port carries it, and back.
inline double LV2PortValue(int paramIdx, double value) {
    return paramIdx == LV2Product().enabledParam ? LV2EnabledFromBypass(value) : value;
}
inline double LV2ParamValue(int paramIdx, float portValue) {
    return paramIdx == LV2Product().enabledParam ? LV2BypassFromEnabled(portValue) : portValue;
}
