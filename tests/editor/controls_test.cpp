// The control library: frame choice, knob drag and wheel, switches, radio buttons, fader, frame
// switch, link, file selector, caption and bitmap text.
#include "EditorTestSupport.h"
#include "editor/IBitmapMonoText.h"
#include "editor/IControls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// An image record of the given geometry without pixels: controls take their size from it.
IBitmap Geometry(int w, int h, int frames, bool horizontal = false) {
    return IBitmap(nullptr, w, h, frames, horizontal);
}

struct Controls : ::testing::Test {
    EditorTestPlug plug{3};
    RecordingGraphics* gui = nullptr;
    IMouseMod left{true};

    void SetUp() override {
        plug.GetParam(0)->InitDouble("Drive", 0.5, 0.0, 1.0, 0.01, "%");
        plug.GetParam(1)->InitInt("Steps", 0, 0, 2);
        plug.GetParam(2)->InitBool("On", false);
        gui = new RecordingGraphics(&plug, 200, 200, 0);
        IColor black = COLOR_BLACK;
        gui->AttachPanelBackground(&black);
    }
    template <class C>
    C* Add(C* c) {
        gui->AttachControl(c);
        return c;
    }
    void Attach() { plug.AttachGraphics(gui); }
    void TearDown() override {
        if (plug.GetGUI() != gui) delete gui; // never handed to the plug-in
    }
    // Presses at (x, y) and releases there.
    void Click(int x, int y, IMouseMod* mod = nullptr) {
        gui->OnMouseDown(x, y, mod ? mod : &left);
        gui->OnMouseUp(x, y, mod ? mod : &left);
    }
};

TEST(FrameChoice, RoundsTheValueOntoTheFrames) {
    EXPECT_EQ(FrameFromValue(0.0, 31), 1);
    EXPECT_EQ(FrameFromValue(0.5, 31), 16);
    EXPECT_EQ(FrameFromValue(1.0, 31), 31);
    EXPECT_EQ(FrameFromValue(0.48, 31), 15); // (int)(30 x 0.48 + 0.5) + 1
    EXPECT_EQ(FrameFromValue(-0.5, 31), 1);
    EXPECT_EQ(FrameFromValue(7.0, 31), 31);
    EXPECT_EQ(FrameFromValue(0.9, 1), 1);
    EXPECT_EQ(FrameFromValue(0.49, 2), 1);
    EXPECT_EQ(FrameFromValue(0.5, 2), 2);
}

TEST_F(Controls, KnobDragSweepsGearingTimesItsHeightAndShiftIsTenTimesFiner) {
    IBitmap strip = Geometry(62, 1922, 31);
    auto* knob = Add(new IKnobMultiControl(&plug, 20, 30, 0, &strip));
    EXPECT_EQ(*knob->GetRECT(), IRECT(20, 30, 82, 92));
    Attach();

    gui->OnMouseDown(50, 60, &left);
    gui->OnMouseDrag(50, 29, &left); // 31 pixels up
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.625);
    IMouseMod shift(true, false, true);
    gui->OnMouseDrag(50, -2, &shift);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.6375);
    IMouseMod control(true, false, false, true);
    gui->OnMouseDrag(50, 29, &control); // 31 down, fine
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.625);
    gui->OnMouseDrag(50, -400, &left); // far past the top: clamped
    EXPECT_EQ(knob->GetValue(), 1.0);
    EXPECT_EQ(plug.informed.back(), std::make_pair(0, 1.0));
    EXPECT_EQ(plug.GetParam(0)->Value(), 1.0);
    gui->OnMouseUp(50, -400, &left);
}

TEST_F(Controls, HorizontalKnobFollowsTheXAxis) {
    auto* knob = Add(new IKnobLineControl(&plug, IRECT(0, 0, 100, 40), 0, &COLOR_WHITE, 0.0, 0.0,
                                          -2.0, 2.0, kHorizontal, 2.0));
    Attach();
    gui->OnMouseDown(50, 20, &left);
    gui->OnMouseDrag(90, 20, &left);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5 + 40.0 / 100.0 / 2.0);
}

TEST_F(Controls, KnobWheelStepsByAHundredthOrAThousandth) {
    IBitmap strip = Geometry(62, 1922, 31);
    auto* knob = Add(new IKnobMultiControl(&plug, 20, 30, 0, &strip));
    Attach();
    gui->OnMouseWheel(50, 60, &left, 1);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.51);
    IMouseMod control(true, false, false, true);
    gui->OnMouseWheel(50, 60, &control, 1);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.511);
    const size_t informed = plug.informed.size();
    gui->OnMouseWheel(50, 60, &left, 0); // no change, still pushed
    EXPECT_EQ(plug.informed.size(), informed + 1);
}

TEST_F(Controls, TwoFrameSwitchTogglesAndThreeFramesCycle) {
    IBitmap two = Geometry(40, 40, 2);
    IBitmap three = Geometry(30, 90, 3);
    auto* toggle = Add(new ISwitchControl(&plug, 0, 0, 2, &two));
    auto* cycle = Add(new ISwitchControl(&plug, 100, 100, 1, &three));
    EXPECT_EQ(*toggle->GetRECT(), IRECT(0, 0, 40, 20));
    Attach();
    gui->SetParameterFromPlug(2, 1.0, true);
    Click(10, 10); // 1 + 1 exceeds 1.001: back to 0
    EXPECT_EQ(toggle->GetValue(), 0.0);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);
    IMouseMod right(false, true);
    Click(10, 10, &right); // any button steps the switch
    EXPECT_EQ(plug.GetParam(2)->Value(), 1.0);
    gui->OnMouseDblClick(10, 10, &left);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);

    std::vector<double> seen;
    for (int i = 0; i < 4; ++i) {
        Click(110, 110);
        seen.push_back(cycle->GetValue());
    }
    EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));
    EXPECT_EQ(plug.GetParam(1)->Value(), 1.0);
}

TEST_F(Controls, ContactInvisibleAndOverlaySwitches) {
    IBitmap two = Geometry(20, 40, 2);
    auto* contact = Add(new IContactControl(&plug, 0, 0, 2, &two));
    gui->OnMouseDown(5, 5, &left);
    EXPECT_EQ(contact->GetValue(), 1.0);
    gui->OnMouseUp(5, 5, &left);
    EXPECT_EQ(contact->GetValue(), 0.0);

    auto* invisible = Add(new IInvisibleSwitchControl(&plug, IRECT(50, 0, 70, 20), -1));
    Click(55, 5);
    EXPECT_EQ(invisible->GetValue(), 1.0);
    Click(55, 5);
    EXPECT_EQ(invisible->GetValue(), 0.0);

    auto* overlay =
        Add(new IBitmapOverlayControl(&plug, 100, 100, -1, &two, IRECT(100, 100, 105, 105)));
    Attach();
    IRECT all(0, 0, 200, 200);
    gui->Draw(&all);
    EXPECT_EQ(gui->GetMouseControlIdx(110, 110), 0); // only the small hit area below 0.5
    Click(102, 102);
    gui->Draw(&all);
    EXPECT_EQ(gui->GetMouseControlIdx(110, 110), 3);
    EXPECT_EQ(overlay->GetValue(), 1.0);
}

TEST_F(Controls, RadioButtonsSpreadOverTheAreaAndReverseFromTheFarEnd) {
    IBitmap button = Geometry(10, 40, 2); // 10 x 20 buttons
    auto* down = Add(new IRadioButtonsControl(&plug, IRECT(5, 0, 15, 100), 1, 3, &button));
    auto* up =
        Add(new IRadioButtonsControl(&plug, IRECT(50, 0, 60, 100), 1, 3, &button, kVertical, true));
    auto* across = Add(
        new IRadioButtonsControl(&plug, IRECT(0, 150, 70, 170), 1, 3, &button, kHorizontal, false));
    EXPECT_EQ(*down->GetButtonArea(0), IRECT(5, 0, 15, 20));
    EXPECT_EQ(*down->GetButtonArea(1), IRECT(5, 40, 15, 60));
    EXPECT_EQ(*down->GetButtonArea(2), IRECT(5, 80, 15, 100));
    EXPECT_EQ(*up->GetButtonArea(0), IRECT(50, 80, 60, 100));
    EXPECT_EQ(*up->GetButtonArea(1), IRECT(50, 40, 60, 60));
    EXPECT_EQ(*up->GetButtonArea(2), IRECT(50, 0, 60, 20));
    EXPECT_EQ(*across->GetButtonArea(1), IRECT(30, 150, 40, 170));
    EXPECT_EQ(down->GetButtonArea(3), nullptr);
    Attach();

    Click(8, 85);
    EXPECT_EQ(down->GetValue(), 1.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 2.0);
    Click(8, 30); // between buttons: the value stays, still pushed
    EXPECT_EQ(down->GetValue(), 1.0);
    Click(55, 85); // the reversed group's first button is at the bottom
    EXPECT_EQ(up->GetValue(), 0.0);

    IBitmap one = Geometry(10, 40, 2);
    IRadioButtonsControl single(&plug, IRECT(0, 0, 10, 100), -1, 1, &one);
    EXPECT_EQ(*single.GetButtonArea(0), IRECT(0, 0, 10, 20)); // one button: no spacing to share
}

TEST_F(Controls, FaderHandleFollowsTheValueAndSnapsToThePointer) {
    IBitmap handle = Geometry(10, 20, 1);
    auto* fader = Add(new IFaderControl(&plug, 10, 10, 100, 0, &handle, kVertical, true));
    EXPECT_EQ(*fader->GetRECT(), IRECT(10, 10, 20, 110));
    Attach();
    EXPECT_EQ(fader->GetHandleRECT(1.0), IRECT(10, 10, 20, 30));
    EXPECT_EQ(fader->GetHandleRECT(0.0), IRECT(10, 90, 20, 110));
    EXPECT_EQ(fader->GetHandleRECT(), IRECT(10, 50, 20, 70));
    EXPECT_EQ(gui->GetMouseControlIdx(15, 20), 0); // only the handle takes presses

    gui->OnMouseDown(15, 60, &left); // on the handle
    EXPECT_DOUBLE_EQ(fader->GetValue(), 0.5);
    gui->OnMouseDrag(15, 20, &left); // handle centre at the top
    EXPECT_DOUBLE_EQ(fader->GetValue(), 1.0);
    gui->OnMouseDrag(15, 30, &left);
    EXPECT_DOUBLE_EQ(fader->GetValue(), 1.0 - 10.0 / 80.0);
    gui->OnMouseUp(15, 30, &left);

    IFaderControl across(&plug, 0, 0, 50, -1, &handle, kHorizontal);
    EXPECT_EQ(*across.GetRECT(), IRECT(0, 0, 50, 20));
    across.SnapToMouse(25, 5); // (25 - 0 - 5) / (50 - 10)
    EXPECT_DOUBLE_EQ(across.GetValue(), 0.5);
}

TEST_F(Controls, FrameSwitchSelectsTheStateUnderThePointer) {
    IBitmap frames = Geometry(90, 30, 3, true); // three 30 x 30 frames side by side
    auto* sw = Add(new ISwitchFramesControl(&plug, 0, 0, 1, &frames, true));
    EXPECT_EQ(*sw->GetRECT(), IRECT(0, 0, 30, 30));
    EXPECT_EQ(*sw->GetStateArea(0), IRECT(0, 0, 10, 30));
    EXPECT_EQ(*sw->GetStateArea(2), IRECT(20, 0, 30, 30));
    Attach();
    Click(25, 5);
    EXPECT_EQ(sw->GetValue(), 1.0);
    Click(15, 5);
    EXPECT_EQ(sw->GetValue(), 0.5);
    EXPECT_EQ(plug.GetParam(1)->Value(), 1.0);
}

TEST_F(Controls, LinkOpensThePrimaryAddressAndFallsBackToTheBackup) {
    Add(new IURLControl(&plug, IRECT(0, 0, 50, 50), "https://a.example", "https://b.example"));
    Add(new IURLControl(&plug, IRECT(100, 0, 150, 50), "", nullptr));
    Attach();
    Click(10, 10);
    EXPECT_EQ(gui->urls, std::vector<std::string>{"https://a.example"});
    gui->urlOpens = false;
    gui->urls.clear();
    Click(10, 10);
    EXPECT_EQ(gui->urls, (std::vector<std::string>{"https://a.example", "https://b.example"}));
    gui->urls.clear();
    Click(110, 10); // both empty: nothing
    EXPECT_TRUE(gui->urls.empty());

    const std::string longURL = "https://x.example/" + std::string(600, 'a');
    IURLControl cut(&plug, IRECT(), longURL.c_str(), nullptr, longURL.c_str());
    EXPECT_EQ(std::string(cut.GetURL()), longURL.substr(0, 255));
}

TEST_F(Controls, FileSelectorPromptsFlipsItsValueAndStaysDirtyOnceMore) {
    IBitmap img = Geometry(20, 20, 1);
    auto* fs = Add(new IFileSelectorControl(&plug, IRECT(0, 0, 20, 20), 2, &img, kFileOpen));
    Attach();
    gui->fileToChoose = "/tmp/x.fxp";
    Click(5, 5);
    EXPECT_EQ(gui->filePrompts, 1);
    EXPECT_EQ(fs->GetValue(), 1.0);
    WDL_String chosen;
    fs->GetLastSelectedFileForPlug(&chosen);
    EXPECT_STREQ(chosen.Get(), "/tmp/x.fxp");
    Click(5, 5);
    EXPECT_EQ(fs->GetValue(), 0.0);

    fs->SetClean();
    EXPECT_TRUE(fs->IsDirty()); // the finished selection answers once
    EXPECT_FALSE(fs->IsDirty());

    IFileSelectorControl orphan(&plug, IRECT(), -1, &img, kFileSave);
    EditorTestPlug lonely(1);
    IFileSelectorControl noEditor(&lonely, IRECT(), -1, &img, kFileSave);
    noEditor.OnMouseDown(0, 0, &left); // no editor: nothing
    EXPECT_EQ(noEditor.GetState(), IFileSelectorControl::kFSNone);
}

TEST_F(Controls, CaptionShowsTheParameterAndPromptsOnPress) {
    IText style;
    auto* caption = Add(new ICaptionControl(&plug, IRECT(0, 0, 80, 20), 0, &style, true));
    caption->DisablePrompt(false);
    Attach();
    IRECT all(0, 0, 200, 200);
    gui->Draw(&all);
    EXPECT_STREQ(caption->GetTextForDisplay(), "0.50 %");
    Click(10, 10);
    EXPECT_EQ(gui->entryText, "0.50");
    EXPECT_EQ(gui->entryControl, caption);
}

// Host values, typed text and direct settings that are not finite leave every control as it was,
// so the next drag or wheel notch sends the parameter a number.
TEST_F(Controls, NothingNonFiniteReachesAControlOrTheParameter) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    IBitmap strip = Geometry(62, 1922, 31);
    auto* knob = Add(new IKnobMultiControl(&plug, 20, 30, 0, &strip));
    knob->AddAuxParam(1);
    Attach();
    for (double v : {nan, inf, -inf}) {
        gui->SetParameterFromPlug(0, v, false); // a host's real value
        gui->SetParameterFromPlug(0, v, true);
        gui->SetParameterFromPlug(1, v, true); // reaches the aux slot
        gui->SetControlFromPlug(1, v);
        gui->SetParameterFromGUI(0, v);
        knob->SetValueFromUserInput(v);
        knob->SetValue(v);
        gui->ClampControl(0, v, 1.0, true);
    }
    EXPECT_EQ(knob->GetValue(), 0.5);
    EXPECT_EQ(knob->GetAuxParam(0)->value, 0.0);
    EXPECT_EQ(knob->GetLowerClamp(), 0.0);
    for (const char* text : {"nan", "NAN", "inf", "-inf", "1e999"})
        gui->SetFromStringAfterPrompt(knob, plug.GetParam(0), text);
    EXPECT_EQ(knob->GetValue(), 0.5);
    EXPECT_TRUE(plug.informed.empty());

    gui->OnMouseWheel(50, 60, &left, 1);
    gui->OnMouseDown(50, 60, &left);
    gui->OnMouseDrag(50, 29, &left);
    gui->OnMouseUp(50, 29, &left);
    ASSERT_EQ(plug.informed.size(), 2u);
    for (const auto& sent : plug.informed)
        EXPECT_TRUE(std::isfinite(sent.second)) << sent.second;
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.51 + 0.125);

    gui->SetFromStringAfterPrompt(knob, plug.GetParam(0), "0.25"); // numbers still pass
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.25);
}

// Every edit made in the editor reaches the host inside a gesture of its parameter, and every end
// follows its begin, whatever order the mouse events come in.
TEST_F(Controls, EveryEditReachesTheHostInsideABalancedGesture) {
    IBitmap strip = Geometry(62, 1922, 31);
    IBitmap two = Geometry(40, 40, 2);
    auto* knob = Add(new IKnobMultiControl(&plug, 20, 30, 0, &strip));
    Add(new ISwitchControl(&plug, 100, 0, 2, &two));
    Add(new IContactControl(&plug, 100, 40, 1, &two));
    IText style;
    auto* entry = Add(new ICaptionControl(&plug, IRECT(0, 150, 80, 170), 0, &style, false));
    entry->DisablePrompt(false);
    auto* menu = Add(new ICaptionControl(&plug, IRECT(100, 150, 180, 170), 2, &style, false));
    menu->DisablePrompt(false);
    Attach();
    IMouseMod right(false, true);

    // A drag with the wheel turned during it.
    gui->OnMouseDown(50, 60, &left);
    gui->OnMouseDrag(50, 50, &left);
    gui->OnMouseWheel(50, 50, &left, 2);
    gui->OnMouseUp(50, 50, &left);
    // Double clicks as the platform delivers them (press, release, double click, release) on
    // the knob, which resets, and on the switch, which steps; then one handled as a press.
    for (int x : {50, 110}) {
        const int y = x == 50 ? 60 : 10;
        Click(x, y);
        gui->OnMouseDblClick(x, y, &left);
        gui->OnMouseUp(x, y, &left);
    }
    knob->SetDblAsSingleClick(true);
    gui->OnMouseDblClick(50, 60, &left);
    gui->OnMouseDrag(50, 40, &left);
    gui->OnMouseUp(50, 40, &left);
    // The wheel alone; a release whose press went elsewhere (a momentary button returns to 0);
    // a press whose release never came, followed by another press.
    gui->OnMouseWheel(50, 60, &left, -3);
    gui->OnMouseUp(110, 50, &left);
    gui->OnMouseDown(50, 60, &left);
    gui->OnMouseDown(110, 10, &left);
    gui->OnMouseUp(110, 10, &left);
    // Typed text, which arrives after the press that opened the field was released.
    Click(40, 160, &right);
    ASSERT_EQ(gui->entryControl, entry);
    gui->SetFromStringAfterPrompt(entry, gui->entryParam, "0.3");
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.3);
    // Menu choices from a press and from a double click; the plug-in setting controls itself.
    gui->menuChoice = 1;
    Click(140, 160, &right);
    gui->menuChoice = 0;
    gui->OnMouseDblClick(140, 160, &left);
    gui->OnMouseUp(140, 160, &left);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);
    gui->SetParameterFromGUI(0, 0.9);
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.9);
    // A drag cut short by the window closing: the platform drops the capture.
    gui->OnMouseDown(50, 60, &left);
    gui->OnMouseDrag(50, 55, &left);
    gui->ReleaseMouseCapture();

    EXPECT_EQ(GestureFaults(plug.heard), "");
    EXPECT_GE(plug.informed.size(), 12u);
}

// A font strip of 96 characters of 8 x 8, coded by source row and column.
struct BitmapText : Controls {
    std::unique_ptr<LICE_MemBitmap> strip{MakeCodedStrip(8, 96 * 8)};
    IBitmap font{strip.get(), 8, 96 * 8, 96};
};

TEST_F(BitmapText, LettersComeFromTheirFramesAndAdvanceByWidthPlusOffset) {
    IText style;
    style.align = IText::kAlignNear;
    auto* text = Add(new IBitmapTextControl(&plug, IRECT(10, 10, 100, 18), &font, "AB", &style, 8,
                                            8, 1, false, false));
    Attach();
    IRECT all(0, 0, 200, 200);
    gui->Draw(&all);
    LICE_IBitmap* bb = gui->GetBackBuffer();
    // 'A' (65) is frame 34: source rows from 33 x 8.
    EXPECT_EQ(LICE_GetPixel(bb, 10, 10), 0xFF000000u | (264u << 8) | 0u);
    EXPECT_EQ(LICE_GetPixel(bb, 17, 17), 0xFF000000u | (271u << 8) | 7u);
    EXPECT_EQ(LICE_GetPixel(bb, 18, 10), 0xFF000000u); // the one-pixel gap: background
    EXPECT_EQ(LICE_GetPixel(bb, 19, 10), 0xFF000000u | (272u << 8) | 0u);

    text->SetTextFromPlug("AB");
    EXPECT_FALSE(text->IsDirty());
    // A single line is cut to width / character width = 11 characters (the gaps not counted).
    text->SetTextFromPlug("ABCDEFGHIJKLMNOP");
    gui->Draw(&all);
    EXPECT_EQ(LICE_GetPixel(bb, 10 + 10 * 9, 10), 0xFF000000u | ((('K' - 32) * 8u) << 8));
    EXPECT_EQ(LICE_GetPixel(bb, 10 + 11 * 9, 10), 0xFF000000u);
}

TEST_F(BitmapText, MultiLineTextWrapsAndFarAlignmentEndsAtTheRightEdge) {
    IText near, far;
    near.align = IText::kAlignNear;
    far.align = IText::kAlignFar;
    Add(new IBitmapTextControl(&plug, IRECT(0, 0, 16, 40), &font, "ABCD", &near, 8, 8, 0, true,
                               false));
    Add(new IBitmapTextControl(&plug, IRECT(100, 100, 140, 140), &font, "AB", &far, 8, 8, 0, false,
                               true));
    Attach();
    IRECT all(0, 0, 200, 200);
    gui->Draw(&all);
    LICE_IBitmap* bb = gui->GetBackBuffer();
    const auto row = [](char c, unsigned dy) { return 0xFF000000u | (((c - 32) * 8u + dy) << 8); };
    EXPECT_EQ(LICE_GetPixel(bb, 0, 0), row('A', 0));
    EXPECT_EQ(LICE_GetPixel(bb, 8, 0), row('B', 0) | 0u);
    EXPECT_EQ(LICE_GetPixel(bb, 0, 8), row('C', 0));
    EXPECT_EQ(LICE_GetPixel(bb, 8, 15), row('D', 7));
    // 16 wide against the right edge, centred vertically: (40 - 8) / 2 down.
    EXPECT_EQ(LICE_GetPixel(bb, 124, 116), row('A', 0));
    EXPECT_EQ(LICE_GetPixel(bb, 123, 116), 0xFF000000u);
}

} // namespace
