// The editor core: hit search, capture and gestures, drags, dirty rectangles and both redraw
// modes, prompts, and the control base's value rules.
#include "EditorTestSupport.h"
#include "editor/IControls.h"

#include <gtest/gtest.h>

namespace {

// A control that records what reaches it.
class ProbeControl : public IControl {
public:
    ProbeControl(IPlugBase* plug, IRECT area, int paramIdx) : IControl(plug, area, paramIdx) {}
    void OnMouseDown(int x, int y, IMouseMod*) override { downs.push_back({x, y}); }
    void OnMouseUp(int x, int y, IMouseMod*) override { ups.push_back({x, y}); }
    void OnMouseDrag(int /*x*/, int /*y*/, int dX, int dY, IMouseMod*) override {
        drags.push_back({dX, dY});
    }
    void OnMouseWheel(int, int, IMouseMod*, int delta) override { wheels.push_back(delta); }
    bool OnKeyDown(int, int, int key) override {
        keys.push_back(key);
        return true;
    }
    bool Draw(IGraphics*) override {
        ++draws;
        return true;
    }
    std::vector<std::pair<int, int>> downs, ups, drags;
    std::vector<int> wheels, keys;
    int draws = 0;
};

// An editor of 100 x 100 over a plug-in with a 0..1 double (0), a 0..100 double (1), a boolean
// with display texts (2) and a 0..1 double (3).
struct Fixture : ::testing::Test {
    EditorTestPlug plug{4};
    RecordingGraphics* gui = nullptr;

    void SetUp() override {
        plug.GetParam(0)->InitDouble("Drive", 0.5, 0.0, 1.0, 0.01, "%");
        plug.GetParam(1)->InitDouble("Mix", 50.0, 0.0, 100.0, 0.01, "%");
        plug.GetParam(2)->InitBool("Mode", true); // display texts "off" and "on"
        plug.GetParam(3)->InitDouble("Tone", 0.25, 0.0, 1.0, 0.01);
        gui = new RecordingGraphics(&plug, 100, 100, 0);
        IColor grey = COLOR_GRAY;
        gui->AttachPanelBackground(&grey);
    }
    ProbeControl* Add(IRECT r, int param) {
        auto* c = new ProbeControl(&plug, r, param);
        gui->AttachControl(c);
        return c;
    }
    void Attach() { plug.AttachGraphics(gui); }
    void TearDown() override {
        if (plug.GetGUI() != gui) delete gui; // never handed to the plug-in
    }                                         // the plug-in owns the editor from here on
    void DrawAll() {
        IRECT all(0, 0, 100, 100);
        gui->Draw(&all);
    }
};

TEST_F(Fixture, PressFallsThroughHiddenAndGrayedControlsToTheBackground) {
    Add(IRECT(10, 10, 50, 50), 0);
    Add(IRECT(10, 10, 50, 50), 1);
    Attach();
    IMouseMod left(true);

    gui->OnMouseDown(20, 20, &left);
    EXPECT_EQ(gui->GetCapturedControl(), 2); // the later entry lies on top
    gui->OnMouseUp(20, 20, &left);

    gui->HideControl(1, true);
    gui->OnMouseDown(20, 20, &left);
    EXPECT_EQ(gui->GetCapturedControl(), 1);
    gui->OnMouseUp(20, 20, &left);

    gui->GrayOutControl(0, true);
    plug.gestures.clear();
    gui->OnMouseDown(20, 20, &left);
    EXPECT_EQ(gui->GetCapturedControl(), 0);
    gui->OnMouseUp(20, 20, &left);
    EXPECT_TRUE(plug.gestures.empty()); // the background has no parameter

    EXPECT_EQ(gui->GetMouseControlIdx(200, 200), -1);
    EXPECT_EQ(gui->GetParamIdxForPTAutomation(20, 20), -1);
    gui->GrayOutControl(0, false);
    EXPECT_EQ(gui->GetParamIdxForPTAutomation(20, 20), 0);
    EXPECT_EQ(gui->GetLastClickedParamForPTAutomation(), 0);
    EXPECT_EQ(gui->GetLastClickedParamForPTAutomation(), -1);
}

TEST_F(Fixture, CaptureDeliversTheReleaseAndEndsTheGesture) {
    ProbeControl* knob = Add(IRECT(10, 10, 50, 50), 1);
    Attach();
    IMouseMod left(true);
    gui->OnMouseDown(20, 20, &left);
    gui->OnMouseUp(90, 90, &left); // far outside the knob, over the background
    ASSERT_EQ(knob->ups.size(), 1u);
    EXPECT_EQ(knob->ups[0], std::make_pair(90, 90));
    const std::vector<EditorTestPlug::Gesture> expected = {{'B', 1}, {'E', 1}};
    EXPECT_EQ(plug.gestures, expected);
    EXPECT_EQ(gui->GetCapturedControl(), -1);
}

TEST_F(Fixture, DragsAtTheSamePositionAreDroppedAndDeltasFollowThePointer) {
    ProbeControl* knob = Add(IRECT(10, 10, 50, 50), 0);
    Attach();
    IMouseMod left(true);
    gui->OnMouseDrag(25, 22, &left); // no capture yet: nothing
    gui->OnMouseDown(20, 20, &left);
    gui->OnMouseDrag(25, 22, &left);
    gui->OnMouseDrag(25, 22, &left);
    gui->OnMouseDrag(30, 20, &left);
    const std::vector<std::pair<int, int>> expected = {{5, 2}, {5, -2}};
    EXPECT_EQ(knob->drags, expected);
    gui->OnMouseUp(30, 20, &left);
    gui->OnMouseDrag(40, 40, &left); // released: nothing
    EXPECT_EQ(knob->drags.size(), 2u);
}

TEST_F(Fixture, WheelKeysAndDoubleClicksReachTheRightControl) {
    ProbeControl* c = Add(IRECT(10, 10, 50, 50), 0);
    Attach();
    IMouseMod left(true);
    gui->OnMouseWheel(20, 20, &left, 3);
    EXPECT_EQ(c->wheels, std::vector<int>{3});

    EXPECT_TRUE(gui->OnKeyDown(20, 20, 7));
    EXPECT_FALSE(gui->OnKeyDown(80, 80, 7)); // background, no fallback
    auto* catcher = new ProbeControl(&plug, IRECT(), -1);
    gui->AttachKeyCatcher(catcher);
    EXPECT_TRUE(gui->OnKeyDown(80, 80, 9));
    EXPECT_EQ(catcher->keys, std::vector<int>{9});

    EXPECT_FALSE(gui->OnMouseDblClick(20, 20, &left));
    EXPECT_TRUE(c->downs.empty());
    c->SetDblAsSingleClick(true);
    plug.gestures.clear();
    EXPECT_TRUE(gui->OnMouseDblClick(20, 20, &left));
    EXPECT_EQ(c->downs.size(), 1u);
    EXPECT_EQ(gui->GetCapturedControl(), 1);
    gui->OnMouseUp(20, 20, &left);
    // A double click as press is a press towards the host too: its release ends what it began.
    const std::vector<EditorTestPlug::Gesture> expected = {{'B', 0}, {'E', 0}};
    EXPECT_EQ(plug.gestures, expected);
}

TEST_F(Fixture, HoverFollowsThePointerOnlyWhenTracked) {
    struct Hover : ProbeControl {
        using ProbeControl::ProbeControl;
        void OnMouseOver(int, int, IMouseMod*) override { ++overs; }
        void OnMouseOut() override { ++outs; }
        int overs = 0, outs = 0;
    };
    auto* a = new Hover(&plug, IRECT(10, 10, 20, 20), -1);
    auto* b = new Hover(&plug, IRECT(30, 10, 40, 20), -1);
    gui->AttachControl(a);
    gui->AttachControl(b);
    Attach();
    IMouseMod none;
    EXPECT_FALSE(gui->OnMouseOver(15, 15, &none));
    EXPECT_EQ(a->overs, 0);

    gui->HandleMouseOver(true);
    EXPECT_TRUE(gui->OnMouseOver(15, 15, &none));
    EXPECT_EQ(gui->GetHoverControl(), 1);
    gui->OnMouseOver(35, 15, &none);
    EXPECT_EQ(a->outs, 1); // left for another control
    EXPECT_EQ(gui->GetHoverControl(), 2);
    b->GrayOut(true);
    gui->OnMouseOver(36, 15, &none); // grayed: the background is under the pointer
    EXPECT_EQ(gui->GetHoverControl(), 0);
    b->SetMOWhenGrayed(true);
    gui->OnMouseOver(37, 15, &none);
    EXPECT_EQ(gui->GetHoverControl(), 2);
    gui->OnMouseOut();
    EXPECT_EQ(gui->GetHoverControl(), -1);
}

TEST_F(Fixture, DirtyCheckUnitesTheDirtyControlsRectangles) {
    ProbeControl* a = Add(IRECT(10, 10, 20, 20), -1);
    ProbeControl* b = Add(IRECT(30, 5, 40, 15), -1);
    Attach();
    IRECT r;
    EXPECT_TRUE(gui->IsDirty(&r)); // every control starts dirty
    EXPECT_EQ(r, IRECT(0, 0, 100, 100));
    DrawAll();
    r = IRECT();
    EXPECT_FALSE(gui->IsDirty(&r));
    EXPECT_TRUE(r.Empty());

    a->SetDirty(false);
    b->Hide(true); // hidden controls take part
    r = IRECT();
    EXPECT_TRUE(gui->IsDirty(&r));
    EXPECT_EQ(r, IRECT(10, 5, 40, 20));
}

TEST_F(Fixture, StrictRedrawDrawsWhatMeetsTheRectangleAndCleansEverything) {
    ProbeControl* dirty = Add(IRECT(30, 5, 40, 15), -1);
    ProbeControl* apart = Add(IRECT(0, 60, 10, 70), -1);
    ProbeControl* touching = Add(IRECT(20, 0, 30, 5), -1); // meets it at its top-left corner
    ProbeControl* hidden = Add(IRECT(32, 6, 38, 12), -1);
    Attach();
    DrawAll();
    hidden->Hide(true);
    DrawAll();
    DrawAll(); // Hide asks for two frames
    dirty->SetDirty(false);
    const int drawsDirty = dirty->draws, drawsApart = apart->draws, drawsTouching = touching->draws,
              drawsHidden = hidden->draws;
    const int screens = gui->screens;

    IRECT r;
    ASSERT_TRUE(gui->IsDirty(&r));
    EXPECT_EQ(r, IRECT(30, 5, 40, 15));
    EXPECT_TRUE(gui->Draw(&r));
    EXPECT_EQ(dirty->draws, drawsDirty + 1);
    EXPECT_EQ(touching->draws, drawsTouching + 1);
    EXPECT_EQ(apart->draws, drawsApart);
    EXPECT_EQ(hidden->draws, drawsHidden);
    EXPECT_EQ(gui->screens, screens + 1);
    EXPECT_EQ(*gui->GetRedrawRect(), r);
    r = IRECT();
    EXPECT_FALSE(gui->IsDirty(&r));
}

TEST_F(Fixture, NonStrictRedrawDrawsEachDirtyControlWithWhatOverlapsIt) {
    ProbeControl* a = Add(IRECT(10, 10, 30, 30), -1);
    ProbeControl* over = Add(IRECT(20, 20, 40, 40), -1);
    ProbeControl* apart = Add(IRECT(60, 60, 70, 70), -1);
    Attach();
    gui->SetStrictDrawing(false);
    DrawAll(); // background dirty: everything drawn once
    EXPECT_EQ(a->draws, 1);
    EXPECT_EQ(apart->draws, 1);

    a->SetDirty(false);
    IRECT r;
    ASSERT_TRUE(gui->IsDirty(&r));
    gui->Draw(&r);
    EXPECT_EQ(a->draws, 2);
    EXPECT_EQ(over->draws, 2);
    EXPECT_EQ(apart->draws, 1);
    EXPECT_EQ(*gui->GetRedrawRect(), IRECT(10, 10, 30, 30));
    r = IRECT();
    EXPECT_FALSE(gui->IsDirty(&r));
}

TEST_F(Fixture, EmptyEditorDrawsNothing) {
    RecordingGraphics empty(&plug, 10, 10, 0);
    IRECT r(0, 0, 10, 10);
    EXPECT_TRUE(empty.Draw(&r));
    EXPECT_EQ(empty.screens, 0);
    EXPECT_EQ(empty.FPS(), IGraphics::kDefaultFPS);
}

TEST_F(Fixture, BooleanPromptShowsTheDisplayTextsWithTheCurrentOneChecked) {
    ProbeControl* sw = Add(IRECT(10, 10, 50, 50), 2);
    sw->DisablePrompt(false);
    Attach();
    gui->menuChoice = 0;
    sw->PromptUserInput();
    EXPECT_EQ(gui->menuTexts, (std::vector<std::string>{"off", "on"}));
    EXPECT_EQ(gui->menuChecked, (std::vector<bool>{false, true}));
    EXPECT_EQ(gui->menuArea, IRECT(10, 10, 50, 50)); // display texts: the control's area
    EXPECT_EQ(sw->GetValue(), 0.0);
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);

    gui->menuChoice = -1; // dismissed: nothing changes
    sw->PromptUserInput();
    EXPECT_EQ(plug.GetParam(2)->Value(), 0.0);
}

TEST_F(Fixture, DoublePromptOpensATextFieldAndTypedTextIsClamped) {
    ProbeControl* knob = Add(IRECT(10, 10, 50, 50), 0);
    ProbeControl* mix = Add(IRECT(60, 10, 90, 30), 1);
    Attach();
    knob->PromptUserInput(); // prompts are disabled by default
    EXPECT_EQ(gui->entryText, "<none>");

    knob->DisablePrompt(false);
    knob->PromptUserInput();
    EXPECT_EQ(gui->entryText, "0.50");
    EXPECT_EQ(gui->entryArea, IRECT(10, 22, 50, 38)); // 40 x 16 centred on the control
    EXPECT_EQ(gui->entryParam, plug.GetParam(0));
    EXPECT_TRUE(knob->GetRedrawAgain());

    gui->SetFromStringAfterPrompt(mix, plug.GetParam(1), "150");
    EXPECT_EQ(mix->GetValue(), 1.0);
    EXPECT_EQ(plug.GetParam(1)->Value(), 100.0);
    gui->SetFromStringAfterPrompt(mix, plug.GetParam(1), "-3");
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.0);
    gui->SetFromStringAfterPrompt(mix, nullptr, "20"); // nothing without a parameter
    EXPECT_EQ(plug.GetParam(1)->Value(), 0.0);
    gui->PromptUserInput(mix, plug.GetParam(1), nullptr); // nor without a rectangle
}

TEST_F(Fixture, ParameterSynchronisationBothWays) {
    ProbeControl* a = Add(IRECT(10, 10, 20, 20), 1);
    ProbeControl* b = Add(IRECT(30, 10, 40, 20), 1);
    ProbeControl* aux = Add(IRECT(50, 10, 60, 20), 0);
    aux->AddAuxParam(1);
    Attach(); // pushes the normalised values
    EXPECT_EQ(a->GetValue(), 0.5);
    EXPECT_EQ(a->GetResetValue(), 0.5);
    EXPECT_EQ(aux->GetAuxParam(0)->value, 0.5);

    gui->SetParameterFromPlug(1, 25.0, false);
    EXPECT_EQ(a->GetValue(), 0.25);
    EXPECT_EQ(b->GetValue(), 0.25);
    EXPECT_EQ(aux->GetAuxParam(0)->value, 0.25);
    EXPECT_TRUE(plug.informed.empty()); // the plug-in side is not told back

    gui->SetParameterFromGUI(1, 0.75);
    EXPECT_EQ(plug.GetParam(1)->Value(), 75.0);
    EXPECT_EQ(b->GetValue(), 0.75);
    ASSERT_FALSE(plug.informed.empty());
    EXPECT_EQ(plug.informed.back(), std::make_pair(1, 0.75));

    gui->SetControlFromPlug(99, 1.0); // ignored
    gui->SetControlFromPlug(1, 0.1);
    EXPECT_EQ(a->GetValue(), 0.1);
}

TEST_F(Fixture, FirstPlugValueBecomesTheResetValueAndChangesDrawTwice) {
    ProbeControl* c = Add(IRECT(10, 10, 20, 20), 0);
    Attach();
    DrawAll();
    EXPECT_FALSE(c->IsDirty());
    c->SetValueFromPlug(0.5); // equal value: nothing
    EXPECT_FALSE(c->IsDirty());

    c->SetValueFromPlug(0.8);
    EXPECT_TRUE(c->IsDirty());
    c->SetClean();
    EXPECT_TRUE(c->IsDirty()); // the second frame
    c->SetClean();
    EXPECT_FALSE(c->IsDirty());

    IMouseMod left(true);
    c->IControl::OnMouseDblClick(15, 15, &left);
    EXPECT_EQ(c->GetValue(), 0.5);
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.5);
}

TEST_F(Fixture, ClampsLimitUserValuesAndWhatThePlugInReceives) {
    ProbeControl* c = Add(IRECT(10, 10, 20, 20), 1);
    Attach();
    gui->ClampControl(1, 20.0, 80.0, false);
    EXPECT_DOUBLE_EQ(c->GetLowerClamp(), 0.2);
    EXPECT_DOUBLE_EQ(c->GetUpperClamp(), 0.8);
    c->SetValueFromUserInput(0.9);
    EXPECT_DOUBLE_EQ(c->GetValue(), 0.8);
    EXPECT_DOUBLE_EQ(plug.informed.back().second, 0.8);
    c->SetValueFromUserInput(0.1);
    EXPECT_DOUBLE_EQ(plug.GetParam(1)->Value(), 20.0);
}

TEST_F(Fixture, GrayOutAndBackRestoresFullWeight) {
    ProbeControl* c = Add(IRECT(10, 10, 20, 20), 0);
    Attach();
    c->GrayOut(true);
    EXPECT_FLOAT_EQ(c->GetBlend()->weight, 0.25f);
    c->GrayOut(false);
    EXPECT_FLOAT_EQ(c->GetBlend()->weight, 1.0f);
}

TEST_F(Fixture, UserEditsRefreshTheValueAndNameTexts) {
    ProbeControl* knob = Add(IRECT(10, 10, 50, 50), 1);
    IText style;
    auto* value = new ITextControl(&plug, IRECT(10, 60, 50, 70), &style, "");
    auto* name = new ITextControl(&plug, IRECT(10, 80, 50, 90), &style, "");
    gui->AttachControl(value);
    gui->AttachControl(name);
    knob->SetValDisplayControl(value);
    knob->SetNameDisplayControl(name);
    Attach();
    DrawAll();

    knob->SetValueFromUserInput(0.25);
    EXPECT_STREQ(value->GetTextForDisplay(), "25.00 %");
    EXPECT_STREQ(name->GetTextForDisplay(), "Mix");
    EXPECT_TRUE(value->IsDirty());
    DrawAll();
    DrawAll();
    knob->SetDirty(true); // same texts: the text controls stay clean
    EXPECT_FALSE(value->IsDirty());
    EXPECT_FALSE(name->IsDirty());
}

TEST_F(Fixture, ResizeDeletesControlsAndAsksThePlugInForNewOnes) {
    Add(IRECT(10, 10, 20, 20), 0);
    Attach();
    IMouseMod left(true);
    gui->OnMouseDown(15, 15, &left);
    gui->Resize(200, 150);
    EXPECT_EQ(gui->NControls(), 0);
    EXPECT_EQ(gui->GetCapturedControl(), -1);
    EXPECT_EQ(gui->GetBackBuffer()->getWidth(), 200);
    EXPECT_EQ(plug.resized, (std::vector<std::pair<int, int>>{{200, 150}}));
    gui->OnMouseUp(15, 15, &left); // nothing captured, nothing hit: no crash
}

} // namespace
