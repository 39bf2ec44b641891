// Property lists in XML and binary form, through libplist. CF trees are converted to libplist
// nodes for writing and back for reading; both walks are bounded in depth.
#include "CFInternal.h"
#include "CFRuntime.h"
#include "PlistLimits.h"

#include <CoreFoundation/CoreFoundation.h>
#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

using namespace zerub::cf;

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// NOLINTNEXTLINE(clang-analyzer-osx.coreFoundation.CFError): its callers return the status
void Fail(CFErrorRef* error, CFIndex code, const char* text) {
    if (!error) return;
    CFStringRef description = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    const void* keys[] = {kCFErrorDescriptionKey};
    const void* values[] = {description};
    CFDictionaryRef info = CFDictionaryCreate(
        nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    *error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    CFRelease(description);
}

// CF tree to libplist node; nullptr when something in it has no property-list form.
plist_t ToNode(CFTypeRef value, int depth) {
    if (!value || depth > kMaxPlistDepth) return nullptr;
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        const std::string& text = *TextOf(value);
        if (text.find('\0') != std::string::npos) return nullptr; // would be cut short
        return plist_new_string(text.c_str());
    }
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double d = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &d);
            return plist_new_real(d);
        }
        SInt64 i = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &i);
        // The format's integers are signed 64-bit: the bit pattern carries the sign.
        return plist_new_uint(static_cast<uint64_t>(i));
    }
    if (type == CFBooleanGetTypeID()) {
        return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0);
    }
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(value);
        return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                              static_cast<uint64_t>(CFDataGetLength(data)));
    }
    if (type == CFDateGetTypeID()) {
        // The node holds seconds and microseconds, both rounded toward zero (so of one sign).
        const double at = CFDateGetAbsoluteTime(static_cast<CFDateRef>(value));
        const double seconds = std::trunc(at);
        if (!(seconds >= std::numeric_limits<int32_t>::min() &&
              seconds <= std::numeric_limits<int32_t>::max())) {
            return nullptr; // outside what the node type can hold
        }
        const double usec = std::clamp(std::round((at - seconds) * 1e6), -999999.0, 999999.0);
        return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(usec));
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(value);
        PlistPtr node(plist_new_array());
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            plist_t item = ToNode(CFArrayGetValueAtIndex(array, i), depth + 1);
            if (!item) return nullptr;
            plist_array_append_item(node.get(), item);
        }
        return node.release();
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dict = static_cast<CFDictionaryRef>(value);
        const CFIndex count = CFDictionaryGetCount(dict);
        std::vector<const void*> keys(static_cast<size_t>(count));
        std::vector<const void*> values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
        std::vector<std::pair<std::string, const void*>> entries;
        for (CFIndex i = 0; i < count; ++i) {
            const std::string* key = TextOf(keys[i]);
            if (!key || key->find('\0') != std::string::npos) return nullptr;
            entries.emplace_back(*key, values[i]);
        }
        // Sorted keys make the output the same for the same content.
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        PlistPtr node(plist_new_dict());
        for (const auto& entry : entries) {
            plist_t item = ToNode(entry.second, depth + 1);
            if (!item) return nullptr;
            plist_dict_set_item(node.get(), entry.first.c_str(), item);
        }
        return node.release();
    }
    return nullptr;
}

CF_RETURNS_RETAINED CFTypeRef MakeTextObject(const char* bytes, size_t length, bool mutableLeaf) {
    CFStringRef text = MakeStringLenient(std::string(bytes, length));
    if (!mutableLeaf) return text;
    CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, text);
    CFRelease(text);
    return copy;
}

// libplist node to CF tree (a new reference); nullptr for node types with no CF form.
CF_RETURNS_RETAINED CFTypeRef FromNode(plist_t node, CFOptionFlags options, int depth) {
    if (!node || depth > kMaxPlistDepth) return nullptr;
    const bool mutableContainers = (options & (kCFPropertyListMutableContainers |
                                               kCFPropertyListMutableContainersAndLeaves)) != 0;
    const bool mutableLeaves = (options & kCFPropertyListMutableContainersAndLeaves) != 0;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return b ? kCFBooleanTrue : kCFBooleanFalse;
    }
    case PLIST_UINT: {
        uint64_t raw = 0;
        plist_get_uint_val(node, &raw);
        const auto value = static_cast<SInt64>(raw);
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? MakeTextObject(text, static_cast<size_t>(length), mutableLeaves) : nullptr;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (length > static_cast<uint64_t>(std::numeric_limits<CFIndex>::max())) return nullptr;
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                      static_cast<CFIndex>(bytes ? length : 0));
        if (!mutableLeaves) return data;
        CFMutableDataRef copy = CFDataCreateMutableCopy(nullptr, 0, data);
        CFRelease(data);
        return copy;
    }
    case PLIST_DATE: {
        int32_t seconds = 0, usec = 0;
        plist_get_date_val(node, &seconds, &usec);
        // The binary reader gives the microseconds of a time before 2001 as a magnitude.
        if (seconds < 0 && usec > 0) usec = -usec;
        return CFDateCreate(nullptr, static_cast<double>(seconds) + usec * 1e-6);
    }
    case PLIST_ARRAY: {
        CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            CFTypeRef item = FromNode(plist_array_get_item(node, i), options, depth + 1);
            if (!item) {
                CFRelease(array);
                return nullptr;
            }
            CFArrayAppendValue(array, item);
            CFRelease(item);
        }
        if (mutableContainers) return array;
        CFArrayRef frozen = CFArrayCreateCopy(nullptr, array);
        CFRelease(array);
        return frozen;
    }
    case PLIST_DICT: {
        CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        bool ok = iter != nullptr;
        while (ok) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iter, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            CFTypeRef value = key ? FromNode(item, options, depth + 1) : nullptr;
            if (!value) {
                std::free(key);
                ok = false;
                break;
            }
            CFStringRef cfKey = MakeStringLenient(key);
            std::free(key);
            CFDictionarySetValue(dict, cfKey, value);
            CFRelease(cfKey);
            CFRelease(value);
        }
        std::free(iter);
        if (!ok) {
            CFRelease(dict);
            return nullptr;
        }
        if (mutableContainers) return dict;
        CFDictionaryRef frozen = CFDictionaryCreateCopy(nullptr, dict);
        CFRelease(dict);
        return frozen;
    }
    default:
        return nullptr; // keys outside dictionaries, UIDs
    }
}

// Deep copy of a property list, with the mutability asked for.
CF_RETURNS_RETAINED CFTypeRef Copy(CFTypeRef value, CFOptionFlags options, int depth) {
    if (!value || depth > kMaxPlistDepth) return nullptr;
    const bool mutableContainers = (options & (kCFPropertyListMutableContainers |
                                               kCFPropertyListMutableContainersAndLeaves)) != 0;
    const bool mutableLeaves = (options & kCFPropertyListMutableContainersAndLeaves) != 0;
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        const std::string& text = *TextOf(value);
        return MakeTextObject(text.data(), text.size(), mutableLeaves);
    }
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(value);
        return mutableLeaves ? static_cast<CFTypeRef>(CFDataCreateMutableCopy(nullptr, 0, data))
                             : CFDataCreate(nullptr, CFDataGetBytePtr(data), CFDataGetLength(data));
    }
    if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() || type == CFDateGetTypeID()) {
        return CFRetain(value);
    }
    if (type == CFArrayGetTypeID()) {
        auto source = static_cast<CFArrayRef>(value);
        CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (CFIndex i = 0; i < CFArrayGetCount(source); ++i) {
            CFTypeRef item = Copy(CFArrayGetValueAtIndex(source, i), options, depth + 1);
            if (!item) {
                CFRelease(array);
                return nullptr;
            }
            CFArrayAppendValue(array, item);
            CFRelease(item);
        }
        if (mutableContainers) return array;
        CFArrayRef frozen = CFArrayCreateCopy(nullptr, array);
        CFRelease(array);
        return frozen;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto source = static_cast<CFDictionaryRef>(value);
        const CFIndex count = CFDictionaryGetCount(source);
        std::vector<const void*> keys(static_cast<size_t>(count));
        std::vector<const void*> values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(source, keys.data(), values.data());
        CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        for (CFIndex i = 0; i < count; ++i) {
            CFTypeRef item = TextOf(keys[i]) ? Copy(values[i], options, depth + 1) : nullptr;
            if (!item) {
                CFRelease(dict);
                return nullptr;
            }
            CFStringRef key = MakeString(*TextOf(keys[i]));
            CFDictionarySetValue(dict, key, item);
            CFRelease(key);
            CFRelease(item);
        }
        if (mutableContainers) return dict;
        CFDictionaryRef frozen = CFDictionaryCreateCopy(nullptr, dict);
        CFRelease(dict);
        return frozen;
    }
    return nullptr;
}

bool Valid(CFTypeRef value, CFPropertyListFormat format, int depth) {
    if (!value || depth > kMaxPlistDepth) return false;
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID() || type == CFDataGetTypeID()) return true;
    if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() || type == CFDateGetTypeID()) {
        return format != kCFPropertyListOpenStepFormat;
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            if (!Valid(CFArrayGetValueAtIndex(array, i), format, depth + 1)) return false;
        }
        return true;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dict = static_cast<CFDictionaryRef>(value);
        const CFIndex count = CFDictionaryGetCount(dict);
        std::vector<const void*> keys(static_cast<size_t>(count));
        std::vector<const void*> values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
        for (CFIndex i = 0; i < count; ++i) {
            if (!TextOf(keys[i]) || !Valid(values[i], format, depth + 1)) return false;
        }
        return true;
    }
    return false;
}

} // namespace

CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags /*options*/,
                                   CFErrorRef* error) {
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        Fail(error, kCFPropertyListWriteStreamError, "Property list format not supported");
        return nullptr;
    }
    PlistPtr node(ToNode(propertyList, 0));
    if (!node) {
        Fail(error, kCFPropertyListWriteStreamError, "Property list invalid for format");
        return nullptr;
    }
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0) {
        plist_to_xml(node.get(), &bytes, &length);
    } else {
        plist_to_bin(node.get(), &bytes, &length);
    }
    if (!bytes) {
        Fail(error, kCFPropertyListWriteStreamError, "Property list could not be encoded");
        return nullptr;
    }
    CFDataRef data = CFDataCreate(allocator, reinterpret_cast<const UInt8*>(bytes), length);
    if (format == kCFPropertyListXMLFormat_v1_0) {
        plist_to_xml_free(bytes);
    } else {
        plist_to_bin_free(bytes);
    }
    return data;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef /*allocator*/, CFDataRef data,
                                               CFOptionFlags options, CFPropertyListFormat* format,
                                               CFErrorRef* error) {
    const UInt8* bytes = CFDataGetBytePtr(data);
    const CFIndex length = CFDataGetLength(data);
    if (!bytes || length <= 0 || length > static_cast<CFIndex>(UINT32_MAX)) {
        Fail(error, kCFPropertyListReadCorruptError, "No property list data");
        return nullptr;
    }
    const char* chars = reinterpret_cast<const char*>(bytes);
    const auto size = static_cast<uint32_t>(length);
    const bool binary = plist_is_binary(chars, size) != 0;
    // XML has no NUL character; the parser would cut text short at one.
    const bool withinLimits =
        binary ? BinaryPlistWithinLimits(bytes, size)
               : std::memchr(chars, 0, size) == nullptr && XmlNestingWithinLimits(chars, size);
    if (!withinLimits) {
        Fail(error, kCFPropertyListReadCorruptError, "Property list is malformed or too deep");
        return nullptr;
    }
    plist_t root = nullptr;
    if (binary) {
        plist_from_bin(chars, size, &root);
    } else {
        plist_from_xml(chars, size, &root);
    }
    PlistPtr node(root);
    CFTypeRef result = node ? FromNode(node.get(), options, 0) : nullptr;
    if (!result) {
        Fail(error, kCFPropertyListReadCorruptError, "Property list is malformed");
        return nullptr;
    }
    if (format) *format = binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    return result;
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef /*allocator*/,
                                               CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption) {
    return Copy(propertyList, mutabilityOption, 0);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
    return Valid(plist, format, 0);
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList) {
    return CFPropertyListCreateData(allocator, propertyList, kCFPropertyListXMLFormat_v1_0, 0,
                                    nullptr);
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString) {
    CFErrorRef error = nullptr;
    CFPropertyListRef result =
        CFPropertyListCreateWithData(allocator, xmlData, mutabilityOption, nullptr, &error);
    if (!result && errorString) *errorString = CFErrorCopyDescription(error);
    if (error) CFRelease(error);
    return result;
}
