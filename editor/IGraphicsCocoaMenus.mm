// The view's companions: the text field's input filter and the popup menu with its receiver.
#include "editor/IGraphicsCocoa.h"

#include "editor/IPopupMenu.h"

#include <cstdio>

@implementation CocoaFormatter_vZerub_au

- (void)dealloc {
    [filterCharacterSet release];
    [super dealloc];
}

- (void)setAcceptableCharacterSet:(NSCharacterSet*)inCharacterSet {
    [inCharacterSet retain];
    [filterCharacterSet release];
    filterCharacterSet = inCharacterSet;
}

- (void)setMaximumLength:(int)inLength {
    maxLength = inLength;
}

- (void)setMaximumValue:(int)inValue {
    maxValue = inValue;
}

- (NSString*)stringForObjectValue:(id)anObject {
    return [anObject isKindOfClass:[NSString class]] ? (NSString*)anObject : nil;
}

- (BOOL)getObjectValue:(id*)obj forString:(NSString*)string errorDescription:(NSString**)error {
    (void)error; // an Objective-C parameter cannot go unnamed
    if (obj && string) *obj = [[string copy] autorelease];
    return YES;
}

- (BOOL)isPartialStringValid:(NSString*)partialString
            newEditingString:(NSString**)newString
            errorDescription:(NSString**)error {
    (void)newString, (void)error;
    if (filterCharacterSet) {
        const NSRange outside =
            [partialString rangeOfCharacterFromSet:[filterCharacterSet invertedSet]];
        if (outside.location != NSNotFound) return NO;
    }
    if (maxLength && static_cast<int>([partialString length]) > maxLength) return NO;
    if (maxValue && [partialString intValue] > maxValue) return NO;
    return YES;
}

@end

@implementation IGraphicsMenuRcvr_vZerub_au

- (void)OnMenuSelection:(id)sender {
    nsMenuItem = sender;
}

- (NSMenuItem*)MenuItem {
    return nsMenuItem;
}

@end

@implementation IGraphicsNSMenu_vZerub_au

- (id)initWithIPopupMenuAndReciever:(IPopupMenu*)pMenu:(NSView*)pView {
    self = [super initWithTitle:@""];
    if (!self) return nil;
    [self setAutoenablesItems:NO];

    static const char* const kPrefixFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
    const int prefix = pMenu->GetPrefix();
    for (int i = 0; i < pMenu->GetNItems(); ++i) {
        IPopupMenuItem* source = pMenu->GetItem(i);
        NSString* title = ToNSString(source->GetText());
        if (prefix >= 1 && prefix <= 3) {
            char number[16];
            std::snprintf(number, sizeof number, kPrefixFormats[prefix], i + 1);
            title = [ToNSString(number) stringByAppendingString:title];
        }

        NSMenuItem* item = nil;
        if (source->GetSubmenu()) {
            item = [self addItemWithTitle:title action:nullptr keyEquivalent:@""];
            IGraphicsNSMenu_vZerub_au* submenu = [[IGraphicsNSMenu_vZerub_au alloc]
                initWithIPopupMenuAndReciever:source->GetSubmenu():pView];
            [self setSubmenu:submenu forItem:item];
            [submenu release];
        } else if (source->GetIsSeparator()) {
            [self addItem:[NSMenuItem separatorItem]];
        } else {
            item = [self addItemWithTitle:title
                                   action:@selector(OnMenuSelection:)
                            keyEquivalent:@""];
            [item setTarget:pView];
            if (source->GetIsTitle()) [item setIndentationLevel:1];
            if (source->GetChecked()) [item setState:NSOnState];
            [item setEnabled:source->GetEnabled() ? YES : NO];
        }
    }
    mIPopupMenu = pMenu;
    return self;
}

- (IPopupMenu*)AssociatedIPopupMenu {
    return mIPopupMenu;
}

@end
