// CFData and CFDate.
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace zerub::cf;

struct __CFData final : Object {
    __CFData(std::vector<UInt8> content, bool mutableData)
        : Object(kTypeData), bytes(std::move(content)), isMutable(mutableData) {}

    bool Equal(const Object& other) const override {
        return bytes == static_cast<const __CFData&>(other).bytes;
    }
    CFHashCode Hash() const override { return HashBytes(bytes.data(), bytes.size()); }
    std::string Describe() const override {
        std::string text = "<";
        char hex[3];
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0) text.push_back(' ');
            std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
            text += hex;
        }
        return text + ">";
    }

    std::vector<UInt8> bytes;
    const bool isMutable;
};

namespace {

const __CFData* DataOf(CFTypeRef ref) {
    return As<const __CFData>(ref, kTypeData);
}

__CFData* MutableDataOf(CFTypeRef ref) {
    __CFData* data = As<__CFData>(ref, kTypeData);
    return data && data->isMutable ? data : nullptr;
}

bool RangeInside(CFRange range, size_t size) {
    return range.location >= 0 && range.length >= 0 &&
           static_cast<size_t>(range.location) <= size &&
           static_cast<size_t>(range.length) <= size - static_cast<size_t>(range.location);
}

} // namespace

CFTypeID CFDataGetTypeID(void) {
    return kTypeData;
}

CFDataRef CFDataCreate(CFAllocatorRef /*allocator*/, const UInt8* bytes, CFIndex length) {
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    return new __CFData(std::vector<UInt8>(bytes, bytes + length), false);
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef /*allocator*/, CFIndex /*capacity*/) {
    return new __CFData(std::vector<UInt8>(), true);
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef /*allocator*/, CFIndex /*capacity*/,
                                         CFDataRef theData) {
    const __CFData* data = DataOf(theData);
    return data ? new __CFData(data->bytes, true) : nullptr;
}

CFIndex CFDataGetLength(CFDataRef theData) {
    const __CFData* data = DataOf(theData);
    return data ? static_cast<CFIndex>(data->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
    const __CFData* data = DataOf(theData);
    return data ? data->bytes.data() : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData) {
    __CFData* data = MutableDataOf(theData);
    return data ? data->bytes.data() : nullptr;
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer) {
    const __CFData* data = DataOf(theData);
    if (!data || !buffer || !RangeInside(range, data->bytes.size())) return;
    if (range.length > 0) std::memcpy(buffer, data->bytes.data() + range.location, range.length);
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
    __CFData* data = MutableDataOf(theData);
    if (data && length >= 0) data->bytes.resize(static_cast<size_t>(length), 0);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
    __CFData* data = MutableDataOf(theData);
    if (data && bytes && length > 0) data->bytes.insert(data->bytes.end(), bytes, bytes + length);
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                        CFIndex newLength) {
    __CFData* data = MutableDataOf(theData);
    if (!data || !RangeInside(range, data->bytes.size()) || newLength < 0 ||
        (!newBytes && newLength > 0)) {
        return;
    }
    // newBytes may point into the data itself: copy them out first.
    const std::vector<UInt8> replacement(newBytes, newBytes + newLength);
    auto first = data->bytes.begin() + range.location;
    data->bytes.erase(first, first + range.length);
    data->bytes.insert(data->bytes.begin() + range.location, replacement.begin(),
                       replacement.end());
}

// CFDate.
const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
const CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;

struct __CFDate final : Object {
    explicit __CFDate(CFAbsoluteTime time) : Object(kTypeDate), at(time) {}
    bool Equal(const Object& other) const override {
        return at == static_cast<const __CFDate&>(other).at;
    }
    CFHashCode Hash() const override { return HashBytes(&at, sizeof at); }
    std::string Describe() const override {
        char text[64];
        std::snprintf(text, sizeof text, "<CFDate %.6f>", at);
        return text;
    }
    const CFAbsoluteTime at;
};

CFTypeID CFDateGetTypeID(void) {
    return kTypeDate;
}

CFDateRef CFDateCreate(CFAllocatorRef /*allocator*/, CFAbsoluteTime at) {
    return new __CFDate(at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
    const auto* date = As<const __CFDate>(theDate, kTypeDate);
    return date ? date->at : 0.0;
}
