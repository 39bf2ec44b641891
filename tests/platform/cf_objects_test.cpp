// Core Foundation objects: reference counting and ownership, container callbacks, numbers,
// data and URLs.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

namespace {

CFStringRef Str(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

std::string Text(CFStringRef string) {
    char buffer[1024];
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer
                                                                                    : "<none>";
}

CFNumberRef Int(SInt32 value) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

TEST(CFOwnership, CreateCopyAndRetainFollowTheCounts) {
    CFStringRef s = Str("gain");
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(CFGetRetainCount(s), 1);

    // Copying an immutable object hands back the same object, retained.
    CFStringRef copy = CFStringCreateCopy(nullptr, s);
    EXPECT_EQ(copy, s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(copy);

    // Copying a mutable one makes a new, independent object.
    CFMutableStringRef m = CFStringCreateMutableCopy(nullptr, 0, s);
    CFStringRef frozen = CFStringCreateCopy(nullptr, m);
    EXPECT_NE(frozen, static_cast<CFStringRef>(m));
    CFStringAppend(m, CFSTR(" knob"));
    EXPECT_EQ(Text(m), "gain knob");
    EXPECT_EQ(Text(frozen), "gain");
    CFRelease(frozen);
    CFRelease(m);
    CFRelease(s);
}

TEST(CFOwnership, ConstantsSurviveAnyNumberOfReleases) {
    for (int i = 0; i < 5; ++i) {
        CFRelease(kCFBooleanTrue);
        CFRelease(CFSTR("constant"));
    }
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_EQ(Text(CFSTR("constant")), "constant");
    EXPECT_GT(CFGetRetainCount(CFSTR("constant")), 1L << 40);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr); // no effect
}

TEST(CFOwnership, CountsAndConstantsHoldUnderConcurrentUse) {
    CFStringRef shared = Str("shared");
    std::vector<std::thread> threads;
    std::vector<CFStringRef> constants(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20000; ++i) {
                CFRetain(shared);
                CFRelease(shared);
            }
            constants[t] = CFSTR("made by many threads");
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(CFGetRetainCount(shared), 1);
    for (CFStringRef constant : constants)
        EXPECT_EQ(constant, constants[0]);
    CFRelease(shared);
}

TEST(CFOwnership, TypeIDsTellTypesApart) {
    CFStringRef s = Str("x");
    CFNumberRef n = Int(1);
    EXPECT_EQ(CFGetTypeID(s), CFStringGetTypeID());
    EXPECT_EQ(CFGetTypeID(n), CFNumberGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFBooleanFalse), CFBooleanGetTypeID());
    EXPECT_NE(CFStringGetTypeID(), CFNumberGetTypeID());
    // Functions given an object of another type answer their defaults.
    EXPECT_EQ(CFStringGetLength(reinterpret_cast<CFStringRef>(n)), 0);
    EXPECT_EQ(CFArrayGetCount(reinterpret_cast<CFArrayRef>(s)), 0);
    EXPECT_FALSE(CFEqual(s, n));
    CFRelease(n);
    CFRelease(s);
}

TEST(CFArray, TypeCallBacksRetainWhileHeldAndReleaseOnRemoval) {
    CFStringRef a = Str("a");
    CFStringRef b = Str("b");
    const void* values[] = {a, b};
    CFArrayRef fixed = CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks);
    EXPECT_EQ(CFGetRetainCount(a), 2);
    CFMutableArrayRef list = CFArrayCreateMutableCopy(nullptr, 0, fixed);
    EXPECT_EQ(CFGetRetainCount(a), 3);
    CFRelease(fixed);
    EXPECT_EQ(CFGetRetainCount(a), 2);

    CFArrayAppendValue(list, a);
    EXPECT_EQ(CFArrayGetCount(list), 3);
    EXPECT_EQ(CFGetRetainCount(a), 3);
    CFArrayRemoveValueAtIndex(list, 0);
    EXPECT_EQ(CFGetRetainCount(a), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, 0), b);

    // Replacing a value with itself must not free it on the way.
    CFArraySetValueAtIndex(list, 1, a);
    EXPECT_EQ(CFGetRetainCount(a), 2);
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, 1))), "a");

    EXPECT_EQ(CFArrayGetFirstIndexOfValue(list, CFRangeMake(0, 2), CFSTR("a")), 1);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, -1), nullptr);
    CFArrayRemoveValueAtIndex(list, 7); // outside: no change
    EXPECT_EQ(CFArrayGetCount(list), 2);

    CFRelease(list);
    EXPECT_EQ(CFGetRetainCount(a), 1);
    EXPECT_EQ(CFGetRetainCount(b), 1);
    CFRelease(a);
    CFRelease(b);
}

// Custom callbacks that box an int, so that what retain returns differs from what it is given.
struct Counts {
    int retains = 0, releases = 0, describes = 0, equals = 0;
};
Counts counts;

const void* BoxRetain(CFAllocatorRef, const void* value) {
    ++counts.retains;
    return new int(*static_cast<const int*>(value));
}
void BoxRelease(CFAllocatorRef, const void* value) {
    ++counts.releases;
    delete static_cast<const int*>(value);
}
CFStringRef BoxDescribe(const void* value) {
    ++counts.describes;
    return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("#%d"),
                                    *static_cast<const int*>(value));
}
Boolean BoxEqual(const void* a, const void* b) {
    ++counts.equals;
    return *static_cast<const int*>(a) == *static_cast<const int*>(b);
}

TEST(CFArray, CustomCallBacksAreHonoured) {
    counts = Counts();
    const CFArrayCallBacks callBacks = {0, BoxRetain, BoxRelease, BoxDescribe, BoxEqual};
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &callBacks);
    int seven = 7, nine = 9;
    CFArrayAppendValue(list, &seven);
    CFArrayAppendValue(list, &nine);
    EXPECT_EQ(counts.retains, 2);
    // The array holds what retain returned, not the caller's pointer.
    EXPECT_NE(CFArrayGetValueAtIndex(list, 0), &seven);
    EXPECT_EQ(*static_cast<const int*>(CFArrayGetValueAtIndex(list, 0)), 7);

    int probe = 9;
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(list, CFRangeMake(0, 2), &probe), 1);
    EXPECT_GT(counts.equals, 0);

    CFStringRef description = CFCopyDescription(list);
    EXPECT_EQ(counts.describes, 2);
    EXPECT_NE(Text(description).find("#7"), std::string::npos);
    EXPECT_NE(Text(description).find("#9"), std::string::npos);
    CFRelease(description);

    CFArrayRef copy = CFArrayCreateCopy(nullptr, list);
    EXPECT_EQ(counts.retains, 4);
    EXPECT_TRUE(CFEqual(copy, list));
    CFRelease(copy);
    CFRelease(list);
    EXPECT_EQ(counts.releases, 4);
}

TEST(CFArray, NullCallBacksKeepPlainPointers) {
    int values[3] = {1, 2, 3};
    const void* pointers[] = {&values[0], &values[1], &values[2]};
    CFArrayRef list = CFArrayCreate(nullptr, pointers, 3, nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, 2), &values[2]);
    int other = 2;
    // Without an equal callback values compare by address.
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(list, CFRangeMake(0, 3), &other), kCFNotFound);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(list, CFRangeMake(0, 3), &values[1]), 1);
    CFRelease(list);
}

TEST(CFDictionary, TypeCallBacksOwnKeysAndValues) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key = Str("subtype");
    CFNumberRef first = Int(1);
    CFNumberRef second = Int(2);
    CFDictionarySetValue(dict, key, first);
    EXPECT_EQ(CFGetRetainCount(key), 2);
    EXPECT_EQ(CFGetRetainCount(first), 2);

    // Another string with the same text finds the entry.
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("subtype")), first);
    CFDictionarySetValue(dict, CFSTR("subtype"), second);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    EXPECT_EQ(CFGetRetainCount(second), 2);

    CFDictionaryAddValue(dict, key, first); // present: Add changes nothing
    EXPECT_EQ(CFDictionaryGetValue(dict, key), second);
    CFDictionaryReplaceValue(dict, CFSTR("absent"), first); // absent: Replace adds nothing
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);

    CFDictionaryRef copy = CFDictionaryCreateCopy(nullptr, dict);
    EXPECT_TRUE(CFEqual(copy, dict));
    EXPECT_EQ(CFGetRetainCount(second), 3);
    CFRelease(copy);

    CFDictionaryRemoveValue(dict, CFSTR("subtype"));
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);
    EXPECT_EQ(CFGetRetainCount(key), 1);
    EXPECT_EQ(CFGetRetainCount(second), 1);
    CFRelease(dict);
    CFRelease(key);
    CFRelease(first);
    CFRelease(second);
}

TEST(CFDictionary, GetValueIfPresentTellsANullValueFromAbsence) {
    int keyA = 0, keyB = 0;
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(dict, &keyA, nullptr);
    const void* value = &keyB;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(dict, &keyA, &value));
    EXPECT_EQ(value, nullptr);
    value = &keyB;
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, &keyB, &value));
    EXPECT_EQ(value, &keyB);
    CFRelease(dict);
}

// Keys are C strings compared without regard to case.
CFHashCode FoldedHash(const void* key) {
    CFHashCode hash = 0;
    for (const char* p = static_cast<const char*>(key); *p; ++p)
        hash = hash * 31 + (*p | 0x20);
    return hash;
}
Boolean FoldedEqual(const void* a, const void* b) {
    return strcasecmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
}

TEST(CFDictionary, CustomKeyHashAndEqualAreHonoured) {
    const CFDictionaryKeyCallBacks keys = {0, nullptr, nullptr, nullptr, FoldedEqual, FoldedHash};
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &keys, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, "Level", kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetValue(dict, "LEVEL"), kCFBooleanTrue);
    CFDictionarySetValue(dict, "level", kCFBooleanFalse);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    EXPECT_EQ(CFDictionaryGetValue(dict, "Level"), kCFBooleanFalse);
    CFRelease(dict);
}

TEST(CFDictionary, CopyStringKeysAreNotAffectedByLaterEdits) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFMutableStringRef key = CFStringCreateMutable(nullptr, 0);
    CFStringAppendCString(key, "name", kCFStringEncodingUTF8);
    CFDictionarySetValue(dict, key, kCFBooleanTrue);
    CFStringAppendCString(key, "-changed", kCFStringEncodingUTF8);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), nullptr);
    EXPECT_EQ(CFGetRetainCount(key), 1);
    CFRelease(key);
    CFRelease(dict);
}

TEST(CFNumber, ConversionsReportWhetherTheyAreExact) {
    SInt64 big = 300;
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
    SInt8 small = 0;
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt8Type, &small));
    EXPECT_EQ(small, 44); // wrapped, as a C cast would
    SInt32 i32 = 0;
    EXPECT_TRUE(CFNumberGetValue(n, kCFNumberIntType, &i32));
    EXPECT_EQ(i32, 300);
    Float32 f = 0;
    EXPECT_TRUE(CFNumberGetValue(n, kCFNumberFloat32Type, &f));
    EXPECT_EQ(f, 300.0f);
    CFRelease(n);

    Float64 d = 3.75;
    n = CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &i32));
    EXPECT_EQ(i32, 3);
    EXPECT_TRUE(CFNumberGetValue(n, kCFNumberFloat32Type, &f)); // 3.75 is exact in a float
    EXPECT_EQ(CFNumberGetType(n), kCFNumberFloat64Type);
    EXPECT_TRUE(CFNumberIsFloatType(n));
    CFRelease(n);

    d = -3.75;
    n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &i32));
    EXPECT_EQ(i32, -3); // toward zero
    CFRelease(n);

    d = 1e40;
    n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberFloat32Type, &f));
    EXPECT_TRUE(std::isinf(f));
    SInt64 i64 = 0;
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt64Type, &i64));
    EXPECT_EQ(i64, std::numeric_limits<SInt64>::max());
    CFRelease(n);

    d = std::nan("");
    n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    i32 = 5;
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &i32));
    EXPECT_EQ(i32, 0);
    CFRelease(n);

    i64 = (SInt64(1) << 53) + 1; // one past what a double holds exactly
    n = CFNumberCreate(nullptr, kCFNumberLongLongType, &i64);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberFloat64Type, &d));
    EXPECT_EQ(CFNumberGetType(n), kCFNumberSInt64Type);
    CFRelease(n);

    Float32 third = 1.0f / 3.0f;
    n = CFNumberCreate(nullptr, kCFNumberFloat32Type, &third);
    EXPECT_EQ(CFNumberGetType(n), kCFNumberFloat32Type);
    EXPECT_TRUE(CFNumberGetValue(n, kCFNumberFloat64Type, &d));
    EXPECT_EQ(d, static_cast<double>(third));
    CFRelease(n);

    EXPECT_EQ(CFNumberCreate(nullptr, 99, &d), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberSInt32Type, nullptr), nullptr);
}

TEST(CFNumber, EqualValuesCompareAndHashAlikeAcrossTypes) {
    SInt32 one = 1;
    Float64 oneReal = 1.0, half = 0.5;
    CFNumberRef a = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFNumberRef b = CFNumberCreate(nullptr, kCFNumberFloat64Type, &oneReal);
    CFNumberRef c = CFNumberCreate(nullptr, kCFNumberFloat64Type, &half);
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_EQ(CFHash(a), CFHash(b));
    EXPECT_FALSE(CFEqual(a, c));
    EXPECT_EQ(CFNumberCompare(c, a, nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(a, c, nullptr), kCFCompareGreaterThan);
    CFRelease(a);
    CFRelease(b);
    CFRelease(c);
}

TEST(CFData, RangesOutsideTheDataChangeNothing) {
    const UInt8 bytes[] = {1, 2, 3, 4, 5};
    CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
    CFDataAppendBytes(data, bytes, 5);
    UInt8 out[5] = {9, 9, 9, 9, 9};
    CFDataGetBytes(data, CFRangeMake(3, 4), out);
    EXPECT_EQ(out[0], 9);
    CFDataGetBytes(data, CFRangeMake(3, 2), out);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);

    // Replacing with bytes taken from the data itself.
    CFDataReplaceBytes(data, CFRangeMake(0, 2), CFDataGetBytePtr(data) + 2, 3);
    ASSERT_EQ(CFDataGetLength(data), 6);
    const UInt8 expected[] = {3, 4, 5, 3, 4, 5};
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), expected, 6), 0);
    CFDataReplaceBytes(data, CFRangeMake(5, 2), bytes, 1); // past the end: refused
    EXPECT_EQ(CFDataGetLength(data), 6);
    CFDataSetLength(data, 8);
    EXPECT_EQ(CFDataGetBytePtr(data)[7], 0);

    // An immutable data object is never changed.
    CFDataRef fixed = CFDataCreate(nullptr, bytes, 5);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(fixed), bytes, 5);
    EXPECT_EQ(CFDataGetLength(fixed), 5);
    EXPECT_EQ(CFDataGetMutableBytePtr(const_cast<CFMutableDataRef>(fixed)), nullptr);
    CFRelease(fixed);
    CFRelease(data);
}

TEST(CFURL, FilePathsRoundTripThroughTheURLString) {
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp/My Sounds/"),
                                                 kCFURLPOSIXPathStyle, true);
    EXPECT_EQ(Text(CFURLGetString(url)), "file:///tmp/My%20Sounds/");
    CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    EXPECT_EQ(Text(path), "/tmp/My Sounds");
    CFRelease(path);
    EXPECT_TRUE(CFURLHasDirectoryPath(url));

    CFURLRef file = CFURLCreateCopyAppendingPathComponent(nullptr, url, CFSTR("kick.wav"), false);
    CFStringRef name = CFURLCopyLastPathComponent(file);
    CFStringRef extension = CFURLCopyPathExtension(file);
    EXPECT_EQ(Text(name), "kick.wav");
    EXPECT_EQ(Text(extension), "wav");
    CFRelease(name);
    CFRelease(extension);

    CFURLRef parsed = CFURLCreateWithString(nullptr, CFURLGetString(file), nullptr);
    EXPECT_TRUE(CFEqual(parsed, file));
    char small[8];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(file, true, reinterpret_cast<UInt8*>(small),
                                                  sizeof small));
    char buffer[256];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(file, true, reinterpret_cast<UInt8*>(buffer),
                                                 sizeof buffer));
    EXPECT_STREQ(buffer, "/tmp/My Sounds/kick.wav");
    CFRelease(parsed);
    CFRelease(file);
    CFRelease(url);

    EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("http://example.invalid/x"), nullptr), nullptr);
    EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("file:///bad%2"), nullptr), nullptr);
    EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("file:///nul%00byte"), nullptr), nullptr);
}

} // namespace
