// The unit's Cocoa view factory: the host finds this class by the name the unit reports in its
// Cocoa UI property, instantiates it and asks it for the editor's view. Main thread only.
#import <AppKit/AppKit.h>

#include "au/IPlugAU.h"

#include <AudioUnit/AUCocoaUIView.h>

@interface Zerub_View : NSObject <AUCocoaUIBase> {
    IPlugAU* mPlug; // not retained: the unit outlives the views it made
}
- (id)init;
- (NSView*)uiViewForAudioUnit:(AudioUnit)audioUnit withSize:(NSSize)preferredSize;
- (unsigned)interfaceVersion;
- (NSString*)description;
@end

@implementation Zerub_View

- (id)init {
    mPlug = nullptr;
    return [super init];
}

- (NSView*)uiViewForAudioUnit:(AudioUnit)audioUnit withSize:(NSSize)preferredSize {
    IPlugAU* plug = nullptr;
    UInt32 size = sizeof(plug);
    if (AudioUnitGetProperty(audioUnit, IPlugAU::kIPlugObjectPropertyID, kAudioUnitScope_Global, 0,
                             &plug, &size) != noErr)
        return nil;
    mPlug = plug;
    if (!mPlug) return nil;
    IPlugEditor* graphics = mPlug->GetGUI();
    if (!graphics) return nil;
    // At the zoom the user last chose, as the LV2 UI opens.
    graphics->RememberUserZoom();
    // A host that asks for a size gets the editor drawn at the scale that fills it.
    const CGFloat w = preferredSize.width, h = preferredSize.height;
    if (w >= 1.0 && h >= 1.0 && w < 65536.0 && h < 65536.0)
        graphics->SetPreferredSize(static_cast<int>(w + 0.5), static_cast<int>(h + 0.5));
    NSView* view = static_cast<NSView*>(graphics->OpenWindow(nullptr));
    mPlug->OnGUIOpen();
    return view;
}

- (unsigned)interfaceVersion {
    return 0;
}

- (NSString*)description {
    return @"Zerub View";
}

@end
