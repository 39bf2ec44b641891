// Rules for values a host hands any wrapper, kept in one place so that every format applies
// the same ones.
#pragma once

#include <cmath>

// A sample rate the plug-in runs at: finite, positive and below 2^31 Hz, since the circuits
// compute with the rate as a 32-bit integer and anything larger would run as another rate.
inline bool UsableSampleRate(double rate) {
    return std::isfinite(rate) && rate > 0.0 && rate < 2147483648.0;
}

// Whether a real value of a bypass parameter (an integer parameter from 0 to 1, where 1
// bypasses) bypasses. The parameter truncates what it is given and clamps it into 0..1, so
// 1 and above bypass and any fraction below 1 does not; a value a host offers for a bypass
// port is read the same way.
inline bool BypassEngaged(double value) {
    return value >= 1.0;
}
