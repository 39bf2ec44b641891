// Reference counting, type dispatch, allocators and kCFNull.
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

using zerub::cf::FromRef;
using zerub::cf::Object;

namespace zerub::cf {

std::string Object::Describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "<CFType %p>", static_cast<const void*>(this));
    return text;
}

CFIndex Object::RetainCount() const {
    return m_constant ? std::numeric_limits<CFIndex>::max()
                      : m_refs.load(std::memory_order_relaxed);
}

std::string DescriptionOf(CFTypeRef ref) {
    return ref ? FromRef(ref)->Describe() : std::string("(null)");
}

std::string DescribeValue(CFStringRef (*describe)(const void*), const void* value) {
    if (describe) {
        if (CFStringRef text = describe(value)) {
            std::string result = DescriptionOf(text);
            CFRelease(text);
            return result;
        }
    }
    char address[32];
    std::snprintf(address, sizeof address, "<%p>", value);
    return address;
}

CFHashCode HashBytes(const void* bytes, size_t length, CFHashCode seed) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    CFHashCode hash = 14695981039346656037ULL ^ seed;
    for (size_t i = 0; i < length; ++i) {
        hash ^= p[i];
        hash *= 1099511628211ULL;
    }
    return hash;
}

} // namespace zerub::cf

// Allocators: every allocator but kCFAllocatorNull hands out malloc memory.
struct __CFAllocator final : Object {
    explicit __CFAllocator(bool usesMalloc, const char* label)
        : Object(zerub::cf::kTypeAllocator), allocates(usesMalloc), name(label) {
        MakeConstant();
    }
    std::string Describe() const override { return std::string("<CFAllocator ") + name + ">"; }
    const bool allocates;
    const char* const name;
};

namespace {
__CFAllocator systemAllocator(true, "kCFAllocatorSystemDefault");
__CFAllocator mallocAllocator(true, "kCFAllocatorMalloc");
__CFAllocator mallocZoneAllocator(true, "kCFAllocatorMallocZone");
__CFAllocator nullAllocator(false, "kCFAllocatorNull");
__CFAllocator contextAllocator(true, "kCFAllocatorUseContext");

bool Allocates(CFAllocatorRef allocator) {
    return allocator != &nullAllocator;
}
} // namespace

const CFAllocatorRef kCFAllocatorSystemDefault = &systemAllocator;
const CFAllocatorRef kCFAllocatorMalloc = &mallocAllocator;
const CFAllocatorRef kCFAllocatorMallocZone = &mallocZoneAllocator;
const CFAllocatorRef kCFAllocatorNull = &nullAllocator;
const CFAllocatorRef kCFAllocatorUseContext = &contextAllocator;

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags /*hint*/) {
    if (size <= 0 || !Allocates(allocator)) return nullptr;
    return std::malloc(static_cast<size_t>(size));
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr) {
    if (Allocates(allocator)) std::free(ptr);
}

// kCFNull: the one null object, for containers that must hold "nothing".
struct __CFNull final : Object {
    __CFNull() : Object(zerub::cf::kTypeNull) { MakeConstant(); }
    std::string Describe() const override { return "<CFNull>"; }
};

namespace {
__CFNull nullObject;
}

const CFNullRef kCFNull = &nullObject;

CFTypeRef CFRetain(CFTypeRef cf) {
    if (cf) FromRef(cf)->Retain();
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (cf) FromRef(cf)->Release();
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    return cf ? FromRef(cf)->RetainCount() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    return cf ? FromRef(cf)->Type() : 0;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    if (cf1 == cf2) return true;
    if (!cf1 || !cf2) return false;
    const Object* a = FromRef(cf1);
    const Object* b = FromRef(cf2);
    return a->Type() == b->Type() && a->Equal(*b);
}

CFHashCode CFHash(CFTypeRef cf) {
    return cf ? FromRef(cf)->Hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
    if (!cf) return nullptr;
    const std::string text = FromRef(cf)->Describe();
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                   static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
}
