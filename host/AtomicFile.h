// Output files, through the project's one crash-safe writer (plugin/PresetFileIO.h): a regular
// file (or a new path) appears whole or not at all, written to a temporary beside it, synced,
// then renamed over it. A device or a FIFO is written straight, and a symbolic link keeps being
// a link: what it points to is replaced. These wrappers give its failures as Status messages.
#pragma once

#include "host/Status.h"

#include <csignal>
#include <string>

// A fresh name beside path that no other writer (thread or process) picks: hidden, with the
// process id and a counter, so an interrupted run leaves an obvious leftover, never a file that
// looks complete.
std::string TemporaryNameFor(const std::string& path);

// Where output meant for a path goes.
struct OutputTarget {
    // The file to write: path itself, or the end of its chain of symbolic links.
    std::string path;
    // True for a device or a FIFO, which is opened and written as it is; false for a regular
    // file or a new path, which is replaced through a temporary.
    bool straight = false;
};

// Follows symbolic links (relative ones from the link's folder) to what path finally names.
// Fails for a folder, a socket, a loop of links, or a folder on the way that cannot be read.
Status ResolveOutputTarget(const std::string& path, OutputTarget* target);

// While one lives, a write past the file-size limit (RLIMIT_FSIZE) fails with EFBIG instead of
// killing the process with SIGXFSZ, so that the writer can remove its temporary and say why.
// The signal's disposition is process-wide: the previous one is put back on destruction.
class FileSizeLimitAsError {
public:
    FileSizeLimitAsError();
    ~FileSizeLimitAsError();
    FileSizeLimitAsError(const FileSizeLimitAsError&) = delete;
    FileSizeLimitAsError& operator=(const FileSizeLimitAsError&) = delete;

private:
    struct sigaction previous_ {};
    bool restore_ = false;
};

// While one lives, SIGINT, SIGTERM and SIGHUP only mark themselves, so that a long writer can
// remove its temporary before the signal takes its course: once that is done, Resume puts the
// previous dispositions back and raises the signal caught, if any.
class InterruptDeferral {
public:
    InterruptDeferral();
    ~InterruptDeferral(); // Resume, unless already called
    InterruptDeferral(const InterruptDeferral&) = delete;
    InterruptDeferral& operator=(const InterruptDeferral&) = delete;

    bool Interrupted() const;
    void Resume();

private:
    static constexpr int kSignals = 3;
    struct sigaction previous_[kSignals] {};
    bool restore_[kSignals] = {};
    bool resumed_ = false;
};

// Writes size bytes to an open descriptor, retrying short writes; the message names path.
Status WriteAll(int fd, const void* data, size_t size, const std::string& path);

// Writes size bytes to path as ResolveOutputTarget says: through a temporary (on failure path is
// untouched and the temporary removed), or straight to a device or FIFO.
Status WriteFileAtomically(const std::string& path, const void* data, size_t size);

// Reads a whole regular file of at most maxBytes. Anything else (a FIFO, a device, a folder) is
// refused without being waited on or read.
Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string* contents);
