// CFDictionary: a hash table whose hashing, equality, retain and release are the dictionary's
// own copies of its key and value callbacks.
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <vector>

using namespace zerub::cf;

namespace {

const void* RetainType(CFAllocatorRef, const void* value) {
    return CFRetain(value);
}

void ReleaseType(CFAllocatorRef, const void* value) {
    CFRelease(value);
}

const void* CopyStringKey(CFAllocatorRef allocator, const void* value) {
    // A key that is not a string is retained as it is.
    if (CFGetTypeID(value) == kTypeString) {
        return CFStringCreateCopy(allocator, static_cast<CFStringRef>(value));
    }
    return CFRetain(value);
}

struct KeyHash {
    const CFDictionaryKeyCallBacks* callBacks;
    size_t operator()(const void* key) const {
        return callBacks->hash ? callBacks->hash(key) : reinterpret_cast<size_t>(key);
    }
};

struct KeyEqual {
    const CFDictionaryKeyCallBacks* callBacks;
    bool operator()(const void* a, const void* b) const {
        return a == b || (callBacks->equal && callBacks->equal(a, b));
    }
};

} // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, RetainType, ReleaseType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, CopyStringKey, ReleaseType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, RetainType, ReleaseType,
                                                                    CFCopyDescription, CFEqual};

struct __CFDictionary final : Object {
    __CFDictionary(const CFDictionaryKeyCallBacks* keys, const CFDictionaryValueCallBacks* values,
                   bool mutableDict)
        : Object(kTypeDictionary), keyCallBacks(keys ? *keys : CFDictionaryKeyCallBacks{}),
          valueCallBacks(values ? *values : CFDictionaryValueCallBacks{}), isMutable(mutableDict),
          entries(8, KeyHash{&keyCallBacks}, KeyEqual{&keyCallBacks}) {}

    ~__CFDictionary() override { Clear(); }

    const void* KeepKey(const void* key) const {
        return keyCallBacks.retain ? keyCallBacks.retain(nullptr, key) : key;
    }
    void DropKey(const void* key) const {
        if (keyCallBacks.release) keyCallBacks.release(nullptr, key);
    }
    const void* KeepValue(const void* value) const {
        return valueCallBacks.retain ? valueCallBacks.retain(nullptr, value) : value;
    }
    void DropValue(const void* value) const {
        if (valueCallBacks.release) valueCallBacks.release(nullptr, value);
    }
    bool SameValue(const void* a, const void* b) const {
        return a == b || (valueCallBacks.equal && valueCallBacks.equal(a, b));
    }

    void Add(const void* key, const void* value) {
        const void* keptKey = KeepKey(key);
        entries.emplace(keptKey, KeepValue(value));
    }

    void Clear() {
        std::vector<std::pair<const void*, const void*>> old(entries.begin(), entries.end());
        entries.clear();
        for (const auto& entry : old) {
            DropKey(entry.first);
            DropValue(entry.second);
        }
    }

    bool Equal(const Object& other) const override {
        const auto& that = static_cast<const __CFDictionary&>(other);
        if (entries.size() != that.entries.size()) return false;
        for (const auto& entry : entries) {
            auto found = that.entries.find(entry.first);
            if (found == that.entries.end() || !SameValue(entry.second, found->second)) {
                return false;
            }
        }
        return true;
    }
    CFHashCode Hash() const override { return entries.size(); }
    std::string Describe() const override {
        std::vector<std::string> lines;
        for (const auto& entry : entries) {
            lines.push_back("    " + DescribeValue(keyCallBacks.copyDescription, entry.first) +
                            " = " + DescribeValue(valueCallBacks.copyDescription, entry.second) +
                            ";\n");
        }
        std::sort(lines.begin(), lines.end());
        std::string text = "{\n";
        for (const auto& line : lines)
            text += line;
        return text + "}";
    }

    const CFDictionaryKeyCallBacks keyCallBacks;
    const CFDictionaryValueCallBacks valueCallBacks;
    const bool isMutable;
    std::unordered_map<const void*, const void*, KeyHash, KeyEqual> entries;
};

namespace {

const __CFDictionary* DictOf(CFTypeRef ref) {
    return As<const __CFDictionary>(ref, kTypeDictionary);
}

__CFDictionary* MutableDictOf(CFTypeRef ref) {
    __CFDictionary* dict = As<__CFDictionary>(ref, kTypeDictionary);
    return dict && dict->isMutable ? dict : nullptr;
}

__CFDictionary* CopyOf(const __CFDictionary& source, bool isMutable) {
    auto* dict = new __CFDictionary(&source.keyCallBacks, &source.valueCallBacks, isMutable);
    for (const auto& entry : source.entries)
        dict->Add(entry.first, entry.second);
    return dict;
}

} // namespace

CFTypeID CFDictionaryGetTypeID(void) {
    return kTypeDictionary;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef /*allocator*/, const void** keys,
                                   const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    if (numValues < 0 || (numValues > 0 && (!keys || !values))) return nullptr;
    auto* dict = new __CFDictionary(keyCallBacks, valueCallBacks, false);
    for (CFIndex i = 0; i < numValues; ++i) {
        // A repeated key keeps its first value, as adding would.
        if (dict->entries.find(keys[i]) == dict->entries.end()) dict->Add(keys[i], values[i]);
    }
    return dict;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef /*allocator*/, CFDictionaryRef theDict) {
    const __CFDictionary* source = DictOf(theDict);
    return source ? CopyOf(*source, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef /*allocator*/, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    if (capacity < 0) return nullptr;
    return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef /*allocator*/, CFIndex capacity,
                                                     CFDictionaryRef theDict) {
    const __CFDictionary* source = DictOf(theDict);
    return source && capacity >= 0 ? CopyOf(*source, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
    const __CFDictionary* dict = DictOf(theDict);
    return dict ? static_cast<CFIndex>(dict->entries.size()) : 0;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
    const __CFDictionary* dict = DictOf(theDict);
    return dict && dict->entries.find(key) != dict->entries.end();
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
    const void* value = nullptr;
    return CFDictionaryGetValueIfPresent(theDict, key, &value) ? value : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
    const __CFDictionary* dict = DictOf(theDict);
    if (!dict) return false;
    auto found = dict->entries.find(key);
    if (found == dict->entries.end()) return false;
    if (value) *value = found->second;
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
    const __CFDictionary* dict = DictOf(theDict);
    if (!dict) return;
    size_t i = 0;
    for (const auto& entry : dict->entries) {
        if (keys) keys[i] = entry.first;
        if (values) values[i] = entry.second;
        ++i;
    }
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    __CFDictionary* dict = MutableDictOf(theDict);
    if (dict && dict->entries.find(key) == dict->entries.end()) dict->Add(key, value);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    __CFDictionary* dict = MutableDictOf(theDict);
    if (!dict) return;
    auto found = dict->entries.find(key);
    if (found == dict->entries.end()) {
        dict->Add(key, value);
        return;
    }
    // Keep the new value before dropping the old one: they may be the same object.
    const void* old = found->second;
    found->second = dict->KeepValue(value);
    dict->DropValue(old);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    if (CFDictionaryContainsKey(theDict, key)) CFDictionarySetValue(theDict, key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
    __CFDictionary* dict = MutableDictOf(theDict);
    if (!dict) return;
    auto found = dict->entries.find(key);
    if (found == dict->entries.end()) return;
    const void* oldKey = found->first;
    const void* oldValue = found->second;
    dict->entries.erase(found);
    dict->DropKey(oldKey);
    dict->DropValue(oldValue);
}
