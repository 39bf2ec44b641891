#include "containers/WDL_String.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

int BoundedLength(const char* str, int maxlen) {
    if (!str) return 0;
    if (maxlen < 0) return static_cast<int>(std::min<size_t>(std::strlen(str), INT_MAX / 2));
    const void* nul = std::memchr(str, 0, static_cast<size_t>(maxlen));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - str) : maxlen;
}

} // namespace

WDL_String::WDL_String(const char* initial, int maxlen) {
    if (initial && *initial) Set(initial, maxlen);
}

WDL_String::WDL_String(const WDL_String& other) {
    Set(other.Get());
}

WDL_String& WDL_String::operator=(const WDL_String& other) {
    if (this != &other) Set(other.Get());
    return *this;
}

const char* WDL_String::Get() const {
    const char* s = static_cast<const char*>(m_hb.Get());
    return s ? s : "";
}

char* WDL_String::GetMutable() {
    return static_cast<char*>(m_hb.Get());
}

int WDL_String::GetLength() const {
    return m_hb.GetSize() ? m_hb.GetSize() - 1 : 0;
}

bool WDL_String::Splice(int offset, const char* str, int len, int tail) {
    int newSize = offset + len + tail + 1;
    if (newSize < 0) return false;
    int oldSize = m_hb.GetSize();
    // str may point into this buffer, which a reallocation would move.
    WDL_String copy;
    const char* current = static_cast<const char*>(m_hb.Get());
    if (current && str >= current && str < current + oldSize) {
        if (!copy.Set(str, len)) return false;
        str = copy.Get();
    }
    if (newSize > oldSize && !m_hb.Resize(newSize, false)) return false;
    char* buf = static_cast<char*>(m_hb.Get());
    if (tail) std::memmove(buf + offset + len, buf + offset, static_cast<size_t>(tail));
    if (len) std::memcpy(buf + offset, str, static_cast<size_t>(len));
    buf[offset + len + tail] = 0;
    m_hb.Shrink(newSize);
    return true;
}

bool WDL_String::Set(const char* str, int maxlen) {
    return Splice(0, str, BoundedLength(str, maxlen), 0);
}

bool WDL_String::Append(const char* str, int maxlen) {
    return Splice(GetLength(), str, BoundedLength(str, maxlen), 0);
}

bool WDL_String::Insert(const char* str, int position, int maxlen) {
    int length = GetLength();
    position = std::clamp(position, 0, length);
    return Splice(position, str, BoundedLength(str, maxlen), length - position);
}

void WDL_String::SetLen(int length) {
    if (length >= 0 && length < GetLength()) Splice(length, nullptr, 0, 0);
}

namespace {

bool FormatInto(WDL_String& s, bool append, int maxlen, const char* fmt, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0) return false;
    if (maxlen >= 0) n = std::min(n, maxlen);
    WDL_HeapBuf scratch(128);
    char* text = static_cast<char*>(scratch.Resize(n + 1));
    if (!text) return false;
    std::vsnprintf(text, static_cast<size_t>(n) + 1, fmt, args);
    return append ? s.Append(text, n) : s.Set(text, n);
}

} // namespace

bool WDL_String::SetFormatted(int maxlen, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    bool ok = FormatInto(*this, false, maxlen, fmt, args);
    va_end(args);
    return ok;
}

bool WDL_String::AppendFormatted(int maxlen, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    bool ok = FormatInto(*this, true, maxlen, fmt, args);
    va_end(args);
    return ok;
}
