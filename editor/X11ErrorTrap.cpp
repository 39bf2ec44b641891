#include "editor/X11ErrorTrap.h"

#include <new>

#include <X11/Xlib.h>
// The display's asynchronous handlers (the hook client-side libraries use). Last: it defines
// min and max as macros.
#include <X11/Xlibint.h>

struct X11ErrorTrap {
    _XAsyncHandler handler = {};
    unsigned long errors = 0;
    unsigned long lostDrawable = 0;
};

namespace {

// Xlib calls it, with the display locked, for every error and for replies it does not expect;
// the replies are left to Xlib.
Bool OnResponse(Display*, xReply* response, char*, int, XPointer data) {
    if (response->generic.type != X_Error) return False;
    X11ErrorTrap* trap = reinterpret_cast<X11ErrorTrap*>(data);
    const xError* error = reinterpret_cast<const xError*>(response);
    ++trap->errors;
    if (error->errorCode == BadWindow || error->errorCode == BadDrawable)
        trap->lostDrawable = error->resourceID;
    return True; // taken: the process-wide handler does not see it
}

} // namespace

X11ErrorTrap* X11TrapErrors(Display* display) {
    if (!display) return nullptr;
    X11ErrorTrap* trap = new (std::nothrow) X11ErrorTrap;
    if (!trap) return nullptr;
    trap->handler.handler = OnResponse;
    trap->handler.data = reinterpret_cast<XPointer>(trap);
    LockDisplay(display);
    trap->handler.next = display->async_handlers;
    display->async_handlers = &trap->handler;
    UnlockDisplay(display);
    return trap;
}

void X11ReleaseTrap(Display* display, X11ErrorTrap* trap) {
    if (!trap) return;
    if (display) {
        LockDisplay(display);
        DeqAsyncHandler(display, &trap->handler);
        UnlockDisplay(display);
    }
    delete trap;
}

unsigned long X11ErrorCount(const X11ErrorTrap* trap) {
    return trap ? trap->errors : 0;
}

unsigned long X11LostDrawable(const X11ErrorTrap* trap) {
    return trap ? trap->lostDrawable : 0;
}
