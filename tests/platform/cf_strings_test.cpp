// CFString: encodings, lengths, CFSTR constants, comparison and formatting.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(CFStringRef string) {
    char buffer[1024];
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer
                                                                                    : "<none>";
}

CFStringRef Format(CFStringRef format, ...) {
    va_list args;
    va_start(args, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(nullptr, nullptr, format, args);
    va_end(args);
    return result;
}

std::string Formatted(CFStringRef string) {
    std::string text = Text(string);
    CFRelease(string);
    return text;
}

TEST(CFString, LengthsCountUtf16UnitsAndConversionsCheckTheirEncoding) {
    // "Grüße " then U+1F39B (two UTF-16 units).
    CFStringRef s = CFStringCreateWithCString(nullptr,
                                              "Gr\xC3\xBC\xC3\x9F"
                                              "e \xF0\x9F\x8E\x9B",
                                              kCFStringEncodingUTF8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFStringGetLength(s), 8);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 2), 0x00FC);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 6), 0xD83C);

    char buffer[64];
    EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingISOLatin1));
    char tight[13]; // 12 bytes of text need 13 with the terminator
    EXPECT_TRUE(CFStringGetCString(s, tight, sizeof tight, kCFStringEncodingUTF8));
    char tooSmall[12];
    EXPECT_FALSE(CFStringGetCString(s, tooSmall, sizeof tooSmall, kCFStringEncodingUTF8));
    EXPECT_STREQ(tooSmall, "");
    EXPECT_GE(CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8), 12);
    CFRelease(s);

    // Latin 1 bytes are read as their code points, and written back where they fit.
    CFStringRef latin = CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingISOLatin1);
    EXPECT_EQ(Text(latin), "caf\xC3\xA9");
    ASSERT_TRUE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingISOLatin1));
    EXPECT_STREQ(buffer, "caf\xE9");
    CFRelease(latin);

    // Bytes that are not valid in the encoding give no string.
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
}

TEST(CFString, Utf16RoundTripsAndLoneSurrogatesAreReplaced) {
    const UniChar units[] = {'A', 0xD83C, 0xDF9B, 'B', 0xDC00};
    CFStringRef s = CFStringCreateWithCharacters(nullptr, units, 5);
    EXPECT_EQ(Text(s), "A\xF0\x9F\x8E\x9B"
                       "B\xEF\xBF\xBD");
    UniChar back[3] = {};
    CFStringGetCharacters(s, CFRangeMake(1, 3), back);
    EXPECT_EQ(back[0], 0xD83C);
    EXPECT_EQ(back[1], 0xDF9B);
    EXPECT_EQ(back[2], 'B');
    CFStringRef middle = CFStringCreateWithSubstring(nullptr, s, CFRangeMake(1, 2));
    EXPECT_EQ(Text(middle), "\xF0\x9F\x8E\x9B");
    EXPECT_EQ(CFStringCreateWithSubstring(nullptr, s, CFRangeMake(4, 2)), nullptr);
    CFRelease(middle);
    CFRelease(s);
}

TEST(CFString, ConstantStringsAreSharedPerText) {
    CFStringRef a = CFSTR("Zerub");
    CFStringRef b = CFSTR("Zerub");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, CFSTR("zerub"));
    CFStringRef made = CFStringCreateWithCString(nullptr, "Zerub", kCFStringEncodingUTF8);
    EXPECT_TRUE(CFEqual(a, made));
    EXPECT_EQ(CFHash(a), CFHash(made));
    CFRelease(made);
    EXPECT_STREQ(CFStringGetCStringPtr(a, kCFStringEncodingUTF8), "Zerub");
}

TEST(CFString, CompareHonoursCaseAndNumericOptions) {
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("ab"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("Gain"), CFSTR("gain"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("Gain"), CFSTR("gain"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("preset9"), CFSTR("preset10"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("preset9"), CFSTR("preset10"), kCFCompareNumerically),
              kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("v007"), CFSTR("v7"), kCFCompareNumerically),
              kCFCompareEqualTo);
    EXPECT_TRUE(CFStringHasPrefix(CFSTR("com.Quillmoor.x"), CFSTR("com.")));
    EXPECT_TRUE(CFStringHasSuffix(CFSTR("Zerub.component"), CFSTR(".component")));
    EXPECT_EQ(CFStringGetIntValue(CFSTR("  -42abc")), -42);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("99999999999")), 2147483647);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR(" 0.25 dB")), 0.25);
}

TEST(CFString, FormatsPrintfConversionsAndObjects) {
    EXPECT_EQ(Formatted(Format(CFSTR("AUPreset:\npreset number = %d\npreset name = %@"), 2,
                               CFSTR("Warm"))),
              "AUPreset:\npreset number = 2\npreset name = Warm");
    EXPECT_EQ(Formatted(Format(CFSTR("[%5.2f|%-4s|%03u|%x|%lld|%%]"), 3.14159, "ab", 7u, 255u,
                               -9000000000LL)),
              "[ 3.14|ab  |007|ff|-9000000000|%]");
    EXPECT_EQ(Formatted(Format(CFSTR("%*d|%.*s"), 4, 12, 2, "xyz")), "  12|xy");
    SInt32 five = 5;
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &five);
    EXPECT_EQ(Formatted(Format(CFSTR("%@ and %@"), n, static_cast<CFTypeRef>(nullptr))),
              "5 and (null)");
    CFRelease(n);
    // %n never writes through the argument.
    int written = 123;
    EXPECT_EQ(Formatted(Format(CFSTR("ab%ncd"), &written)), "abcd");
    EXPECT_EQ(written, 123);
    EXPECT_EQ(Formatted(Format(CFSTR("100%"))), "100%");
    EXPECT_EQ(Formatted(Format(CFSTR("%w %d"), 3)), "%w 3");
    const UniChar wide[] = {'d', 0x00E9, 'j', 0xE0, 0};
    EXPECT_EQ(Formatted(Format(CFSTR("%S|%C|%d"), wide, 0x00FC, 1)),
              "d\xC3\xA9j\xC3\xA0|\xC3\xBC|1");

    CFMutableStringRef m = CFStringCreateMutable(nullptr, 0);
    CFStringAppendFormat(m, nullptr, CFSTR("%s-%d"), "gain", 1);
    CFStringAppendCString(m, "!", kCFStringEncodingASCII);
    EXPECT_EQ(Text(m), "gain-1!");
    CFRelease(m);
}

TEST(CFString, MutationOfAnImmutableStringIsRefused) {
    CFStringRef fixed = CFStringCreateWithCString(nullptr, "fixed", kCFStringEncodingUTF8);
    CFStringAppend(reinterpret_cast<CFMutableStringRef>(const_cast<__CFString*>(fixed)),
                   CFSTR("!"));
    EXPECT_EQ(Text(fixed), "fixed");
    CFStringAppend(reinterpret_cast<CFMutableStringRef>(const_cast<__CFString*>(CFSTR("k"))),
                   CFSTR("!"));
    EXPECT_EQ(Text(CFSTR("k")), "k");
    CFRelease(fixed);
}

} // namespace
