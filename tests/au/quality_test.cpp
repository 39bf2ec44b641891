// The quality setting through the host API: its custom property, the latency it costs and who
// hears of it, and how the class-info dictionary carries it.
#include "AUTestSupport.h"

#include "au/IPlugAUQuality.h"
#include "effect/Zerub.h"

namespace {

int g_latencyCalls = 0;
void CountLatency(void*, AudioUnit, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement) {
    if (id == kAudioUnitProperty_Latency) ++g_latencyCalls;
}

OSStatus SetQuality(AudioUnit unit, UInt32 quality) {
    return AudioUnitSetProperty(unit, kIPlugQualityPropertyID, kAudioUnitScope_Global, 0, &quality,
                                sizeof quality);
}

UInt32 Quality(AudioUnit unit) {
    UInt32 quality = 99, size = sizeof quality;
    EXPECT_EQ(AudioUnitGetProperty(unit, kIPlugQualityPropertyID, kAudioUnitScope_Global, 0,
                                   &quality, &size),
              noErr);
    return quality;
}

double LatencyFrames(AudioUnit unit) {
    Float64 seconds = -1.0, rate = 0.0;
    UInt32 size = sizeof seconds;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0,
                                   &seconds, &size),
              noErr);
    size = sizeof rate;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                                   &rate, &size),
              noErr);
    return seconds * rate;
}

bool HasQualityKey(CFPropertyListRef state) {
    CFStringRef key =
        CFStringCreateWithCString(nullptr, kIPlugQualityClassInfoKey, kCFStringEncodingUTF8);
    const bool has = CFDictionaryContainsKey(static_cast<CFDictionaryRef>(state), key);
    CFRelease(key);
    return has;
}

} // namespace

TEST(AUQuality, PropertySetsTheQualityAndTellsTheLatencyListeners) {
    HostUnit host(ProductComponent());
    AudioUnit unit = host.unit;
    const Float64 rate = 48000.0;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                                   &rate, sizeof rate),
              noErr);
    EXPECT_EQ(Quality(unit), 0u);
    EXPECT_EQ(LatencyFrames(unit), 0.0);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_Latency, CountLatency, nullptr),
              noErr);
    g_latencyCalls = 0;

    EXPECT_EQ(SetQuality(unit, 2), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Quality(unit), 0u);
    EXPECT_EQ(g_latencyCalls, 0);

    ASSERT_EQ(SetQuality(unit, 1), noErr);
    EXPECT_EQ(Quality(unit), 1u);
    EXPECT_DOUBLE_EQ(LatencyFrames(unit), Zerub::LatencyFor(Zerub::kQualityHQ, rate));
    EXPECT_GT(LatencyFrames(unit), 0.0);
    EXPECT_EQ(g_latencyCalls, 1);
    ASSERT_EQ(SetQuality(unit, 1), noErr); // no change, no news
    EXPECT_EQ(g_latencyCalls, 1);

    // A new rate changes what HQ costs: those listening hear of it.
    const Float64 high = 96000.0;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0,
                                   &high, sizeof high),
              noErr);
    EXPECT_EQ(g_latencyCalls, 2);
    EXPECT_DOUBLE_EQ(LatencyFrames(unit), Zerub::LatencyFor(Zerub::kQualityHQ, high));

    ASSERT_EQ(SetQuality(unit, 0), noErr);
    EXPECT_EQ(LatencyFrames(unit), 0.0);
    EXPECT_EQ(g_latencyCalls, 3);
}

TEST(AUQuality, ClassInfoCarriesHQAndEarlierSessionsOpenInStandard) {
    HostUnit standard(ProductComponent()), hq(ProductComponent()), fresh(ProductComponent());
    CFPropertyListRef standardState = standard.Save();
    ASSERT_TRUE(standardState);
    EXPECT_FALSE(HasQualityKey(standardState)); // the dictionary of builds without the setting

    ASSERT_EQ(SetQuality(hq.unit, 1), noErr);
    CFPropertyListRef hqState = hq.Save();
    ASSERT_TRUE(hqState);
    EXPECT_TRUE(HasQualityKey(hqState));

    ASSERT_EQ(fresh.Restore(hqState), noErr);
    EXPECT_EQ(Quality(fresh.unit), 1u);
    EXPECT_GT(LatencyFrames(fresh.unit), 0.0);
    ASSERT_EQ(fresh.Restore(standardState), noErr); // no key: standard
    EXPECT_EQ(Quality(fresh.unit), 0u);
    EXPECT_EQ(LatencyFrames(fresh.unit), 0.0);

    // A value the setting cannot take is refused whole.
    ASSERT_EQ(fresh.Restore(hqState), noErr);
    CFMutableDictionaryRef bad =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(standardState));
    CFStringRef key =
        CFStringCreateWithCString(nullptr, kIPlugQualityClassInfoKey, kCFStringEncodingUTF8);
    const SInt32 five = 5;
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &five);
    CFDictionarySetValue(bad, key, number);
    EXPECT_EQ(fresh.Restore(bad), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Quality(fresh.unit), 1u);
    CFRelease(number);
    CFRelease(key);
    CFRelease(bad);
    CFRelease(hqState);
    CFRelease(standardState);
}
