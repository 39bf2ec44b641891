#include "Unicode.h"

namespace zerub::cf {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one scalar value at bytes[i]; returns its length in bytes, or 0 when the sequence
// there is not well-formed.
size_t DecodeOne(const unsigned char* bytes, size_t length, size_t i, char32_t& cp) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    size_t count;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        count = 2;
        cp = lead & 0x1F;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 3;
        cp = lead & 0x0F;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 4;
        cp = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (length - i < count) return 0;
    for (size_t k = 1; k < count; ++k) {
        const unsigned char next = bytes[i + k];
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return count;
}

} // namespace

bool IsValidUtf8(const char* bytes, size_t length) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length;) {
        char32_t cp;
        const size_t n = DecodeOne(u, length, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string SanitizeUtf8(const char* bytes, size_t length) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes);
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        char32_t cp;
        const size_t n = DecodeOne(u, length, i, cp);
        if (n == 0) {
            AppendUtf8(out, kReplacement);
            ++i;
        } else {
            out.append(bytes + i, n);
            i += n;
        }
    }
    return out;
}

std::vector<UniChar> Utf8ToUtf16(const std::string& text) {
    const auto* u = reinterpret_cast<const unsigned char*>(text.data());
    std::vector<UniChar> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t n = DecodeOne(u, text.size(), i, cp);
        if (n == 0) {
            cp = kReplacement;
            n = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<UniChar>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<UniChar>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<UniChar>(cp));
        }
        i += n;
    }
    return out;
}

size_t Utf16Length(const std::string& text) {
    size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) units += (c >= 0xF0) ? 2 : 1;
    }
    return units;
}

std::string Utf16ToUtf8(const UniChar* units, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace zerub::cf
