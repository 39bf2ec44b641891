// The Cocoa view that shows an IGraphicsMac editor, and its companions: the text field's input
// filter, the popup menu built from an IPopupMenu with the view that receives its choice, and a
// borderless child window for hosts that hand over a window instead of a view.
//
// The view is not flipped (origin bottom left, as AppKit delivers events); the editor's origin
// is top left. Every event method returns at once once the view is detached from its editor.
// User-interface thread only. Objective-C++, manual retain/release.
#pragma once

#import <AppKit/AppKit.h>

#include "editor/IGraphicsMac.h"

class IControl;
class IParam;
class IPopupMenu;

// A string from UTF-8 text (autoreleased).
NSString* ToNSString(const char* text);

// Event point to editor pixels, for an editor height h. The editor reads a pointer
// kPointerOffset pixels left of and above the pixel under it (the controls' areas and the
// recorded interactions are laid out against that reading; moving it would shift every hit
// by two pixels). In y the 1 turns bottom-up pixel row k into top-down row h - 1 - k.
constexpr int kPointerOffset = 2;
inline void ViewPointToEditor(NSPoint p, int h, int* x, int* y) {
    *x = static_cast<int>(p.x) - kPointerOffset;
    *y = h - static_cast<int>(p.y) - 1 - kPointerOffset;
}
// Editor rectangle to view rectangle.
inline NSRect EditorRectToView(const IRECT& r, int h) {
    return NSMakeRect(r.left, h - r.bottom - 1, r.right - r.left + 1, r.bottom - r.top + 1);
}
// View rectangle to the editor rectangle a repaint covers.
inline IRECT ViewRectToEditor(NSRect r, int h) {
    const int x = static_cast<int>(r.origin.x), y = static_cast<int>(r.origin.y);
    const int w = static_cast<int>(r.size.width), hh = static_cast<int>(r.size.height);
    return IRECT(x, h - (y + hh), x + w, h - y);
}
// The same at the editor's scale: the view measures device pixels over the window's backing
// scale (its points); the editor works in device pixels over its own scale (editor pixels). At 1
// and 1 these are the functions above.
inline void ViewPointToEditorAtScale(const IGraphicsMac* g, NSPoint p, int* x, int* y) {
    const double b = g->BackingScale();
    const int dx = static_cast<int>(p.x * b);
    const int dy = g->DeviceHeight() - static_cast<int>(p.y * b) - 1;
    *x = g->ToEditor(dx) - kPointerOffset;
    *y = g->ToEditor(dy) - kPointerOffset;
}
inline NSRect EditorRectToViewAtScale(const IGraphicsMac* g, const IRECT& r) {
    const NSRect d = EditorRectToView(g->ToDevice(r), g->DeviceHeight());
    const double b = g->BackingScale();
    return NSMakeRect(d.origin.x / b, d.origin.y / b, d.size.width / b, d.size.height / b);
}
inline IRECT ViewRectToEditorAtScale(const IGraphicsMac* g, NSRect r) {
    const double b = g->BackingScale();
    const NSRect d =
        NSMakeRect(r.origin.x * b, r.origin.y * b, r.size.width * b, r.size.height * b);
    return g->ToEditor(ViewRectToEditor(d, g->DeviceHeight()));
}
// The editor's key code for a key (-1 when the editor has none): space, arrows, Home, End,
// Return, Escape and Delete by key code, the last five by character too, digits and letters
// (either case) by character.
int EditorKeyCode(unsigned short keyCode, unichar character);

@interface IGraphicsCocoa_vZerub_au : NSView <NSTextFieldDelegate> {
@public
    IGraphicsMac* mGraphics; // null once detached
    NSTimer* mTimer;
    NSTextField* mTextFieldView;
    IControl* mEdControl;
    IParam* mEdParam;
    int mPrevX, mPrevY;
    NSTrackingRectTag mTrackingTag; // 0 when none
}
- (id)init;
- (id)initWithIGraphics:(IGraphicsMac*)pGraphics;
- (BOOL)isOpaque;
- (BOOL)acceptsFirstResponder;
- (BOOL)acceptsFirstMouse:(NSEvent*)pEvent;
- (void)viewDidMoveToWindow;
- (void)drawRect:(NSRect)rect;
- (void)onTimer:(NSTimer*)pTimer;
- (void)getMouseXY:(NSEvent*)pEvent x:(int*)pX y:(int*)pY;
- (void)mouseDown:(NSEvent*)pEvent;
- (void)mouseUp:(NSEvent*)pEvent;
- (void)mouseDragged:(NSEvent*)pEvent;
- (void)rightMouseDown:(NSEvent*)pEvent;
- (void)rightMouseUp:(NSEvent*)pEvent;
- (void)rightMouseDragged:(NSEvent*)pEvent;
- (void)mouseMoved:(NSEvent*)pEvent;
- (void)keyDown:(NSEvent*)pEvent;
- (void)mouseExited:(NSEvent*)pEvent;
- (void)trackPointer; // (re)sets the rectangle whose exit mouseExited: hears
- (void)scrollWheel:(NSEvent*)pEvent;
- (void)killTimer;
- (void)removeFromSuperview;
- (void)controlTextDidEndEditing:(NSNotification*)aNotification;
- (IPopupMenu*)createIPopupMenu:(IPopupMenu*)pMenu:(NSRect)rect;
- (void)createTextEntry:(IControl*)
               pControl:(IParam*)pParam
                       :(IText*)pText
                       :(const char*)pString
                       :(NSRect)areaRect;
- (void)endUserInput;
- (NSString*)view:(NSView*)view
    stringForToolTip:(NSToolTipTag)tag
               point:(NSPoint)point
            userData:(void*)data;
- (void)registerToolTip:(IRECT*)pRECT;
@end

@interface CocoaFormatter_vZerub_au : NSFormatter {
    NSCharacterSet* filterCharacterSet;
    int maxLength;
    int maxValue;
}
- (void)setAcceptableCharacterSet:(NSCharacterSet*)inCharacterSet;
- (void)setMaximumLength:(int)inLength;
- (void)setMaximumValue:(int)inValue;
@end

@interface IGraphicsMenuRcvr_vZerub_au : NSView {
    NSMenuItem* nsMenuItem;
}
- (void)OnMenuSelection:(id)sender;
- (NSMenuItem*)MenuItem;
@end

@interface IGraphicsNSMenu_vZerub_au : NSMenu {
    IPopupMenu* mIPopupMenu;
}
- (id)initWithIPopupMenuAndReciever:(IPopupMenu*)pMenu:(NSView*)pView;
- (IPopupMenu*)AssociatedIPopupMenu;
@end

@interface CustomCocoaWindow_vZerub_au : NSWindow
@end
