#include "editor/CocoaSeam.h"

#include "raster/lice_bitmap.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>

namespace cocoa_seam {

bool DisplayAvailable() {
    static int known = -1; // the answer does not change within a process
    if (known < 0) {
        const char* name = std::getenv("DISPLAY");
        Display* display = name && *name ? XOpenDisplay(name) : nullptr;
        if (display) XCloseDisplay(display);
        known = display != nullptr;
    }
    return known == 1;
}

bool LoadApplication() {
    if (NSApp) return true;
    if (!DisplayAvailable()) return false;
    [NSApplication sharedApplication];
    return NSApp != nil;
}

struct ScreenImage {
    NSBitmapImageRep* rep = nil;
};

ScreenImage* NewScreenImage() {
    return new ScreenImage;
}

void DeleteScreenImage(ScreenImage* image) {
    if (!image) return;
    [image->rep release];
    delete image;
}

bool DrawBuffer(ScreenImage* image, LICE_IBitmap* buffer, const IRECT& area, NSRect dest) {
    if (!image || !buffer || !buffer->getBits()) return false;
    const int w = buffer->getWidth(), h = buffer->getHeight();
    if (image->rep && ([image->rep pixelsWide] != w || [image->rep pixelsHigh] != h)) {
        [image->rep release];
        image->rep = nil;
    }
    IRECT copy = area;
    if (!image->rep) {
        image->rep = [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                             pixelsWide:w
                                                             pixelsHigh:h
                                                          bitsPerSample:8
                                                        samplesPerPixel:4
                                                               hasAlpha:YES
                                                               isPlanar:NO
                                                         colorSpaceName:NSDeviceRGBColorSpace
                                                            bytesPerRow:w * 4
                                                           bitsPerPixel:32];
        if (!image->rep) return false;
        copy = IRECT(0, 0, w, h); // a new image starts blank
    }
    unsigned char* out = [image->rep bitmapData];
    const int left = std::max(copy.left, 0), right = std::min(copy.right, w);
    const int top = std::max(copy.top, 0), bottom = std::min(copy.bottom, h);
    const LICE_pixel* bits = buffer->getBits();
    const int span = buffer->getRowSpan();
    for (int y = top; y < bottom; ++y) {
        const LICE_pixel* src = bits + static_cast<size_t>(y) * span;
        unsigned char* row = out + static_cast<size_t>(y) * w * 4;
        for (int x = left; x < right; ++x) {
            const LICE_pixel p = src[x];
            row[x * 4 + 0] = static_cast<unsigned char>(p >> 16);
            row[x * 4 + 1] = static_cast<unsigned char>(p >> 8);
            row[x * 4 + 2] = static_cast<unsigned char>(p);
            row[x * 4 + 3] = 0xFF; // the alpha byte is not shown
        }
    }
    return [image->rep drawInRect:dest];
}

bool WarpCursor(NSPoint p) {
    if (!DisplayAvailable()) return false;
    Display* display = XOpenDisplay(std::getenv("DISPLAY"));
    if (!display) return false;
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, static_cast<int>(p.x),
                 static_cast<int>(p.y));
    XCloseDisplay(display);
    return true;
}

int DisplayAlert(NSString* header, NSString* message, NSString* defaultButton,
                 NSString* alternateButton, NSString* otherButton) {
    if (!LoadApplication()) return kCFUserNotificationCancelResponse;
    const NSInteger answer = NSRunAlertPanel(header, @"%@", defaultButton ? defaultButton : @"OK",
                                             alternateButton, otherButton, message ? message : @"");
    switch (answer) {
    case NSAlertDefaultReturn:
        return kCFUserNotificationDefaultResponse;
    case NSAlertAlternateReturn:
        return kCFUserNotificationAlternateResponse;
    case NSAlertOtherReturn:
        return kCFUserNotificationOtherResponse;
    default:
        return kCFUserNotificationCancelResponse;
    }
}

} // namespace cocoa_seam
