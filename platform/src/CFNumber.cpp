// CFNumber (an integer up to 64 bits or a double, with the type it was made as) and CFBoolean.
#include "CFRuntime.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using namespace zerub::cf;

namespace {

// The storage type a C-named number type maps onto on this 64-bit target.
CFNumberType StorageType(CFNumberType type) {
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        return kCFNumberFloat64Type;
    default:
        return 0;
    }
}

bool IsFloatStorage(CFNumberType storage) {
    return storage == kCFNumberFloat32Type || storage == kCFNumberFloat64Type;
}

int IntegerBits(CFNumberType storage) {
    switch (storage) {
    case kCFNumberSInt8Type:
        return 8;
    case kCFNumberSInt16Type:
        return 16;
    case kCFNumberSInt32Type:
        return 32;
    default:
        return 64;
    }
}

// The double d as an int64 when it is integral and in range.
bool ExactInteger(double d, int64_t& out) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || std::trunc(d) != d) {
        return false;
    }
    out = static_cast<int64_t>(d);
    return true;
}

} // namespace

struct __CFNumber final : Object {
    __CFNumber(CFNumberType type, int64_t i, double d)
        : Object(kTypeNumber), storage(type), integer(i), real(d) {}

    bool IsFloat() const { return IsFloatStorage(storage); }

    bool Equal(const Object& other) const override {
        return CFNumberCompare(this, static_cast<const __CFNumber*>(&other), nullptr) ==
               kCFCompareEqualTo;
    }
    CFHashCode Hash() const override {
        int64_t value = integer;
        if (IsFloat() && !ExactInteger(real, value)) return HashBytes(&real, sizeof real);
        return HashBytes(&value, sizeof value);
    }
    std::string Describe() const override {
        char text[64];
        if (IsFloat()) {
            std::snprintf(text, sizeof text, "%.17g", real);
        } else {
            std::snprintf(text, sizeof text, "%lld", static_cast<long long>(integer));
        }
        return text;
    }

    const CFNumberType storage;
    const int64_t integer; // the value when storage is an integer type
    const double real;     // the value when storage is a float type
};

CFTypeID CFNumberGetTypeID(void) {
    return kTypeNumber;
}

CFNumberRef CFNumberCreate(CFAllocatorRef /*allocator*/, CFNumberType theType,
                           const void* valuePtr) {
    const CFNumberType storage = StorageType(theType);
    if (!valuePtr || storage == 0) return nullptr;
    switch (storage) {
    case kCFNumberSInt8Type: {
        int8_t v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, v, 0.0);
    }
    case kCFNumberSInt16Type: {
        int16_t v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, v, 0.0);
    }
    case kCFNumberSInt32Type: {
        int32_t v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, v, 0.0);
    }
    case kCFNumberSInt64Type: {
        int64_t v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, v, 0.0);
    }
    case kCFNumberFloat32Type: {
        float v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, 0, v);
    }
    default: {
        double v;
        std::memcpy(&v, valuePtr, sizeof v);
        return new __CFNumber(storage, 0, v);
    }
    }
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const auto* n = As<const __CFNumber>(number, kTypeNumber);
    return n ? n->storage : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const auto* n = As<const __CFNumber>(number, kTypeNumber);
    return n && n->IsFloat();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    const auto* n = As<const __CFNumber>(number, kTypeNumber);
    const CFNumberType target = StorageType(theType);
    if (!n || !valuePtr || target == 0) return false;

    if (IsFloatStorage(target)) {
        double d;
        bool exact = true;
        if (n->IsFloat()) {
            d = n->real;
        } else {
            d = static_cast<double>(n->integer);
            int64_t back;
            exact = ExactInteger(d, back) && back == n->integer;
        }
        if (target == kCFNumberFloat64Type) {
            std::memcpy(valuePtr, &d, sizeof d);
            return exact;
        }
        float f;
        if (std::isnan(d)) {
            f = std::numeric_limits<float>::quiet_NaN();
        } else if (std::fabs(d) > std::numeric_limits<float>::max()) {
            const float infinity = std::numeric_limits<float>::infinity();
            f = d > 0 ? infinity : -infinity;
            exact = exact && std::isinf(d);
        } else {
            f = static_cast<float>(d);
            exact = exact && static_cast<double>(f) == d;
        }
        std::memcpy(valuePtr, &f, sizeof f);
        return exact;
    }

    const int bits = IntegerBits(target);
    const int64_t min =
        bits == 64 ? std::numeric_limits<int64_t>::min() : -(int64_t(1) << (bits - 1));
    const int64_t max =
        bits == 64 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << (bits - 1)) - 1;
    int64_t value;
    bool exact;
    if (n->IsFloat()) {
        const double d = n->real;
        if (std::isnan(d)) {
            value = 0;
            exact = false;
        } else if (d <= static_cast<double>(min)) {
            value = min;
            exact = d == static_cast<double>(min);
        } else if (d >= static_cast<double>(max)) {
            // max itself may not be a double (2^63 - 1 rounds up), so compare as doubles.
            value = max;
            exact = bits < 64 && d == static_cast<double>(max);
        } else {
            value = static_cast<int64_t>(std::trunc(d));
            exact = static_cast<double>(value) == d;
        }
    } else {
        // Wrap to the target width, as a C cast would.
        const uint64_t mask = bits == 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
        uint64_t raw = static_cast<uint64_t>(n->integer) & mask;
        if (bits < 64 && (raw >> (bits - 1)) & 1) raw |= ~mask;
        value = static_cast<int64_t>(raw);
        exact = n->integer >= min && n->integer <= max;
    }
    switch (bits) {
    case 8: {
        const int8_t v = static_cast<int8_t>(value);
        std::memcpy(valuePtr, &v, sizeof v);
        break;
    }
    case 16: {
        const int16_t v = static_cast<int16_t>(value);
        std::memcpy(valuePtr, &v, sizeof v);
        break;
    }
    case 32: {
        const int32_t v = static_cast<int32_t>(value);
        std::memcpy(valuePtr, &v, sizeof v);
        break;
    }
    default:
        std::memcpy(valuePtr, &value, sizeof value);
        break;
    }
    return exact;
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void* /*context*/) {
    const auto* a = As<const __CFNumber>(number, kTypeNumber);
    const auto* b = As<const __CFNumber>(otherNumber, kTypeNumber);
    if (!a || !b) return a ? kCFCompareGreaterThan : (b ? kCFCompareLessThan : kCFCompareEqualTo);
    if (!a->IsFloat() && !b->IsFloat()) {
        return a->integer < b->integer   ? kCFCompareLessThan
               : a->integer > b->integer ? kCFCompareGreaterThan
                                         : kCFCompareEqualTo;
    }
    // long double holds every int64 exactly on this target. NaN sorts below everything and
    // equals itself, so that equal numbers hash alike.
    const long double x = a->IsFloat() ? a->real : static_cast<long double>(a->integer);
    const long double y = b->IsFloat() ? b->real : static_cast<long double>(b->integer);
    if (std::isnan(x) || std::isnan(y)) {
        if (std::isnan(x) && std::isnan(y)) return kCFCompareEqualTo;
        return std::isnan(x) ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    return x < y ? kCFCompareLessThan : x > y ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

struct __CFBoolean final : Object {
    explicit __CFBoolean(bool flag) : Object(kTypeBoolean), value(flag) { MakeConstant(); }
    std::string Describe() const override { return value ? "true" : "false"; }
    const bool value;
};

namespace {
__CFBoolean trueObject(true);
__CFBoolean falseObject(false);
} // namespace

const CFBooleanRef kCFBooleanTrue = &trueObject;
const CFBooleanRef kCFBooleanFalse = &falseObject;

CFTypeID CFBooleanGetTypeID(void) {
    return kTypeBoolean;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    return boolean == kCFBooleanTrue;
}
