// Opening an address with the desktop's own handler (xdg-open), for platforms without a URL
// service of their own.
#pragma once

// Starts `xdg-open target` (found on PATH; no shell, so the text is one argument whatever it
// holds) and returns without waiting for it: the launcher runs in a grandchild that is never
// waited for, and the intermediate child is reaped at once, so no zombie is left. The launcher
// reads and writes /dev/null and runs in a session of its own. True when the
// launcher was started; false for a null or empty target, a target starting with '-' (it would
// read as an option), or when the process could not be made. Any thread.
bool DesktopOpen(const char* target);
