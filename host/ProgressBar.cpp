#include "host/ProgressBar.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kCells = 30;

// Progress is cosmetic: a failed write is dropped, an interrupted one retried.
void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

} // namespace

ProgressBar::ProgressBar(int fileDescriptor, std::string text)
    : fd(fileDescriptor), enabled(isatty(fileDescriptor) == 1), label(std::move(text)) {}

ProgressBar::~ProgressBar() {
    if (lineOpen) WriteAll(fd, "\n");
}

void ProgressBar::Update(long done, long total) {
    if (!enabled) return;
    int percent = 100;
    if (total > 0) {
        const long clamped = done < 0 ? 0 : (done > total ? total : done);
        percent = static_cast<int>(clamped * 100.0 / static_cast<double>(total));
    }
    if (percent != shownPercent) Draw(percent);
}

void ProgressBar::Finish() {
    if (!enabled) return;
    if (shownPercent != 100) Draw(100);
    if (lineOpen) WriteAll(fd, "\n");
    lineOpen = false;
}

void ProgressBar::Draw(int percent) {
    const int filled = percent * kCells / 100;
    std::string line = "\r" + label + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kCells - filled), '-');
    char tail[16];
    std::snprintf(tail, sizeof tail, "] %3d%%", percent);
    line += tail;
    WriteAll(fd, line);
    shownPercent = percent;
    lineOpen = true;
}
