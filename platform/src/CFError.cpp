// CFError: domain, code and user info.
#include "CFInternal.h"
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

using namespace zerub::cf;

const CFErrorDomain kCFErrorDomainPOSIX = CFSTR("NSPOSIXErrorDomain");
const CFErrorDomain kCFErrorDomainOSStatus = CFSTR("NSOSStatusErrorDomain");
const CFErrorDomain kCFErrorDomainCocoa = CFSTR("NSCocoaErrorDomain");
const CFStringRef kCFErrorLocalizedDescriptionKey = CFSTR("NSLocalizedDescription");
const CFStringRef kCFErrorDescriptionKey = CFSTR("NSDescription");

struct __CFError final : Object {
    __CFError(CFStringRef errorDomain, CFIndex errorCode, CFDictionaryRef info)
        : Object(kTypeError), domain(static_cast<CFStringRef>(CFRetain(errorDomain))),
          code(errorCode), userInfo(info ? CFDictionaryCreateCopy(nullptr, info)
                                         : CFDictionaryCreate(nullptr, nullptr, nullptr, 0,
                                                              &kCFTypeDictionaryKeyCallBacks,
                                                              &kCFTypeDictionaryValueCallBacks)) {}
    ~__CFError() override {
        CFRelease(domain);
        CFRelease(userInfo);
    }

    bool Equal(const Object& other) const override {
        const auto& that = static_cast<const __CFError&>(other);
        return code == that.code && CFEqual(domain, that.domain) &&
               CFEqual(userInfo, that.userInfo);
    }
    CFHashCode Hash() const override { return static_cast<CFHashCode>(code); }
    std::string Describe() const override {
        std::string text = TextOr(CFDictionaryGetValue(userInfo, kCFErrorDescriptionKey));
        if (text.empty()) {
            text = TextOr(CFDictionaryGetValue(userInfo, kCFErrorLocalizedDescriptionKey));
        }
        std::string result = "Error Domain=" + TextOr(domain) + " Code=" + std::to_string(code);
        if (!text.empty()) result += " \"" + text + "\"";
        return result;
    }

    const CFStringRef domain;
    const CFIndex code;
    const CFDictionaryRef userInfo;
};

namespace {
const __CFError* ErrorOf(CFTypeRef ref) {
    return As<const __CFError>(ref, kTypeError);
}
} // namespace

CFErrorRef CFErrorCreate(CFAllocatorRef /*allocator*/, CFErrorDomain domain, CFIndex code,
                         CFDictionaryRef userInfo) {
    if (!TextOf(domain)) return nullptr;
    return new __CFError(domain, code, userInfo);
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err) {
    const __CFError* error = ErrorOf(err);
    return error ? error->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
    const __CFError* error = ErrorOf(err);
    return error ? error->code : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
    const __CFError* error = ErrorOf(err);
    return error ? MakeStringLenient(error->Describe()) : nullptr;
}
