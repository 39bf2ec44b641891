// The Cocoa view of an editor under a private X server, driven with synthetic AppKit events:
// coordinates, buttons and modifiers, the frame timer's invalidation, keys, the text field's
// filter, popup menus, message boxes, and opening, closing and reopening views.
#include "WindowTestSupport.h"

#include "editor/IControls.h"
#include "editor/IGraphicsCocoa.h"
#include "editor/IGraphicsMac.h"
#include "plugin/IParam.h"
#include "plugin/IPlugHostless.h"

#include <string>
#include <vector>

namespace {

constexpr int kW = 333, kH = 511;

class ViewTestPlug : public IPlugHostless {
public:
    ViewTestPlug()
        : IPlugHostless(2, "1-1 2-2", 1, "Test", "", "Maker", 0x10000, FourCC("Tst1"),
                        FourCC("Mkr1"), 0, false, false, false, kAPIAU) {
        GetParam(0)->InitDouble("Gain", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitEnum("Mode", 0, 3);
        GetParam(1)->SetDisplayText(0, "Soft");
        GetParam(1)->SetDisplayText(1, "Hard");
        GetParam(1)->SetDisplayText(2, "Fuzz");
    }
    void BeginInformHostOfParamChange(int idx) override {
        gestures += "begin " + std::to_string(idx) + ";";
    }
    void EndInformHostOfParamChange(int idx) override {
        gestures += "end " + std::to_string(idx) + ";";
    }
    std::string gestures; // what the host was told, in order
};

// Records what reaches it and draws a plain colour.
class ProbeControl : public IControl {
public:
    ProbeControl(IPlugBase* plug, IRECT area, int paramIdx = -1) : IControl(plug, area, paramIdx) {}
    void OnMouseDown(int x, int y, IMouseMod* mod) override {
        downs.push_back({x, y, *mod});
        IControl::OnMouseDown(x, y, mod);
    }
    void OnMouseDblClick(int /*x*/, int /*y*/, IMouseMod* /*mod*/) override { ++doubleClicks; }
    bool OnKeyDown(int /*x*/, int /*y*/, int key) override {
        keys.push_back(key);
        return true;
    }
    bool Draw(IGraphics* g) override {
        ++draws;
        IColor grey(255, 90, 90, 90);
        return g->FillIRect(&grey, &mArea);
    }
    struct Down {
        int x, y;
        IMouseMod mod;
    };
    std::vector<Down> downs;
    std::vector<int> keys;
    int doubleClicks = 0;
    int draws = 0;
};

// An editor with one probe over all of it.
struct Editor {
    ViewTestPlug plug;
    IGraphicsMac* gui = nullptr;
    ProbeControl* probe = nullptr;
    explicit Editor(int paramIdx = -1) {
        gui = new IGraphicsMac(&plug, kW, kH, 25);
        IColor black(255, 0, 0, 0);
        gui->AttachPanelBackground(&black);
        probe = new ProbeControl(&plug, IRECT(0, 0, kW, kH), paramIdx);
        gui->AttachControl(probe);
        plug.AttachGraphics(gui); // the plug-in deletes the editor
    }
    IGraphicsCocoa_vZerub_au* Open() {
        return static_cast<IGraphicsCocoa_vZerub_au*>(gui->OpenWindow(nullptr));
    }
};

} // namespace

// Records the area the frame timer invalidates.
@interface RecordingCocoaView : IGraphicsCocoa_vZerub_au {
@public
    std::vector<NSRect>* invalidated;
}
@end

@implementation RecordingCocoaView
- (void)setNeedsDisplayInRect:(NSRect)rect {
    if (invalidated) invalidated->push_back(rect);
    [super setNeedsDisplayInRect:rect];
}
@end

// Takes the keys the view passes on.
@interface KeyRecorder : NSResponder {
@public
    int count;
}
@end

@implementation KeyRecorder
- (void)keyDown:(NSEvent*)event {
    (void)event; // an Objective-C parameter cannot go unnamed
    ++count;
}
@end

namespace {

NSEvent* KeyEvent(NSWindow* window, NSString* characters, unsigned short keyCode) {
    return [NSEvent keyEventWithType:NSKeyDown
                            location:NSMakePoint(0, 0)
                       modifierFlags:0
                           timestamp:0
                        windowNumber:[window windowNumber]
                             context:nil
                          characters:characters
         charactersIgnoringModifiers:characters
                           isARepeat:NO
                             keyCode:keyCode];
}

} // namespace

TEST(CocoaView, MousePositionsButtonsAndModifiersReachTheEditor) {
    REQUIRE_DISPLAY();
    Editor e;
    IGraphicsCocoa_vZerub_au* view = e.Open();
    NSWindow* window = WindowAround(view);

    // The view is not flipped: (100.0, 411.0) from the bottom left is (98, 97) in the editor.
    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(100.0, 411.0))];
    [view mouseUp:MouseEvent(NSLeftMouseUp, window, NSMakePoint(100.0, 411.0))];
    ASSERT_EQ(e.probe->downs.size(), 1u);
    EXPECT_EQ(e.probe->downs[0].x, 98);
    EXPECT_EQ(e.probe->downs[0].y, 97);
    EXPECT_TRUE(e.probe->downs[0].mod.leftButton);
    EXPECT_FALSE(e.probe->downs[0].mod.rightButton);

    // Command-click arrives as both buttons; shift, control and alt map one to one.
    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(10.0, 10.0),
                               0x100000 | 0x20000 | 0x80000)];
    [view mouseUp:MouseEvent(NSLeftMouseUp, window, NSMakePoint(10.0, 10.0))];
    ASSERT_EQ(e.probe->downs.size(), 2u);
    const IMouseMod cmd = e.probe->downs[1].mod;
    EXPECT_TRUE(cmd.leftButton && cmd.rightButton && cmd.shift && cmd.alt);
    EXPECT_FALSE(cmd.control);

    [view rightMouseDown:MouseEvent(NSRightMouseDown, window, NSMakePoint(10.0, 10.0), 0x40000)];
    [view rightMouseUp:MouseEvent(NSRightMouseUp, window, NSMakePoint(10.0, 10.0))];
    ASSERT_EQ(e.probe->downs.size(), 3u);
    const IMouseMod right = e.probe->downs[2].mod;
    EXPECT_TRUE(!right.leftButton && right.rightButton && right.control);

    // A second click of a double click is a double click, not a press.
    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(10.0, 10.0), 0, 2)];
    EXPECT_EQ(e.probe->doubleClicks, 1);
    EXPECT_EQ(e.probe->downs.size(), 3u);
    [view mouseUp:MouseEvent(NSLeftMouseUp, window, NSMakePoint(10.0, 10.0))];

    [window release];
}

// At scale 2 the view is twice the editor in points (GNUstep's windows report a backing scale of
// 1) and a point maps to half an editor pixel. A window reporting a backing scale of 2 gets the
// editor drawn at 2 in a view of the editor's own size, each point two device pixels. Either way
// the press lands where it lands at scale 1.
TEST(CocoaView, AtAScaleOrABackingScaleOfTwoPointsMapToTheSameEditorPixels) {
    REQUIRE_DISPLAY();
    Editor scaled;
    scaled.gui->SetScale(2.0);
    IGraphicsCocoa_vZerub_au* view = scaled.Open();
    EXPECT_EQ([view frame].size.width, 2.0 * kW);
    EXPECT_EQ([view frame].size.height, 2.0 * kH);
    NSWindow* window = WindowAround(view);
    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(200.0, 2.0 * 411.0))];
    [view mouseUp:MouseEvent(NSLeftMouseUp, window, NSMakePoint(200.0, 2.0 * 411.0))];
    ASSERT_EQ(scaled.probe->downs.size(), 1u);
    EXPECT_EQ(scaled.probe->downs[0].x, 98);
    EXPECT_EQ(scaled.probe->downs[0].y, 97);
    [window release];

    Editor backed;
    view = backed.Open();
    window = WindowAround(view);
    backed.gui->FollowBackingScale(2.0);
    EXPECT_EQ(backed.gui->GetScale(), 2.0);
    EXPECT_EQ(backed.gui->DeviceWidth(), 2 * kW);
    EXPECT_EQ([view frame].size.width, double(kW));
    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(100.0, 411.0))];
    [view mouseUp:MouseEvent(NSLeftMouseUp, window, NSMakePoint(100.0, 411.0))];
    ASSERT_EQ(backed.probe->downs.size(), 1u);
    EXPECT_EQ(backed.probe->downs[0].x, 98);
    EXPECT_EQ(backed.probe->downs[0].y, 97);
    [window release];
}

TEST(CocoaView, TimerInvalidatesOnlyTheDirtyArea) {
    REQUIRE_DISPLAY();
    Editor e;
    ProbeControl* small = new ProbeControl(&e.plug, IRECT(10, 20, 30, 40));
    e.gui->AttachControl(small);
    std::vector<NSRect> invalidated;
    RecordingCocoaView* view = [[RecordingCocoaView alloc] initWithIGraphics:e.gui];
    view->invalidated = &invalidated;

    IRECT all(0, 0, kW, kH);
    e.gui->Draw(&all); // everything clean
    [view onTimer:view->mTimer];
    EXPECT_TRUE(invalidated.empty());

    small->SetDirty(false);
    [view onTimer:view->mTimer];
    ASSERT_EQ(invalidated.size(), 1u);
    EXPECT_EQ(invalidated[0].origin.x, 10.0);
    EXPECT_EQ(invalidated[0].origin.y, 470.0);
    EXPECT_EQ(invalidated[0].size.width, 21.0);
    EXPECT_EQ(invalidated[0].size.height, 21.0);

    // Ticks of a timer that is not the view's own are ignored.
    NSTimer* other = [NSTimer timerWithTimeInterval:1.0
                                             target:view
                                           selector:@selector(onTimer:)
                                           userInfo:nil
                                            repeats:NO];
    [view onTimer:other];
    EXPECT_EQ(invalidated.size(), 1u);
    [other invalidate];

    [view killTimer];
    view->mGraphics = nullptr;
    [view release];
}

TEST(CocoaView, KeysMapThroughTheTableOthersGoToTheNextResponder) {
    REQUIRE_DISPLAY();
    Editor e;
    IGraphicsCocoa_vZerub_au* view = e.Open();
    NSWindow* window = WindowAround(view);
    KeyRecorder* next = [[KeyRecorder alloc] init];
    [view setNextResponder:next];

    [view keyDown:KeyEvent(window, @"q", 12)];
    [view keyDown:KeyEvent(window, @"Q", 12)];
    [view keyDown:KeyEvent(window, @"5", 23)];
    [view keyDown:KeyEvent(window, @" ", 49)];
    [view keyDown:KeyEvent(window, [NSString stringWithFormat:@"%C", (unichar)0xF700], 126)];
    EXPECT_EQ(e.probe->keys, (std::vector<int>{31, 31, 10, 0, 1}));
    EXPECT_EQ(next->count, 0);

    // F1 and punctuation have no code; the editor never sees them.
    [view keyDown:KeyEvent(window, [NSString stringWithFormat:@"%C", (unichar)0xF704], 122)];
    [view keyDown:KeyEvent(window, @"!", 18)];
    EXPECT_EQ(next->count, 2);
    EXPECT_EQ(e.probe->keys.size(), 5u);

    [window setContentView:nil];
    [next release];
    [window release];
}

// A knob under the pointer shows its value until the pointer leaves the view; keys step it
// (Home and End by key code and by AppKit's function-key characters) and type into the editor's
// own value field, which Return sets and Escape closes.
TEST(CocoaView, TheReadoutFollowsThePointerAndKeysStepAKnobOrTypeItsValue) {
    REQUIRE_DISPLAY();
    ViewTestPlug plug;
    IGraphicsMac* gui = new IGraphicsMac(&plug, kW, kH, 25);
    IColor black(255, 0, 0, 0), white(255, 255, 255, 255);
    gui->AttachPanelBackground(&black);
    const int knob =
        gui->AttachControl(new IKnobLineControl(&plug, IRECT(100, 100, 160, 160), 0, &white));
    plug.AttachGraphics(gui);
    auto* view = static_cast<IGraphicsCocoa_vZerub_au*>(gui->OpenWindow(nullptr));
    NSWindow* window = WindowAround(view);
    IRECT r;

    // Editor (130, 130) is view point (132, 511 - 3 - 130).
    [view mouseMoved:MouseEvent(NSMouseMoved, window, NSMakePoint(132.0, 378.0))];
    gui->IsDirty(&r);
    ASSERT_TRUE(gui->ValueOverlayShown());
    EXPECT_STREQ(gui->ValueOverlayText(), "Gain 0.50");

    auto key = [&](unichar c, unsigned short code) {
        [view keyDown:KeyEvent(window, [NSString stringWithFormat:@"%C", c], code)];
    };
    key(0xF729, 0x73); // Home
    EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
    key(0xF72B, 0); // End, known by its character alone
    EXPECT_EQ(plug.GetParam(0)->Value(), 1.0);
    key(0xF700, 126); // up at the end: nothing to tell
    EXPECT_EQ(plug.gestures, "begin 0;end 0;begin 0;end 0;");

    ASSERT_TRUE(gui->OpenValueEntry(knob));
    for (unichar c : {u'0', u'.', u'3'})
        key(c, 0);
    key('\r', 36);
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.3);
    ASSERT_TRUE(gui->OpenValueEntry(knob));
    key('x', 7);
    key(0x7f, 51); // Backspace
    key('2', 19);
    EXPECT_STREQ(gui->ValueEntryText(), "2");
    key(0x1b, 53); // Escape
    EXPECT_FALSE(gui->ValueEntryOpen());
    EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.3);

    [view mouseExited:MouseEvent(NSMouseMoved, window, NSMakePoint(400.0, 378.0))];
    gui->IsDirty(&r);
    EXPECT_FALSE(gui->ValueOverlayShown());

    [window setContentView:nil];
    [window release];
}

TEST(CocoaView, TextFieldFiltersADoubleParameterAndSetsIt) {
    REQUIRE_DISPLAY();
    Editor e(0);
    IGraphicsCocoa_vZerub_au* view = e.Open();
    NSWindow* window = WindowAround(view);

    IText style;
    IRECT area(20, 20, 120, 40);
    e.gui->CreateTextEntry(e.probe, &style, &area, "0.50", e.plug.GetParam(0));
    ASSERT_NE(view->mTextFieldView, nil);
    NSFormatter* formatter = [view->mTextFieldView formatter];
    ASSERT_NE(formatter, nil);
    auto accepts = [&](NSString* text) {
        return [formatter isPartialStringValid:text
                              newEditingString:nullptr
                              errorDescription:nullptr];
    };
    EXPECT_TRUE(accepts(@"-0.25"));
    EXPECT_FALSE(accepts(@"0.2a"));
    EXPECT_TRUE(accepts(@"0.12345")); // seven characters
    EXPECT_FALSE(accepts(@"0.123456"));

    // Only one text field at a time.
    NSTextField* first = view->mTextFieldView;
    e.gui->CreateTextEntry(e.probe, &style, &area, "1", e.plug.GetParam(0));
    EXPECT_EQ(view->mTextFieldView, first);

    [view->mTextFieldView setStringValue:@"0.25"];
    [view controlTextDidEndEditing:[NSNotification notificationWithName:@"end" object:first]];
    EXPECT_EQ(view->mTextFieldView, nil);
    EXPECT_DOUBLE_EQ(e.plug.GetParam(0)->Value(), 0.25);

    [window setContentView:nil];
    [window release];
}

TEST(CocoaView, ClosedAndOpenedAgainTheEditorStillDraws) {
    REQUIRE_DISPLAY();
    Editor e;
    NSView* view = e.Open();
    NSWindow* window = WindowAround(view);
    [window orderFront:nil];
    EXPECT_TRUE(PumpUntil([&] { return e.probe->draws > 0; }));

    // The host taking the view out of its window closes the editor.
    [window setContentView:nil];
    EXPECT_FALSE(e.gui->WindowIsOpen());
    e.gui->CloseWindow(); // nothing left to close

    NSView* again = e.Open();
    ASSERT_NE(again, nil);
    EXPECT_NE(again, view);
    const int before = e.probe->draws;
    e.probe->SetDirty(false);
    [window setContentView:again];
    EXPECT_TRUE(PumpUntil([&] { return e.probe->draws > before; }));
    EXPECT_TRUE(e.gui->WindowIsOpen());

    // Closing from the editor's side takes the view out of the window.
    e.gui->CloseWindow();
    EXPECT_EQ([again superview], nil);
    [window orderOut:nil];
    [window release];
}

TEST(CocoaView, ClosingMidDragEndsTheOpenGesture) {
    REQUIRE_DISPLAY();
    Editor e(0);
    IGraphicsCocoa_vZerub_au* view = e.Open();
    NSWindow* window = WindowAround(view);

    [view mouseDown:MouseEvent(NSLeftMouseDown, window, NSMakePoint(100.0, 300.0))];
    [view mouseDragged:MouseEvent(NSLeftMouseDragged, window, NSMakePoint(100.0, 320.0))];
    EXPECT_EQ(e.plug.gestures, "begin 0;");
    // The window goes away before the button is released: the host must still see the end.
    e.gui->CloseWindow();
    EXPECT_EQ(e.plug.gestures, "begin 0;end 0;");
    [window release];
}

TEST(CocoaView, TwoEditorsOpenAtOnceEachDraws) {
    REQUIRE_DISPLAY();
    Editor a, b;
    NSWindow* wa = WindowAround(a.Open(), 50.0, 100.0);
    NSWindow* wb = WindowAround(b.Open(), 450.0, 100.0);
    [wa orderFront:nil];
    [wb orderFront:nil];
    EXPECT_TRUE(PumpUntil([&] { return a.probe->draws > 0 && b.probe->draws > 0; }));
    // Each timer serves its own editor.
    const int da = a.probe->draws, db = b.probe->draws;
    b.probe->SetDirty(false);
    EXPECT_TRUE(PumpUntil([&] { return b.probe->draws > db; }));
    a.probe->SetDirty(false);
    EXPECT_TRUE(PumpUntil([&] { return a.probe->draws > da; }));
    [wa orderOut:nil];
    [wb orderOut:nil];
    [wa setContentView:nil];
    [wb setContentView:nil];
    [wa release];
    [wb release];
}

TEST(CocoaView, WithoutAViewThePlatformCallsAnswerEmpty) {
    // No display needed: nothing here opens a window.
    ViewTestPlug plug;
    IGraphicsMac gui(&plug, 40, 40, 25);
    EXPECT_FALSE(gui.WindowIsOpen());
    IRECT r(0, 0, 40, 40);
    EXPECT_FALSE(gui.DrawScreen(&r));
    IPopupMenu menu;
    menu.AddItem("One");
    EXPECT_EQ(gui.CreateIPopupMenu(&menu, &r), nullptr);
    WDL_String file("name.txt");
    gui.PromptForFile(&file);
    EXPECT_STREQ(file.Get(), "");
    EXPECT_STREQ(gui.GetGUIAPI(), "Cocoa GUI");
    EXPECT_GT(gui.GetUserOSVersion(), 0x1000);
}
