// Property lists: round trips in both formats, mutability, and refusal of malformed or hostile
// input and of trees that have no property-list form.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct Released {
    CFTypeRef object;
    explicit Released(CFTypeRef held) : object(held) {}
    ~Released() {
        if (object) CFRelease(object);
    }
};

CFNumberRef Int64(SInt64 value) {
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}

CFNumberRef Real(Float64 value) {
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
}

void Put(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFMutableDictionaryRef NewDict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// A tree with every property-list type, nested.
CFDictionaryRef SampleTree() {
    CFMutableDictionaryRef root = NewDict();
    Put(root, "name",
        CFStringCreateWithCString(nullptr, "Zerub \xE2\x9C\x93 <&>", kCFStringEncodingUTF8));
    Put(root, "version", Int64(65536));
    Put(root, "negative", Int64(-5));
    Put(root, "smallest", Int64(std::numeric_limits<SInt64>::min()));
    Put(root, "largest", Int64(std::numeric_limits<SInt64>::max()));
    Put(root, "tenth", Real(0.1));
    Put(root, "tiny", Real(1e-300));
    Put(root, "whole real", Real(2.0));
    Put(root, "on", CFRetain(kCFBooleanTrue));
    Put(root, "off", CFRetain(kCFBooleanFalse));
    std::vector<UInt8> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<UInt8>(i * 7);
    Put(root, "data", CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size())));
    Put(root, "empty data", CFDataCreate(nullptr, nullptr, 0));
    Put(root, "empty string", CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8));
    // Whole seconds: the XML form of a date has no fraction.
    Put(root, "date", CFDateCreate(nullptr, 500000000.0));

    CFMutableDictionaryRef inner = NewDict();
    Put(inner, "x", Int64(1));
    CFMutableDictionaryRef middle = NewDict();
    Put(middle, "inner", inner);
    Put(middle, "empty", NewDict());
    Put(root, "nested", middle);

    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFNumberRef one = Int64(1);
    CFArrayAppendValue(list, one);
    CFRelease(one);
    CFArrayAppendValue(list, CFSTR("two"));
    CFMutableArrayRef deeper = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFMutableDictionaryRef empty = NewDict();
    CFArrayAppendValue(deeper, empty);
    CFRelease(empty);
    CFArrayAppendValue(list, deeper);
    CFRelease(deeper);
    Put(root, "list", list);
    return root;
}

CFTypeRef Read(CFDataRef data, CFOptionFlags options = kCFPropertyListImmutable,
               CFPropertyListFormat* format = nullptr, CFErrorRef* error = nullptr) {
    return CFPropertyListCreateWithData(nullptr, data, options, format, error);
}

CFTypeRef ReadBytes(const void* bytes, size_t length, CFErrorRef* error = nullptr) {
    CFDataRef data =
        CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), static_cast<CFIndex>(length));
    CFTypeRef result = Read(data, kCFPropertyListImmutable, nullptr, error);
    CFRelease(data);
    return result;
}

CFTypeRef Value(CFTypeRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), k);
    CFRelease(k);
    return value;
}

class PlistRoundTrip : public ::testing::TestWithParam<CFPropertyListFormat> {};

TEST_P(PlistRoundTrip, EveryTypeComesBackEqualAndWithItsKind) {
    Released tree(SampleTree());
    CFErrorRef error = nullptr;
    Released data(CFPropertyListCreateData(nullptr, tree.object, GetParam(), 0, &error));
    ASSERT_NE(data.object, nullptr);
    EXPECT_EQ(error, nullptr);
    CFPropertyListFormat format = 0;
    Released back(Read(static_cast<CFDataRef>(data.object), kCFPropertyListImmutable, &format));
    ASSERT_NE(back.object, nullptr);
    EXPECT_EQ(format, GetParam());
    EXPECT_TRUE(CFEqual(tree.object, back.object));
    // Integers stay integers and reals stay reals, even when the value is whole.
    EXPECT_FALSE(CFNumberIsFloatType(static_cast<CFNumberRef>(Value(back.object, "version"))));
    EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(Value(back.object, "whole real"))));
    Float64 tenth = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(Value(back.object, "tenth")), kCFNumberFloat64Type,
                     &tenth);
    EXPECT_EQ(tenth, 0.1);
    EXPECT_EQ(Value(back.object, "on"), kCFBooleanTrue);
    EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(Value(back.object, "data"))), 300);
    EXPECT_DOUBLE_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(Value(back.object, "date"))),
                     500000000.0);
}

TEST_P(PlistRoundTrip, TopLevelScalarsRoundTrip) {
    CFTypeRef scalars[] = {CFSTR("just text"), kCFBooleanFalse};
    for (CFTypeRef scalar : scalars) {
        Released data(CFPropertyListCreateData(nullptr, scalar, GetParam(), 0, nullptr));
        ASSERT_NE(data.object, nullptr);
        Released back(Read(static_cast<CFDataRef>(data.object)));
        EXPECT_TRUE(CFEqual(scalar, back.object));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlistRoundTrip,
                         ::testing::Values(kCFPropertyListXMLFormat_v1_0,
                                           kCFPropertyListBinaryFormat_v1_0));

TEST(Plist, DatesBefore2001KeepTheirSignInBinary) {
    for (double at : {-129600.25, -1.5, 86400.75}) {
        Released date(CFDateCreate(nullptr, at));
        Released data(CFPropertyListCreateData(nullptr, date.object,
                                               kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
        ASSERT_NE(data.object, nullptr);
        Released back(Read(static_cast<CFDataRef>(data.object)));
        ASSERT_NE(back.object, nullptr);
        EXPECT_NEAR(CFDateGetAbsoluteTime(static_cast<CFDateRef>(back.object)), at, 1e-6);
    }
}

TEST(Plist, XmlOutputIsTheStandardDocumentWithSortedKeys) {
    CFMutableDictionaryRef dict = NewDict();
    Put(dict, "subtype", Int64(1));
    Put(dict, "data", CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("ab"), 2));
    Put(dict, "manufacturer", Int64(2));
    Released tree(dict);
    Released data(
        CFPropertyListCreateData(nullptr, dict, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_NE(data.object, nullptr);
    const auto* bytes =
        reinterpret_cast<const char*>(CFDataGetBytePtr(static_cast<CFDataRef>(data.object)));
    const std::string xml(
        bytes, static_cast<size_t>(CFDataGetLength(static_cast<CFDataRef>(data.object))));
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(xml.find("<plist version=\"1.0\">"), std::string::npos);
    EXPECT_NE(xml.find("<data>"), std::string::npos);
    const size_t d = xml.find("<key>data</key>");
    const size_t m = xml.find("<key>manufacturer</key>");
    const size_t s = xml.find("<key>subtype</key>");
    EXPECT_LT(d, m);
    EXPECT_LT(m, s);
}

TEST(Plist, MutabilityOptionsDecideWhatMayBeChanged) {
    Released tree(SampleTree());
    Released data(CFPropertyListCreateData(nullptr, tree.object, kCFPropertyListBinaryFormat_v1_0,
                                           0, nullptr));
    auto bytes = static_cast<CFDataRef>(data.object);

    Released fixed(Read(bytes, kCFPropertyListImmutable));
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(fixed.object)),
                         CFSTR("added"), kCFBooleanTrue);
    EXPECT_EQ(Value(fixed.object, "added"), nullptr);

    Released containers(Read(bytes, kCFPropertyListMutableContainers));
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(containers.object)),
                         CFSTR("added"), kCFBooleanTrue);
    EXPECT_EQ(Value(containers.object, "added"), kCFBooleanTrue);
    auto name =
        static_cast<CFMutableStringRef>(const_cast<void*>(Value(containers.object, "name")));
    const CFIndex length = CFStringGetLength(name);
    CFStringAppend(name, CFSTR("!"));
    EXPECT_EQ(CFStringGetLength(name), length); // leaves stay immutable

    Released leaves(Read(bytes, kCFPropertyListMutableContainersAndLeaves));
    name = static_cast<CFMutableStringRef>(const_cast<void*>(Value(leaves.object, "name")));
    CFStringAppend(name, CFSTR("!"));
    EXPECT_EQ(CFStringGetLength(name), length + 1);

    Released copy(CFPropertyListCreateDeepCopy(nullptr, tree.object, kCFPropertyListImmutable));
    EXPECT_TRUE(CFEqual(copy.object, tree.object));
    EXPECT_NE(copy.object, tree.object);
}

TEST(Plist, MalformedDataGivesNullAndAnError) {
    Released tree(SampleTree());
    Released xml(
        CFPropertyListCreateData(nullptr, tree.object, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    Released bin(CFPropertyListCreateData(nullptr, tree.object, kCFPropertyListBinaryFormat_v1_0, 0,
                                          nullptr));
    std::vector<std::string> inputs = {
        "",
        "hello",
        "<plist version=\"1.0\"><dict><key>a</key>",
        "<plist version=\"1.0\"><dict><key>a</key><frob/></dict></plist>",
        "bplist00",
        std::string("bplist00\xD1\x01\x02", 11),
        std::string("<plist version=\"1.0\"><dict><key>a\0b</key><true/></dict></plist>", 63),
    };
    // Every cut of the real documents, and the binary one with bytes corrupted one at a time.
    for (CFTypeRef doc : {xml.object, bin.object}) {
        auto data = static_cast<CFDataRef>(doc);
        const std::string whole(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                                static_cast<size_t>(CFDataGetLength(data)));
        // Stop short of the closing tag, whose removal alone leaves a readable document.
        for (size_t cut = 1; cut + 16 < whole.size(); cut += 37) {
            inputs.push_back(whole.substr(0, cut));
        }
    }
    auto binary = static_cast<CFDataRef>(bin.object);
    const std::string whole(reinterpret_cast<const char*>(CFDataGetBytePtr(binary)),
                            static_cast<size_t>(CFDataGetLength(binary)));
    std::vector<std::string> corrupted;
    for (size_t i = whole.size() - 32; i < whole.size(); ++i) {
        std::string copy = whole;
        copy[i] = static_cast<char>(copy[i] ^ 0x5A);
        corrupted.push_back(copy);
    }
    for (const std::string& input : inputs) {
        CFErrorRef error = nullptr;
        CFTypeRef result = ReadBytes(input.data(), input.size(), &error);
        EXPECT_EQ(result, nullptr) << "accepted: " << input.substr(0, 40);
        if (result) CFRelease(result);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListReadCorruptError);
        EXPECT_TRUE(CFEqual(CFErrorGetDomain(error), kCFErrorDomainCocoa));
        CFRelease(error);
    }
    // A corrupted trailer must never crash; whatever still parses is a real property list.
    for (const std::string& input : corrupted) {
        CFTypeRef result = ReadBytes(input.data(), input.size());
        if (result) {
            EXPECT_TRUE(CFPropertyListIsValid(result, kCFPropertyListBinaryFormat_v1_0));
            CFRelease(result);
        }
    }
}

std::string NestedXml(int depth) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    for (int i = 0; i < depth; ++i)
        xml += "<array>";
    for (int i = 0; i < depth; ++i)
        xml += "</array>";
    return xml + "</plist>";
}

TEST(Plist, NestingIsBoundedOnReadAndWrite) {
    const std::string shallow = NestedXml(100);
    CFTypeRef ok = ReadBytes(shallow.data(), shallow.size());
    ASSERT_NE(ok, nullptr);
    CFRelease(ok);
    // Deep enough to exhaust the stack of a recursive parser.
    const std::string deep = NestedXml(200000);
    EXPECT_EQ(ReadBytes(deep.data(), deep.size()), nullptr);

    // An array holding itself has no property-list form.
    CFMutableArrayRef loop = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(loop, loop);
    EXPECT_EQ(CFPropertyListCreateData(nullptr, loop, kCFPropertyListBinaryFormat_v1_0, 0, nullptr),
              nullptr);
    EXPECT_FALSE(CFPropertyListIsValid(loop, kCFPropertyListXMLFormat_v1_0));
    CFArrayRemoveAllValues(loop); // break the cycle so that the array can be freed
    CFRelease(loop);
}

// A binary property list built by hand: objects, then an offset table, then the trailer.
std::string BinaryPlist(const std::vector<std::string>& objects, uint64_t top) {
    std::string out = "bplist00";
    std::vector<size_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(out.size());
        out += object;
    }
    const size_t table = out.size();
    for (size_t offset : offsets) {
        out.push_back(static_cast<char>(offset >> 8));
        out.push_back(static_cast<char>(offset & 0xFF));
    }
    std::string trailer(32, '\0');
    trailer[6] = 2; // offset size
    trailer[7] = 1; // reference size
    trailer[15] = static_cast<char>(objects.size());
    trailer[23] = static_cast<char>(top);
    trailer[30] = static_cast<char>(table >> 8);
    trailer[31] = static_cast<char>(table & 0xFF);
    return out + trailer;
}

TEST(Plist, HostileBinaryStructuresAreRefused) {
    // Sound: an array of two integers.
    const std::string good = BinaryPlist({"\xA2\x01\x02", "\x10\x05", "\x10\x06"}, 0);
    CFTypeRef array = ReadBytes(good.data(), good.size());
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(array)), 2);
    CFRelease(array);

    // An array that holds itself.
    const std::string cycle = BinaryPlist({"\xA1\x00"}, 0);
    EXPECT_EQ(ReadBytes(cycle.data(), cycle.size()), nullptr);
    // A reference past the object table.
    const std::string dangling = BinaryPlist({"\xA1\x07"}, 0);
    EXPECT_EQ(ReadBytes(dangling.data(), dangling.size()), nullptr);
    // A count larger than the file.
    const std::string huge =
        BinaryPlist({std::string("\xAF\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10)}, 0);
    EXPECT_EQ(ReadBytes(huge.data(), huge.size()), nullptr);

    // Dictionary keys must be strings without NUL characters (the parser aborts on them).
    const std::string good_key = BinaryPlist({"\xD1\x01\x02",
                                              "\x52"
                                              "ab",
                                              "\x10\x05"},
                                             0);
    CFTypeRef dict = ReadBytes(good_key.data(), good_key.size());
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(dict)), 1);
    CFRelease(dict);
    const std::string nul_key = BinaryPlist({"\xD1\x01\x02",
                                             std::string("\x53"
                                                         "a\0b",
                                                         4),
                                             "\x10\x05"},
                                            0);
    EXPECT_EQ(ReadBytes(nul_key.data(), nul_key.size()), nullptr);
    const std::string number_key = BinaryPlist({"\xD1\x01\x02", "\x10\x07", "\x10\x05"}, 0);
    EXPECT_EQ(ReadBytes(number_key.data(), number_key.size()), nullptr);

    // Each level refers to the one below twice: 60 objects that expand into 2^60.
    std::vector<std::string> objects = {std::string("\x10\x01", 2)};
    for (int level = 1; level < 60; ++level) {
        std::string object = "\xA2";
        object.push_back(static_cast<char>(level - 1));
        object.push_back(static_cast<char>(level - 1));
        objects.push_back(object);
    }
    const std::string bomb = BinaryPlist(objects, 59);
    EXPECT_EQ(ReadBytes(bomb.data(), bomb.size()), nullptr);
}

// Each level's array refers twice to the level below: levels objects, 2^levels - 1 nodes once
// expanded.
std::string SharedTree(int levels) {
    std::vector<std::string> objects = {std::string("\x10\x01", 2)};
    for (int level = 1; level < levels; ++level)
        objects.push_back(std::string("\xA2") + static_cast<char>(level - 1) +
                          static_cast<char>(level - 1));
    return BinaryPlist(objects, static_cast<uint64_t>(levels - 1));
}

long PeakResidentKilobytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(Plist, SharedReferencesAreBoundedByTheNodesTheyExpandInto) {
    // Sharing within reason reads as the copies it stands for: 1023 nodes.
    const std::string modest = SharedTree(10);
    Released tree(ReadBytes(modest.data(), modest.size()));
    ASSERT_NE(tree.object, nullptr);
    CFTypeRef level = tree.object;
    for (int depth = 9; depth > 0; --depth) {
        ASSERT_EQ(CFGetTypeID(level), CFArrayGetTypeID());
        ASSERT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(level)), 2);
        EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(level), 0),
                            CFArrayGetValueAtIndex(static_cast<CFArrayRef>(level), 1)));
        level = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(level), 1);
    }
    EXPECT_EQ(CFGetTypeID(level), CFNumberGetTypeID());

    // A file of under 150 bytes that would expand into four million nodes is refused before
    // any of them is made (it once took over a gigabyte).
    const std::string bomb = SharedTree(22);
    ASSERT_LT(bomb.size(), 150u);
    const long before = PeakResidentKilobytes();
    CFErrorRef error = nullptr;
    Released refused(ReadBytes(bomb.data(), bomb.size(), &error));
    EXPECT_EQ(refused.object, nullptr);
    EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "kilobytes";
    ASSERT_NE(error, nullptr);
    CFRelease(error);
}

TEST(Plist, TreesWithoutAPropertyListFormAreRefusedOnWrite) {
    CFMutableDictionaryRef numberKey = NewDict();
    CFNumberRef key = Int64(1);
    CFDictionarySetValue(numberKey, key, CFSTR("value"));
    CFRelease(key);
    CFURLRef url =
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp"), kCFURLPOSIXPathStyle, true);
    const UniChar withNul[] = {'a', 0, 'b'};
    CFStringRef nulString = CFStringCreateWithCharacters(nullptr, withNul, 3);
    CFTypeRef invalid[] = {numberKey, url, nulString, nullptr};
    for (CFTypeRef tree : invalid) {
        for (CFPropertyListFormat format :
             {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
            CFErrorRef error = nullptr;
            EXPECT_EQ(CFPropertyListCreateData(nullptr, tree, format, 0, &error), nullptr);
            ASSERT_NE(error, nullptr);
            CFRelease(error);
        }
    }
    // The OpenStep format is not written.
    EXPECT_EQ(
        CFPropertyListCreateData(nullptr, CFSTR("x"), kCFPropertyListOpenStepFormat, 0, nullptr),
        nullptr);
    CFRelease(nulString);
    CFRelease(url);
    CFRelease(numberKey);
}

TEST(Plist, OlderXmlCallsReportErrorsAsText) {
    Released tree(SampleTree());
    Released data(CFPropertyListCreateXMLData(nullptr, tree.object));
    ASSERT_NE(data.object, nullptr);
    Released back(CFPropertyListCreateFromXMLData(nullptr, static_cast<CFDataRef>(data.object),
                                                  kCFPropertyListImmutable, nullptr));
    EXPECT_TRUE(CFEqual(back.object, tree.object));
    CFDataRef junk = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("<plist>"), 7);
    CFStringRef message = nullptr;
    EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, junk, 0, &message), nullptr);
    ASSERT_NE(message, nullptr);
    EXPECT_GT(CFStringGetLength(message), 0);
    CFRelease(message);
    CFRelease(junk);
}

} // namespace
