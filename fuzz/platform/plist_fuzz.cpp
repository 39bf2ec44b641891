// libFuzzer target for the property-list reader: any bytes must give a valid tree or NULL, and
// a tree that was read must survive a binary write and read unchanged.
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <cstdlib>

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
        if (!again || !CFEqual(tree, again)) std::abort();
        CFRelease(again);
        CFRelease(binary);
    }
    CFDataRef xml =
        CFPropertyListCreateData(nullptr, tree, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    if (xml) CFRelease(xml);
    CFRelease(tree);
    return 0;
}
