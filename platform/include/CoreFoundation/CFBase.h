// Core Foundation base: the object model every CF type shares (reference counting, type IDs,
// equality, hashing, descriptions), allocators and the common scalar types.
//
// Objects follow the ownership rule: a function whose name contains Create or Copy returns a
// reference the caller owns and must CFRelease; a Get function returns a reference the caller
// does not own. Reference counts are atomic, so objects may be retained and released from any
// thread; mutating one object from two threads at once still needs the caller's own lock.
#pragma once

#include <MacTypes.h>
#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#endif

#define CF_EXPORT extern __attribute__((visibility("default")))
#define CF_INLINE static inline
// A function whose result the caller owns though its name says neither Create nor Copy, for the
// static analyser's ownership checks (which read the names); nothing where the compiler lacks it.
#if __has_attribute(cf_returns_retained)
#define CF_RETURNS_RETAINED __attribute__((cf_returns_retained))
#else
#define CF_RETURNS_RETAINED
#endif

// Enumerations. CF_ENUM(type, Name) declares Name as the integer type and opens an enumeration
// of its constants; CF_ENUM(type) opens an anonymous one. In C++ the constants take the type as
// their underlying type, so values such as 0xFFFF0000 keep their width.
#ifdef __cplusplus
#define __CF_ANON_ENUM(_type) enum : _type
#define __CF_NAMED_ENUM(_type, _name)                                                              \
    _type _name;                                                                                   \
    enum : _type
#else
// C before C23 has no enum-base; __extension__ lets constants past int's range through, as the
// compilers accept them, without pedantic warnings.
#define __CF_ANON_ENUM(_type) __extension__ enum
#define __CF_NAMED_ENUM(_type, _name)                                                              \
    _type _name;                                                                                   \
    __extension__ enum
#endif
#define __CF_ENUM_GET_MACRO(_1, _2, NAME, ...) NAME
#define CF_ENUM(...)                                                                               \
    __CF_ENUM_GET_MACRO(__VA_ARGS__, __CF_NAMED_ENUM, __CF_ANON_ENUM, )(__VA_ARGS__)
#define CF_OPTIONS(_type, _name) __CF_NAMED_ENUM(_type, _name)

CF_EXTERN_C_BEGIN

typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef signed long CFIndex;

typedef const void* CFTypeRef;

typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;

// Any of CFString, CFNumber, CFBoolean, CFDate, CFData, CFArray, CFDictionary.
typedef CFTypeRef CFPropertyListRef;

typedef CF_ENUM(CFIndex, CFComparisonResult) {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

typedef CFComparisonResult (*CFComparatorFunction)(const void* val1, const void* val2,
                                                   void* context);

enum { kCFNotFound = -1 };

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

CF_INLINE CFRange CFRangeMake(CFIndex loc, CFIndex len) {
    CFRange range;
    range.location = loc;
    range.length = len;
    return range;
}

typedef const struct __CFNull* CFNullRef;
CF_EXPORT const CFNullRef kCFNull;

// Allocators. kCFAllocatorDefault (NULL) stands for the default allocator everywhere one is
// taken; kCFAllocatorNull allocates nothing and frees nothing (for bytes the caller keeps).
typedef const struct __CFAllocator* CFAllocatorRef;

#define kCFAllocatorDefault ((CFAllocatorRef)NULL)
CF_EXPORT const CFAllocatorRef kCFAllocatorSystemDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorMalloc;
CF_EXPORT const CFAllocatorRef kCFAllocatorMallocZone;
CF_EXPORT const CFAllocatorRef kCFAllocatorNull;
CF_EXPORT const CFAllocatorRef kCFAllocatorUseContext;

CF_EXPORT void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
CF_EXPORT void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// Reference counting. CFRetain(NULL) returns NULL and CFRelease(NULL) does nothing.
CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);
CF_EXPORT void CFRelease(CFTypeRef cf);
// Constant objects (CFSTR strings, kCFBooleanTrue, ...) report a very large count.
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);

CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CF_EXPORT CFHashCode CFHash(CFTypeRef cf);
CF_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);

CF_EXTERN_C_END
