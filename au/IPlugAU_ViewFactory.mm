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
