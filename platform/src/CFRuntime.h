// The object model behind every CF type: a reference-counted base with a type ID and the
// equality, hashing and description operations CFEqual, CFHash and CFCopyDescription dispatch
// to. Each opaque CF struct (__CFString, __CFArray, ...) derives from zerub::cf::Object.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <atomic>
#include <string>

namespace zerub::cf {

// Type IDs, stable for the life of the process.
enum : CFTypeID {
    kTypeNull = 1,
    kTypeAllocator,
    kTypeString,
    kTypeNumber,
    kTypeBoolean,
    kTypeData,
    kTypeDate,
    kTypeArray,
    kTypeDictionary,
    kTypeURL,
    kTypeBundle,
    kTypeError,
    kTypeCount
};

class Object {
public:
    explicit Object(CFTypeID type) : m_type(type) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    CFTypeID Type() const { return m_type; }

    // Called only with another object of the same type.
    virtual bool Equal(const Object& other) const { return this == &other; }
    virtual CFHashCode Hash() const { return reinterpret_cast<CFHashCode>(this); }
    // The text %@ and CFCopyDescription give.
    virtual std::string Describe() const;

    void Retain() {
        if (!m_constant) m_refs.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() {
        if (m_constant) return;
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    CFIndex RetainCount() const;

    // Constant objects are never freed; retain and release leave them alone.
    void MakeConstant() { m_constant = true; }

private:
    const CFTypeID m_type;
    std::atomic<CFIndex> m_refs{1};
    bool m_constant = false;
};

// The object behind a reference, or nullptr for NULL.
inline Object* FromRef(CFTypeRef ref) {
    return static_cast<Object*>(const_cast<void*>(ref));
}

// The object as T when it has type id, else nullptr.
template <class T>
T* As(CFTypeRef ref, CFTypeID id) {
    Object* object = FromRef(ref);
    return object && object->Type() == id ? static_cast<T*>(object) : nullptr;
}

// Text of a CF object's description, "(null)" for NULL.
std::string DescriptionOf(CFTypeRef ref);

// Text of a container's value through its copyDescription callback, or its address without one.
std::string DescribeValue(CFStringRef (*describe)(const void*), const void* value);

// 64-bit FNV-1a over bytes, folded with seed.
CFHashCode HashBytes(const void* bytes, size_t length, CFHashCode seed = 0);

} // namespace zerub::cf
