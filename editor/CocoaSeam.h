// The few services the Cocoa layer needs that GNUstep's AppKit lacks, each with the GNUstep
// equivalent. On macOS these are Core Graphics images wrapping the back buffer (in the display
// profile's colour space), CFUserNotificationDisplayAlert and NSApplicationLoad. Everything else
// in the Cocoa layer is plain AppKit. Objective-C++ only; user-interface thread.
#pragma once

#import <AppKit/AppKit.h>

#include "editor/IGraphicsStructs.h"

#include <CoreFoundation/CFUserNotification.h>

class LICE_IBitmap;

namespace cocoa_seam {

// True when a window server can be reached. Making the application object without one aborts
// the process, so nothing that needs it runs before this answers true.
bool DisplayAvailable();

// NSApplicationLoad: makes the application object when there is none yet and a display is
// available. Called when a window is first opened, never when an editor is merely built, so that
// headless programs never need a display. False when there is no application object afterwards.
bool LoadApplication();

// The back buffer as the screen sees it. The buffer's 0xAARRGGBB little-endian words have no
// matching image layout here, so an RGBA copy is kept and refreshed only over the area redrawn.
struct ScreenImage;
ScreenImage* NewScreenImage();
void DeleteScreenImage(ScreenImage* image);
// Copies area of buffer (editor pixels, clipped to it) into the image, alpha byte ignored, and
// draws the whole image into dest of the current graphics context (the context's clip keeps
// the rest of the screen as it was). False when the image cannot be made.
bool DrawBuffer(ScreenImage* image, LICE_IBitmap* buffer, const IRECT& area, NSRect dest);

// CGWarpMouseCursorPosition: moves the pointer to p (screen pixels, origin top left of the main
// display). False without a display.
bool WarpCursor(NSPoint p);

// CFUserNotificationDisplayAlert at note level without timeout: a modal alert with the given
// buttons (nil for none; the default button is always there). Returns the response code:
// kCFUserNotificationDefaultResponse, ...AlternateResponse or ...OtherResponse for the button
// pressed, ...CancelResponse when there is no application to show it.
int DisplayAlert(NSString* header, NSString* message, NSString* defaultButton,
                 NSString* alternateButton, NSString* otherButton);

} // namespace cocoa_seam
