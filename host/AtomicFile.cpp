#include "host/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText() {
    return std::strerror(errno);
}

} // namespace

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(path);
    const std::string name = "." + target.filename().string() + "." +
                             std::to_string(static_cast<long>(getpid())) + "-" +
                             std::to_string(counter.fetch_add(1)) + ".tmp";
    return (target.parent_path() / name).string();
}

Status ResolveOutputTarget(const std::string& path, OutputTarget* target) {
    // As many links as the system itself follows before it calls the chain a loop.
    constexpr int kMaxLinks = 40;
    std::filesystem::path current(path);
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) return Status::Fail("cannot write " + path + ": " + ErrnoText());
            // A new file, or the missing end of a dangling link: created where it is named.
            *target = {current.string(), false};
            return Status::Ok();
        }
        if (S_ISLNK(info.st_mode)) {
            std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
            const ssize_t n = readlink(current.c_str(), link.data(), link.size());
            if (n < 0 || static_cast<size_t>(n) >= link.size())
                return Status::Fail("cannot write " + path + ": its link cannot be read");
            link.resize(static_cast<size_t>(n));
            const std::filesystem::path next(link);
            current = next.is_absolute() ? next : current.parent_path() / next;
            continue;
        }
        if (S_ISREG(info.st_mode)) {
            *target = {current.string(), false};
            return Status::Ok();
        }
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) {
            *target = {current.string(), true};
            return Status::Ok();
        }
        if (S_ISDIR(info.st_mode)) return Status::Fail("cannot write " + path + ": it is a folder");
        return Status::Fail("cannot write " + path + ": not a file, device or FIFO");
    }
    return Status::Fail("cannot write " + path + ": too many levels of symbolic links");
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
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
        done += static_cast<size_t>(n);
    }
    return Status::Ok();
}

Status WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    const FileSizeLimitAsError sizeLimit;
    OutputTarget target;
    if (Status s = ResolveOutputTarget(path, &target); !s) return s;
    if (target.straight) {
        const int fd = open(target.path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
        Status result = WriteAll(fd, data, size, path);
        if (close(fd) != 0 && result)
            result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        return result;
    }
    const std::string temp = TemporaryNameFor(target.path);
    // 0666 less the umask: the finished file gets the permissions any new file would.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
    Status result = WriteAll(fd, data, size, path);
    if (result && fsync(fd) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (close(fd) != 0 && result)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (result && rename(temp.c_str(), target.path.c_str()) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (!result) unlink(temp.c_str());
    return result;
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
