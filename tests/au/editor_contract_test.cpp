// What a host does to the parameters reaches the product's editor, with no display: the
// windowless editor of the linked effect stands in for the Cocoa view.
#include "AUTestSupport.h"
#include "editor/IGraphics.h"
#include "effect/Zerub.h"

#include <AudioUnit/AudioUnit.h>

namespace {

// The normalised value the editor's control for paramIdx shows; -1 when it has none.
double ControlValue(IPlugAU* plug, int paramIdx) {
    IGraphics* gui = plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
    for (int i = 0; gui && i < gui->NControls(); ++i)
        if (gui->GetControl(i)->ParamIdx() == paramIdx) return gui->GetControl(i)->GetValue();
    return -1.0;
}

} // namespace

TEST(AUEditorContract, HostSetsMoveTheEditorsControls) {
    HostUnit u(ProductComponent());
    ASSERT_NE(u.unit, nullptr);
    IPlugAU* plug = u.Plug();
    ASSERT_GE(ControlValue(plug, Zerub::kGain), 0.0) << "the product has no gain control";

    // AudioUnitSetParameter, each parameter.
    const struct {
        int idx;
        Float32 value;
    } sets[] = {{Zerub::kGain, 0.8f}, {Zerub::kLevel, 0.15f}, {Zerub::kBypass, 1.0f}};
    for (const auto& s : sets) {
        ASSERT_EQ(AudioUnitSetParameter(u.unit, s.idx, kAudioUnitScope_Global, 0, s.value, 0),
                  noErr);
        EXPECT_NEAR(ControlValue(plug, s.idx), s.value, 1e-6) << "parameter " << s.idx;
    }

    // A scheduled immediate event and a ramp (which takes its end value).
    AudioUnitParameterEvent events[2] = {};
    events[0].scope = events[1].scope = kAudioUnitScope_Global;
    events[0].parameter = Zerub::kGain;
    events[0].eventType = kParameterEvent_Immediate;
    events[0].eventValues.immediate.value = 0.3f;
    events[1].parameter = Zerub::kLevel;
    events[1].eventType = kParameterEvent_Ramped;
    events[1].eventValues.ramp.startValue = 0.0f;
    events[1].eventValues.ramp.endValue = 0.6f;
    events[1].eventValues.ramp.durationInFrames = 64;
    ASSERT_EQ(AudioUnitScheduleParameters(u.unit, events, 2), noErr);
    EXPECT_NEAR(ControlValue(plug, Zerub::kGain), 0.3, 1e-6);
    EXPECT_NEAR(ControlValue(plug, Zerub::kLevel), 0.6, 1e-6);

    // A restored state moves them back.
    CFPropertyListRef state = u.Save();
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(AudioUnitSetParameter(u.unit, Zerub::kGain, kAudioUnitScope_Global, 0, 1.0f, 0),
              noErr);
    EXPECT_EQ(u.Restore(state), noErr);
    CFRelease(state);
    EXPECT_NEAR(ControlValue(plug, Zerub::kGain), 0.3, 1e-6);
}
