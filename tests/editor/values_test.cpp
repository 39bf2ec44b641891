// The value readout and the typed-value field: the texts, where the readout appears and when it
// goes, the keys over a knob, and typed values set, clamped, refused or cancelled, each heard by
// the host inside a gesture.
#include "EditorTestSupport.h"
#include "editor/IControls.h"
#include "editor/ValueText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ValueText, ReadsAsTheHostShowsItAndParsesOnlyValuesInThoseUnits) {
    IParam drive, mode, flipped;
    drive.InitDouble("Drive", 0.5, 0.0, 1.0, 0.01, "%");
    mode.InitEnum("Mode", 0, 2);
    mode.SetDisplayText(0, "Soft");
    mode.SetDisplayText(1, "Hard");
    flipped.InitDouble("Cut", 0.0, 0.0, 20.0, 0.1, "dB");
    flipped.SetNegateDisplay(true);

    char text[IGraphics::kValueTextLen];
    ValueReadoutText(&drive, 0.25, text, sizeof text);
    EXPECT_STREQ(text, "Drive 0.25 %");
    ValueReadoutText(&mode, 1.0, text, sizeof text);
    EXPECT_STREQ(text, "Mode Hard"); // a display text carries no label
    ValueReadoutText(&flipped, 0.5, text, sizeof text);
    EXPECT_STREQ(text, "Cut -10.0 dB");
    ValueReadoutText(&drive, 0.25, text, 6);
    EXPECT_STREQ(text, "Drive");

    double v = -1.0;
    EXPECT_TRUE(ParseTypedValue(&drive, "0.7", &v));
    EXPECT_DOUBLE_EQ(v, 0.7);
    EXPECT_TRUE(ParseTypedValue(&drive, "  .3 %  ", &v));
    EXPECT_DOUBLE_EQ(v, 0.3);
    EXPECT_TRUE(ParseTypedValue(&flipped, "-4.5dB", &v)); // shown negated, typed as shown
    EXPECT_DOUBLE_EQ(v, 4.5);
    EXPECT_TRUE(ParseTypedValue(&flipped, "-4.5 DB", &v));
    EXPECT_TRUE(ParseTypedValue(&drive, "7", &v));
    EXPECT_DOUBLE_EQ(v, 1.0);
    EXPECT_TRUE(ParseTypedValue(&drive, "-2", &v));
    EXPECT_DOUBLE_EQ(v, 0.0);
    EXPECT_TRUE(ParseTypedValue(&mode, "Hard", &v));
    EXPECT_DOUBLE_EQ(v, 1.0);

    v = 0.123;
    for (const char* garbage : {"", "   ", "abc", "0.5 dB", "0.5x", "1,5 %", "% 0.5", "nan", "inf",
                                "1e999", "Hardly", "0.5 % %"}) {
        EXPECT_FALSE(ParseTypedValue(&drive, garbage, &v)) << garbage;
        EXPECT_FALSE(ParseTypedValue(&mode, garbage, &v)) << garbage;
    }
    EXPECT_EQ(v, 0.123);
    EXPECT_FALSE(ParseTypedValue(nullptr, "1", &v));
}

void Copy(LICE_IBitmap* dest, LICE_IBitmap* src) {
    LICE_Blit(dest, src, 0, 0, 0, 0, src->getWidth(), src->getHeight(), 1.0f, LICE_COMBINE_COPY);
}

struct Values : ::testing::Test {
    LICE_MemBitmap backdrop{200, 200, 4};
    EditorTestPlug plug{2};
    RecordingGraphics* gui = nullptr;
    IKnobControl* knob = nullptr;
    int knobIdx = -1;
    IMouseMod left{true};
    IMouseMod none;
    const IRECT knobArea{80, 40, 120, 80};

    void SetUp() override {
        plug.GetParam(0)->InitDouble("Drive", 0.5, 0.0, 1.0, 0.01, "%");
        plug.GetParam(1)->InitBool("On", false);
        gui = new RecordingGraphics(&plug, 200, 200, 0);
        // A bitmap background, drawn clipped to the area repainted as the effect's is.
        LICE_FillRect(&backdrop, 0, 0, 200, 200, LICE_RGBA(90, 90, 90, 255), 1.0f,
                      LICE_COMBINE_COPY);
        IBitmap bg(&backdrop, 200, 200);
        gui->AttachControl(new IBitmapControl(&plug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber));
        IColor white = COLOR_WHITE;
        knob = new IKnobLineControl(&plug, knobArea, 0, &white);
        knobIdx = gui->AttachControl(knob);
        IBitmap twoFrames(nullptr, 20, 40, 2);
        gui->AttachControl(new ISwitchControl(&plug, 10, 150, 1, &twoFrames));
        plug.AttachGraphics(gui);
        plug.RedrawParamControls();
        Cycle();
        plug.gestures.clear();
        plug.heard.clear();
    }
    bool Cycle() {
        IRECT r;
        if (!gui->IsDirty(&r)) return false;
        gui->Draw(&r);
        return true;
    }
    void Settle() {
        while (Cycle()) {
        }
    }
    void Type(const char* text) {
        for (; *text; ++text)
            gui->OnKeyTyped(100, 60, -1, *text);
    }
    void ExpectTheBoxComesAndGoesCleanly();
    void OpenField() {
        gui->OnMouseOver(100, 60, &none);
        Settle();
        const IRECT box = gui->ValueOverlayArea();
        const int x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2;
        gui->OnMouseOver(x, y, &none);
        gui->OnMouseDown(x, y, &left); // a double click: press, release, second press, release
        gui->OnMouseUp(x, y, &left);
        gui->OnMouseDblClick(x, y, &left);
        gui->OnMouseUp(x, y, &left);
        Settle();
    }
};

TEST_F(Values, HoveringAKnobShowsItsValueBelowItUntilThePointerLeaves) {
    EXPECT_FALSE(gui->ValueOverlayShown());
    gui->OnMouseOver(100, 60, &none);
    EXPECT_TRUE(Cycle());
    ASSERT_TRUE(gui->ValueOverlayShown());
    EXPECT_EQ(gui->ValueOverlayControl(), knobIdx);
    EXPECT_STREQ(gui->ValueOverlayText(), "Drive 0.50 %");
    const IRECT box = gui->ValueOverlayArea();
    EXPECT_GE(box.top, knobArea.bottom + IGraphics::kReadoutGap);
    EXPECT_LE(box.left, 100);
    EXPECT_GE(box.right, 100);
    EXPECT_GT(box.W(), 40);
    EXPECT_FALSE(Cycle()) << "nothing changed, nothing to draw";

    // The host moves the parameter: the readout follows.
    gui->SetParameterFromPlug(0, 0.25, true);
    Settle();
    EXPECT_STREQ(gui->ValueOverlayText(), "Drive 0.25 %");

    // Onto the readout itself it stays; off both it goes, and so when the pointer leaves.
    gui->OnMouseOver(box.left + 1, box.top + 1, &none);
    Settle();
    EXPECT_TRUE(gui->ValueOverlayShown());
    gui->OnMouseOver(10, 10, &none);
    EXPECT_TRUE(Cycle());
    EXPECT_FALSE(gui->ValueOverlayShown());
    gui->OnMouseOver(100, 60, &none);
    Settle();
    gui->OnMouseOut();
    Settle();
    EXPECT_FALSE(gui->ValueOverlayShown());
    // The switch shows no value.
    gui->OnMouseOver(12, 152, &none);
    Settle();
    EXPECT_FALSE(gui->ValueOverlayShown());
}

TEST_F(Values, ADragShowsTheChangingValueAndTheReadoutGoesWithTheGestureOffTheKnob) {
    gui->OnMouseDown(100, 60, &left);
    Settle();
    EXPECT_TRUE(gui->ValueOverlayShown());
    gui->OnMouseDrag(100, 44, &left);
    gui->OnMouseDrag(190, 28, &left); // far off the knob, still dragging it
    Settle();
    ASSERT_TRUE(gui->ValueOverlayShown());
    EXPECT_STREQ(gui->ValueOverlayText(), "Drive 0.70 %");
    gui->OnMouseUp(190, 28, &left);
    Settle();
    EXPECT_FALSE(gui->ValueOverlayShown());
    EXPECT_EQ(GestureFaults(plug.heard), "");
}

TEST_F(Values, KeysOverAKnobStepItAndReachTheEndsEachInAGesture) {
    gui->OnMouseOver(100, 60, &none);
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_UPARROW, 0));
    EXPECT_NEAR(knob->GetValue(), 0.51, 1e-12);
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_LEFTARROW, 0));
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_DOWNARROW, 0));
    EXPECT_NEAR(knob->GetValue(), 0.49, 1e-12);
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_END, 0));
    EXPECT_EQ(knob->GetValue(), 1.0);
    EXPECT_NEAR(plug.GetParam(0)->Value(), 1.0, 1e-12);
    Settle();
    EXPECT_STREQ(gui->ValueOverlayText(), "Drive 1.00 %");
    const size_t heard = plug.heard.size();
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_RIGHTARROW, 0)); // at the end: nothing to tell
    EXPECT_EQ(plug.heard.size(), heard);
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_HOME, 0));
    EXPECT_EQ(knob->GetValue(), 0.0);

    const std::vector<EditorTestPlug::Gesture> expected = {
        {'B', 0}, {'S', 0}, {'E', 0}, {'B', 0}, {'S', 0}, {'E', 0}, {'B', 0}, {'S', 0},
        {'E', 0}, {'B', 0}, {'S', 0}, {'E', 0}, {'B', 0}, {'S', 0}, {'E', 0}};
    EXPECT_EQ(plug.heard, expected);
    EXPECT_FALSE(gui->OnKeyTyped(10, 10, KEY_UPARROW, 0)); // the background takes no key
    EXPECT_FALSE(gui->OnKeyTyped(100, 60, KEY_ALPHA_A, 'a'));
}

TEST_F(Values, ADoubleClickOnTheReadoutOpensAFieldWhoseValueIsSetClampedOrRefused) {
    OpenField();
    ASSERT_TRUE(gui->ValueEntryOpen());
    EXPECT_STREQ(gui->ValueEntryText(), "0.50");
    EXPECT_TRUE(gui->ValueOverlayShown());
    EXPECT_TRUE(plug.heard.empty()) << "opening the field edits nothing";

    Type("0.8"); // the first character replaces the value shown
    EXPECT_STREQ(gui->ValueEntryText(), "0.8");
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_RETURN, 0));
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_NEAR(knob->GetValue(), 0.8, 1e-12);
    EXPECT_NEAR(plug.GetParam(0)->Value(), 0.8, 1e-12);
    const std::vector<EditorTestPlug::Gesture> once = {{'B', 0}, {'S', 0}, {'E', 0}};
    EXPECT_EQ(plug.heard, once);

    OpenField();
    Type("12 %");
    gui->OnKeyTyped(100, 60, KEY_RETURN, 0);
    EXPECT_EQ(knob->GetValue(), 1.0); // clamped into the range

    plug.heard.clear();
    OpenField();
    Type("loud");
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_RETURN, 0));
    EXPECT_TRUE(gui->ValueEntryOpen()) << "refused text stays for correction";
    EXPECT_EQ(knob->GetValue(), 1.0);
    EXPECT_TRUE(plug.heard.empty());
    // Backspace edits; Escape closes without a change.
    gui->OnKeyTyped(100, 60, KEY_BACKSPACE, 0);
    EXPECT_STREQ(gui->ValueEntryText(), "lou");
    gui->OnKeyTyped(100, 60, KEY_ESCAPE, 0);
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_EQ(knob->GetValue(), 1.0);
    EXPECT_TRUE(plug.heard.empty());

    // A press elsewhere closes it unchanged too, and still reaches what it hit.
    OpenField();
    Type("0.1");
    gui->OnMouseDown(12, 152, &left);
    gui->OnMouseUp(12, 152, &left);
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_EQ(knob->GetValue(), 1.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 1.0);
    EXPECT_EQ(GestureFaults(plug.heard), "");
}

TEST_F(Values, WhileTheFieldIsOpenKeysTypeInsteadOfSteppingAndAResizeClosesIt) {
    OpenField();
    EXPECT_TRUE(gui->OnKeyTyped(100, 60, KEY_UPARROW, 0));
    EXPECT_EQ(knob->GetValue(), 0.5);
    std::string longText(40, '9');
    Type(longText.c_str());
    EXPECT_EQ(std::strlen(gui->ValueEntryText()), size_t(IGraphics::kEntryMaxChars));
    gui->Resize(200, 200); // the controls go, and with them the field
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_FALSE(gui->ValueOverlayShown());
}

TEST_F(Values, TheBoxIsDrawnOverTheBackgroundAndWhatItCoveredComesBack) {
    for (bool strict : {true, false}) {
        SCOPED_TRACE(strict);
        gui->SetStrictDrawing(strict);
        Settle();
        ExpectTheBoxComesAndGoesCleanly();
    }
}

void Values::ExpectTheBoxComesAndGoesCleanly() {
    LICE_IBitmap* back = gui->GetBackBuffer();
    IRECT all(0, 0, 200, 200);
    gui->Draw(&all);
    LICE_MemBitmap before(200, 200, 4);
    Copy(&before, back);

    gui->OnMouseOver(100, 60, &none);
    Settle();
    const IRECT box = gui->ValueOverlayArea();
    EXPECT_NE(LICE_GetPixel(back, box.left + 2, box.top + 2), LICE_GetPixel(&before, 2, 2));
    // The knob is not covered: its pixels are as before.
    for (int y = knobArea.top; y < knobArea.bottom; ++y)
        for (int x = knobArea.left; x < knobArea.right; ++x)
            ASSERT_EQ(LICE_GetPixel(back, x, y), LICE_GetPixel(&before, x, y)) << x << "," << y;

    // A repaint of part of the box (a control beside it) leaves it the same.
    LICE_MemBitmap shown(200, 200, 4);
    Copy(&shown, back);
    IRECT part(box.left, box.top, box.left + 5, box.top + 5);
    gui->Draw(&part);
    int changed = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            changed += LICE_GetPixel(back, x, y) != LICE_GetPixel(&shown, x, y);
    EXPECT_EQ(changed, 0);

    gui->OnMouseOut();
    Settle();
    changed = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            changed += LICE_GetPixel(back, x, y) != LICE_GetPixel(&before, x, y);
    EXPECT_EQ(changed, 0);
}

} // namespace
