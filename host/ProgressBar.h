// A one-line progress bar for long renders. It draws only when its descriptor is a terminal,
// so piped or redirected output never carries control characters.
#pragma once

#include <string>

class ProgressBar {
public:
    // Draws on fd (normally stderr) when isatty(fd); otherwise every call does nothing.
    ProgressBar(int fd, std::string label);
    // Ends the line if a bar was drawn and Finish was not called.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool Enabled() const { return enabled; }
    // Redraws when the whole percentage changes. done is clamped to [0, total]; a total of 0 or
    // less counts as complete.
    void Update(long done, long total);
    // Draws 100 % and ends the line.
    void Finish();

private:
    void Draw(int percent);

    int fd;
    bool enabled;
    std::string label;
    int shownPercent = -1;
    bool lineOpen = false;
};
