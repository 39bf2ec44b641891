// Shared pieces of the window tests: the private X server, the application object, pumping the
// run loop until a condition holds, and a window around a view. Objective-C++.
#pragma once

#import <AppKit/AppKit.h>

#include "XvfbDisplay.h"

#include <gtest/gtest.h>

#include <functional>

// An autorelease pool around the whole test program, as an application's main has one.
class AutoreleaseEnvironment : public ::testing::Environment {
public:
    void SetUp() override { pool = [[NSAutoreleasePool alloc] init]; }
    void TearDown() override { [pool release]; }

private:
    NSAutoreleasePool* pool = nil;
};
static ::testing::Environment* const gAutoreleaseEnvironment =
    ::testing::AddGlobalTestEnvironment(new AutoreleaseEnvironment);

// Skips the test (with the reason) when no X server can be had; otherwise makes sure the
// application object exists.
#define REQUIRE_DISPLAY()                                                                          \
    do {                                                                                           \
        std::string why;                                                                           \
        if (!StartXvfb(&why)) GTEST_SKIP() << why;                                                 \
        [NSApplication sharedApplication];                                                         \
    } while (0)

// Delivers events and fires timers until done() answers true or timeoutSeconds pass; whether
// done() held. The timeout is generous: the machine may be loaded, and success ends it early.
inline bool PumpUntil(const std::function<bool()>& done, double timeoutSeconds = 30.0) {
    NSDate* deadline = [NSDate dateWithTimeIntervalSinceNow:timeoutSeconds];
    while (!done()) {
        if ([deadline timeIntervalSinceNow] <= 0) return false;
        NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
        NSEvent* event = [NSApp nextEventMatchingMask:NSAnyEventMask
                                            untilDate:[NSDate dateWithTimeIntervalSinceNow:0.02]
                                               inMode:NSDefaultRunLoopMode
                                              dequeue:YES];
        if (event) [NSApp sendEvent:event];
        [pool release];
    }
    return true;
}

// A titled window (retained; the caller releases it) at screen point (x, y) from the bottom left,
// with view as its content.
inline NSWindow* WindowAround(NSView* view, double x = 100.0, double y = 100.0) {
    const NSRect frame = [view frame];
    NSWindow* window =
        [[NSWindow alloc] initWithContentRect:NSMakeRect(x, y, frame.size.width, frame.size.height)
                                    styleMask:NSTitledWindowMask | NSClosableWindowMask
                                      backing:NSBackingStoreBuffered
                                        defer:NO];
    [window setReleasedWhenClosed:NO];
    [window setContentView:view];
    return window;
}

// A mouse event at a point of the window.
inline NSEvent* MouseEvent(NSEventType type, NSWindow* window, NSPoint where, NSUInteger flags = 0,
                           NSInteger clicks = 1) {
    return [NSEvent mouseEventWithType:type
                              location:where
                         modifierFlags:flags
                             timestamp:0
                          windowNumber:[window windowNumber]
                               context:nil
                           eventNumber:0
                            clickCount:clicks
                              pressure:1.0];
}
