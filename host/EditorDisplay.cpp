// Whether a window server can be reached, asked before anything makes GNUstep's application
// object (which aborts the process without one). Kept apart from the Objective-C code: Xlib's
// macros collide with the host's names.
#include "host/EditorCommand.h"

#include <X11/Xlib.h>

#include <cstdlib>

bool EditorDisplayAvailable() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    ::Display* display = XOpenDisplay(name);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}
