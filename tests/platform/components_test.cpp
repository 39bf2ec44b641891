// Component services: discovery from bundles, instance creation through the factory, dispatch
// of the unit calls through Lookup, instance storage, events and bundle lookup.
#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <ZerubPlatform/HostExtensions.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "fake_component.h"

namespace {

constexpr OSType Code(const char (&text)[5]) {
    return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) |
           (OSType(UInt8(text[2])) << 8) | OSType(UInt8(text[3]));
}

const std::string kComponents = ZERUB_TEST_COMPONENTS;
const std::string kExtra = ZERUB_TEST_EXTRA;
const std::string kDirect = ZERUB_TEST_DIRECT;

// The search path is read once per process, so it is set before any test runs.
class SearchPathEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setenv("AUDIO_COMPONENT_PATH", kComponents.c_str(), 1); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new SearchPathEnvironment());

AudioComponent Find(const char (&subtype)[5], const char (&manufacturer)[5] = "Test") {
    AudioComponentDescription description{};
    description.componentSubType = Code(subtype);
    description.componentManufacturer = Code(manufacturer);
    return AudioComponentFindNext(nullptr, &description);
}

std::string Text(CFStringRef string);

// The component of that subtype whose name is name (Direct.component shares Fake's subtype).
AudioComponent FindNamed(const char (&subtype)[5], const std::string& name) {
    AudioComponentDescription description{};
    description.componentSubType = Code(subtype);
    for (AudioComponent c = AudioComponentFindNext(nullptr, &description); c;
         c = AudioComponentFindNext(c, &description)) {
        CFStringRef copy = nullptr;
        if (AudioComponentCopyName(c, &copy) != noErr) continue;
        const bool same = Text(copy) == name;
        CFRelease(copy);
        if (same) return c;
    }
    return nullptr;
}

// The record of the test component loaded from a bundle's executable.
FakeLog* LogOf(const std::string& executable) {
    void* library = dlopen(executable.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!library) return nullptr;
    auto log = reinterpret_cast<FakeLogFunction>(dlsym(library, "FakeUnit_Log"));
    dlclose(library); // drops only the reference taken here
    return log ? log() : nullptr;
}

FakeLog* FakeLogOf() {
    return LogOf(kComponents + "/Fake.component/Contents/MacOS/FakeUnit");
}

std::string Text(CFStringRef string) {
    char buffer[256];
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "";
}

class FakeUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        component = FindNamed("FAK1", "Test: Fake Unit");
        ASSERT_NE(component, nullptr);
        log = FakeLogOf();
        ASSERT_NE(log, nullptr);
        ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
        ASSERT_NE(unit, nullptr);
    }
    void TearDown() override {
        if (unit) {
            EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
        }
    }

    AudioComponent component = nullptr;
    AudioComponentInstance unit = nullptr;
    FakeLog* log = nullptr;
};

TEST(ComponentDiscovery, ReadsTheBundleAndSkipsUnusableEntriesAndBundles) {
    AudioComponent fake = FindNamed("FAK1", "Test: Fake Unit");
    ASSERT_NE(fake, nullptr);
    AudioComponentDescription description{};
    ASSERT_EQ(AudioComponentGetDescription(fake, &description), noErr);
    EXPECT_EQ(description.componentType, kAudioUnitType_Effect);
    EXPECT_EQ(description.componentSubType, Code("FAK1"));
    EXPECT_EQ(description.componentManufacturer, Code("Test"));
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(fake, &name), noErr);
    EXPECT_EQ(Text(name), "Test: Fake Unit");
    CFRelease(name);
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(fake, &version), noErr);
    EXPECT_EQ(version, 65794u);

    // An entry whose type is not four characters, one whose factory is missing, a bundle whose
    // Info.plist is broken, one without any, one whose factory symbol is missing and one whose
    // executable is missing: none of them is listed.
    EXPECT_EQ(Find("FAK2"), nullptr);
    EXPECT_EQ(Find("FAK3"), nullptr);
    EXPECT_EQ(Find("NOFA"), nullptr);
    EXPECT_EQ(Find("NOEX"), nullptr);
    // The same bundle found again is not listed twice; a wildcard walk reaches it once.
    AudioComponentDescription test{kAudioUnitType_Effect, Code("FAK1"), Code("Test"), 0, 0};
    const UInt32 count = AudioComponentCount(&test);
    EXPECT_GE(count, 1u);
    AudioComponentRescan();
    EXPECT_EQ(AudioComponentCount(&test), count);
    int seen = 0;
    for (AudioComponent c = AudioComponentFindNext(nullptr, nullptr); c;
         c = AudioComponentFindNext(c, nullptr)) {
        seen += c == fake;
    }
    EXPECT_EQ(seen, 1);
    // Each refusal says why.
    auto why = [](const std::string& path) {
        CFStringRef text = AudioComponentCopyBundleError(path.c_str());
        std::string result = text ? Text(text) : "";
        if (text) CFRelease(text);
        return result;
    };
    EXPECT_NE(why(kComponents + "/Broken.component").find("Info.plist"), std::string::npos);
    EXPECT_NE(why(kComponents + "/NoFactory.component").find("MissingFactory"), std::string::npos);
    EXPECT_NE(why(kComponents + "/NoExec.component").find("executable"), std::string::npos);
    EXPECT_EQ(why(kComponents + "/Fake.component"), "");
    EXPECT_EQ(AudioComponentRegisterBundle((kComponents + "/Broken.component").c_str()), nullptr);
    EXPECT_EQ(AudioComponentRegisterBundle((kComponents + "/NoInfo.component").c_str()), nullptr);
    EXPECT_EQ(AudioComponentRegisterBundle("/no/such/bundle.component"), nullptr);
    EXPECT_EQ(AudioComponentRegisterBundle(nullptr), nullptr);
}

TEST(ComponentDiscovery, SearchPathEntriesMayNameFoldersOrBundles) {
    // Components stay known once found, so only the first run in a process starts without it.
    static bool firstRun = true;
    if (firstRun) {
        EXPECT_EQ(Find("SEC1", "Tst2"), nullptr);
    }
    firstRun = false;
    const std::string path = "/no/such/folder::" + kComponents + ":" + kExtra + "/Second.component";
    setenv("AUDIO_COMPONENT_PATH", path.c_str(), 1);
    AudioComponentRescan();
    AudioComponent second = Find("SEC1", "Tst2");
    ASSERT_NE(second, nullptr);
    AudioComponentDescription description{};
    ASSERT_EQ(AudioComponentGetDescription(second, &description), noErr);
    EXPECT_EQ(description.componentType, kAudioUnitType_MusicEffect);
    EXPECT_NE(Find("FAK1"), nullptr);
    setenv("AUDIO_COMPONENT_PATH", kComponents.c_str(), 1);
}

TEST(ComponentDiscovery, FactoryAndOpenFailuresGiveNoInstance) {
    AudioComponentRegisterBundle((kDirect + "/Direct.component").c_str());
    FakeLog* log = LogOf(kDirect + "/Direct.component/Contents/MacOS/DirectUnit");
    ASSERT_NE(log, nullptr);
    AudioComponentInstance unit = reinterpret_cast<AudioComponentInstance>(1);
    EXPECT_EQ(AudioComponentInstanceNew(Find("NULL", "Tst2"), &unit),
              kAudioUnitErr_FailedInitialization);
    EXPECT_EQ(unit, nullptr);
    const int closes = log->closes;
    EXPECT_EQ(AudioComponentInstanceNew(Find("OPNF", "Tst2"), &unit),
              kAudioUnitErr_FailedInitialization);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(log->closes, closes);
    EXPECT_EQ(AudioComponentInstanceNew(nullptr, &unit), paramErr);
    EXPECT_EQ(AudioComponentInstanceNew(reinterpret_cast<AudioComponent>(&unit), &unit), paramErr);
}

TEST(ComponentDiscovery, ARegisteredBundleComesAheadOfTheSearchPath) {
    AudioComponent direct = AudioComponentRegisterBundle((kDirect + "/Direct.component").c_str());
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(AudioComponentRegisterBundle((kDirect + "/Direct.component/").c_str()), direct);
    // Direct.component describes the same unit as Fake.component, which is on the search path.
    EXPECT_EQ(Find("FAK1"), direct);
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(direct, &name), noErr);
    EXPECT_EQ(Text(name), "Test: Direct");
    CFRelease(name);
}

TEST_F(FakeUnitTest, OpenAndCloseReceiveTheInterfaceAndTheInstance) {
    EXPECT_EQ(log->opens, log->closes + 1);
    EXPECT_EQ(log->factorySubtype, Code("FAK1"));
    EXPECT_EQ(log->openInstance, unit);
    // While opening, the unit found itself: component, description, storage, bundle.
    EXPECT_EQ(log->openSubtype, Code("FAK1"));
    EXPECT_EQ(reinterpret_cast<void*>(log->openStorage), log->openSelf);
    EXPECT_TRUE(log->openFoundBundle);
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit), component);

    void* self = log->openSelf;
    const int closes = log->closes;
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
    EXPECT_EQ(log->closes, closes + 1);
    EXPECT_EQ(log->closeSelf, self);
    // The disposed instance is no longer known; calls on it fail without reaching the unit.
    EXPECT_EQ(AudioComponentInstanceDispose(unit), badComponentInstance);
    EXPECT_EQ(AudioUnitInitialize(unit), badComponentInstance);
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit), nullptr);
    unit = nullptr;
}

TEST_F(FakeUnitTest, UnitCallsGoThroughLookupWithTheirArguments) {
    const int lookupsBefore = log->lookupCount;
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(log->lookupCount, lookupsBefore + 1);
    EXPECT_EQ(log->lookups[lookupsBefore], kAudioUnitInitializeSelect);
    EXPECT_EQ(log->lastSelf, log->openSelf);

    const Float64 rate = 96000.0;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0,
                                   &rate, sizeof rate),
              noErr);
    EXPECT_EQ(log->lastSize, sizeof rate);
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof format;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 3,
                                   &format, &size),
              noErr);
    EXPECT_EQ(log->lastScope, kAudioUnitScope_Output);
    EXPECT_EQ(log->lastElement, 3u);
    EXPECT_EQ(format.mSampleRate, 96000.0);
    EXPECT_EQ(format.mFormatID, kAudioFormatLinearPCM);
    Boolean writable = false;
    size = 0;
    ASSERT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                       0, &size, &writable),
              noErr);
    EXPECT_EQ(size, 40u);
    EXPECT_TRUE(writable);

    // A Float32 argument arrives intact (a variadic call would have widened it).
    ASSERT_EQ(AudioUnitSetParameter(unit, 2, kAudioUnitScope_Global, 0, 0.8125f, 17), noErr);
    EXPECT_EQ(log->lastParameterValue, 0.8125f);
    EXPECT_EQ(log->lastBufferOffset, 17u);
    AudioUnitParameterValue value = 0;
    ASSERT_EQ(AudioUnitGetParameter(unit, 2, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 0.8125f);
    EXPECT_EQ(AudioUnitGetParameter(unit, 9, kAudioUnitScope_Global, 0, &value),
              kAudioUnitErr_InvalidParameter);

    ASSERT_EQ(AudioUnitReset(unit, kAudioUnitScope_Input, 1), noErr);
    EXPECT_EQ(log->lastScope, kAudioUnitScope_Input);
    EXPECT_EQ(log->lastElement, 1u);
}

TEST_F(FakeUnitTest, SelectorsWithoutAMethodAndBadUnitsGiveErrors) {
    EXPECT_EQ(AudioUnitUninitialize(unit), badComponentSelector);
    EXPECT_EQ(AudioUnitAddRenderNotify(unit, nullptr, nullptr), badComponentSelector);
    EXPECT_EQ(AudioUnitRemoveRenderNotify(unit, nullptr, nullptr), badComponentSelector);
    EXPECT_EQ(AudioUnitScheduleParameters(unit, nullptr, 0), badComponentSelector);
    EXPECT_EQ(AudioUnitRemovePropertyListener(unit, 0, nullptr), badComponentSelector);
    EXPECT_EQ(MusicDeviceMIDIEvent(unit, 0x90, 60, 100, 0), badComponentSelector);
    EXPECT_EQ(static_cast<UInt32>(badComponentSelector), 0x80008002u);
    EXPECT_FALSE(AudioComponentInstanceCanDo(unit, kAudioUnitUninitializeSelect));
    EXPECT_TRUE(AudioComponentInstanceCanDo(unit, kAudioUnitRenderSelect));

    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitGetParameter(nullptr, 0, 0, 0, &value), badComponentInstance);
    EXPECT_EQ(AudioUnitRender(nullptr, nullptr, nullptr, 0, 0, nullptr), badComponentInstance);
    int notAUnit = 0;
    EXPECT_EQ(AudioUnitInitialize(reinterpret_cast<AudioUnit>(&notAUnit)), badComponentInstance);
    EXPECT_EQ(AudioComponentInstanceDispose(nullptr), badComponentInstance);
    EXPECT_EQ(GetComponentInstanceStorage(nullptr), nullptr);
}

void CountListener(void* refCon, AudioUnit /*unit*/, AudioUnitPropertyID /*id*/,
                   AudioUnitScope /*scope*/, AudioUnitElement /*element*/) {
    ++*static_cast<int*>(refCon);
}

TEST_F(FakeUnitTest, PropertyListenersAreRegisteredThroughTheUnit) {
    int calls = 0;
    ASSERT_EQ(
        AudioUnitAddPropertyListener(unit, kAudioUnitProperty_SampleRate, CountListener, &calls),
        noErr);
    const Float64 rate = 48000.0;
    AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, &rate, sizeof rate);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_SampleRate,
                                                          CountListener, &calls),
              noErr);
    AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, &rate, sizeof rate);
    EXPECT_EQ(calls, 1);
}

TEST_F(FakeUnitTest, RenderDirectlyAndThroughTheFastDispatchFunction) {
    Float32 left[8] = {}, right[8] = {};
    struct {
        UInt32 count;
        AudioBuffer buffers[2];
    } list = {2, {{1, sizeof left, left}, {1, sizeof right, right}}};
    AudioTimeStamp time{};
    time.mSampleTime = 4096;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    auto* buffers = reinterpret_cast<AudioBufferList*>(&list);
    ASSERT_EQ(AudioUnitRender(unit, &flags, &time, 1, 8, buffers), noErr);
    EXPECT_EQ(left[3], 4096 + 1000 + 3);
    EXPECT_EQ(right[7], 4096 + 1000 + 100 + 7);

    // The way a downstream unit pulls from an upstream one: the render function and the
    // instance storage that is its first argument.
    AudioUnitRenderProc render = nullptr;
    UInt32 size = sizeof render;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                   kAudioUnitRenderSelect, &render, &size),
              noErr);
    ASSERT_NE(render, nullptr);
    void* storage = GetComponentInstanceStorage(unit);
    EXPECT_EQ(storage, log->openSelf);
    time.mSampleTime = 0;
    ASSERT_EQ(render(storage, &flags, &time, 0, 8, buffers), noErr);
    EXPECT_EQ(left[5], 5);

    // Storage set by the unit replaces the default.
    int record = 0;
    SetComponentInstanceStorage(unit, reinterpret_cast<Handle>(&record));
    EXPECT_EQ(GetComponentInstanceStorage(unit), reinterpret_cast<Handle>(&record));
}

struct Received {
    std::vector<AudioUnitEvent> events;
    std::vector<AudioUnitParameterValue> values;
    std::vector<void*> objects;
};

void Receive(void* refCon, void* object, const AudioUnitEvent* event, UInt64 /*hostTime*/,
             AudioUnitParameterValue value) {
    auto* received = static_cast<Received*>(refCon);
    received->events.push_back(*event);
    received->values.push_back(value);
    received->objects.push_back(object);
}

TEST_F(FakeUnitTest, EventsReachTheHostListenersExceptTheSender) {
    Received first, second;
    AUEventListenerRef a = ZerubAddEventListener(Receive, &first);
    AUEventListenerRef b = ZerubAddEventListener(Receive, &second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ZerubAddEventListener(nullptr, nullptr), nullptr);

    // The unit announces the change; the listener gets the value read back from the unit.
    ASSERT_EQ(AudioUnitSetParameter(unit, 1, kAudioUnitScope_Global, 0, 0.25f, 0), noErr);
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].mEventType, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(first.events[0].mArgument.mParameter.mAudioUnit, unit);
    EXPECT_EQ(first.events[0].mArgument.mParameter.mParameterID, 1u);
    EXPECT_EQ(first.values[0], 0.25f);
    EXPECT_EQ(second.events.size(), 1u);

    AudioUnitEvent gesture{};
    gesture.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
    gesture.mArgument.mParameter.mAudioUnit = unit;
    int sender = 0;
    ASSERT_EQ(AUEventListenerNotify(a, &sender, &gesture), noErr);
    EXPECT_EQ(first.events.size(), 1u); // the sending listener is skipped
    ASSERT_EQ(second.events.size(), 2u);
    EXPECT_EQ(second.events[1].mEventType, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(second.objects[1], &sender);
    EXPECT_EQ(second.values[1], 0.0f);

    EXPECT_EQ(ZerubRemoveEventListener(a), noErr);
    EXPECT_EQ(ZerubRemoveEventListener(a), paramErr);
    ASSERT_EQ(AUEventListenerNotify(nullptr, nullptr, &gesture), noErr);
    EXPECT_EQ(first.events.size(), 1u);
    EXPECT_EQ(second.events.size(), 3u);

    // AUParameterSet sets the value through the unit, then announces it once more.
    AudioUnitParameter parameter{unit, 3, kAudioUnitScope_Global, 0};
    ASSERT_EQ(AUParameterSet(nullptr, nullptr, &parameter, 0.75f, 0), noErr);
    ASSERT_EQ(second.events.size(), 5u);
    EXPECT_EQ(second.events[4].mArgument.mParameter.mParameterID, 3u);
    EXPECT_EQ(second.values[4], 0.75f);
    EXPECT_EQ(ZerubRemoveEventListener(b), noErr);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, nullptr), paramErr);
}

// A unit made inside the test program, for AudioComponentRegister.
struct InlineUnit {
    AudioComponentPlugInInterface iface;
    int initialized;
};
int inlineCloses = 0;

OSStatus InlineInitialize(void* self) {
    static_cast<InlineUnit*>(self)->initialized = 1;
    return noErr;
}

AudioComponentMethod InlineLookup(SInt16 selector) {
    return selector == kAudioUnitInitializeSelect
               ? reinterpret_cast<AudioComponentMethod>(InlineInitialize)
               : nullptr;
}

AudioComponentPlugInInterface* InlineFactory(const AudioComponentDescription*) {
    auto* unit = new InlineUnit{};
    unit->iface.Open = [](void*, AudioComponentInstance) -> OSStatus { return noErr; };
    unit->iface.Close = [](void* self) -> OSStatus {
        ++inlineCloses;
        delete static_cast<InlineUnit*>(self);
        return noErr;
    };
    unit->iface.Lookup = InlineLookup;
    return &unit->iface;
}

TEST(ComponentDiscovery, FactoriesRegisteredInProcessBehaveLikeBundles) {
    // Registered once per process: registering again would add a second component.
    static AudioComponent component = [] {
        AudioComponentDescription description{kAudioUnitType_Generator, Code("INLN"), Code("Test"),
                                              0, 0};
        return AudioComponentRegister(&description, CFSTR("Test: Inline"), 7, InlineFactory);
    }();
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(Find("INLN"), component);
    AudioComponentInstance unit = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &unit), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    auto* self = reinterpret_cast<InlineUnit*>(GetComponentInstanceStorage(unit));
    EXPECT_EQ(self->initialized, 1);
    const int closes = inlineCloses;
    EXPECT_EQ(AudioComponentInstanceDispose(unit), noErr);
    EXPECT_EQ(inlineCloses, closes + 1);
    EXPECT_EQ(AudioComponentRegister(nullptr, nullptr, 0, InlineFactory), nullptr);
}

TEST(Bundles, ComponentBundlesAreFoundByIdentifierWithTheirResources) {
    ASSERT_NE(Find("FAK1"), nullptr);
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR("com.zerub.test.fake"));
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(Text(CFBundleGetIdentifier(bundle)), "com.zerub.test.fake");
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.zerub.test.absent")), nullptr);

    CFURLRef location = CFBundleCopyBundleURL(bundle);
    char path[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(location, true, reinterpret_cast<UInt8*>(path),
                                                 sizeof path));
    EXPECT_EQ(std::string(path), kComponents + "/Fake.component");
    CFRelease(location);

    CFURLRef knob = CFBundleCopyResourceURL(bundle, CFSTR("knob"), CFSTR("png"), nullptr);
    ASSERT_NE(knob, nullptr);
    ASSERT_TRUE(
        CFURLGetFileSystemRepresentation(knob, true, reinterpret_cast<UInt8*>(path), sizeof path));
    EXPECT_EQ(std::string(path), kComponents + "/Fake.component/Contents/Resources/knob.png");
    CFRelease(knob);
    CFURLRef dotted = CFBundleCopyResourceURL(bundle, CFSTR("knob.png"), nullptr, nullptr);
    EXPECT_NE(dotted, nullptr);
    if (dotted) CFRelease(dotted);
    CFURLRef nested = CFBundleCopyResourceURL(bundle, CFSTR("face"), CFSTR(".png"), CFSTR("img"));
    EXPECT_NE(nested, nullptr);
    if (nested) CFRelease(nested);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("missing"), CFSTR("png"), nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("../Info"), CFSTR("plist"), nullptr), nullptr);

    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFDictionaryGetValue(info, kCFBundleExecutableKey))),
              "FakeUnit");
    // The test program is not inside a bundle: its main bundle has no identifier.
    ASSERT_NE(CFBundleGetMainBundle(), nullptr);
    EXPECT_EQ(CFBundleGetIdentifier(CFBundleGetMainBundle()), nullptr);
}

TEST(SystemServices, AlertsGoToStandardErrorWithTheDefaultAnswer) {
    CFOptionFlags response = 99;
    ::testing::internal::CaptureStderr();
    const SInt32 status = CFUserNotificationDisplayAlert(
        0, kCFUserNotificationNoteAlertLevel, nullptr, nullptr, nullptr, CFSTR("Zerub"),
        CFSTR("Preset saved"), CFSTR("OK"), CFSTR("Cancel"), nullptr, &response);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Zerub: Preset saved\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(response, static_cast<CFOptionFlags>(kCFUserNotificationDefaultResponse));
}

TEST(SystemServices, GestaltReportsAPackedSystemVersion) {
    SInt32 version = 0, major = 0, minor = 0;
    ASSERT_EQ(Gestalt(gestaltSystemVersion, &version), noErr);
    ASSERT_EQ(Gestalt(gestaltSystemVersionMajor, &major), noErr);
    ASSERT_EQ(Gestalt(gestaltSystemVersionMinor, &minor), noErr);
    EXPECT_EQ(version >> 8, 0x10);
    EXPECT_EQ(major, 10);
    EXPECT_EQ((version >> 4) & 0xF, minor);
    EXPECT_GE(version, 0x1050);
    EXPECT_EQ(Gestalt(0x6E6F6E65, &version), gestaltUndefSelectorErr);
    EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
}

} // namespace
