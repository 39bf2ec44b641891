// The built bundle driven through the host-side API only, as a host would.
#include "HostSideSupport.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ZerubPlatform/HostExtensions.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr OSType kSubtype = 0x5A524231;      // 'ZRB1'
constexpr OSType kManufacturer = 0x516D6F72; // 'Qmor'

AudioComponent FindZerub() {
    AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
    AudioComponentDescription desc = {kAudioUnitType_Effect, kSubtype, kManufacturer, 0, 0};
    return AudioComponentFindNext(nullptr, &desc);
}

class Instance {
public:
    Instance() {
        AudioComponent component = FindZerub();
        EXPECT_NE(component, nullptr);
        if (component) {
            EXPECT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
        }
    }
    ~Instance() {
        if (unit) AudioComponentInstanceDispose(unit);
    }
    AudioUnit unit = nullptr;
};

CFNumberRef Number(SInt32 v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}

Float32 Param(AudioUnit unit, AudioUnitParameterID id) {
    Float32 v = -1;
    EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v), noErr);
    return v;
}

OSStatus Restore(AudioUnit unit, CFPropertyListRef plist) {
    return AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                &plist, sizeof plist);
}

} // namespace

TEST(Component, FoundAndDescribed) {
    AudioComponent component = FindZerub();
    ASSERT_NE(component, nullptr);
    AudioComponentDescription desc;
    ASSERT_EQ(AudioComponentGetDescription(component, &desc), noErr);
    EXPECT_EQ(desc.componentType, kAudioUnitType_Effect);
    EXPECT_EQ(desc.componentSubType, kSubtype);
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(component, &version), noErr);
    EXPECT_EQ(version, 65536u);
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
    char text[128];
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    EXPECT_STREQ(text, "Quillmoor: Zerub");
    CFRelease(name);
}

TEST(Component, StateRoundTripAndForeignDictionaries) {
    Instance a;
    ASSERT_NE(a.unit, nullptr);
    ASSERT_EQ(AudioUnitSetParameter(a.unit, 0, kAudioUnitScope_Global, 0, 0.8f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(a.unit, 2, kAudioUnitScope_Global, 0, 1.0f, 0), noErr);
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    ASSERT_EQ(AudioUnitGetProperty(a.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                   &state, &size),
              noErr);
    ASSERT_NE(state, nullptr);
    CFDictionaryRef dict = static_cast<CFDictionaryRef>(state);

    Instance b;
    ASSERT_EQ(Restore(b.unit, state), noErr);
    EXPECT_FLOAT_EQ(Param(b.unit, 0), 0.8f);
    EXPECT_EQ(Param(b.unit, 2), 1.0f);

    // Survives the property-list file format, binary and XML.
    for (CFPropertyListFormat format :
         {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        CFDataRef bytes = CFPropertyListCreateData(nullptr, state, format, 0, nullptr);
        ASSERT_NE(bytes, nullptr);
        CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, bytes, 0, nullptr, nullptr);
        ASSERT_NE(back, nullptr);
        Instance c;
        EXPECT_EQ(Restore(c.unit, back), noErr);
        EXPECT_FLOAT_EQ(Param(c.unit, 0), 0.8f);
        CFRelease(back);
        CFRelease(bytes);
    }

    CFNumberRef otherVersion = Number(0x20000);
    CFMutableDictionaryRef newer = With(dict, "version", otherVersion);
    Instance d;
    EXPECT_EQ(Restore(d.unit, newer), noErr);

    CFNumberRef otherSubtype = Number(0x41424344);
    CFMutableDictionaryRef foreign = With(dict, "subtype", otherSubtype);
    Instance e;
    EXPECT_EQ(Restore(e.unit, foreign), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Param(e.unit, 0), 0.5f); // untouched

    CFMutableDictionaryRef noData = With(dict, "data", nullptr);
    EXPECT_EQ(Restore(e.unit, noData), kAudioUnitErr_InvalidPropertyValue);

    const unsigned char half[8] = {0, 0, 0, 0, 0, 0, 0xD0, 0x3F}; // Gain 0.25 only
    CFDataRef shortData = CFDataCreate(nullptr, half, sizeof half);
    CFMutableDictionaryRef truncated = With(dict, "data", shortData);
    Instance f;
    AudioUnitSetParameter(f.unit, 1, kAudioUnitScope_Global, 0, 0.9f, 0);
    EXPECT_EQ(Restore(f.unit, truncated), kAudioUnitErr_InvalidPropertyValue); // refused whole
    EXPECT_EQ(Param(f.unit, 0), 0.5f);
    EXPECT_FLOAT_EQ(Param(f.unit, 1), 0.9f);

    EXPECT_EQ(Restore(f.unit, otherVersion),
              kAudioUnitErr_InvalidPropertyValue); // not a dictionary

    for (CFTypeRef object :
         {CFTypeRef(otherVersion), CFTypeRef(newer), CFTypeRef(otherSubtype), CFTypeRef(foreign),
          CFTypeRef(noData), CFTypeRef(shortData), CFTypeRef(truncated), state})
        CFRelease(object);
}
