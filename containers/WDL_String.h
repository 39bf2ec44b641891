// Growable NUL-terminated string over a WDL_HeapBuf (granularity 128). Get() never returns null.
// Every length argument is a maximum: a negative one means "the whole string".
#pragma once

#include "containers/WDL_HeapBuf.h"

#include <cstdarg>

class WDL_String {
public:
    explicit WDL_String(const char* initial = nullptr, int maxlen = -1);
    WDL_String(const WDL_String& other);
    WDL_String& operator=(const WDL_String& other);

    const char* Get() const;
    char* GetMutable(); // null while nothing has been set
    int GetLength() const;

    // Each returns false when the string could not grow; the old text is then kept.
    bool Set(const char* str, int maxlen = -1);
    bool Append(const char* str, int maxlen = -1);
    bool Insert(const char* str, int position, int maxlen = -1);
    bool SetFormatted(int maxlen, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    bool AppendFormatted(int maxlen, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    void SetLen(int length); // cuts to length characters; never lengthens

private:
    // The one primitive: replaces everything from offset on with len characters of str, keeping
    // the trailing tail characters that were at offset (so offset + tail == insert position).
    bool Splice(int offset, const char* str, int len, int tail);

    WDL_HeapBuf m_hb{128};
};
