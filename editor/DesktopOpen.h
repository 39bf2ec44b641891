// Opening an address with the desktop's own handler (xdg-open), for platforms without a URL
// service of their own.
#pragma once

// Starts `xdg-open target` (found on PATH; the text is one argument whatever it holds) and
// returns without waiting for it: a short-lived /bin/sh started with posix_spawn puts the
// launcher in the background and ends, and only that shell is waited for, so no zombie is left
// and nothing in the process calls fork. The launcher reads and writes /dev/null, inherits no
// other descriptor of the caller's, starts with every signal at its default and unblocked, and
// runs in a session of its own. True when the launcher was started; false for a null or empty
// target, a target starting with '-' (it would read as an option), no xdg-open on PATH, or
// when the process could not be made. Any thread.
bool DesktopOpen(const char* target);
