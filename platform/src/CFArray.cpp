// CFArray: values kept through the array's own copy of its callbacks.
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <vector>

using namespace zerub::cf;

namespace {

const void* RetainType(CFAllocatorRef, const void* value) {
    return CFRetain(value);
}

void ReleaseType(CFAllocatorRef, const void* value) {
    CFRelease(value);
}

} // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, RetainType, ReleaseType, CFCopyDescription,
                                                CFEqual};

struct __CFArray final : Object {
    __CFArray(const CFArrayCallBacks* arrayCallBacks, bool mutableArray)
        : Object(kTypeArray), callBacks(arrayCallBacks ? *arrayCallBacks : CFArrayCallBacks{}),
          isMutable(mutableArray) {}

    ~__CFArray() override {
        for (const void* value : values)
            Drop(value);
    }

    const void* Keep(const void* value) const {
        return callBacks.retain ? callBacks.retain(nullptr, value) : value;
    }
    void Drop(const void* value) const {
        if (callBacks.release) callBacks.release(nullptr, value);
    }
    bool Same(const void* a, const void* b) const {
        return a == b || (callBacks.equal && callBacks.equal(a, b));
    }

    bool Equal(const Object& other) const override {
        const auto& that = static_cast<const __CFArray&>(other);
        if (values.size() != that.values.size()) return false;
        for (size_t i = 0; i < values.size(); ++i) {
            if (!Same(values[i], that.values[i])) return false;
        }
        return true;
    }
    CFHashCode Hash() const override { return values.size(); }
    std::string Describe() const override {
        std::string text = "(\n";
        for (size_t i = 0; i < values.size(); ++i) {
            text += "    " + DescribeValue(callBacks.copyDescription, values[i]);
            text += i + 1 < values.size() ? ",\n" : "\n";
        }
        return text + ")";
    }

    const CFArrayCallBacks callBacks;
    const bool isMutable;
    std::vector<const void*> values;
};

namespace {

const __CFArray* ArrayOf(CFTypeRef ref) {
    return As<const __CFArray>(ref, kTypeArray);
}

__CFArray* MutableArrayOf(CFTypeRef ref) {
    __CFArray* array = As<__CFArray>(ref, kTypeArray);
    return array && array->isMutable ? array : nullptr;
}

bool RangeInside(CFRange range, size_t size) {
    return range.location >= 0 && range.length >= 0 &&
           static_cast<size_t>(range.location) <= size &&
           static_cast<size_t>(range.length) <= size - static_cast<size_t>(range.location);
}

} // namespace

CFTypeID CFArrayGetTypeID(void) {
    return kTypeArray;
}

CFArrayRef CFArrayCreate(CFAllocatorRef /*allocator*/, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
    if (numValues < 0 || (!values && numValues > 0)) return nullptr;
    auto* array = new __CFArray(callBacks, false);
    array->values.reserve(static_cast<size_t>(numValues));
    for (CFIndex i = 0; i < numValues; ++i)
        array->values.push_back(array->Keep(values[i]));
    return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef allocator, CFArrayRef theArray) {
    const __CFArray* source = ArrayOf(theArray);
    if (!source) return nullptr;
    return CFArrayCreate(allocator, const_cast<const void**>(source->values.data()),
                         static_cast<CFIndex>(source->values.size()), &source->callBacks);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef /*allocator*/, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
    if (capacity < 0) return nullptr;
    return new __CFArray(callBacks, true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef /*allocator*/, CFIndex capacity,
                                           CFArrayRef theArray) {
    const __CFArray* source = ArrayOf(theArray);
    if (!source || capacity < 0) return nullptr;
    auto* array = new __CFArray(&source->callBacks, true);
    for (const void* value : source->values)
        array->values.push_back(array->Keep(value));
    return array;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    const __CFArray* array = ArrayOf(theArray);
    return array ? static_cast<CFIndex>(array->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    const __CFArray* array = ArrayOf(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) >= array->values.size()) return nullptr;
    return array->values[static_cast<size_t>(idx)];
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
    const __CFArray* array = ArrayOf(theArray);
    if (!array || !RangeInside(range, array->values.size())) return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i) {
        if (array->Same(array->values[i], value)) return i;
    }
    return kCFNotFound;
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
    __CFArray* array = MutableArrayOf(theArray);
    if (array) array->values.push_back(array->Keep(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
    __CFArray* array = MutableArrayOf(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) > array->values.size()) return;
    if (static_cast<size_t>(idx) == array->values.size()) {
        array->values.push_back(array->Keep(value));
        return;
    }
    const void* old = array->values[idx];
    array->values[idx] = array->Keep(value); // keep the new value before dropping the old one
    array->Drop(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
    __CFArray* array = MutableArrayOf(theArray);
    if (!array || idx < 0 || static_cast<size_t>(idx) >= array->values.size()) return;
    const void* old = array->values[idx];
    array->values.erase(array->values.begin() + idx);
    array->Drop(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
    __CFArray* array = MutableArrayOf(theArray);
    if (!array) return;
    std::vector<const void*> old;
    old.swap(array->values);
    for (const void* value : old)
        array->Drop(value);
}
