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

Status WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    const std::string temp = TemporaryNameFor(path);
    // 0666 less the umask: the finished file gets the permissions any new file would.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Status::Fail("cannot write " + path + ": " + ErrnoText());
    Status result = Status::Ok();
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size && result;) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            result = Status::Fail("cannot write " + path + ": " + ErrnoText());
        else
            done += static_cast<size_t>(n);
    }
    if (result && fsync(fd) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (close(fd) != 0 && result)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (result && rename(temp.c_str(), path.c_str()) != 0)
        result = Status::Fail("cannot write " + path + ": " + ErrnoText());
    if (!result) unlink(temp.c_str());
    return result;
}

Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string* contents) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
