// zerub-host editor: the unit's editor in a window, found through the unit's Cocoa view factory
// as a macOS host finds it, with the parameter changes and gestures the unit announces printed
// one line each; or a snapshot of what the view draws. Host API and AppKit only.
#pragma once

#include "host/Status.h"

#include <ostream>
#include <string>
#include <thread>
#include <vector>

struct EditorOptions {
    std::string component;           // a .component bundle; empty: the search path
    std::vector<std::string> params; // NAME=VALUE, set before the view opens
    std::string snapshot;            // PNG to write instead of running the window; empty: none
    double scale = 1.0; // the editor's scale factor (1 to 4), asked of the view factory
};

// False in builds without the Cocoa editor.
bool EditorAvailable();

// True when a window can be opened (a display is reachable).
bool EditorDisplayAvailable();

// Watches the editor's X window and the display from outside AppKit, which reports neither the
// window destroyed by another client (xdotool windowclose, a window manager's kill) nor a display
// that dies: the latter it ends the process on, the former it keeps logging X errors about.
// One at a time; make it once the application object exists, so that its X handlers are chained.
class DisplayWatch {
public:
    // window: an X window id; appDisplay: the application's Display, whose loss must not end
    // the process (null when unknown).
    DisplayWatch(unsigned long window, void* appDisplay);
    ~DisplayWatch(); // puts the previous handlers back
    DisplayWatch(const DisplayWatch&) = delete;
    DisplayWatch& operator=(const DisplayWatch&) = delete;

    // True once the window is destroyed; X errors about it are dropped from then on.
    bool WindowGone();
    // True once a connection to the display has failed; Xlib's calls then return without
    // effect instead of ending the process.
    static bool DisplayLost();

private:
    void* display = nullptr; // a connection of our own, which learns of the destruction
    unsigned long window = 0;
};

// While it lives, lines written to stderr (fd 2) that contain noise are dropped; the others pass
// through in order. For the window system's own chatter, which a user should not see.
class StderrFilter {
public:
    explicit StderrFilter(const char* noise);
    ~StderrFilter(); // passes what is left and puts stderr back
    StderrFilter(const StderrFilter&) = delete;
    StderrFilter& operator=(const StderrFilter&) = delete;

private:
    void Pass();
    std::string noise;
    int saved = -1;         // the real stderr
    int readEnd = -1;       // the pipe now behind fd 2
    int wake[2] = {-1, -1}; // written once to stop the reader
    std::thread reader;
};

// Opens the editor and runs until its window is closed, printing to out one line per announced
// change ("Gain 0.620") and gesture ("Gain: gesture begins"); with a snapshot path, writes the
// view's drawing as PNG (through a temporary file), prints one line naming it and returns.
Status RunEditor(const EditorOptions& options, std::ostream& out);
