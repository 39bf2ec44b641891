// X errors on a connection of the editor's own, caught there: a plug-in UI must never end its
// host, and Xlib's process-wide error handler (whose default exits) belongs to the host.
//
// The trap is an asynchronous-reply handler of that one display, which Xlib offers each error
// before it reaches the process-wide handler, whether the error is read with events or while
// waiting for a reply. It takes every error, so the process-wide handler never runs for that
// display and is never replaced. A trap is used on the thread that uses its display.
#pragma once

typedef struct _XDisplay Display;

struct X11ErrorTrap;

// Starts taking every error on display; null when there is no memory for it.
X11ErrorTrap* X11TrapErrors(Display* display);
// Stops (call it before XCloseDisplay, after a last XSync) and frees the trap.
void X11ReleaseTrap(Display* display, X11ErrorTrap* trap);
// How many errors the server has reported on the display so far (those Xlib has read).
unsigned long X11ErrorCount(const X11ErrorTrap* trap);
// The window or drawable the last BadWindow or BadDrawable named; 0 when none did.
unsigned long X11LostDrawable(const X11ErrorTrap* trap);
