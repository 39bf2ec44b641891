// An X server of a given screen depth and visual class for one test: Xvfb on a display number
// it picks itself, with DISPLAY pointing at it while this object lives (the previous value is
// put back, and the server stopped, when it goes).
#pragma once

#include <string>

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
