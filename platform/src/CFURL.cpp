// CFURL for file locations: a POSIX path and whether it names a folder.
#include "CFInternal.h"
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstring>
#include <unistd.h>

using namespace zerub::cf;

namespace {

// The path without trailing slashes (except a lone "/").
std::string TrimSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
}

std::string PercentEncode(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (c != 0 && IsUnreserved(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False on a malformed escape or an escaped NUL.
bool PercentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::string CurrentFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

} // namespace

struct __CFURL final : Object {
    __CFURL(std::string filePath, bool directory)
        : Object(kTypeURL), path(TrimSlashes(std::move(filePath))), isDirectory(directory) {
        std::string text = PercentEncode(this->path);
        if (isDirectory && text.back() != '/') text.push_back('/');
        if (!this->path.empty() && this->path[0] == '/') text = "file://" + text;
        string = MakeStringLenient(text);
    }
    ~__CFURL() override { CFRelease(string); }

    bool Equal(const Object& other) const override {
        const auto& that = static_cast<const __CFURL&>(other);
        return path == that.path && isDirectory == that.isDirectory;
    }
    CFHashCode Hash() const override { return HashBytes(path.data(), path.size()); }
    std::string Describe() const override { return TextOr(string); }

    std::string Absolute() const {
        if (!path.empty() && path[0] == '/') return path;
        return TrimSlashes(CurrentFolder() + "/" + path);
    }

    const std::string path; // never empty
    const bool isDirectory;
    CFStringRef string;
};

namespace {

const __CFURL* URLOf(CFTypeRef ref) {
    return As<const __CFURL>(ref, kTypeURL);
}

CFURLRef MakeURL(const std::string& path, bool isDirectory) {
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    return new __CFURL(path, isDirectory);
}

} // namespace

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef /*allocator*/, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory) {
    const std::string* path = TextOf(filePath);
    if (!path || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
    return MakeURL(*path, isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef /*allocator*/, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory) {
    if (!buffer || bufLen <= 0) return nullptr;
    return MakeURL(std::string(reinterpret_cast<const char*>(buffer), bufLen), isDirectory);
}

CFURLRef CFURLCreateWithString(CFAllocatorRef /*allocator*/, CFStringRef URLString,
                               CFURLRef baseURL) {
    const std::string* text = TextOf(URLString);
    if (!text || text->empty()) return nullptr;
    std::string rest = *text;
    const bool absolute = rest.compare(0, 7, "file://") == 0;
    if (absolute) {
        rest.erase(0, 7);
        if (rest.compare(0, 9, "localhost") == 0) rest.erase(0, 9);
        if (rest.empty() || rest[0] != '/') return nullptr;
    } else if (rest.find(':') != std::string::npos && rest.find(':') < rest.find('/')) {
        return nullptr; // another scheme
    }
    std::string path;
    if (!PercentDecode(rest, path)) return nullptr;
    const bool isDirectory = path.back() == '/';
    if (!absolute && path[0] != '/') {
        const __CFURL* base = URLOf(baseURL);
        if (base) path = base->path + "/" + path;
    }
    return MakeURL(path, isDirectory);
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef /*allocator*/, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory) {
    const __CFURL* base = URLOf(url);
    const std::string* component = TextOf(pathComponent);
    if (!base || !component) return nullptr;
    const std::string joined = base->path == "/" ? "/" + *component : base->path + "/" + *component;
    return MakeURL(joined, isDirectory);
}

CFStringRef CFURLGetString(CFURLRef anURL) {
    const __CFURL* url = URLOf(anURL);
    return url ? url->string : nullptr;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
    const __CFURL* url = URLOf(anURL);
    if (!url || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
    return MakeStringLenient(url->path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen) {
    const __CFURL* u = URLOf(url);
    if (!u || !buffer || maxBufLen <= 0) return false;
    const std::string path = resolveAgainstBase ? u->Absolute() : u->path;
    if (path.size() + 1 > static_cast<size_t>(maxBufLen)) return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
    const __CFURL* u = URLOf(url);
    if (!u) return nullptr;
    if (u->path == "/") return MakeString("/");
    const size_t slash = u->path.rfind('/');
    return MakeStringLenient(slash == std::string::npos ? u->path : u->path.substr(slash + 1));
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
    const __CFURL* u = URLOf(url);
    if (!u) return nullptr;
    const size_t slash = u->path.rfind('/');
    const size_t dot = u->path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return nullptr;
    }
    return MakeStringLenient(u->path.substr(dot + 1));
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
    const __CFURL* url = URLOf(anURL);
    return url && url->isDirectory;
}
