// Private X servers for the window tests: Xvfb on a display number it picks itself. Tests that
// need one skip, saying why, when Xvfb is not installed.
#pragma once

#include <string>

// The server most tests share: started on first use and stopped at the program's end, with
// DISPLAY set; false (with the reason in *why) when it cannot be started. Later calls answer the
// first one's result.
bool StartXvfb(std::string* why);

// Runs the command line through the shell with DISPLAY set; its exit status.
int RunCommand(const std::string& command);

// A server of a given screen depth and visual class for one test, with DISPLAY pointing at it
// while this object lives (the previous value is put back, and the server stopped, when it goes).
class ScopedXvfb {
public:
    // screen: Xvfb's -screen argument ("640x480x16"); extra: more arguments ("-cc 4"), or "".
    ScopedXvfb(const std::string& screen, const std::string& extra);
    ~ScopedXvfb();
    ScopedXvfb(const ScopedXvfb&) = delete;
    ScopedXvfb& operator=(const ScopedXvfb&) = delete;

    bool Running() const { return server > 0; }
    const std::string& Why() const { return why; } // why it is not running

private:
    int server = -1;
    bool hadDisplay = false;
    std::string oldDisplay;
    std::string why;
};
