// Helpers the CF types share inside the library.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace zerub::cf {

// A new string holding text, which must be valid UTF-8.
CF_RETURNS_RETAINED CFStringRef MakeString(const std::string& text);
// A new string from any bytes, invalid UTF-8 replaced by U+FFFD.
CF_RETURNS_RETAINED CFStringRef MakeStringLenient(const std::string& bytes);

// The UTF-8 text of a CFString, or nullptr when ref is not one.
const std::string* TextOf(CFTypeRef ref);
// The text of a CFString, or fallback when ref is not one.
std::string TextOr(CFTypeRef ref, const std::string& fallback = std::string());

// printf-style formatting with %@ for CF objects.
std::string FormatWithArguments(const std::string& format, va_list arguments);

} // namespace zerub::cf
