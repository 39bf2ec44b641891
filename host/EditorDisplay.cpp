// Whether a window server can be reached, asked before anything makes GNUstep's application
// object (which aborts the process without one), and the filter that keeps GNUstep's chatter off
// stderr. Kept apart from the Objective-C code: Xlib's macros collide with the host's names.
#include "host/EditorCommand.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

bool EditorDisplayAvailable() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    ::Display* display = XOpenDisplay(name);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

StderrFilter::StderrFilter(const char* noiseText) : noise(noiseText ? noiseText : "") {
    std::fflush(stderr);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    if (pipe2(wake, O_CLOEXEC) != 0) {
        close(ends[0]);
        close(ends[1]);
        wake[0] = wake[1] = -1;
        return;
    }
    saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || dup2(ends[1], 2) < 0) {
        if (saved >= 0) close(saved);
        saved = -1;
        close(ends[0]);
        close(ends[1]);
        close(wake[0]);
        close(wake[1]);
        return;
    }
    close(ends[1]);
    readEnd = ends[0];
    // The reader takes no signals: Ctrl-C must reach the thread that runs the window.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    reader = std::thread([this] { Pass(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

StderrFilter::~StderrFilter() {
    if (saved < 0) return;
    std::fflush(stderr);
    dup2(saved, 2); // the pipe's last writer in this process goes
    // A child that inherited stderr may keep the pipe open: wake the reader rather than wait for
    // the end of the pipe.
    const char stop = 1;
    while (write(wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    reader.join();
    close(readEnd);
    close(wake[0]);
    close(wake[1]);
    close(saved);
}

void StderrFilter::Pass() {
    std::string pending;
    auto emit = [this](const std::string& line) {
        if (!noise.empty() && line.find(noise) != std::string::npos) return;
        for (size_t done = 0; done < line.size();) {
            const ssize_t n = write(saved, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    };
    for (;;) {
        // Sleeps until there is something to pass on or to stop: no wake-ups while idle.
        pollfd p[2] = {{readEnd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int ready = poll(p, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (!(p[0].revents & (POLLIN | POLLHUP))) break; // asked to stop, nothing left to read
        char buffer[4096];
        const ssize_t n = read(readEnd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            emit(pending.substr(0, end + 1));
            pending.erase(0, end + 1);
        }
    }
    if (!pending.empty()) emit(pending);
}

namespace {

// Process-wide, as Xlib's handlers are.
volatile sig_atomic_t gDisplayLost = 0;
unsigned long gGoneWindow = 0; // X errors about it are expected once it is destroyed
XErrorHandler gPreviousError = nullptr;
XIOErrorHandler gPreviousIOError = nullptr;

int OnXError(::Display* display, XErrorEvent* error) {
    if (gGoneWindow != 0 && error->resourceid == gGoneWindow) return 0;
    return gPreviousError ? gPreviousError(display, error) : 0;
}

void KeepRunning(::Display*, void*) {}

// Xlib calls the display's exit handler after this one; with KeepRunning there instead of exit,
// the loop sees the flag and closes the editor as a close does.
int OnXIOError(::Display*) {
    gDisplayLost = 1;
    return 0;
}

bool WindowExists(::Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i)
        found = children[i] == window;
    if (children) XFree(children);
    return found;
}

} // namespace

DisplayWatch::DisplayWatch(unsigned long id, void* appDisplay) : window(id) {
    gDisplayLost = 0;
    gGoneWindow = 0;
    gPreviousError = XSetErrorHandler(OnXError);
    gPreviousIOError = XSetIOErrorHandler(OnXIOError);
    if (appDisplay)
        XSetIOErrorExitHandler(static_cast<::Display*>(appDisplay), KeepRunning, nullptr);
    ::Display* own = XOpenDisplay(std::getenv("DISPLAY"));
    if (!own) return;
    display = own;
    XSetIOErrorExitHandler(own, KeepRunning, nullptr);
    XSelectInput(own, static_cast<Window>(window), StructureNotifyMask);
    XSync(own, False);
    // Destroyed before the watch began: no event will come.
    if (!WindowExists(own, static_cast<Window>(window))) gGoneWindow = window;
}

DisplayWatch::~DisplayWatch() {
    // After a lost display or window the handlers stay: what is left of the program may still
    // talk to them, in vain, on its way out (errors come back whenever the connection is read).
    if (gDisplayLost) return;
    if (display) XCloseDisplay(static_cast<::Display*>(display));
    if (gGoneWindow != 0) return;
    XSetErrorHandler(gPreviousError);
    XSetIOErrorHandler(gPreviousIOError);
}

bool DisplayWatch::WindowGone() {
    auto* own = static_cast<::Display*>(display);
    if (!own || gDisplayLost) return false;
    if (gGoneWindow == window) return true;
    XEvent event;
    bool gone = false;
    while (XPending(own) > 0 && !gDisplayLost) {
        XNextEvent(own, &event);
        gone = gone || (event.type == DestroyNotify && event.xdestroywindow.window == window);
    }
    if (gone) gGoneWindow = window;
    return gone;
}

bool DisplayWatch::DisplayLost() {
    return gDisplayLost != 0;
}
