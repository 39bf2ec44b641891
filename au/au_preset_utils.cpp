#include "au/au_preset_utils.h"

#include <algorithm>
#include <cstring>
#include <vector>

CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef name) {
    CFAUPresetRef preset =
        static_cast<CFAUPresetRef>(CFAllocatorAllocate(allocator, sizeof(CFAUPreset), 0));
    if (!preset) return nullptr;
    preset->au.presetNumber = presetNumber;
    preset->au.presetName = name ? CFStringCreateCopy(allocator, name) : nullptr;
    preset->version = kCFAUPreset_CurrentVersion;
    preset->allocator = allocator;
    preset->retainCount = 1;
    // NOLINTNEXTLINE(clang-analyzer-osx.cocoa.RetainCount): a record with a count of its own
    return preset;
}

CFAUPresetRef CFAUPresetRetain(void* p) {
    CFAUPresetRef preset = static_cast<CFAUPresetRef>(p);
    if (preset) {
        if (preset->au.presetName) CFRetain(preset->au.presetName);
        ++preset->retainCount;
    }
    return preset;
}

void CFAUPresetRelease(void* p) {
    CFAUPresetRef preset = static_cast<CFAUPresetRef>(p);
    if (!preset || preset->retainCount <= 0) return;
    // The name carries one reference per record reference, so both die together.
    if (preset->au.presetName) CFRelease(preset->au.presetName);
    if (--preset->retainCount == 0) {
        preset->au.presetName = nullptr;
        preset->au.presetNumber = 0;
        CFAllocatorDeallocate(preset->allocator, preset);
    }
}

const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef, const void* preset) {
    return CFAUPresetRetain(const_cast<void*>(preset));
}

void CFAUPresetArrayReleaseCallBack(CFAllocatorRef, const void* preset) {
    CFAUPresetRelease(const_cast<void*>(preset));
}

CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* p) {
    const CFAUPreset* preset = static_cast<const CFAUPreset*>(p);
    if (!preset) return nullptr;
    return CFStringCreateWithFormat(
        kCFAllocatorDefault, nullptr, CFSTR("AUPreset:\npreset number = %d\npreset name = %@"),
        static_cast<int>(preset->au.presetNumber), preset->au.presetName);
}

Boolean CFAUPresetArrayEqualCallBack(const void* p1, const void* p2) {
    const CFAUPreset* a = static_cast<const CFAUPreset*>(p1);
    const CFAUPreset* b = static_cast<const CFAUPreset*>(p2);
    if (!a || !b) return a == b;
    if (a->au.presetNumber != b->au.presetNumber) return false;
    if (!a->au.presetName || !b->au.presetName) return a->au.presetName == b->au.presetName;
    return CFStringCompare(a->au.presetName, b->au.presetName, 0) == kCFCompareEqualTo;
}

void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* callBacks) {
    if (!callBacks) return;
    callBacks->version = 0;
    callBacks->retain = CFAUPresetArrayRetainCallBack;
    callBacks->release = CFAUPresetArrayReleaseCallBack;
    callBacks->copyDescription = CFAUPresetArrayCopyDescriptionCallBack;
    callBacks->equal = CFAUPresetArrayEqualCallBack;
}

const CFArrayCallBacks kCFAUPresetArrayCallBacks = {
    0, CFAUPresetArrayRetainCallBack, CFAUPresetArrayReleaseCallBack,
    CFAUPresetArrayCopyDescriptionCallBack, CFAUPresetArrayEqualCallBack};

namespace {

CFStringRef MakeKey(const char* key) {
    return CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
}

const void* GetValue(CFDictionaryRef dict, const char* key) {
    if (!dict) return nullptr;
    CFStringRef cfKey = MakeKey(key);
    const void* value = nullptr;
    if (cfKey) {
        CFDictionaryGetValueIfPresent(dict, cfKey, &value);
        CFRelease(cfKey);
    }
    return value;
}

void PutValue(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    if (!value) return;
    if (CFStringRef cfKey = MakeKey(key)) {
        CFDictionarySetValue(dict, cfKey, value);
        CFRelease(cfKey);
    }
    CFRelease(value);
}

} // namespace

void PutNumberInDict(CFMutableDictionaryRef dict, const char* key, const void* number,
                     CFNumberType type) {
    PutValue(dict, key, CFNumberCreate(kCFAllocatorDefault, type, number));
}

void PutStrInDict(CFMutableDictionaryRef dict, const char* key, const char* text) {
    PutValue(
        dict, key,
        CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8));
}

void PutDataInDict(CFMutableDictionaryRef dict, const char* key, const ByteChunk* chunk) {
    PutValue(dict, key, CFDataCreate(kCFAllocatorDefault, chunk->GetBytes(), chunk->Size()));
}

bool GetStrFromDict(CFDictionaryRef dict, const char* key, char* text, int size) {
    if (size > 0) text[0] = 0;
    const void* value = GetValue(dict, key);
    if (!value || CFGetTypeID(value) != CFStringGetTypeID() || size <= 0) return false;
    CFStringRef str = static_cast<CFStringRef>(value);
    if (CFStringGetCString(str, text, size, kCFStringEncodingUTF8)) return true;

    // Longer than the buffer: keep the longest run of whole characters that fits, found in one
    // pass. Every UTF-16 unit takes at least one byte, so no more than size - 1 of them fit.
    const CFIndex limit = std::min<CFIndex>(CFStringGetLength(str), size - 1);
    std::vector<UniChar> units(static_cast<size_t>(std::max<CFIndex>(limit, 1)));
    CFStringGetCharacters(str, CFRangeMake(0, limit), units.data());
    CFIndex n = 0;
    int bytes = 0;
    while (n < limit) {
        const UniChar u = units[static_cast<size_t>(n)];
        const bool pair = u >= 0xD800 && u < 0xDC00; // a surrogate pair is one character
        const int need = u < 0x80 ? 1 : u < 0x800 ? 2 : pair ? 4 : 3;
        const CFIndex take = pair ? 2 : 1;
        if (n + take > limit || bytes + need > size - 1) break;
        n += take;
        bytes += need;
    }
    if (CFStringRef cut =
            CFStringCreateWithSubstring(kCFAllocatorDefault, str, CFRangeMake(0, n))) {
        CFStringGetCString(cut, text, size, kCFStringEncodingUTF8);
        CFRelease(cut);
    }
    return true;
}

bool GetDataFromDict(CFDictionaryRef dict, const char* key, ByteChunk* chunk) {
    const void* value = GetValue(dict, key);
    if (!value || CFGetTypeID(value) != CFDataGetTypeID()) return false;
    CFDataRef data = static_cast<CFDataRef>(value);
    const int n = static_cast<int>(CFDataGetLength(data));
    chunk->Clear();
    if (n > 0 && !chunk->Resize(n)) return false;
    if (n > 0) std::memcpy(chunk->GetBytes(), CFDataGetBytePtr(data), static_cast<size_t>(n));
    return true;
}

bool GetSInt32FromDict(CFDictionaryRef dict, const char* key, SInt32* value) {
    const void* number = GetValue(dict, key);
    if (!number || CFGetTypeID(number) != CFNumberGetTypeID()) return false;
    return CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, value);
}
