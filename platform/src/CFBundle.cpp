// CFBundle: bundle folders, their Info.plist and resources, and the registry that finds a
// bundle by location or by identifier.
#include "Bundles.h"
#include "CFInternal.h"
#include "CFRuntime.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace zerub::cf;
using namespace zerub::platform;

const CFStringRef kCFBundleInfoDictionaryVersionKey = CFSTR("CFBundleInfoDictionaryVersion");
const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");
const CFStringRef kCFBundleDevelopmentRegionKey = CFSTR("CFBundleDevelopmentRegion");
const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");

// Bundles live as long as the process: they are constant objects.
struct __CFBundle final : Object {
    __CFBundle(std::string rootDir, std::string contentsDir, CFDictionaryRef infoDict)
        : Object(kTypeBundle), root(std::move(rootDir)), contents(std::move(contentsDir)),
          info(infoDict) {
        MakeConstant();
        CFTypeRef id = CFDictionaryGetValue(info, kCFBundleIdentifierKey);
        identifier = TextOf(id) ? static_cast<CFStringRef>(id) : nullptr;
    }
    std::string Describe() const override { return "<CFBundle " + root + ">"; }

    const std::string root;
    const std::string contents;
    const CFDictionaryRef info; // owned; never empty pointer
    CFStringRef identifier;     // inside info, or nullptr
};

namespace {

struct Registry {
    std::recursive_mutex mutex;
    std::vector<__CFBundle*> bundles;
};

Registry& TheRegistry() {
    static auto* registry = new Registry();
    return *registry;
}

__CFBundle* BundleOf(CFTypeRef ref) {
    return As<__CFBundle>(ref, kTypeBundle);
}

CFDictionaryRef EmptyDictionary() {
    return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

__CFBundle* FindByRoot(const std::string& root) {
    for (__CFBundle* bundle : TheRegistry().bundles) {
        if (bundle->root == root) return bundle;
    }
    return nullptr;
}

CFURLRef URLForPath(const std::string& path, bool isDirectory) {
    return CFURLCreateFromFileSystemRepresentation(nullptr,
                                                   reinterpret_cast<const UInt8*>(path.data()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

// True when a path segment of text is "..".
bool ClimbsOut(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string::npos) end = text.size();
        if (text.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

} // namespace

namespace zerub::platform {

std::string CanonicalPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return std::string();
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsRegularFileNow(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    close(fd);
    return regular;
}

CFPropertyListRef CreatePropertyListFromFile(const std::string& path, size_t limitBytes) {
    // Opened without blocking and checked on the descriptor: a FIFO put in the file's place after
    // a check by name would otherwise hold the reader until some writer came.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    std::vector<UInt8> bytes;
    UInt8 chunk[16384];
    bool tooLarge = false;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > limitBytes) {
            tooLarge = true;
            break;
        }
    }
    close(fd);
    if (tooLarge || bytes.empty()) return nullptr;
    CFDataRef data = CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
    CFPropertyListRef plist =
        CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(data);
    return plist;
}

CFBundleRef BundleAtPath(const std::string& path) {
    const std::string root = CanonicalPath(path);
    if (root.empty() || !IsDirectory(root)) return nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    if (__CFBundle* known = FindByRoot(root)) return known;
    const std::string contents = IsDirectory(root + "/Contents") ? root + "/Contents" : root;
    CFPropertyListRef plist = CreatePropertyListFromFile(contents + "/Info.plist");
    CFDictionaryRef info;
    if (plist && CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
        info = static_cast<CFDictionaryRef>(plist);
    } else {
        if (plist) CFRelease(plist);
        info = EmptyDictionary();
    }
    auto* bundle = new __CFBundle(root, contents, info);
    registry.bundles.push_back(bundle);
    return bundle;
}

const std::string& BundleRoot(CFBundleRef bundle) {
    return BundleOf(bundle)->root;
}

std::string BundleContents(CFBundleRef bundle) {
    return BundleOf(bundle)->contents;
}

} // namespace zerub::platform

CFBundleRef CFBundleGetMainBundle(void) {
    static CFBundleRef mainBundle = [] {
        std::string folder = ExecutablePath();
        const size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
        static const std::string kInside = "/Contents/MacOS";
        if (folder.size() > kInside.size() &&
            folder.compare(folder.size() - kInside.size(), kInside.size(), kInside) == 0) {
            folder.erase(folder.size() - kInside.size());
        }
        return BundleAtPath(folder);
    }();
    return mainBundle;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
    if (!TextOf(bundleID)) return nullptr;
    auto find = [&]() -> CFBundleRef {
        Registry& registry = TheRegistry();
        std::lock_guard<std::recursive_mutex> lock(registry.mutex);
        for (__CFBundle* bundle : registry.bundles) {
            if (bundle->identifier && CFEqual(bundle->identifier, bundleID)) return bundle;
        }
        return nullptr;
    };
    if (CFBundleRef known = find()) return known;
    CFBundleGetMainBundle();
    EnsureComponentsScanned();
    return find();
}

CFBundleRef CFBundleCreate(CFAllocatorRef /*allocator*/, CFURLRef bundleURL) {
    char path[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(bundleURL, true, reinterpret_cast<UInt8*>(path),
                                          sizeof path)) {
        return nullptr;
    }
    return BundleAtPath(path);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    const __CFBundle* b = BundleOf(bundle);
    return b ? b->identifier : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    const __CFBundle* b = BundleOf(bundle);
    return b ? b->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    const __CFBundle* b = BundleOf(bundle);
    return b ? CFDictionaryGetValue(b->info, key) : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    const __CFBundle* b = BundleOf(bundle);
    return b ? URLForPath(b->root, true) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    const __CFBundle* b = BundleOf(bundle);
    if (!b) return nullptr;
    const std::string* name = TextOf(CFDictionaryGetValue(b->info, kCFBundleExecutableKey));
    if (!name || name->empty() || name->find('/') != std::string::npos) return nullptr;
    const std::string path = b->contents + "/MacOS/" + *name;
    return IsRegularFile(path) ? URLForPath(path, false) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
    const __CFBundle* b = BundleOf(bundle);
    const std::string* name = TextOf(resourceName);
    if (!b || !name || name->empty()) return nullptr;
    std::string file = *name;
    std::string type = TextOr(resourceType);
    if (!type.empty() && type[0] == '.') type.erase(0, 1);
    if (!type.empty()) file += "." + type;
    // Names that climb out of the bundle are refused.
    const std::string subDir = TextOr(subDirName);
    if (ClimbsOut(file) || ClimbsOut(subDir)) return nullptr;
    std::string folder = b->contents == b->root ? b->root : b->contents + "/Resources";
    if (!subDir.empty()) folder += "/" + subDir;
    const std::string path = folder + "/" + file;
    if (IsRegularFile(path)) return URLForPath(path, false);
    if (IsDirectory(path)) return URLForPath(path, true);
    return nullptr;
}
