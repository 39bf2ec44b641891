// Trace points. Entry points on the host interface name themselves through Trace(); the build
// ships with tracing off, so Trace does nothing and the name helpers give "".
#pragma once

inline void Trace(const char* /*function*/, int /*line*/, const char* /*format*/, ...) {}

// Timestamp text for trace lines; empty while tracing is off.
inline const char* CurrentTime() {
    return "";
}

#define TRACE Trace(__FUNCTION__, __LINE__, "")
