// libFuzzer target for the property-list reader: any bytes must give a valid tree or NULL, and
// a tree that was read must survive a binary write and read unchanged.
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// CFEqual, except that dates may differ by a microsecond (the binary form keeps whole
// microseconds) and that times within a second of 2001 may lose their sign (the binary reader
// keeps it in the whole seconds).
bool Equivalent(CFTypeRef a, CFTypeRef b) {
    if (CFGetTypeID(a) != CFGetTypeID(b)) return false;
    const CFTypeID type = CFGetTypeID(a);
    if (type == CFDateGetTypeID()) {
        const double x = CFDateGetAbsoluteTime(static_cast<CFDateRef>(a));
        const double y = CFDateGetAbsoluteTime(static_cast<CFDateRef>(b));
        return std::fabs(x - y) <= 2e-6 ||
               (std::fabs(x) < 1 && std::fabs(std::fabs(x) - std::fabs(y)) <= 2e-6);
    }
    if (type == CFArrayGetTypeID()) {
        auto x = static_cast<CFArrayRef>(a);
        auto y = static_cast<CFArrayRef>(b);
        if (CFArrayGetCount(x) != CFArrayGetCount(y)) return false;
        for (CFIndex i = 0; i < CFArrayGetCount(x); ++i) {
            if (!Equivalent(CFArrayGetValueAtIndex(x, i), CFArrayGetValueAtIndex(y, i))) {
                return false;
            }
        }
        return true;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto x = static_cast<CFDictionaryRef>(a);
        auto y = static_cast<CFDictionaryRef>(b);
        const CFIndex count = CFDictionaryGetCount(x);
        if (count != CFDictionaryGetCount(y)) return false;
        std::vector<const void*> keys(count), values(count);
        CFDictionaryGetKeysAndValues(x, keys.data(), values.data());
        for (CFIndex i = 0; i < count; ++i) {
            const void* other = nullptr;
            if (!CFDictionaryGetValueIfPresent(y, keys[i], &other) ||
                !Equivalent(values[i], other)) {
                return false;
            }
        }
        return true;
    }
    return CFEqual(a, b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the mutability option; the rest is the document.
    const CFOptionFlags options = bytes[0] % 3;
    CFDataRef data = CFDataCreate(nullptr, bytes + 1, static_cast<CFIndex>(size - 1));
    CFErrorRef error = nullptr;
    CFPropertyListRef tree = CFPropertyListCreateWithData(nullptr, data, options, nullptr, &error);
    CFRelease(data);
    if (!tree) {
        if (!error) std::abort(); // a refusal always says why
        CFRelease(error);
        return 0;
    }
    if (!CFPropertyListIsValid(tree, kCFPropertyListBinaryFormat_v1_0)) std::abort();
    CFDataRef binary =
        CFPropertyListCreateData(nullptr, tree, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    if (binary) {
        CFPropertyListRef again =
            CFPropertyListCreateWithData(nullptr, binary, 0, nullptr, nullptr);
        if (!again || !Equivalent(tree, again)) std::abort();
        CFRelease(again);
        CFRelease(binary);
    }
    CFDataRef xml =
        CFPropertyListCreateData(nullptr, tree, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    if (xml) CFRelease(xml);
    CFRelease(tree);
    return 0;
}
