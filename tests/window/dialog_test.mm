// The editor's modal companions under a private X server: the message box's answers for each
// button set, and popup menus chosen from or dismissed. A timer that runs in the modal and
// tracking modes answers them as a user would, by clicking the panel's button or the menu item.
#include "WindowTestSupport.h"

#include "editor/IGraphicsCocoa.h"
#include "editor/IGraphicsMac.h"
#include "plugin/IPlugHostless.h"

#include <string>

namespace {

class DialogTestPlug : public IPlugHostless {
public:
    DialogTestPlug()
        : IPlugHostless(0, "1-1 2-2", 1, "Test", "", "Maker", 0x10000, FourCC("Tst2"),
                        FourCC("Mkr1"), 0, false, false, false, kAPIAU) {}
};

} // namespace

namespace {

// 60 s of 0.05 s ticks: generous on a loaded machine, but the test ends.
constexpr int kGiveUpTicks = 1200;

// The modal loop notices that it was stopped only when its next event arrives; a real click
// brings one (the button's release), a click performed from a timer does not.
void WakeModalLoop() {
    [NSApp postEvent:[NSEvent otherEventWithType:NSApplicationDefined
                                        location:NSMakePoint(0, 0)
                                   modifierFlags:0
                                       timestamp:0
                                    windowNumber:0
                                         context:nil
                                         subtype:0
                                           data1:0
                                           data2:0]
             atStart:NO];
}

} // namespace

// Clicks the button titled `title` of the modal panel once the panel is up.
@interface AlertAnswerer : NSObject {
@public
    NSString* title;
    NSTimer* timer;
    bool clicked;
    int ticks;
}
- (void)tick:(NSTimer*)t;
@end

@implementation AlertAnswerer
- (void)tick:(NSTimer*)t {
    (void)t; // an Objective-C parameter cannot go unnamed
    if (clicked) return;
    NSWindow* panel = [NSApp modalWindow];
    if (panel && ++ticks > kGiveUpTicks) { // the button never turned up: fail, do not hang
        clicked = true;
        [NSApp abortModal];
        WakeModalLoop();
        return;
    }
    if (!panel) return;
    NSMutableArray* views = [NSMutableArray arrayWithObject:[panel contentView]];
    while ([views count]) {
        NSView* v = [views lastObject];
        [views removeLastObject];
        if ([v isKindOfClass:[NSButton class]] && [[(NSButton*)v title] isEqualToString:title]) {
            clicked = true;
            [(NSButton*)v performClick:nil];
            WakeModalLoop();
            return;
        }
        [views addObjectsFromArray:[v subviews]];
    }
}
@end

namespace {

// Starts a timer that answers the next modal panel with the button titled title, in every mode
// the modal loop may run in.
AlertAnswerer* AnswerWith(NSString* title) {
    AlertAnswerer* answerer = [[AlertAnswerer alloc] init];
    answerer->title = title;
    answerer->timer = [NSTimer timerWithTimeInterval:0.05
                                              target:answerer
                                            selector:@selector(tick:)
                                            userInfo:nil
                                             repeats:YES];
    [[NSRunLoop currentRunLoop] addTimer:answerer->timer forMode:NSDefaultRunLoopMode];
    [[NSRunLoop currentRunLoop] addTimer:answerer->timer forMode:NSModalPanelRunLoopMode];
    return answerer;
}

void Finish(AlertAnswerer* answerer) {
    [answerer->timer invalidate];
    [answerer release];
}

} // namespace

TEST(CocoaDialogs, MessageBoxAnswersByButtonSet) {
    REQUIRE_DISPLAY();
    DialogTestPlug plug;
    IGraphicsMac gui(&plug, 100, 100, 25);

    struct Case {
        int type;
        NSString* button;
        int answer;
    };
    const Case cases[] = {
        {0, @"OK", 1},                                        // the default button only
        {1, @"OK", 1},  {1, @"Cancel", 7},                    // OK and cancel
        {4, @"Yes", 1}, {4, @"No", 7},                        // yes and no
        {3, @"Yes", 1}, {3, @"No", 7},     {3, @"Cancel", 2}, // yes, no and cancel
    };
    for (const Case& c : cases) {
        AlertAnswerer* answerer = AnswerWith(c.button);
        const int answer = gui.ShowMessageBox("Text", "Caption", c.type);
        EXPECT_TRUE(answerer->clicked) << "type " << c.type << " " << [c.button UTF8String];
        EXPECT_EQ(answer, c.answer) << "type " << c.type << " " << [c.button UTF8String];
        Finish(answerer);
    }
}

// While a popup menu is up, performs the item titled `title` (nil: none), then ends the menu's
// tracking as the release of the mouse would.
@interface MenuAnswerer : NSObject {
@public
    NSString* title;
    NSTimer* timer;
    bool seen;
    int ticks;
    NSMutableString* titles; // of the menu that was up, separated by '|'
}
- (void)tick:(NSTimer*)t;
@end

namespace {

NSEvent* MouseUpOutside(NSInteger windowNumber) {
    return [NSEvent mouseEventWithType:NSLeftMouseUp
                              location:NSMakePoint(-20.0, -20.0)
                         modifierFlags:0
                             timestamp:0
                          windowNumber:windowNumber
                               context:nil
                           eventNumber:0
                            clickCount:1
                              pressure:0.0];
}

// The editor's popup menu shown in the view tree under root, or nil.
NSMenu* PopupMenuIn(NSView* root) {
    if ([root isKindOfClass:[NSMenuView class]]) {
        NSMenu* menu = [(NSMenuView*)root menu];
        return [menu isKindOfClass:[IGraphicsNSMenu_vZerub_au class]] ? menu : nil;
    }
    NSArray* subviews = [root subviews];
    for (NSUInteger i = 0; i < [subviews count]; ++i)
        if (NSMenu* menu = PopupMenuIn([subviews objectAtIndex:i])) return menu;
    return nil;
}

} // namespace

@implementation MenuAnswerer
- (id)init {
    if ((self = [super init])) titles = [[NSMutableString alloc] init];
    return self;
}
- (void)dealloc {
    [titles release];
    [super dealloc];
}
- (void)tick:(NSTimer*)t {
    (void)t; // an Objective-C parameter cannot go unnamed
    if (seen) return;
    if (++ticks > kGiveUpTicks) { // the menu never turned up: end tracking, fail, do not hang
        seen = true;
        [titles setString:@"(not found)"];
        [NSApp postEvent:MouseUpOutside(0) atStart:NO];
        return;
    }
    NSArray* windows = [NSApp windows];
    for (NSUInteger k = 0; k < [windows count]; ++k) {
        NSWindow* w = [windows objectAtIndex:k];
        if (![w isVisible]) continue;
        NSMenu* menu = PopupMenuIn([w contentView]);
        if (!menu) continue;
        seen = true;
        for (NSInteger i = 0; i < [menu numberOfItems]; ++i) {
            NSMenuItem* item = [menu itemAtIndex:i];
            [titles appendString:[item isSeparatorItem] ? @"-" : [item title]];
            [titles appendString:@"|"];
        }
        if (title) {
            const NSInteger index = [menu indexOfItemWithTitle:title];
            if (index >= 0) [menu performActionForItemAtIndex:index];
        }
        // Released outside the menu: tracking ends without a further choice.
        [NSApp postEvent:MouseUpOutside([w windowNumber]) atStart:NO];
        return;
    }
}
@end

TEST(CocoaDialogs, PopupMenuChoiceAndDismissal) {
    REQUIRE_DISPLAY();
    DialogTestPlug plug;
    IGraphicsMac* gui = new IGraphicsMac(&plug, 333, 511, 25);
    plug.AttachGraphics(gui);
    NSView* view = static_cast<NSView*>(gui->OpenWindow(nullptr));
    NSWindow* window = WindowAround(view);
    [window orderFront:nil];

    NSString* const choices[] = {@"03: Hard", nil};
    for (NSString* choice : choices) {
        IPopupMenu menu;
        menu.SetPrefix(2);
        menu.AddItem("Soft");
        menu.AddSeparator();
        menu.AddItem("Hard");
        menu.AddItem("Off");
        MenuAnswerer* answerer = [[MenuAnswerer alloc] init];
        answerer->title = choice;
        answerer->timer = [NSTimer timerWithTimeInterval:0.05
                                                  target:answerer
                                                selector:@selector(tick:)
                                                userInfo:nil
                                                 repeats:YES];
        NSString* const modes[] = {NSDefaultRunLoopMode, NSEventTrackingRunLoopMode,
                                   NSModalPanelRunLoopMode};
        for (NSString* mode : modes)
            [[NSRunLoop currentRunLoop] addTimer:answerer->timer forMode:mode];
        IRECT area(40, 60, 140, 80);
        IPopupMenu* chosen = gui->CreateIPopupMenu(&menu, &area);
        EXPECT_TRUE(answerer->seen);
        EXPECT_STREQ([answerer->titles UTF8String], "01: Soft|-|03: Hard|04: Off|");
        if (choice) {
            EXPECT_EQ(chosen, &menu);
            EXPECT_EQ(menu.GetChosenItemIdx(), 2);
        } else {
            EXPECT_EQ(chosen, nullptr);
            EXPECT_EQ(menu.GetChosenItemIdx(), -1);
        }
        [answerer->timer invalidate];
        [answerer release];
    }
    [window orderOut:nil];
    [window setContentView:nil];
    [window release];
}
