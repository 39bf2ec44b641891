// UTF-8 and UTF-16 conversions used by CFString. Invalid input is reported, never guessed at,
// except where a function says it substitutes U+FFFD.
#pragma once

#include <MacTypes.h>

#include <string>
#include <vector>

namespace zerub::cf {

// True when bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool IsValidUtf8(const char* bytes, size_t length);

// Well-formed UTF-8 copy of bytes, each invalid sequence replaced by U+FFFD.
std::string SanitizeUtf8(const char* bytes, size_t length);

// UTF-16 code units of valid UTF-8 text.
std::vector<UniChar> Utf8ToUtf16(const std::string& text);
size_t Utf16Length(const std::string& text);

// UTF-8 text of UTF-16 units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const UniChar* units, size_t count);

// Appends the UTF-8 form of code point cp (U+FFFD when cp is not a scalar value).
void AppendUtf8(std::string& out, char32_t cp);

} // namespace zerub::cf
