// Bytes becoming CFStrings as UTF-8, ASCII and ISO Latin 1. A string is made exactly when the
// bytes are well-formed in the encoding (judged here by the table of well-formed UTF-8
// sequences, independently of the platform's decoder), has the expected UTF-16 length, and
// converts back to the same bytes.
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Well-formed UTF-8 by the table of valid byte sequences: the UTF-16 length when the bytes are
// well-formed, -1 when not.
long Utf16Length(const uint8_t* s, size_t n) {
    long units = 0;
    for (size_t i = 0; i < n;) {
        const uint8_t b = s[i];
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;
        if (b <= 0x7F) {
            len = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return -1;
        }
        if (n - i < len) return -1;
        for (size_t k = 1; k < len; ++k) {
            const uint8_t c = s[i + k];
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return -1;
        }
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return units;
}

// The string's text in the encoding, through the size the platform says is enough.
std::string Back(CFStringRef string, CFStringEncoding encoding) {
    const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), encoding);
    if (max < 0) Fail("negative maximum size");
    std::vector<char> buffer(static_cast<size_t>(max) + 1, 'x');
    if (!CFStringGetCString(string, buffer.data(), max + 1, encoding))
        Fail("a string made from the encoding does not convert back to it");
    return std::string(buffer.data());
}

void Check(const uint8_t* data, size_t size, CFStringEncoding encoding, long expectedLength) {
    CFStringRef string =
        CFStringCreateWithBytes(nullptr, data, static_cast<CFIndex>(size), encoding, false);
    if ((string != nullptr) != (expectedLength >= 0))
        Fail(string ? "ill-formed bytes were accepted" : "well-formed bytes were refused");
    if (!string) return;
    if (CFStringGetLength(string) != expectedLength) Fail("wrong UTF-16 length");
    // The C-string conversion stops at the first NUL, as the text does.
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (Back(string, encoding) != text.c_str()) Fail("bytes do not survive the round trip");
    if (encoding == kCFStringEncodingUTF8) {
        CFStringRef again = CFStringCreateWithCString(nullptr, text.c_str(), encoding);
        if (!again) Fail("CFStringCreateWithCString refuses what CreateWithBytes took");
        CFStringRef prefix =
            CFStringCreateWithSubstring(nullptr, string, CFRangeMake(0, CFStringGetLength(again)));
        if (!CFEqual(again, prefix)) Fail("C-string creation differs from bytes creation");
        CFRelease(prefix);
        CFRelease(again);
    }
    CFRelease(string);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(data, size, kCFStringEncodingUTF8, Utf16Length(data, size));
    bool ascii = true;
    for (size_t i = 0; i < size; ++i)
        ascii = ascii && data[i] < 0x80;
    Check(data, size, kCFStringEncodingASCII, ascii ? static_cast<long>(size) : -1);
    Check(data, size, kCFStringEncodingISOLatin1, static_cast<long>(size));
    return 0;
}
