// A private X server for the window tests: Xvfb on a display number it picks itself, started
// once per test program and stopped at its end. Tests that need it skip, saying why, when Xvfb
// is not installed.
#pragma once

#include <string>

// Starts the server on first use and sets DISPLAY; false (with the reason in *why) when it cannot
// be started. Later calls answer the first one's result.
bool StartXvfb(std::string* why);

// Runs the command line through the shell with DISPLAY set; its exit status.
int RunCommand(const std::string& command);
