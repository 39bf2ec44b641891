#include "AUTestSupport.h"
#include "au/au_preset_utils.h"
#include "effect/Zerub.h"

#include <ZerubPlatform/HostExtensions.h>

#include <chrono>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct PlugDeleter {
    void operator()(IPlugAU* p) const { delete p; }
};
using Unit = std::unique_ptr<IPlugAU, PlugDeleter>;

std::string Text(CFStringRef s) {
    char buf[256] = "";
    if (s) CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
    return buf;
}

struct EventLog {
    std::vector<AudioUnitEvent> events;
    static void Proc(void* refCon, void*, const AudioUnitEvent* e, UInt64,
                     AudioUnitParameterValue) {
        static_cast<EventLog*>(refCon)->events.push_back(*e);
    }
};

// Whether the unit's mutex is free for another thread while host code runs: a host's listener
// may wait on a lock of its own that its render thread holds while waiting for our mutex. Each
// probe takes the mutex on a thread of its own; the caller's thread keeps going after a second
// (the probe then finishes once the mutex is released) and the probes are joined at the end.
class MutexProbe {
public:
    explicit MutexProbe(IPlugAU* plug) : unit(plug) {}
    ~MutexProbe() {
        for (std::thread& t : threads)
            t.join();
    }
    void Check() {
        auto taken = std::make_shared<std::promise<void>>();
        std::future<void> done = taken->get_future();
        threads.emplace_back([this, taken] {
            WDL_MutexLock lock(unit->GetMutex());
            taken->set_value();
        });
        if (done.wait_for(std::chrono::seconds(1)) == std::future_status::ready)
            ++nFree;
        else
            ++nHeld;
    }
    static void EventProc(void* refCon, void*, const AudioUnitEvent*, UInt64,
                          AudioUnitParameterValue) {
        static_cast<MutexProbe*>(refCon)->Check();
    }
    static void PropertyProc(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope,
                             AudioUnitElement) {
        static_cast<MutexProbe*>(refCon)->Check();
    }

    IPlugAU* unit;
    int nFree = 0, nHeld = 0;
    std::vector<std::thread> threads;
};

} // namespace

// No host code runs under the plug-in mutex: parameter notices from the editor and the base,
// and property listeners, find it free.
TEST(AUParams, HostsHearOfChangesWithTheMutexReleased) {
    Unit unit(new GroupedAU());
    MutexProbe probe(unit.get());
    AUEventListenerRef listener = ZerubAddEventListener(MutexProbe::EventProc, &probe);
    ASSERT_NE(listener, nullptr);
    unit->SetParameterFromGUI(2, 0.75);
    unit->DirtyParameters();
    ZerubRemoveEventListener(listener);
    for (AudioUnitPropertyID id : {kAudioUnitProperty_SampleRate, kAudioUnitProperty_PresentPreset})
        unit->DoAddPropertyListener(id, MutexProbe::PropertyProc, &probe);
    const Float64 rate = 96000.0;
    EXPECT_EQ(unit->SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate,
                                sizeof rate),
              noErr);
    unit->InformHostOfProgramChange();
    EXPECT_EQ(probe.nFree, 1 + unit->NParams() + 2);
    EXPECT_EQ(probe.nHeld, 0);
}

TEST(AUParams, SetClampsButTheEditorHearsTheValueAsSent) {
    Unit unit(new GroupedAU());
    static_cast<GroupedAU*>(unit.get())->changes.clear();
    EXPECT_EQ(unit->SetParamProc(0, kAudioUnitScope_Global, 0, 3.0f, 0), noErr);
    Float32 v = -1;
    EXPECT_EQ(unit->DoGetParameter(0, kAudioUnitScope_Global, 0, &v), noErr);
    EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(static_cast<GroupedAU*>(unit.get())->changes.back(), 0);
    v = -7;
    EXPECT_EQ(unit->DoGetParameter(0, kAudioUnitScope_Input, 0, &v), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(v, -7.0f);
    EXPECT_EQ(unit->SetParamProc(0, kAudioUnitScope_Output, 0, 0.2f, 0),
              kAudioUnitErr_InvalidProperty);
    unit->DoGetParameter(0, kAudioUnitScope_Global, 0, &v);
    EXPECT_EQ(v, 1.0f);
}

TEST(AUParams, IntegerAndBooleanParametersHoldWholeValues) {
    // The switch acts on exactly 1, so a fraction is held as the 0 it acts as: read back,
    // shown and saved the same.
    Unit unit(MakePlug(nullptr));
    ASSERT_EQ(unit->SetParamProc(Zerub::kBypass, kAudioUnitScope_Global, 0, 0.7f, 0), noErr);
    Float32 v = -1;
    ASSERT_EQ(unit->DoGetParameter(Zerub::kBypass, kAudioUnitScope_Global, 0, &v), noErr);
    EXPECT_EQ(v, 0.0f);
    const Float32 shown = 0.7f;
    AudioUnitParameterStringFromValue sfv = {Zerub::kBypass, &shown, nullptr};
    UInt32 size = sizeof sfv;
    ASSERT_EQ(unit->GetProperty(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global,
                                0, &sfv, &size),
              noErr);
    EXPECT_EQ(Text(sfv.outString), "0");
    CFRelease(sfv.outString);
    ByteChunk chunk;
    ASSERT_TRUE(unit->SerializeState(&chunk));
    double saved = -1;
    std::memcpy(&saved, chunk.GetBytes() + Zerub::kBypass * sizeof(double), sizeof saved);
    EXPECT_EQ(saved, 0.0);
    ASSERT_EQ(unit->SetParamProc(Zerub::kBypass, kAudioUnitScope_Global, 0, 1.0f, 0), noErr);
    EXPECT_EQ(unit->GetParam(Zerub::kBypass)->Value(), 1.0);
    ASSERT_EQ(unit->SetParamProc(Zerub::kBypass, kAudioUnitScope_Global, 0, 1.9f, 0), noErr);
    EXPECT_EQ(unit->GetParam(Zerub::kBypass)->Value(), 1.0);

    // Every type but double: truncated toward zero, then clamped; doubles keep fractions.
    IParam boolean, integer, enumerated, real;
    boolean.InitBool("On", false);
    integer.InitInt("Steps", 0, -5, 5);
    enumerated.InitEnum("Mode", 0, 4);
    real.InitDouble("Gain", 0.0, -1.0, 1.0, 0.01);
    boolean.Set(0.99);
    integer.Set(-2.5);
    enumerated.Set(2.7);
    real.Set(0.7);
    EXPECT_EQ(boolean.Value(), 0.0);
    EXPECT_EQ(integer.Value(), -2.0);
    EXPECT_EQ(enumerated.Value(), 2.0);
    EXPECT_EQ(real.Value(), 0.7);
    integer.Set(-7.5);
    EXPECT_EQ(integer.Value(), -5.0);
}

TEST(AUParams, ScheduledEvents) {
    Unit unit(new GroupedAU());
    AudioUnitParameterEvent events[3] = {};
    events[0].scope = kAudioUnitScope_Global;
    events[0].parameter = 0;
    events[0].eventType = kParameterEvent_Ramped;
    events[0].eventValues.ramp.startValue = 0.1f;
    events[0].eventValues.ramp.endValue = 0.9f;
    events[1].scope = kAudioUnitScope_Global;
    events[1].parameter = 1;
    events[1].eventType = kParameterEvent_Immediate;
    events[1].eventValues.immediate.value = -0.5f;
    events[2] = events[1];
    events[2].parameter = 2;
    events[2].scope = kAudioUnitScope_Input;
    events[2].eventValues.immediate.value = 6.0f;
    unit->SetParamProc(0, kAudioUnitScope_Global, 0, 0.25f, 0);
    EXPECT_EQ(unit->DoScheduleParameters(events, 2), noErr);
    EXPECT_EQ(unit->GetParam(0)->Value(), 0.9f); // a ramp lands on its end value
    EXPECT_EQ(unit->GetParam(1)->Value(), -0.5);

    // One bad event refuses the whole list: none of its events is applied.
    events[1].eventValues.immediate.value = 0.75f;
    EXPECT_EQ(unit->DoScheduleParameters(events, 3), kAudioUnitErr_InvalidProperty);
    AudioUnitParameterEvent unknownParam = events[1], unknownType = events[1], badRamp = events[0];
    unknownParam.parameter = 9;
    unknownType.eventType = 7;
    badRamp.eventValues.ramp.endValue = std::numeric_limits<float>::infinity();
    for (const AudioUnitParameterEvent& bad : {unknownParam, unknownType, badRamp}) {
        const AudioUnitParameterEvent list[3] = {events[0], events[1], bad};
        EXPECT_NE(unit->DoScheduleParameters(list, 3), noErr);
    }
    EXPECT_EQ(unit->GetParam(0)->Value(), 0.9f);
    EXPECT_EQ(unit->GetParam(1)->Value(), -0.5);
    EXPECT_EQ(unit->GetParam(2)->Value(), 0.0);
    const std::vector<int> changes = static_cast<GroupedAU*>(unit.get())->changes;
    EXPECT_EQ(unit->DoScheduleParameters(nullptr, 2), paramErr);
    EXPECT_EQ(static_cast<GroupedAU*>(unit.get())->changes, changes);
}

TEST(AUParams, GesturesAndChangesReachTheHost) {
    Unit unit(new GroupedAU());
    EventLog log;
    AUEventListenerRef listener = ZerubAddEventListener(EventLog::Proc, &log);
    ASSERT_NE(listener, nullptr);
    unit->BeginInformHostOfParamChange(2);
    unit->SetParameterFromGUI(2, 0.75);
    unit->EndInformHostOfParamChange(2);
    ZerubRemoveEventListener(listener);
    ASSERT_EQ(log.events.size(), 3u);
    EXPECT_EQ(log.events[0].mEventType, kAudioUnitEvent_BeginParameterChangeGesture);
    EXPECT_EQ(log.events[1].mEventType, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(log.events[2].mEventType, kAudioUnitEvent_EndParameterChangeGesture);
    EXPECT_EQ(log.events[1].mArgument.mParameter.mParameterID, 2u);
    EXPECT_EQ(log.events[1].mArgument.mParameter.mScope, kAudioUnitScope_Global);
    EXPECT_DOUBLE_EQ(unit->GetParam(2)->Value(), 6.0); // stored before the host was told
}

TEST(AUParams, ProgramChangeTellsPresentPresetListenersOnly) {
    Unit unit(new GroupedAU());
    int present = 0, current = 0;
    auto proc = [](void* user, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        ++*static_cast<int*>(user);
    };
    unit->DoAddPropertyListener(kAudioUnitProperty_PresentPreset, proc, &present);
    unit->DoAddPropertyListener(kAudioUnitProperty_CurrentPreset, proc, &current);
    unit->InformHostOfProgramChange();
    EXPECT_EQ(present, 1);
    EXPECT_EQ(current, 0);
}

TEST(AUParams, HostIdentifierProperty) {
    Unit unit(MakePlug(nullptr));
    AUHostIdentifier id = {CFSTR("Logic Pro X"), {}};
    id.hostVersion.majorRev = 10;
    id.hostVersion.minorAndBugRev = 0x42;
    ASSERT_EQ(unit->SetProperty(kAudioUnitProperty_AUHostIdentifier, kAudioUnitScope_Global, 0, &id,
                                sizeof id),
              noErr);
    EXPECT_EQ(unit->GetHost(), kHostLogic);
    EXPECT_EQ(unit->GetHostVersion(false), 10 * 65536 + 4 * 256 + 2);
}

TEST(AUPresetRecords, DescriptionEqualityAndLifetime) {
    CFStringRef name = CFStringCreateWithCString(nullptr, "Warm", kCFStringEncodingUTF8);
    CFAUPresetRef preset = CFAUPresetCreate(kCFAllocatorDefault, 2, name);
    ASSERT_NE(preset, nullptr);
    CFStringRef description = CFAUPresetArrayCopyDescriptionCallBack(preset);
    EXPECT_EQ(Text(description), "AUPreset:\npreset number = 2\npreset name = Warm");
    CFRelease(description);

    CFAUPresetRef same = CFAUPresetCreate(kCFAllocatorDefault, 2, name);
    CFStringRef lower = CFStringCreateWithCString(nullptr, "warm", kCFStringEncodingUTF8);
    CFAUPresetRef other = CFAUPresetCreate(kCFAllocatorDefault, 2, lower);
    EXPECT_TRUE(CFAUPresetArrayEqualCallBack(preset, same));
    EXPECT_FALSE(CFAUPresetArrayEqualCallBack(preset, other)); // case-sensitive

    const CFIndex before = CFGetRetainCount(preset->au.presetName);
    CFAUPresetRetain(preset);
    EXPECT_EQ(preset->retainCount, 2);
    EXPECT_EQ(CFGetRetainCount(preset->au.presetName), before + 1);
    CFAUPresetRelease(preset);
    EXPECT_EQ(CFGetRetainCount(preset->au.presetName), before);
    CFAUPresetRelease(preset); // count 0: freed with its name (LeakSanitizer checks the rest)
    CFAUPresetRelease(same);
    CFAUPresetRelease(other);
    CFAUPresetRelease(nullptr);
    CFRelease(name);
    CFRelease(lower);

    CFArrayCallBacks callbacks = {};
    CFAUPresetArrayCallBacks_Init(&callbacks);
    EXPECT_EQ(callbacks.retain, kCFAUPresetArrayCallBacks.retain);
    EXPECT_EQ(callbacks.equal, CFAUPresetArrayEqualCallBack);
    CFAUPresetArrayCallBacks_Init(nullptr);
}

TEST(AUPresetRecords, DictionaryHelpers) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const SInt32 v = 65536;
    PutNumberInDict(dict, "version", &v, kCFNumberSInt32Type);
    PutStrInDict(dict, "name", std::string(100, 'n').c_str());
    ByteChunk chunk;
    chunk.Append(0.5);
    PutDataInDict(dict, "data", &chunk);

    SInt32 read = 0;
    EXPECT_TRUE(GetSInt32FromDict(dict, "version", &read));
    EXPECT_EQ(read, 65536);
    EXPECT_FALSE(GetSInt32FromDict(dict, "name", &read)); // not a number
    char text[64];
    EXPECT_TRUE(GetStrFromDict(dict, "name", text, sizeof text));
    EXPECT_EQ(std::string(text), std::string(63, 'n')); // cut to the buffer
    EXPECT_FALSE(GetStrFromDict(dict, "missing", text, sizeof text));
    EXPECT_STREQ(text, "");
    ByteChunk back;
    EXPECT_TRUE(GetDataFromDict(dict, "data", &back));
    EXPECT_TRUE(back.IsEqual(chunk));
    EXPECT_FALSE(GetDataFromDict(dict, "version", &back));
    CFRelease(dict);
}
