#include "plugin/PresetFileIO.h"

#include "plugin/IPlugStructs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace PresetFileIO {
namespace {

bool WriteAll(int fd, const unsigned char* data, int size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<int>(n);
    }
    return true;
}

mode_t NewFileMode() {
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
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

bool WriteFileReplacing(const char* path, const void* data, int size) {
    if (!path || !*path || size < 0 || (size > 0 && !data)) return false;
    std::string target = path;
    struct stat st;
    const bool exists = stat(path, &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        const int fd = open(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok = WriteAll(fd, static_cast<const unsigned char*>(data), size);
        return close(fd) == 0 && ok;
    }
    if (exists && S_ISDIR(st.st_mode)) return false;
    struct stat lst;
    if (lstat(path, &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* resolved = realpath(path, nullptr)) {
            target = resolved;
            std::free(resolved);
        } else {
            // A link to a file not made yet: create what it names.
            char link[PATH_MAX];
            const ssize_t n = readlink(path, link, sizeof link - 1);
            if (n <= 0) return false;
            link[n] = '\0';
            const size_t slash = target.rfind('/');
            target = link[0] == '/' || slash == std::string::npos
                         ? std::string(link)
                         : target.substr(0, slash + 1) + link;
        }
    }

    std::string temp = target + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) return false;
    bool ok = fchmod(fd, exists ? (st.st_mode & 07777) : NewFileMode()) == 0 &&
              WriteAll(fd, static_cast<const unsigned char*>(data), size) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

} // namespace PresetFileIO
