// The protocol of a unit's Cocoa view factory: the host instantiates the class the unit names in
// kAudioUnitProperty_CocoaUI and asks it for the view. Objective-C only.
#pragma once

#include <AudioUnit/AudioUnit.h>

#ifdef __OBJC__
#import <AppKit/AppKit.h>

@protocol AUCocoaUIBase
// The version of this protocol the factory implements (0).
- (unsigned)interfaceVersion;
// A new view for the unit; nil when the unit has none. The preferred size may be ignored.
- (NSView*)uiViewForAudioUnit:(AudioUnit)inAudioUnit withSize:(NSSize)inPreferredSize;
@end

#endif
