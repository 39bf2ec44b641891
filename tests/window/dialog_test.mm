// The editor's modal companions under a private X server: the message box's answers for each
// button set, and popup menus chosen from or dismissed. A timer that runs in the modal and
// tracking modes answers them as a user would, by clicking the panel's button or the menu item.
#include "WindowTestSupport.h"

#include "editor/IGraphicsMac.h"
#include "plugin/IPlugBase.h"

#include <string>

namespace {

class DialogTestPlug : public IPlugBase {
public:
    DialogTestPlug()
        : IPlugBase(0, "1-1 2-2", 1, "Test", "", "Maker", 0x10000, FourCC("Tst2"), FourCC("Mkr1"),
                    0, false, false, false, kAPIAU) {}
    void BeginInformHostOfParamChange(int) override {}
    void InformHostOfParamChange(int, double) override {}
    void EndInformHostOfParamChange(int) override {}
    void InformHostOfProgramChange() override {}
    int GetSamplePos() override { return 0; }
    double GetTempo() override { return 120.0; }
    void GetTimeSig(int* num, int* denom) override { *num = *denom = 4; }
    void GetTime(ITimeInfo*) override {}
    void ResizeGraphics(int, int) override {}
    bool SendMidiMsg(IMidiMsg*) override { return false; }
};

} // namespace

namespace {

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
}
- (void)tick:(NSTimer*)t;
@end

@implementation AlertAnswerer
- (void)tick:(NSTimer*)t {
    if (clicked) return;
    NSWindow* panel = [NSApp modalWindow];
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
