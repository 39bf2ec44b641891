#include "editor/IGraphicsCocoa.h"

#include "plugin/IParam.h"

namespace {

IMouseMod ModsFromFlags(NSUInteger flags, bool left, bool right) {
    return IMouseMod(left, right, (flags & NSShiftKeyMask) != 0, (flags & NSControlKeyMask) != 0,
                     (flags & NSAlternateKeyMask) != 0);
}

// A command-click acts as a right click.
IMouseMod LeftButtonMods(NSEvent* event) {
    const NSUInteger flags = [event modifierFlags];
    return ModsFromFlags(flags, true, (flags & NSCommandKeyMask) != 0);
}

// The modifier flags of the event that anchors a popup menu: device-dependent bits only (none
// in NSDeviceIndependentModifierFlagsMask), so the menu sees no modifier key held.
constexpr NSUInteger kMenuEventFlags = 15;

// The virtual key codes of the keys the editor knows by position rather than by character.
enum EVirtualKey : unsigned short {
    kVK_Return = 0x24,
    kVK_Space = 0x31,
    kVK_Delete = 0x33,
    kVK_Escape = 0x35,
    kVK_ANSI_KeypadEnter = 0x4C,
    kVK_Home = 0x73,
    kVK_End = 0x77,
    kVK_LeftArrow = 0x7B,
    kVK_RightArrow = 0x7C,
    kVK_DownArrow = 0x7D,
    kVK_UpArrow = 0x7E,
};

IMouseMod RightButtonMods(NSEvent* event) {
    return ModsFromFlags([event modifierFlags], false, true);
}

// The step of the user's zoom a Control key press asks for (+1 for + or =, -1 for -, 0 for 0
// back to 100 %), or false when it asks for none.
bool ZoomKey(NSEvent* event, NSString* characters, int* direction) {
    if (!([event modifierFlags] & NSControlKeyMask) || [characters length] != 1) return false;
    switch ([characters characterAtIndex:0]) {
    case '+':
    case '=':
        *direction = 1;
        return true;
    case '-':
    case '_':
        *direction = -1;
        return true;
    case '0':
        *direction = 0;
        return true;
    default:
        return false;
    }
}

} // namespace

NSString* ToNSString(const char* text) {
    return [NSString stringWithUTF8String:text ? text : ""];
}

int EditorKeyCode(unsigned short keyCode, unichar c) {
    // The keys of the value field by the character they send as well: AppKit's function-key
    // characters, carriage return, enter, escape and delete.
    switch (c) {
    case NSHomeFunctionKey:
        return KEY_HOME;
    case NSEndFunctionKey:
        return KEY_END;
    case '\r':
    case 0x03:
        return KEY_RETURN;
    case 0x1b:
        return KEY_ESCAPE;
    case 0x7f:
    case 0x08:
        return KEY_BACKSPACE;
    default:
        break;
    }
    switch (keyCode) {
    case kVK_Home:
        return KEY_HOME;
    case kVK_End:
        return KEY_END;
    case kVK_Return:
    case kVK_ANSI_KeypadEnter:
        return KEY_RETURN;
    case kVK_Escape:
        return KEY_ESCAPE;
    case kVK_Delete:
        return KEY_BACKSPACE;
    case kVK_Space:
        return KEY_SPACE;
    case kVK_UpArrow:
        return KEY_UPARROW;
    case kVK_DownArrow:
        return KEY_DOWNARROW;
    case kVK_LeftArrow:
        return KEY_LEFTARROW;
    case kVK_RightArrow:
        return KEY_RIGHTARROW;
    default:
        break;
    }
    if (c >= '0' && c <= '9') return KEY_DIGIT_0 + (c - '0');
    if (c >= 'A' && c <= 'Z') return KEY_ALPHA_A + (c - 'A');
    if (c >= 'a' && c <= 'z') return KEY_ALPHA_A + (c - 'a');
    return -1;
}

@implementation IGraphicsCocoa_vZerub_au

- (id)init {
    self = [super init];
    if (self) {
        mGraphics = nullptr;
        mTimer = nil;
        mPrevX = 0;
        mPrevY = 0;
    }
    return self;
}

- (id)initWithIGraphics:(IGraphicsMac*)pGraphics {
    mGraphics = pGraphics;
    NSRect r = NSMakeRect(0.0, 0.0, pGraphics->DeviceWidth() / pGraphics->BackingScale(),
                          pGraphics->DeviceHeight() / pGraphics->BackingScale());
    self = [super initWithFrame:r];
    if (!self) return nil;
    mGraphics = pGraphics; // the superclass initialiser may have cleared it
    mPrevX = mPrevY = 0;
    const double interval = 1.0 / static_cast<double>(pGraphics->FPS());
    mTimer = [NSTimer timerWithTimeInterval:interval
                                     target:self
                                   selector:@selector(onTimer:)
                                   userInfo:nil
                                    repeats:YES];
    // The common modes, named one by one: the default mode, mouse tracking and modal panels.
    NSRunLoop* loop = [NSRunLoop currentRunLoop];
    [loop addTimer:mTimer forMode:NSDefaultRunLoopMode];
    [loop addTimer:mTimer forMode:NSEventTrackingRunLoopMode];
    [loop addTimer:mTimer forMode:NSModalPanelRunLoopMode];
    return self;
}

- (BOOL)isOpaque {
    return mGraphics ? YES : NO;
}

- (BOOL)acceptsFirstResponder {
    return YES;
}

- (BOOL)acceptsFirstMouse:(NSEvent*)pEvent {
    (void)pEvent; // an Objective-C parameter cannot go unnamed
    return YES;
}

- (void)viewDidMoveToWindow {
    NSWindow* window = [self window];
    if (window && mGraphics && [window respondsToSelector:@selector(backingScaleFactor)])
        mGraphics->FollowBackingScale([window backingScaleFactor]);
    if (window) {
        [window makeFirstResponder:self];
        [window setAcceptsMouseMovedEvents:YES];
    }
    [self trackPointer];
}

- (void)drawRect:(NSRect)rect {
    if (!mGraphics) return;
    IRECT r = ViewRectToEditorAtScale(mGraphics, rect);
    mGraphics->Draw(&r);
}

- (void)onTimer:(NSTimer*)pTimer {
    if (pTimer != mTimer || !mGraphics) return;
    IRECT r;
    if (mGraphics->IsDirty(&r)) [self setNeedsDisplayInRect:EditorRectToViewAtScale(mGraphics, r)];
}

- (void)getMouseXY:(NSEvent*)pEvent x:(int*)pX y:(int*)pY {
    if (!mGraphics) return;
    NSPoint p = [self convertPoint:[pEvent locationInWindow] fromView:nil];
    ViewPointToEditorAtScale(mGraphics, p, pX, pY);
    mPrevX = *pX;
    mPrevY = *pY;
}

- (void)mouseDown:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = LeftButtonMods(pEvent);
    if ([pEvent clickCount] > 1)
        mGraphics->OnMouseDblClick(x, y, &mod);
    else
        mGraphics->OnMouseDown(x, y, &mod);
}

- (void)mouseUp:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = LeftButtonMods(pEvent);
    mGraphics->OnMouseUp(x, y, &mod);
}

- (void)mouseDragged:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = LeftButtonMods(pEvent);
    if (!mTextFieldView) mGraphics->OnMouseDrag(x, y, &mod);
}

- (void)rightMouseDown:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = RightButtonMods(pEvent);
    mGraphics->OnMouseDown(x, y, &mod);
}

- (void)rightMouseUp:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = RightButtonMods(pEvent);
    mGraphics->OnMouseUp(x, y, &mod);
}

- (void)rightMouseDragged:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = RightButtonMods(pEvent);
    if (!mTextFieldView) mGraphics->OnMouseDrag(x, y, &mod);
}

- (void)mouseMoved:(NSEvent*)pEvent {
    if (!mGraphics) return;
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    IMouseMod mod = LeftButtonMods(pEvent);
    mGraphics->OnMouseOver(x, y, &mod);
}

- (void)keyDown:(NSEvent*)pEvent {
    NSString* s = [pEvent charactersIgnoringModifiers];
    if ([s length] != 1) return;
    int zoom = 0;
    if (mGraphics && ZoomKey(pEvent, s, &zoom)) {
        mGraphics->StepUserZoom(zoom);
        return;
    }
    const unichar c = [s characterAtIndex:0];
    const int key = EditorKeyCode([pEvent keyCode], c);
    // The character typed (shift applied), for the editor's own value field.
    NSString* typed = [pEvent characters];
    const unichar t = [typed length] == 1 ? [typed characterAtIndex:0] : 0;
    const int character = t >= 0x20 && t < 0x7f ? static_cast<int>(t) : 0;
    const bool handled = mGraphics && mGraphics->OnKeyTyped(mPrevX, mPrevY, key, character);
    if (!handled) [[self nextResponder] keyDown:pEvent];
}

// The pointer leaving the view takes the value readout away, as on the X11 layer.
- (void)mouseExited:(NSEvent*)pEvent {
    (void)pEvent;
    if (mGraphics && mGraphics->GetCapturedControl() < 0) mGraphics->OnMouseOut();
}

- (void)setFrameSize:(NSSize)size {
    [super setFrameSize:size];
    [self trackPointer];
}

- (void)trackPointer {
    if (mTrackingTag) [self removeTrackingRect:mTrackingTag];
    mTrackingTag = 0;
    if ([self window])
        mTrackingTag = [self addTrackingRect:[self bounds] owner:self userData:nil assumeInside:NO];
}

- (void)scrollWheel:(NSEvent*)pEvent {
    if (!mGraphics) return;
    if (mTextFieldView) [self endUserInput];
    int x = 0, y = 0;
    [self getMouseXY:pEvent x:&x y:&y];
    const int delta = static_cast<int>([pEvent deltaY]);
    if ([pEvent modifierFlags] & NSControlKeyMask) { // the user's zoom
        if (delta != 0) mGraphics->StepUserZoom(delta > 0 ? 1 : -1);
        return;
    }
    IMouseMod mod = LeftButtonMods(pEvent);
    mGraphics->OnMouseWheel(x, y, &mod, delta);
}

- (void)killTimer {
    [mTimer invalidate];
    mTimer = nil;
}

- (void)removeFromSuperview {
    // Only a view in a superview is being removed (AppKit may ask a view that has none, for
    // instance on its way into a window): the editor stays open then.
    if (![self superview]) {
        [super removeFromSuperview];
        return;
    }
    // The timer may hold the last reference: stay alive until the superview has let go.
    [[self retain] autorelease];
    if (mTrackingTag) [self removeTrackingRect:mTrackingTag];
    mTrackingTag = 0;
    if (mTextFieldView) [self endUserInput];
    if (mGraphics) {
        IGraphicsMac* graphics = mGraphics;
        mGraphics = nullptr;
        graphics->CloseWindow();
    }
    [super removeFromSuperview];
}

- (void)controlTextDidEndEditing:(NSNotification*)aNotification {
    (void)aNotification;
    if (!mTextFieldView) return;
    const char* text = [[mTextFieldView stringValue] UTF8String];
    if (mGraphics && mEdControl) {
        if (mEdParam)
            mGraphics->SetFromStringAfterPrompt(mEdControl, mEdParam, text ? text : "");
        else
            mEdControl->TextFromTextEntry(text ? text : "");
    }
    [self endUserInput];
    [self setNeedsDisplay:YES];
}

- (IPopupMenu*)createIPopupMenu:(IPopupMenu*)pMenu:(NSRect)rect {
    IGraphicsMenuRcvr_vZerub_au* receiver =
        [[IGraphicsMenuRcvr_vZerub_au alloc] initWithFrame:rect];
    IGraphicsNSMenu_vZerub_au* nsMenu =
        [[IGraphicsNSMenu_vZerub_au alloc] initWithIPopupMenuAndReciever:(pMenu):receiver];

    NSWindow* window = [self window];
    NSPoint anchor = [self convertPoint:NSMakePoint(rect.origin.x, rect.origin.y - 4.0) toView:nil];
    NSScreen* screen = [window screen];
    const CGFloat scale = [screen respondsToSelector:@selector(backingScaleFactor)]
                              ? [screen backingScaleFactor]
                              : 1.0;
    if (scale > 0.0) {
        anchor.x /= scale;
        anchor.y /= scale;
    }
    NSEvent* event = [NSEvent otherEventWithType:NSApplicationDefined
                                        location:anchor
                                   modifierFlags:kMenuEventFlags
                                       timestamp:0
                                    windowNumber:[window windowNumber]
                                         context:[NSGraphicsContext currentContext]
                                         subtype:0
                                           data1:0
                                           data2:0];
    [NSMenu popUpContextMenu:nsMenu withEvent:event forView:receiver];

    IPopupMenu* chosen = nullptr;
    NSMenuItem* item = [receiver MenuItem];
    NSMenu* itemMenu = [item menu];
    if (item && [itemMenu isKindOfClass:[IGraphicsNSMenu_vZerub_au class]]) {
        IPopupMenu* associated = [(IGraphicsNSMenu_vZerub_au*)itemMenu AssociatedIPopupMenu];
        const NSInteger index = [itemMenu indexOfItem:item];
        if (associated && index >= 0) {
            associated->SetChosenItemIdx(static_cast<int>(index));
            chosen = associated;
        }
    }
    [nsMenu release];
    [receiver release];
    return chosen;
}

- (void)createTextEntry:(IControl*)
               pControl:(IParam*)pParam
                       :(IText*)pText
                       :(const char*)pString
                       :(NSRect)areaRect {
    if (!pControl || mTextFieldView) return;

    mTextFieldView = [[NSTextField alloc] initWithFrame:areaRect];
    // The field's text at the editor's scale, in the view's points.
    const double points = mGraphics ? mGraphics->GetScale() / mGraphics->BackingScale() : 1.0;
    NSFont* font =
        [NSFont fontWithName:ToNSString(pText->fontName)
                        size:static_cast<float>(static_cast<int>(pText->size * 0.9 * points))];
    if (font) [mTextFieldView setFont:font];
    switch (pText->align) {
    case IText::kAlignNear:
        [mTextFieldView setAlignment:NSLeftTextAlignment];
        break;
    case IText::kAlignCenter:
        [mTextFieldView setAlignment:NSCenterTextAlignment];
        break;
    case IText::kAlignFar:
        [mTextFieldView setAlignment:NSRightTextAlignment];
        break;
    default:
        break;
    }

    if (pParam) {
        NSString* characters = @"";
        switch (pParam->Type()) {
        case IParam::kTypeBool:
        case IParam::kTypeInt:
        case IParam::kTypeEnum:
            characters = @"0123456789-+";
            break;
        case IParam::kTypeDouble:
            characters = @"0123456789.-+";
            break;
        default:
            break;
        }
        CocoaFormatter_vZerub_au* formatter = [[CocoaFormatter_vZerub_au alloc] init];
        [formatter setAcceptableCharacterSet:[NSCharacterSet
                                                 characterSetWithCharactersInString:characters]];
        [formatter setMaximumLength:pControl->GetTextEntryLength()];
        [mTextFieldView setFormatter:formatter];
        [formatter release];
    }

    [[mTextFieldView cell] setLineBreakMode:NSLineBreakByTruncatingTail];
    [mTextFieldView setAllowsEditingTextAttributes:NO];
    const IColor& fg = pText->entryTextColor;
    const IColor& bg = pText->entryBackColor;
    [mTextFieldView setTextColor:[NSColor colorWithCalibratedRed:fg.red / 255.0
                                                           green:fg.green / 255.0
                                                            blue:fg.blue / 255.0
                                                           alpha:fg.alpha / 255.0]];
    [mTextFieldView setBackgroundColor:[NSColor colorWithCalibratedRed:bg.red / 255.0
                                                                 green:bg.green / 255.0
                                                                  blue:bg.blue / 255.0
                                                                 alpha:bg.alpha / 255.0]];
    [mTextFieldView setStringValue:ToNSString(pString)];
    [mTextFieldView setBordered:NO];
    [mTextFieldView setFocusRingType:NSFocusRingTypeNone];
    [mTextFieldView setDelegate:self];
    [self addSubview:mTextFieldView];
    NSWindow* window = [self window];
    [window makeKeyAndOrderFront:nil];
    [window makeFirstResponder:mTextFieldView];

    mEdParam = pParam;
    mEdControl = pControl;
}

- (void)endUserInput {
    [mTextFieldView setDelegate:nil];
    [mTextFieldView removeFromSuperview];
    [mTextFieldView release];
    NSWindow* window = [self window];
    if (window) [window makeFirstResponder:self];
    mTextFieldView = nil;
    mEdControl = nullptr;
    mEdParam = nullptr;
}

- (NSString*)view:(NSView*)view
    stringForToolTip:(NSToolTipTag)tag
               point:(NSPoint)point
            userData:(void*)data {
    (void)view, (void)tag, (void)point, (void)data;
    if (!mGraphics) return @"";
    IControl* control = mGraphics->GetControl(mGraphics->GetHoverControl());
    const char* text = control ? control->GetTooltip() : nullptr;
    return text && *text ? ToNSString(text) : @"";
}

- (void)registerToolTip:(IRECT*)pRECT {
    if (!mGraphics) return;
    [self addToolTipRect:EditorRectToViewAtScale(mGraphics, *pRECT) owner:self userData:nil];
}

@end

@implementation CustomCocoaWindow_vZerub_au
- (BOOL)canBecomeKeyWindow {
    return YES;
}
@end
