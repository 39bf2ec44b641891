// The effect's editor, built by the effect's constructor and drawn headless: layout, bindings,
// golden images at two settings, and knob and switch edits through the editor's mouse routines.
#include "GoldenImage.h"
#include "au/IPlugAUQuality.h"
#include "editor/IControls.h"
#include "editor/IGraphicsHeadless.h"
#include "editor/IQualitySwitch.h"
#include "effect/Zerub.h"
#include "effect/ZerubLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const char* const kImgDir = ZERUB_SOURCE_DIR "/resources/img";

struct EffectEditor : ::testing::Test {
    std::unique_ptr<IPlugAU> plug;
    IGraphics* gui = nullptr;
    IMouseMod left{true};

    void SetUp() override {
        // No bundle is loaded in a test program: the images come from the source tree.
        IGraphicsHeadless::SetDefaultResourceDir(kImgDir);
        plug.reset(MakePlug(nullptr));
        ASSERT_TRUE(plug);
        gui = dynamic_cast<IGraphics*>(plug->GetGUI());
        ASSERT_NE(gui, nullptr);
    }
    // One redraw cycle as the frame timer runs it; false when nothing was dirty.
    bool Cycle() {
        IRECT r;
        if (!gui->IsDirty(&r)) return false;
        return gui->Draw(&r);
    }
    // Sets real values as a host would and lets the editor catch up.
    void SetFromHost(double gain, double level, double bypass) {
        plug->GetParam(Zerub::kGain)->Set(gain);
        plug->GetParam(Zerub::kLevel)->Set(level);
        plug->GetParam(Zerub::kBypass)->Set(bypass);
        for (int i = 0; i < Zerub::kNumParams; ++i) // as the host's parameter-set entry does
            plug->OnParamChange(i);
        plug->RedrawParamControls();
        while (Cycle()) {
        }
    }
    void Click(int x, int y) {
        gui->OnMouseDown(x, y, &left);
        gui->OnMouseUp(x, y, &left);
    }
};

// The expected pixels of a region: the background with one frame of an artwork strip blended
// over it, composed with plain raster calls rather than through the editor.
std::unique_ptr<LICE_IBitmap> Composed(const char* strip, int frames, int frame, int x, int y) {
    std::unique_ptr<LICE_IBitmap> bg(LICE_LoadPNG((std::string(kImgDir) + "/BG.png").c_str()));
    std::unique_ptr<LICE_IBitmap> art(
        LICE_LoadPNG((std::string(kImgDir) + "/" + strip + ".png").c_str()));
    if (!bg || !art) return nullptr;
    const int fh = art->getHeight() / frames;
    LICE_Blit(bg.get(), art.get(), x, y, 0, (frame - 1) * fh, art->getWidth(), fh, 1.0f,
              LICE_COMBINE_USE_SOURCE_ALPHA);
    return bg;
}

// True when the back buffer equals the composition over the area.
bool Shows(IGraphics* gui, LICE_IBitmap* expected, IRECT area) {
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (LICE_GetPixel(gui->GetBackBuffer(), x, y) != LICE_GetPixel(expected, x, y))
                return false;
    return true;
}

TEST_F(EffectEditor, LayoutAndBindingsAreTheEffects) {
    EXPECT_EQ(gui->Width(), 333);
    EXPECT_EQ(gui->Height(), 511);
    EXPECT_EQ(gui->FPS(), 25);
    ASSERT_EQ(gui->NControls(), 6);
    EXPECT_EQ(*gui->GetControl(0)->GetRECT(), IRECT(0, 0, 333, 511));
    EXPECT_EQ(*gui->GetControl(1)->GetRECT(), IRECT(164, 172, 226, 234));
    EXPECT_EQ(*gui->GetControl(2)->GetRECT(), IRECT(62, 62, 124, 124));
    EXPECT_EQ(*gui->GetControl(3)->GetRECT(), IRECT(0, 481, 206, 511));
    EXPECT_EQ(*gui->GetControl(4)->GetRECT(), IRECT(233, 484, 333, 584));
    EXPECT_EQ(*gui->GetControl(5)->GetRECT(), IRECT(206, 481, 228, 511));
    EXPECT_EQ(gui->GetControl(5)->ParamIdx(), -1);
    EXPECT_NE(dynamic_cast<IQualitySwitchControl*>(gui->GetControl(5)), nullptr);
    EXPECT_EQ(gui->GetControl(0)->ParamIdx(), -1);
    EXPECT_EQ(gui->GetControl(1)->ParamIdx(), Zerub::kGain);
    EXPECT_EQ(gui->GetControl(2)->ParamIdx(), Zerub::kLevel);
    EXPECT_EQ(gui->GetControl(3)->ParamIdx(), Zerub::kBypass);
    EXPECT_EQ(gui->GetControl(4)->ParamIdx(), -1);
    auto* gain = dynamic_cast<IKnobMultiControl*>(gui->GetControl(1));
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->GetBitmap()->frameCount, 31);
    EXPECT_DOUBLE_EQ(gain->GetGearing(), 4.0);
    EXPECT_EQ(gain->GetResetValue(), 0.5); // pushed by AttachGraphics
    auto* link = dynamic_cast<IURLControl*>(gui->GetControl(4));
    ASSERT_NE(link, nullptr);
    EXPECT_STREQ(link->GetURL(), "https://www.quillmoor.com/zerub");
    EXPECT_STREQ(link->GetBackupURL(), "");

    EXPECT_EQ(gui->GetMouseControlIdx(332, 510), 4); // the visible strip of the link
    EXPECT_EQ(gui->GetMouseControlIdx(232, 500), 0);
    EXPECT_EQ(gui->GetMouseControlIdx(205, 500), 3);
    EXPECT_EQ(gui->GetMouseControlIdx(206, 500), 5);
    EXPECT_EQ(gui->GetMouseControlIdx(227, 482), 5);
}

TEST_F(EffectEditor, DrawnAtDefaultValuesMatchesTheGoldenImage) {
    ASSERT_TRUE(Cycle());
    EXPECT_FALSE(Cycle()); // one frame cleans everything after construction
    std::unique_ptr<LICE_IBitmap> gainAtHalf = Composed("GAIN", 31, 16, 164, 172);
    ASSERT_TRUE(gainAtHalf);
    EXPECT_TRUE(Shows(gui, gainAtHalf.get(), IRECT(164, 172, 226, 234)));
    const std::string diff = CompareWithGolden("zerub_default", gui->GetBackBuffer());
    EXPECT_TRUE(diff.empty()) << diff;
}

TEST_F(EffectEditor, DrawnAtGainOneLevelZeroBypassedMatchesTheGoldenImage) {
    Cycle();
    SetFromHost(1.0, 0.0, 1.0);
    std::unique_ptr<LICE_IBitmap> gainFull = Composed("GAIN", 31, 31, 164, 172);
    std::unique_ptr<LICE_IBitmap> levelZero = Composed("LEVEL", 31, 1, 62, 62);
    std::unique_ptr<LICE_IBitmap> bypassOn = Composed("BYPASS", 2, 2, 0, 481);
    ASSERT_TRUE(gainFull && levelZero && bypassOn);
    EXPECT_TRUE(Shows(gui, gainFull.get(), IRECT(164, 172, 226, 234)));
    EXPECT_TRUE(Shows(gui, levelZero.get(), IRECT(62, 62, 124, 124)));
    EXPECT_TRUE(Shows(gui, bypassOn.get(), IRECT(0, 481, 206, 511)));
    const std::string diff = CompareWithGolden("zerub_gain1_level0_bypassed", gui->GetBackBuffer());
    EXPECT_TRUE(diff.empty()) << diff;

    Click(100, 495); // the switch goes back to 0
    EXPECT_EQ(plug->GetParam(Zerub::kBypass)->Value(), 0.0);
    while (Cycle()) {
    }
    std::unique_ptr<LICE_IBitmap> bypassOff = Composed("BYPASS", 2, 1, 0, 481);
    EXPECT_TRUE(Shows(gui, bypassOff.get(), IRECT(0, 481, 206, 511)));
}

// True when one block through the effect comes out as it went in.
bool Bypasses(IPlugAU* plug) {
    double inL[64], inR[64], outL[64], outR[64];
    for (int i = 0; i < 64; ++i)
        inL[i] = inR[i] = 0.5 * std::sin(0.3 * i);
    double* ins[2] = {inL, inR};
    double* outs[2] = {outL, outR};
    plug->ProcessDoubleReplacing(ins, outs, 64);
    return std::equal(inL, inL + 64, outL) && std::equal(inR, inR + 64, outR);
}

// The switch shows "on" exactly when the audio is bypassed, for every value a host may set, and
// a press always moves it to the state it does not show.
TEST_F(EffectEditor, TheBypassSwitchShowsOnOnlyWhenTheAudioIsBypassed) {
    std::unique_ptr<LICE_IBitmap> on = Composed("BYPASS", 2, 2, 0, 481);
    std::unique_ptr<LICE_IBitmap> off = Composed("BYPASS", 2, 1, 0, 481);
    ASSERT_TRUE(on && off);
    const IRECT area(0, 481, 206, 511);
    Cycle();
    for (double value : {0.0, 0.3, 0.5, 0.7, 0.999, 1.0, 0.6}) {
        SetFromHost(0.5, 0.5, value);
        const bool bypassed = Bypasses(plug.get());
        EXPECT_EQ(bypassed, value == 1.0) << value;
        EXPECT_TRUE(Shows(gui, bypassed ? on.get() : off.get(), area)) << value;
    }
    Click(100, 495); // from 0.6, which plays the effect: now bypassed
    while (Cycle()) {
    }
    EXPECT_TRUE(Bypasses(plug.get()));
    EXPECT_TRUE(Shows(gui, on.get(), area));
    gui->OnMouseDblClick(100, 495, &left); // and back
    gui->OnMouseUp(100, 495, &left);
    while (Cycle()) {
    }
    EXPECT_FALSE(Bypasses(plug.get()));
    EXPECT_TRUE(Shows(gui, off.get(), area));
}

TEST_F(EffectEditor, KnobDraggedThroughTheEditorSetsTheParameterAndTheFrame) {
    Cycle();
    gui->OnMouseDown(195, 203, &left);
    gui->OnMouseDrag(195, 172, &left); // 31 pixels up: a quarter of 62 x 4 pixels of travel
    gui->OnMouseDrag(195, 141, &left);
    gui->OnMouseUp(195, 141, &left);
    EXPECT_DOUBLE_EQ(plug->GetParam(Zerub::kGain)->Value(), 0.75);
    EXPECT_DOUBLE_EQ(plug->GetParam(Zerub::kGain)->GetNormalized(), 0.75);

    IRECT r;
    ASSERT_TRUE(gui->IsDirty(&r));
    EXPECT_EQ(r, IRECT(164, 172, 226, 234)); // only the knob needs drawing
    gui->Draw(&r);
    std::unique_ptr<LICE_IBitmap> expected =
        Composed("GAIN", 31, 24, 164, 172); // (int)(22.5 + 0.5) + 1
    ASSERT_TRUE(expected);
    EXPECT_TRUE(Shows(gui, expected.get(), IRECT(164, 172, 226, 234)));

    IMouseMod shift(true, false, true);
    gui->OnMouseDown(93, 93, &shift);
    gui->OnMouseDrag(93, 155, &shift); // 62 down with shift: a fortieth
    gui->OnMouseUp(93, 155, &shift);
    EXPECT_DOUBLE_EQ(plug->GetParam(Zerub::kLevel)->Value(), 0.5 - 0.025);

    gui->OnMouseDblClick(195, 203, &left); // back to the reset value
    EXPECT_DOUBLE_EQ(plug->GetParam(Zerub::kGain)->Value(), 0.5);
}

// Counts the Audio Unit's notices of one property.
void CountNotice(void* count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(count);
}

// The HQ switch sets the unit's quality as the property does (its listeners and the latency's
// hear of it), and a change from the host, by the property or a restored session, shows.
TEST_F(EffectEditor, TheHQSwitchSetsTheQualityThroughThePropertyAndFollowsTheHost) {
    plug->SetSampleRate(48000.0);
    int qualityNotices = 0, latencyNotices = 0;
    ASSERT_EQ(plug->DoAddPropertyListener(kIPlugQualityPropertyID, CountNotice, &qualityNotices),
              noErr);
    ASSERT_EQ(plug->DoAddPropertyListener(kAudioUnitProperty_Latency, CountNotice, &latencyNotices),
              noErr);
    std::unique_ptr<LICE_IBitmap> standard = Composed("HQ", 2, 1, 206, 481);
    std::unique_ptr<LICE_IBitmap> hq = Composed("HQ", 2, 2, 206, 481);
    ASSERT_TRUE(standard && hq);
    const IRECT area(206, 481, 228, 511);
    while (Cycle()) {
    }
    EXPECT_TRUE(Shows(gui, standard.get(), area));
    EXPECT_FALSE(Shows(gui, hq.get(), area));

    Click(217, 495);
    EXPECT_EQ(plug->GetQuality(), Zerub::kQualityHQ);
    EXPECT_EQ(plug->GetLatency(), Zerub::LatencyFor(Zerub::kQualityHQ, 48000.0));
    EXPECT_GT(plug->GetLatency(), 0);
    EXPECT_EQ(qualityNotices, 1);
    EXPECT_EQ(latencyNotices, 1);
    while (Cycle()) {
    }
    EXPECT_TRUE(Shows(gui, hq.get(), area));

    Click(217, 495);
    EXPECT_EQ(plug->GetQuality(), Zerub::kQualityStandard);
    EXPECT_EQ(plug->GetLatency(), 0);
    EXPECT_EQ(qualityNotices, 2);
    EXPECT_EQ(latencyNotices, 2);
    while (Cycle()) {
    }
    EXPECT_TRUE(Shows(gui, standard.get(), area));

    // The host sets the property: the switch follows; a refused value changes nothing.
    UInt32 value = 1;
    ASSERT_EQ(
        plug->SetProperty(kIPlugQualityPropertyID, kAudioUnitScope_Global, 0, &value, sizeof value),
        noErr);
    while (Cycle()) {
    }
    EXPECT_TRUE(Shows(gui, hq.get(), area));
    value = 2;
    EXPECT_NE(
        plug->SetProperty(kIPlugQualityPropertyID, kAudioUnitScope_Global, 0, &value, sizeof value),
        noErr);
    EXPECT_FALSE(Cycle());
    EXPECT_TRUE(Shows(gui, hq.get(), area));

    // A session restored in Standard shows Standard.
    IPlugAU::ClassInfoState state;
    ASSERT_TRUE(plug->SerializeState(&state.chunk));
    state.quality = 0;
    ASSERT_EQ(plug->ApplyState(&state), noErr);
    while (Cycle()) {
    }
    EXPECT_TRUE(Shows(gui, standard.get(), area));
}

// Every artwork set is drawn to the layout the editor places its controls by, at its scale.
TEST(EffectArtwork, EverySetHasTheLayoutsSizesAtItsScale) {
    using namespace zerub_layout;
    struct Picture {
        const char* name;
        int w, h; // at 1x, every frame
    };
    const Picture pictures[] = {{"BG", kWidth, kHeight},
                                {"GAIN", kKnobSize, kKnobSize * kKnobFrames},
                                {"LEVEL", kKnobSize, kKnobSize * kKnobFrames},
                                {"BYPASS", kSwitchW, kSwitchH * kSwitchFrames},
                                {"HQ", kHQW, kHQH * kSwitchFrames}};
    for (int set = 1; set <= IGraphics::kLargestArtworkSet; ++set)
        for (const Picture& p : pictures) {
            const std::string file = std::string(kImgDir) + "/" + p.name +
                                     (set == 1 ? "" : "@" + std::to_string(set) + "x") + ".png";
            std::unique_ptr<LICE_IBitmap> image(LICE_LoadPNG(file.c_str()));
            ASSERT_TRUE(image) << file;
            EXPECT_EQ(image->getWidth(), p.w * set) << file;
            EXPECT_EQ(image->getHeight(), p.h * set) << file;
        }
    // The bottom bar's controls sit side by side on the plate, inside the editor.
    EXPECT_EQ(kSwitchX + kSwitchW, kHQX);
    EXPECT_LE(kHQX + kHQW, kLinkLeft);
    EXPECT_EQ(kHQY + kHQH, kHeight);
}

} // namespace
