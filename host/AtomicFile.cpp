#include "host/AtomicFile.h"

#include "plugin/PresetFileIO.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText() {
    return std::strerror(errno);
}

} // namespace

std::string TemporaryNameFor(const std::string& path) {
    return PresetFileIO::TemporaryNameFor(path);
}

Status ResolveOutputTarget(const std::string& path, OutputTarget* target) {
    PresetFileIO::FileTarget found;
    std::string why;
    if (!PresetFileIO::ResolveFileTarget(path, &found, &why))
        return Status::Fail("cannot write " + path + ": " + why);
    *target = {found.path, found.straight};
    return Status::Ok();
}

FileSizeLimitAsError::FileSizeLimitAsError() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    restore_ = sigaction(SIGXFSZ, &ignore, &previous_) == 0;
}

FileSizeLimitAsError::~FileSizeLimitAsError() {
    if (restore_) sigaction(SIGXFSZ, &previous_, nullptr);
}

namespace {

constexpr int kDeferred[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t gCaughtSignal = 0;

void NoteSignal(int signal) {
    gCaughtSignal = signal;
}

} // namespace

InterruptDeferral::InterruptDeferral() {
    gCaughtSignal = 0;
    struct sigaction note {};
    note.sa_handler = NoteSignal;
    note.sa_flags = SA_RESTART; // reads and writes go on; the flag is looked at between spans
    sigemptyset(&note.sa_mask);
    for (int i = 0; i < kSignals; ++i)
        restore_[i] = sigaction(kDeferred[i], &note, &previous_[i]) == 0;
}

InterruptDeferral::~InterruptDeferral() {
    Resume();
}

bool InterruptDeferral::Interrupted() const {
    return gCaughtSignal != 0;
}

void InterruptDeferral::Resume() {
    if (resumed_) return;
    resumed_ = true;
    for (int i = 0; i < kSignals; ++i)
        if (restore_[i]) sigaction(kDeferred[i], &previous_[i], nullptr);
    if (gCaughtSignal != 0) raise(gCaughtSignal);
}

Status WriteAll(int fd, const void* data, size_t size, const std::string& path) {
    if (PresetFileIO::WriteAll(fd, data, size)) return Status::Ok();
    return Status::Fail("cannot write " + path + ": " + ErrnoText());
}

Status WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    const FileSizeLimitAsError sizeLimit;
    std::string why;
    if (PresetFileIO::WriteFileReplacing(path, data, size, &why)) return Status::Ok();
    return Status::Fail("cannot write " + path + ": " + why);
}

Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string* contents) {
    // Without blocking: opening a FIFO would otherwise wait for a writer before it is refused.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Status::Fail("cannot read " + path + ": " + ErrnoText());
    struct stat info;
    Status result = Status::Ok();
    if (fstat(fd, &info) != 0)
        result = Status::Fail("cannot read " + path + ": " + ErrnoText());
    else if (!S_ISREG(info.st_mode))
        result = Status::Fail("cannot read " + path + ": not a regular file");
    else if (static_cast<unsigned long long>(info.st_size) > maxBytes)
        result = Status::Fail("cannot read " + path + ": larger than " + std::to_string(maxBytes) +
                              " bytes");
    std::string text;
    char buffer[65536];
    while (result) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) result = Status::Fail("cannot read " + path + ": " + ErrnoText());
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > maxBytes)
            result = Status::Fail("cannot read " + path + ": larger than " +
                                  std::to_string(maxBytes) + " bytes");
    }
    close(fd);
    if (result) *contents = std::move(text);
    return result;
}
