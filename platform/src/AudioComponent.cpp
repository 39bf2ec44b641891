// Audio components: discovery from bundles on the search path, the registry they join, and the
// instances made through their factories.
#include "Bundles.h"
#include "CFInternal.h"
#include "Components.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>
#include <ZerubPlatform/HostExtensions.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#ifndef ZERUB_BUILD_DIR
#define ZERUB_BUILD_DIR ""
#endif

using namespace zerub::cf;
using namespace zerub::platform;

struct OpaqueAudioComponent {
    AudioComponentDescription description;
    std::string name;
    UInt32 version;
    AudioComponentFactoryFunction factory;
};

namespace {

// Components are never removed: a component handle stays valid for the life of the process.
struct Registry {
    std::recursive_mutex mutex;
    bool scanned = false;
    std::vector<OpaqueAudioComponent*> chosen; // registered explicitly, searched first
    std::vector<OpaqueAudioComponent*> found;  // found on the search path
    std::unordered_map<std::string, std::vector<OpaqueAudioComponent*>> byBundle;
    std::unordered_map<std::string, std::string> rejectedBundles; // root -> why
};

Registry& TheRegistry() {
    static auto* registry = new Registry();
    return *registry;
}

bool Matches(const AudioComponentDescription& have, const AudioComponentDescription* want) {
    if (!want) return true;
    return (want->componentType == 0 || want->componentType == have.componentType) &&
           (want->componentSubType == 0 || want->componentSubType == have.componentSubType) &&
           (want->componentManufacturer == 0 ||
            want->componentManufacturer == have.componentManufacturer);
}

// A four-character code from its text form ("aufx"); false unless exactly four bytes.
bool FourCharCode(CFTypeRef value, OSType& code) {
    const std::string* text = TextOf(value);
    if (!text || text->size() != 4) return false;
    code = 0;
    for (unsigned char c : *text)
        code = (code << 8) | c;
    return true;
}

CFTypeRef ValueFor(CFDictionaryRef dict, const char* key) {
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(dict, cfKey);
    CFRelease(cfKey);
    return value;
}

// Reads and loads the bundle at root (canonical). Returns its components, or none when the
// bundle is unusable: no readable Info.plist, no AudioComponents, no executable, a library that
// does not load, or no entry whose factory symbol resolves. Called with the registry lock held.
std::vector<OpaqueAudioComponent*> LoadBundle(Registry& registry, const std::string& root) {
    auto known = registry.byBundle.find(root);
    if (known != registry.byBundle.end()) return known->second;
    if (registry.rejectedBundles.count(root)) return {};
    auto reject = [&](const std::string& why) {
        registry.rejectedBundles[root] = why;
        return std::vector<OpaqueAudioComponent*>();
    };

    CFBundleRef bundle = BundleAtPath(root);
    if (!bundle) return reject("not a folder");
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    if (CFDictionaryGetCount(info) == 0)
        return reject("Contents/Info.plist is missing or malformed");
    CFTypeRef entries = ValueFor(info, "AudioComponents");
    if (CFGetTypeID(entries) != CFArrayGetTypeID() ||
        CFArrayGetCount(static_cast<CFArrayRef>(entries)) == 0) {
        return reject("Info.plist has no AudioComponents entries");
    }
    CFURLRef executableURL = CFBundleCopyExecutableURL(bundle);
    if (!executableURL) return reject("the executable named by CFBundleExecutable is missing");
    char executable[4096];
    const bool havePath = CFURLGetFileSystemRepresentation(
        executableURL, true, reinterpret_cast<UInt8*>(executable), sizeof executable);
    CFRelease(executableURL);
    if (!havePath) return reject("the executable's path is too long");
    // dlopen waits on a FIFO for a writer: only a regular file is loaded.
    if (!IsRegularFileNow(executable)) return reject("the executable is not a regular file");
    // Components stay loaded for the life of the process, as their code may be running.
    void* library = dlopen(executable, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        return reject(why ? why : "the executable does not load");
    }

    std::vector<OpaqueAudioComponent*> loaded;
    std::string lastProblem = "no AudioComponents entry is usable";
    auto array = static_cast<CFArrayRef>(entries);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
        auto entry = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(array, i));
        if (CFGetTypeID(entry) != CFDictionaryGetTypeID()) continue;
        AudioComponentDescription description{};
        if (!FourCharCode(ValueFor(entry, "type"), description.componentType) ||
            !FourCharCode(ValueFor(entry, "subtype"), description.componentSubType) ||
            !FourCharCode(ValueFor(entry, "manufacturer"), description.componentManufacturer)) {
            lastProblem = "an AudioComponents entry lacks a four-character type, subtype or "
                          "manufacturer";
            continue;
        }
        const std::string* factoryName = TextOf(ValueFor(entry, "factoryFunction"));
        if (!factoryName || factoryName->empty()) {
            lastProblem = "an AudioComponents entry names no factoryFunction";
            continue;
        }
        void* symbol = dlsym(library, factoryName->c_str());
        if (!symbol) {
            lastProblem = "the factory function " + *factoryName + " is not exported";
            continue;
        }
        SInt64 version = 0;
        CFTypeRef versionValue = ValueFor(entry, "version");
        if (CFGetTypeID(versionValue) == CFNumberGetTypeID()) {
            CFNumberGetValue(static_cast<CFNumberRef>(versionValue), kCFNumberSInt64Type, &version);
        }
        auto* component = new OpaqueAudioComponent();
        component->description = description;
        component->name = TextOr(ValueFor(entry, "name"));
        component->version = static_cast<UInt32>(version);
        component->factory = reinterpret_cast<AudioComponentFactoryFunction>(symbol);
        loaded.push_back(component);
    }
    if (loaded.empty()) {
        dlclose(library);
        return reject(lastProblem);
    }
    registry.byBundle[root] = loaded;
    return loaded;
}

bool IsComponentBundle(const std::string& path) {
    const std::string suffix = ".component";
    const bool named = path.size() > suffix.size() &&
                       path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    return IsDirectory(path) && (named || IsRegularFile(path + "/Contents/Info.plist"));
}

// The bundles an entry of the search path names: the entry itself when it is a bundle, else the
// *.component folders inside it, in name order.
std::vector<std::string> BundlesIn(const std::string& entry) {
    std::vector<std::string> bundles;
    if (entry.empty() || !IsDirectory(entry)) return bundles;
    if (IsComponentBundle(entry)) {
        bundles.push_back(entry);
        return bundles;
    }
    DIR* folder = opendir(entry.c_str());
    if (!folder) return bundles;
    while (dirent* item = readdir(folder)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = entry + "/" + name;
        if (name.size() > 10 && name.compare(name.size() - 10, 10, ".component") == 0 &&
            IsDirectory(path)) {
            bundles.push_back(path);
        }
    }
    closedir(folder);
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}

std::vector<std::string> SearchPath() {
    std::vector<std::string> entries;
    if (const char* variable = std::getenv("AUDIO_COMPONENT_PATH")) {
        std::string list = variable;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) entries.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    // An installed tree keeps this library in lib/zerub and the components in
    // lib/audio-components, wherever the tree was unpacked (the build folder has no such folder).
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&SearchPath), &self) && self.dli_fname) {
        const std::string library = self.dli_fname;
        const size_t slash = library.rfind('/');
        if (slash != std::string::npos && slash > 0)
            entries.push_back(library.substr(0, slash) + "/../audio-components");
    }
    if (ZERUB_BUILD_DIR[0] != '\0') entries.emplace_back(ZERUB_BUILD_DIR);
    return entries;
}

void Scan(Registry& registry) {
    registry.scanned = true;
    for (const std::string& entry : SearchPath()) {
        for (const std::string& path : BundlesIn(entry)) {
            const std::string root = CanonicalPath(path);
            if (root.empty() || registry.byBundle.count(root)) continue;
            for (OpaqueAudioComponent* component : LoadBundle(registry, root)) {
                registry.found.push_back(component);
            }
        }
    }
}

// Every component in search order.
std::vector<OpaqueAudioComponent*> AllComponents() {
    EnsureComponentsScanned();
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    std::vector<OpaqueAudioComponent*> all = registry.chosen;
    all.insert(all.end(), registry.found.begin(), registry.found.end());
    return all;
}

bool IsKnown(AudioComponent component) {
    if (!component) return false;
    const auto all = AllComponents();
    return std::find(all.begin(), all.end(), component) != all.end();
}

} // namespace

namespace zerub::platform {

void EnsureComponentsScanned() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    // Set before scanning, so that a component calling back while it loads does not rescan.
    if (!registry.scanned) Scan(registry);
}

} // namespace zerub::platform

AudioComponent AudioComponentRegisterBundle(const char* path) {
    if (!path) return nullptr;
    const std::string root = CanonicalPath(path);
    if (root.empty() || !IsDirectory(root)) return nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    const std::vector<OpaqueAudioComponent*> components = LoadBundle(registry, root);
    if (components.empty()) return nullptr;
    // Move the bundle's components ahead of the search path, once.
    for (OpaqueAudioComponent* component : components) {
        auto& scanned = registry.found;
        scanned.erase(std::remove(scanned.begin(), scanned.end(), component), scanned.end());
        if (std::find(registry.chosen.begin(), registry.chosen.end(), component) ==
            registry.chosen.end()) {
            registry.chosen.push_back(component);
        }
    }
    return components.front();
}

CFStringRef AudioComponentCopyBundleError(const char* path) {
    if (!path) return nullptr;
    const std::string root = CanonicalPath(path);
    if (root.empty()) return MakeString("no such file or folder");
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    auto found = registry.rejectedBundles.find(root);
    return found == registry.rejectedBundles.end() ? nullptr : MakeStringLenient(found->second);
}

void AudioComponentRescan(void) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    Scan(registry);
}

AudioComponent AudioComponentRegister(const AudioComponentDescription* inDesc, CFStringRef inName,
                                      UInt32 inVersion, AudioComponentFactoryFunction inFactory) {
    if (!inDesc || !inFactory) return nullptr;
    auto* component = new OpaqueAudioComponent();
    component->description = *inDesc;
    component->name = TextOr(inName);
    component->version = inVersion;
    component->factory = inFactory;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.mutex);
    registry.chosen.push_back(component);
    return component;
}

AudioComponent AudioComponentFindNext(AudioComponent inComponent,
                                      const AudioComponentDescription* inDesc) {
    const auto all = AllComponents();
    auto it = all.begin();
    if (inComponent) {
        it = std::find(all.begin(), all.end(), inComponent);
        if (it == all.end()) return nullptr;
        ++it;
    }
    for (; it != all.end(); ++it) {
        if (Matches((*it)->description, inDesc)) return *it;
    }
    return nullptr;
}

UInt32 AudioComponentCount(const AudioComponentDescription* inDesc) {
    const auto all = AllComponents();
    return static_cast<UInt32>(std::count_if(all.begin(), all.end(), [&](auto* component) {
        return Matches(component->description, inDesc);
    }));
}

OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef* outName) {
    if (!outName || !IsKnown(inComponent)) return paramErr;
    *outName = MakeStringLenient(inComponent->name);
    return noErr;
}

OSStatus AudioComponentGetDescription(AudioComponent inComponent,
                                      AudioComponentDescription* outDesc) {
    if (!outDesc || !IsKnown(inComponent)) return paramErr;
    *outDesc = inComponent->description;
    return noErr;
}

OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32* outVersion) {
    if (!outVersion || !IsKnown(inComponent)) return paramErr;
    *outVersion = inComponent->version;
    return noErr;
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent,
                                   AudioComponentInstance* outInstance) {
    if (!outInstance) return paramErr;
    *outInstance = nullptr;
    if (!IsKnown(inComponent)) return paramErr;
    AudioComponentPlugInInterface* plugin = inComponent->factory(&inComponent->description);
    if (!plugin || !plugin->Open || !plugin->Close || !plugin->Lookup) {
        return kAudioUnitErr_FailedInitialization;
    }
    return zerub::platform::OpenInstance(inComponent, plugin, outInstance);
}
