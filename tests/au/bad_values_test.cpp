// Outside values the wrapper must refuse whole: class-info data that cannot be restored in full,
// non-finite parameter values from any side, and names of any length.
#include "AUTestSupport.h"
#include "HostSideSupport.h"
#include "au/au_preset_utils.h"
#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

CFDataRef Doubles(std::vector<double> values, size_t bytes) {
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(values.data()),
                        static_cast<CFIndex>(bytes));
}

std::string Cut(const std::string& text, int size) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    PutStrInDict(dict, "name", text.c_str());
    std::vector<char> out(static_cast<size_t>(size), 'x');
    EXPECT_TRUE(GetStrFromDict(dict, "name", out.data(), size));
    CFRelease(dict);
    return out.data();
}

std::string Repeat(const char* piece, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += piece;
    return s;
}

class RecordingEditor : public IGraphicsHeadless {
public:
    explicit RecordingEditor(IPlugBase* plug) : IGraphicsHeadless(plug, 8, 8) {}
    void SetParameterFromPlug(int idx, double value, bool normalized) override {
        pushes.push_back(value);
        IGraphicsHeadless::SetParameterFromPlug(idx, value, normalized);
    }
    std::vector<double> pushes;
};

class EditedAU : public GroupedAU {
public:
    EditedAU() : editor(new RecordingEditor(this)) {
        AttachGraphics(editor);
        editor->pushes.clear();
        changes.clear();
    }
    RecordingEditor* editor;
};

} // namespace

TEST(AUBadValues, StateThatCannotBeRestoredWholeChangesNothing) {
    HostUnit a(GroupedComponent());
    AUPreset second = {1, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(a.unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global,
                                   0, &second, sizeof second),
              noErr);
    CFPropertyListRef saved = a.Save(); // "second": 0.4, 0.5, 0.6, 2
    ASSERT_NE(saved, nullptr);

    const std::vector<double> good = {0.25, -0.5, 6.0, 1.0};
    struct Bad {
        const char* what;
        std::vector<double> values;
        size_t bytes;
    };
    const Bad bad[] = {{"empty", good, 0},
                       {"2 bytes", good, 2},
                       {"8 bytes", good, 8},
                       {"one parameter short", good, 24},
                       {"NaN", {kNaN, -0.5, 6.0, 1.0}, 32},
                       {"infinity", {0.25, -0.5, kInf, 1.0}, 32},
                       {"minus infinity", {0.25, -0.5, 6.0, -kInf}, 32}};
    HostUnit b(GroupedComponent());
    ASSERT_EQ(AudioUnitSetParameter(b.unit, 0, kAudioUnitScope_Global, 0, 0.9f, 0), noErr);
    for (const Bad& c : bad) {
        CFDataRef data = Doubles(c.values, c.bytes);
        CFMutableDictionaryRef state = With(saved, "data", data);
        EXPECT_EQ(b.Restore(state), kAudioUnitErr_InvalidPropertyValue) << c.what;
        EXPECT_FLOAT_EQ(b.Param(0), 0.9f) << c.what;
        EXPECT_EQ(b.Param(2), 0.0f) << c.what;
        EXPECT_EQ(b.PresetNumber(), 0) << c.what; // "second" was not selected
        CFRelease(state);
        CFRelease(data);
    }
    CFMutableDictionaryRef noData = With(saved, "data", nullptr);
    EXPECT_EQ(b.Restore(noData), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(b.PresetNumber(), 0);
    CFRelease(noData);

    // Longer than the parameters need is fine: the rest is not read.
    CFDataRef longer = Doubles({0.25, -0.5, 6.0, 1.0, kNaN}, 40);
    CFMutableDictionaryRef state = With(saved, "data", longer);
    EXPECT_EQ(b.Restore(state), noErr);
    EXPECT_EQ(b.PresetNumber(), 1);
    EXPECT_EQ(b.Param(0), 0.25f);
    EXPECT_EQ(b.Param(2), 6.0f);
    CFRelease(state);
    CFRelease(longer);
    CFRelease(saved);
}

TEST(AUBadValues, NamesOfAnyLengthAreCutInOnePass) {
    // Each UTF-8 width at the cut: whole characters only, as many as fit in 63 bytes.
    EXPECT_EQ(Cut(std::string(100, 'n'), 64), std::string(63, 'n'));
    EXPECT_EQ(Cut(Repeat("\xC3\xA9", 40), 64), Repeat("\xC3\xA9", 31));                 // é
    EXPECT_EQ(Cut(Repeat("\xE2\x82\xAC", 30), 64), Repeat("\xE2\x82\xAC", 21));         // €
    EXPECT_EQ(Cut(Repeat("\xF0\x9F\x98\x80", 20), 64), Repeat("\xF0\x9F\x98\x80", 15)); // U+1F600
    EXPECT_EQ(Cut("a" + Repeat("\xF0\x9F\x98\x80", 20), 8), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Cut(Repeat("\xE2\x82\xAC", 3), 3), "");
    EXPECT_EQ(Cut("short", 64), "short");

    // A state whose name is far longer than any preset name restores at once; the name matches
    // no preset, so the data alone applies.
    HostUnit a(GroupedComponent());
    ASSERT_EQ(AudioUnitSetParameter(a.unit, 0, kAudioUnitScope_Global, 0, 0.75f, 0), noErr);
    CFPropertyListRef saved = a.Save();
    CFStringRef name =
        CFStringCreateWithCString(nullptr, std::string(100000, 'p').c_str(), kCFStringEncodingUTF8);
    CFMutableDictionaryRef state = With(saved, "name", name);
    HostUnit b(GroupedComponent());
    EXPECT_EQ(b.Restore(state), noErr);
    EXPECT_EQ(b.Param(0), 0.75f);
    CFRelease(state);
    CFRelease(name);
    CFRelease(saved);
}

TEST(AUBadValues, NonFiniteParameterValuesAreRefusedBeforeAnyoneHears) {
    EditedAU unit;
    for (double v : {kNaN, kInf, -kInf}) {
        EXPECT_EQ(unit.SetParamProc(0, kAudioUnitScope_Global, 0, static_cast<Float32>(v), 0),
                  kAudioUnitErr_InvalidParameterValue)
            << v;
        EXPECT_EQ(unit.GetParam(0)->Value(), 0.5);
    }
    EXPECT_TRUE(unit.editor->pushes.empty());
    EXPECT_TRUE(unit.changes.empty());

    // A scheduled list with a bad event is refused whole, before anyone hears of any event.
    AudioUnitParameterEvent events[3] = {};
    for (AudioUnitParameterEvent& e : events) {
        e.scope = kAudioUnitScope_Global;
        e.eventType = kParameterEvent_Immediate;
    }
    events[0].parameter = 1;
    events[0].eventValues.immediate.value = -0.5f;
    events[1].parameter = 0;
    events[1].eventValues.immediate.value = static_cast<Float32>(kNaN);
    events[2].parameter = 2;
    events[2].eventValues.immediate.value = 3.0f;
    EXPECT_EQ(unit.DoScheduleParameters(events, 3), kAudioUnitErr_InvalidParameterValue);
    EXPECT_EQ(unit.GetParam(1)->Value(), 0.0);
    EXPECT_EQ(unit.GetParam(0)->Value(), 0.5);
    EXPECT_EQ(unit.GetParam(2)->Value(), 0.0);
    EXPECT_TRUE(unit.editor->pushes.empty());
    EXPECT_TRUE(unit.changes.empty());

    // Typed text that reads as no finite number is refused and maps to nothing.
    for (const char* text : {"nan", "inf", "-1e999", "1e300"}) {
        CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
        AudioUnitParameterValueFromString vfs = {0, s, 0.25f};
        UInt32 size = sizeof vfs;
        EXPECT_EQ(unit.GetProperty(kAudioUnitProperty_ParameterValueFromString,
                                   kAudioUnitScope_Global, 0, &vfs, &size),
                  kAudioUnitErr_InvalidPropertyValue);
        EXPECT_EQ(vfs.outValue, 0.25f) << text;
        CFRelease(s);
    }
}

TEST(AUBadValues, NaNFromHostOrEditorNeverSilencesTheEffect) {
    HostUnit u(ProductComponent());
    IPlugAU* plug = u.Plug();
    ASSERT_NE(plug, nullptr);
    struct Input {
        static OSStatus Render(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* t, UInt32,
                               UInt32 frames, AudioBufferList* list) {
            for (UInt32 c = 0; c < list->mNumberBuffers; ++c) {
                float* data = static_cast<float*>(list->mBuffers[c].mData);
                for (UInt32 s = 0; s < frames; ++s)
                    data[s] = static_cast<float>(0.5 * std::sin((t->mSampleTime + s) * 0.05));
            }
            return noErr;
        }
    };
    AURenderCallbackStruct cb = {Input::Render, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(u.unit, kAudioUnitProperty_SetRenderCallback,
                                   kAudioUnitScope_Input, 0, &cb, sizeof cb),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(u.unit), noErr);

    EXPECT_EQ(AudioUnitSetParameter(u.unit, Zerub::kGain, kAudioUnitScope_Global, 0,
                                    static_cast<Float32>(kNaN), 0),
              kAudioUnitErr_InvalidParameterValue);
    // What a control holding NaN would push on its next wheel notch or drag.
    plug->SetParameterFromGUI(Zerub::kGain, kNaN);
    plug->SetParameterFromGUI(Zerub::kLevel, kInf);
    Float32 gain = -1;
    ASSERT_EQ(AudioUnitGetParameter(u.unit, Zerub::kGain, kAudioUnitScope_Global, 0, &gain), noErr);
    EXPECT_EQ(gain, 0.5f);

    std::vector<float> left(512), right(512);
    struct {
        UInt32 n;
        AudioBuffer b[2];
    } list = {2, {{1, 2048, left.data()}, {1, 2048, right.data()}}};
    AudioTimeStamp t = {};
    t.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(
        AudioUnitRender(u.unit, &flags, &t, 0, 512, reinterpret_cast<AudioBufferList*>(&list)),
        noErr);
    float peak = 0;
    for (float v : left) {
        ASSERT_TRUE(std::isfinite(v));
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_GT(peak, 0.01f);
}
