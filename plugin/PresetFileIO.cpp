#include "plugin/PresetFileIO.h"

#include "plugin/IPlugStructs.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace PresetFileIO {
namespace {

std::string ErrnoText() {
    return std::strerror(errno);
}

} // namespace

bool ReadWholeFile(const char* path, ByteChunk* out, int maxSize) {
    out->Clear();
    if (!path || !*path) return false;
    // Non-blocking, so that a FIFO given as a preset cannot stall the caller before it is refused.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxSize &&
              out->Resize(static_cast<int>(st.st_size));
    // The size can change under us: read what is there, never past the buffer.
    int got = 0;
    while (ok && got < out->Size()) {
        const ssize_t n = read(fd, out->GetBytes() + got, static_cast<size_t>(out->Size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<int>(n);
    }
    close(fd);
    if (!ok) {
        out->Clear();
        return false;
    }
    out->Shrink(got);
    return true;
}

bool ResolveFileTarget(const std::string& path, FileTarget* target, std::string* why) {
    // As many links as the system itself follows before it calls the chain a loop.
    constexpr int kMaxLinks = 40;
    std::filesystem::path current(path);
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                *why = ErrnoText();
                return false;
            }
            // A new file, or the missing end of a dangling link: created where it is named.
            *target = {current.string(), false};
            return true;
        }
        if (S_ISLNK(info.st_mode)) {
            std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
            const ssize_t n = readlink(current.c_str(), link.data(), link.size());
            if (n < 0 || static_cast<size_t>(n) >= link.size()) {
                *why = "its link cannot be read";
                return false;
            }
            link.resize(static_cast<size_t>(n));
            const std::filesystem::path next(link);
            current = next.is_absolute() ? next : current.parent_path() / next;
            continue;
        }
        if (S_ISREG(info.st_mode)) {
            *target = {current.string(), false};
            return true;
        }
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) {
            *target = {current.string(), true};
            return true;
        }
        *why = S_ISDIR(info.st_mode) ? "it is a folder" : "not a file, device or FIFO";
        return false;
    }
    *why = "too many levels of symbolic links";
    return false;
}

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(path);
    const std::string name = "." + target.filename().string() + "." +
                             std::to_string(static_cast<long>(getpid())) + "-" +
                             std::to_string(counter.fetch_add(1)) + ".tmp";
    return (target.parent_path() / name).string();
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size, std::string* why) {
    std::string reason;
    const bool ok = [&] {
        if (path.empty() || (size > 0 && !data)) {
            reason = "nothing to write";
            return false;
        }
        FileTarget target;
        if (!ResolveFileTarget(path, &target, &reason)) return false;
        if (target.straight) {
            const int fd = open(target.path.c_str(), O_WRONLY | O_CLOEXEC);
            bool done = fd >= 0 && WriteAll(fd, data, size);
            if (!done) reason = ErrnoText();
            if (fd >= 0 && close(fd) != 0 && done) {
                reason = ErrnoText();
                done = false;
            }
            return done;
        }
        struct stat old;
        const bool replacing = stat(target.path.c_str(), &old) == 0;
        const std::string temp = TemporaryNameFor(target.path);
        // 0666 less the umask for a new file; a replaced one keeps its permissions.
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            reason = ErrnoText();
            return false;
        }
        bool done = (!replacing || fchmod(fd, old.st_mode & 07777) == 0) &&
                    WriteAll(fd, data, size) && fsync(fd) == 0;
        if (!done) reason = ErrnoText();
        if (close(fd) != 0 && done) {
            reason = ErrnoText();
            done = false;
        }
        if (done && rename(temp.c_str(), target.path.c_str()) != 0) {
            reason = ErrnoText();
            done = false;
        }
        if (!done) unlink(temp.c_str());
        return done;
    }();
    if (!ok && why) *why = reason;
    return ok;
}

} // namespace PresetFileIO
