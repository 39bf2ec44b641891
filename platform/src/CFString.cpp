// CFString: UTF-8 text with its UTF-16 length, constant strings for CFSTR, conversions to and
// from C strings, comparison and formatting.
#include "CFInternal.h"
#include "CFRuntime.h"
#include "Unicode.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

using namespace zerub::cf;

struct __CFString final : Object {
    __CFString(std::string utf8, bool mutableString)
        : Object(kTypeString), text(std::move(utf8)), length16(Utf16Length(text)),
          isMutable(mutableString) {}

    bool Equal(const Object& other) const override {
        return text == static_cast<const __CFString&>(other).text;
    }
    CFHashCode Hash() const override { return HashBytes(text.data(), text.size()); }
    std::string Describe() const override { return text; }

    void Set(std::string utf8) {
        text = std::move(utf8);
        length16 = Utf16Length(text);
    }

    std::string text; // always well-formed UTF-8
    size_t length16;
    const bool isMutable;
};

namespace {

__CFString* StringOf(CFTypeRef ref) {
    return As<__CFString>(ref, kTypeString);
}

__CFString* MutableStringOf(CFTypeRef ref) {
    __CFString* s = StringOf(ref);
    return s && s->isMutable ? s : nullptr;
}

bool IsUtf16Encoding(CFStringEncoding encoding) {
    return encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF16BE ||
           encoding == kCFStringEncodingUTF16LE;
}

// UTF-8 text of bytes in encoding; false when the bytes are not valid in it or the encoding is
// not one this library converts.
bool DecodeBytes(const UInt8* bytes, size_t length, CFStringEncoding encoding, bool external,
                 std::string& out) {
    const char* chars = reinterpret_cast<const char*>(bytes);
    switch (encoding) {
    case kCFStringEncodingUTF8:
        if (external && length >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
            chars += 3;
            length -= 3;
        }
        if (!IsValidUtf8(chars, length)) return false;
        out.assign(chars, length);
        return true;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman: // only its ASCII half is known here
        if (std::any_of(bytes, bytes + length, [](UInt8 b) { return b >= 0x80; })) return false;
        out.assign(chars, length);
        return true;
    case kCFStringEncodingISOLatin1:
        out.clear();
        for (size_t i = 0; i < length; ++i)
            AppendUtf8(out, bytes[i]);
        return true;
    default:
        break;
    }
    if (IsUtf16Encoding(encoding)) {
        if (length % 2 != 0) return false;
        bool big = encoding == kCFStringEncodingUTF16BE;
        size_t start = 0;
        if (encoding == kCFStringEncodingUTF16 && length >= 2) {
            if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
                big = true;
                start = 2;
            } else if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
                start = 2;
            }
        }
        std::vector<UniChar> units;
        for (size_t i = start; i + 1 < length; i += 2) {
            units.push_back(big ? static_cast<UniChar>(bytes[i] << 8 | bytes[i + 1])
                                : static_cast<UniChar>(bytes[i + 1] << 8 | bytes[i]));
        }
        out = Utf16ToUtf8(units.data(), units.size());
        return true;
    }
    return false;
}

// The text in a single-byte encoding; false when a character has no form there.
bool EncodeSingleByte(const std::string& text, CFStringEncoding encoding, std::string& out) {
    if (encoding == kCFStringEncodingUTF8) {
        out = text;
        return true;
    }
    const unsigned limit = encoding == kCFStringEncodingISOLatin1 ? 0x100 : 0x80;
    if (encoding != kCFStringEncodingISOLatin1 && encoding != kCFStringEncodingASCII &&
        encoding != kCFStringEncodingMacRoman) {
        return false;
    }
    out.clear();
    for (UniChar unit : Utf8ToUtf16(text)) {
        if (unit >= limit) return false;
        out.push_back(static_cast<char>(unit));
    }
    return true;
}

// Compares runs of ASCII digits by value: returns <0, 0, >0 and advances both indexes.
int CompareDigitRuns(const std::vector<UniChar>& a, size_t& i, const std::vector<UniChar>& b,
                     size_t& j) {
    auto isDigit = [](UniChar c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && isDigit(a[i + 1]))
        ++i;
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && isDigit(b[j + 1]))
        ++j;
    size_t endA = i, endB = j;
    while (endA < a.size() && isDigit(a[endA]))
        ++endA;
    while (endB < b.size() && isDigit(b[endB]))
        ++endB;
    int result = 0;
    if (endA - i != endB - j) {
        result = endA - i < endB - j ? -1 : 1;
    } else {
        for (size_t k = 0; k < endA - i && result == 0; ++k) {
            if (a[i + k] != b[j + k]) result = a[i + k] < b[j + k] ? -1 : 1;
        }
    }
    i = endA;
    j = endB;
    return result;
}

UniChar FoldAscii(UniChar c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<UniChar>(c - 'A' + 'a') : c;
}

std::mutex& ConstantMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

namespace zerub::cf {

CFStringRef MakeString(const std::string& text) {
    return new __CFString(text, false);
}

CFStringRef MakeStringLenient(const std::string& bytes) {
    return new __CFString(SanitizeUtf8(bytes.data(), bytes.size()), false);
}

const std::string* TextOf(CFTypeRef ref) {
    const __CFString* s = StringOf(ref);
    return s ? &s->text : nullptr;
}

std::string TextOr(CFTypeRef ref, const std::string& fallback) {
    const std::string* text = TextOf(ref);
    return text ? *text : fallback;
}

std::string FormatWithArguments(const std::string& format, va_list arguments) {
    std::string out;
    va_list args;
    va_copy(args, arguments);
    char piece[512];
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        // Collect one conversion: flags, width, precision, length, conversion character.
        const size_t start = i;
        std::string directive = "%";
        size_t k = i + 1;
        while (k < format.size() && std::strchr("-+ #0'", format[k]))
            directive.push_back(format[k++]);
        int stars[2];
        int starCount = 0;
        auto takeNumber = [&]() {
            if (k < format.size() && format[k] == '*') {
                stars[starCount++] = va_arg(args, int);
                directive.push_back(format[k++]);
            } else {
                while (k < format.size() && format[k] >= '0' && format[k] <= '9') {
                    directive.push_back(format[k++]);
                }
            }
        };
        takeNumber();
        if (k < format.size() && format[k] == '.') {
            directive.push_back(format[k++]);
            takeNumber();
        }
        std::string length;
        while (k < format.size() && std::strchr("hlqLzjt", format[k]))
            length.push_back(format[k++]);
        if (k >= format.size()) {
            out.append(format, i, std::string::npos);
            break;
        }
        const char conversion = format[k];
        i = k;
        // Lengths handed to snprintf: q is the BSD spelling of ll.
        std::string cLength = length == "q" ? "ll" : length;
        auto emit = [&](auto value) {
            const std::string full = directive + cLength + conversion;
            int n;
            if (starCount == 2) {
                n = std::snprintf(piece, sizeof piece, full.c_str(), stars[0], stars[1], value);
            } else if (starCount == 1) {
                n = std::snprintf(piece, sizeof piece, full.c_str(), stars[0], value);
            } else {
                n = std::snprintf(piece, sizeof piece, full.c_str(), value);
            }
            if (n < 0) return;
            if (static_cast<size_t>(n) < sizeof piece) {
                out.append(piece, static_cast<size_t>(n));
            } else {
                std::vector<char> big(static_cast<size_t>(n) + 1);
                if (starCount == 2) {
                    std::snprintf(big.data(), big.size(), full.c_str(), stars[0], stars[1], value);
                } else if (starCount == 1) {
                    std::snprintf(big.data(), big.size(), full.c_str(), stars[0], value);
                } else {
                    std::snprintf(big.data(), big.size(), full.c_str(), value);
                }
                out.append(big.data(), static_cast<size_t>(n));
            }
        };
        switch (conversion) {
        case '%':
            out.push_back('%');
            break;
        case '@':
            out += DescriptionOf(va_arg(args, CFTypeRef));
            break;
        case 'c':
            cLength.clear();
            emit(va_arg(args, int));
            break;
        case 'd':
        case 'i':
            // NOLINTNEXTLINE(bugprone-branch-clone): long and ptrdiff_t or size_t agree only here
            if (length == "l") {
                emit(va_arg(args, long));
            } else if (length == "ll" || length == "q") {
                emit(va_arg(args, long long));
            } else if (length == "z" || length == "t") {
                emit(va_arg(args, ptrdiff_t));
            } else if (length == "j") {
                emit(va_arg(args, intmax_t));
            } else {
                cLength = length == "hh" || length == "h" ? length : "";
                emit(va_arg(args, int));
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            // NOLINTNEXTLINE(bugprone-branch-clone): long and ptrdiff_t or size_t agree only here
            if (length == "l") {
                emit(va_arg(args, unsigned long));
            } else if (length == "ll" || length == "q") {
                emit(va_arg(args, unsigned long long));
            } else if (length == "z" || length == "t") {
                emit(va_arg(args, size_t));
            } else if (length == "j") {
                emit(va_arg(args, uintmax_t));
            } else {
                cLength = length == "hh" || length == "h" ? length : "";
                emit(va_arg(args, unsigned int));
            }
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == "L") {
                emit(va_arg(args, long double));
            } else {
                cLength.clear();
                emit(va_arg(args, double));
            }
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            cLength.clear();
            emit(text ? text : "(null)");
            break;
        }
        case 'S': { // NUL-terminated UTF-16 text
            const auto* units = va_arg(args, const UniChar*);
            size_t count = 0;
            while (units && units[count] != 0)
                ++count;
            out += units ? Utf16ToUtf8(units, count) : std::string("(null)");
            break;
        }
        case 'C': { // one UTF-16 unit (promoted to int)
            const auto unit = static_cast<UniChar>(va_arg(args, int));
            out += Utf16ToUtf8(&unit, 1);
            break;
        }
        case 'p':
            cLength.clear();
            emit(va_arg(args, void*));
            break;
        case 'n':
            // Writing through a caller's pointer from a format string is refused.
            (void)va_arg(args, void*);
            break;
        default:
            // Unknown conversions are copied as they stand.
            out.append(format, start, i - start + 1);
            break;
        }
    }
    va_end(args);
    return out;
}

} // namespace zerub::cf

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    static auto* table = new std::unordered_map<std::string, __CFString*>();
    if (!cStr) cStr = "";
    std::lock_guard<std::mutex> lock(ConstantMutex());
    auto found = table->find(cStr);
    if (found != table->end()) return found->second;
    auto* string = new __CFString(SanitizeUtf8(cStr, std::strlen(cStr)), false);
    string->MakeConstant();
    table->emplace(cStr, string);
    return string;
}

CFTypeID CFStringGetTypeID(void) {
    return kTypeString;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding) {
    if (!cStr) return nullptr;
    return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8*>(cStr),
                                   static_cast<CFIndex>(std::strlen(cStr)), encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef /*alloc*/, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
    if (numBytes < 0 || (!bytes && numBytes > 0)) return nullptr;
    std::string text;
    if (!DecodeBytes(bytes, static_cast<size_t>(numBytes), encoding, isExternalRepresentation,
                     text)) {
        return nullptr;
    }
    return new __CFString(std::move(text), false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef /*alloc*/, const UniChar* chars,
                                         CFIndex numChars) {
    if (numChars < 0 || (!chars && numChars > 0)) return nullptr;
    return new __CFString(Utf16ToUtf8(chars, static_cast<size_t>(numChars)), false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef /*alloc*/, CFStringRef theString) {
    const __CFString* s = StringOf(theString);
    if (!s) return nullptr;
    if (!s->isMutable) return static_cast<CFStringRef>(CFRetain(theString));
    return new __CFString(s->text, false);
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef /*alloc*/, CFStringRef str, CFRange range) {
    const __CFString* s = StringOf(str);
    if (!s || range.location < 0 || range.length < 0 ||
        static_cast<size_t>(range.location) + static_cast<size_t>(range.length) > s->length16) {
        return nullptr;
    }
    const std::vector<UniChar> units = Utf8ToUtf16(s->text);
    return new __CFString(
        Utf16ToUtf8(units.data() + range.location, static_cast<size_t>(range.length)), false);
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...) {
    va_list args;
    va_start(args, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
    va_end(args);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef /*alloc*/,
                                                 CFDictionaryRef /*formatOptions*/,
                                                 CFStringRef format, va_list arguments) {
    const __CFString* f = StringOf(format);
    if (!f) return nullptr;
    return MakeStringLenient(FormatWithArguments(f->text, arguments));
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef /*alloc*/, CFIndex /*maxLength*/) {
    return new __CFString(std::string(), true);
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef /*alloc*/, CFIndex /*maxLength*/,
                                             CFStringRef theString) {
    const __CFString* s = StringOf(theString);
    return s ? new __CFString(s->text, true) : nullptr;
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
    __CFString* s = MutableStringOf(theString);
    const __CFString* tail = StringOf(appendedString);
    if (s && tail) s->Set(s->text + tail->text);
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                           CFStringEncoding encoding) {
    __CFString* s = MutableStringOf(theString);
    std::string text;
    if (s && cStr &&
        DecodeBytes(reinterpret_cast<const UInt8*>(cStr), std::strlen(cStr), encoding, false,
                    text)) {
        s->Set(s->text + text);
    }
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef /*formatOptions*/,
                          CFStringRef format, ...) {
    __CFString* s = MutableStringOf(theString);
    const __CFString* f = StringOf(format);
    if (!s || !f) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatWithArguments(f->text, args);
    va_end(args);
    s->Set(s->text + SanitizeUtf8(text.data(), text.size()));
}

CFIndex CFStringGetLength(CFStringRef theString) {
    const __CFString* s = StringOf(theString);
    return s ? static_cast<CFIndex>(s->length16) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
    const __CFString* s = StringOf(theString);
    if (!s || idx < 0 || static_cast<size_t>(idx) >= s->length16) return 0;
    return Utf8ToUtf16(s->text)[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
    const __CFString* s = StringOf(theString);
    if (!s || !buffer || range.location < 0 || range.length < 0 ||
        static_cast<size_t>(range.location) + static_cast<size_t>(range.length) > s->length16) {
        return;
    }
    const std::vector<UniChar> units = Utf8ToUtf16(s->text);
    std::copy_n(units.begin() + range.location, range.length, buffer);
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    if (!buffer || bufferSize <= 0) return false;
    buffer[0] = '\0';
    const __CFString* s = StringOf(theString);
    std::string bytes;
    if (!s || !EncodeSingleByte(s->text, encoding, bytes)) return false;
    if (bytes.size() + 1 > static_cast<size_t>(bufferSize)) return false;
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
    const __CFString* s = StringOf(theString);
    if (!s || s->isMutable) return nullptr;
    if (encoding == kCFStringEncodingUTF8) return s->text.c_str();
    const bool ascii = std::all_of(s->text.begin(), s->text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman ||
                  encoding == kCFStringEncodingISOLatin1)) {
        return s->text.c_str();
    }
    return nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    if (length < 0) return kCFNotFound;
    CFIndex perUnit;
    switch (encoding) {
    case kCFStringEncodingUTF8:
        perUnit = 3;
        break;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
    case kCFStringEncodingISOLatin1:
        perUnit = 1;
        break;
    case kCFStringEncodingUTF32:
    case kCFStringEncodingUTF32BE:
    case kCFStringEncodingUTF32LE:
        perUnit = 4;
        break;
    default:
        if (!IsUtf16Encoding(encoding)) return kCFNotFound;
        perUnit = 2;
        break;
    }
    if (length > LONG_MAX / perUnit) return kCFNotFound;
    return length * perUnit;
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
    const __CFString* s1 = StringOf(theString1);
    const __CFString* s2 = StringOf(theString2);
    if (!s1 || !s2)
        return s1 ? kCFCompareGreaterThan : (s2 ? kCFCompareLessThan : kCFCompareEqualTo);
    const std::vector<UniChar> a = Utf8ToUtf16(s1->text);
    const std::vector<UniChar> b = Utf8ToUtf16(s2->text);
    const bool fold = compareOptions & kCFCompareCaseInsensitive;
    const bool numeric = compareOptions & kCFCompareNumerically;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (numeric && a[i] >= '0' && a[i] <= '9' && b[j] >= '0' && b[j] <= '9') {
            const int order = CompareDigitRuns(a, i, b, j);
            if (order != 0) return order < 0 ? kCFCompareLessThan : kCFCompareGreaterThan;
            continue;
        }
        const UniChar ca = fold ? FoldAscii(a[i]) : a[i];
        const UniChar cb = fold ? FoldAscii(b[j]) : b[j];
        if (ca != cb) return ca < cb ? kCFCompareLessThan : kCFCompareGreaterThan;
        ++i;
        ++j;
    }
    if (i < a.size()) return kCFCompareGreaterThan;
    if (j < b.size()) return kCFCompareLessThan;
    return kCFCompareEqualTo;
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
    const __CFString* s = StringOf(theString);
    const __CFString* p = StringOf(prefix);
    return s && p && s->text.compare(0, p->text.size(), p->text) == 0;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
    const __CFString* s = StringOf(theString);
    const __CFString* p = StringOf(suffix);
    return s && p && s->text.size() >= p->text.size() &&
           s->text.compare(s->text.size() - p->text.size(), p->text.size(), p->text) == 0;
}

SInt32 CFStringGetIntValue(CFStringRef str) {
    const __CFString* s = StringOf(str);
    if (!s) return 0;
    errno = 0;
    const long long value = std::strtoll(s->text.c_str(), nullptr, 10);
    return static_cast<SInt32>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

double CFStringGetDoubleValue(CFStringRef str) {
    const __CFString* s = StringOf(str);
    if (!s) return 0.0;
    const char* p = s->text.c_str();
    const char* end = p + s->text.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    if (p < end && *p == '+') ++p;
    double value = 0.0;
    std::from_chars(p, end, value); // locale-independent; leaves 0.0 when nothing parses
    return value;
}
