#include "editor/UserZoom.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SafeName(const char* name) {
    std::string s = name && *name ? name : "_";
    for (char& c : s)
        if (c == '/') c = '_';
    return s == "." || s == ".." ? "_" : s;
}

// Makes every missing folder of path's parent.
bool MakeParents(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

bool IsUserZoomStep(int percent) {
    for (int step : kUserZoomSteps)
        if (step == percent) return true;
    return false;
}

int NextUserZoomStep(int percent, int direction) {
    int nearest = 0;
    for (int i = 1; i < kNumUserZoomSteps; ++i)
        if (std::abs(kUserZoomSteps[i] - percent) < std::abs(kUserZoomSteps[nearest] - percent))
            nearest = i;
    int next = nearest + (direction > 0 ? 1 : (direction < 0 ? -1 : 0));
    next = next < 0 ? 0 : (next >= kNumUserZoomSteps ? kNumUserZoomSteps - 1 : next);
    return kUserZoomSteps[next];
}

double ZoomedScale(double hostScale, int percent, double minScale, double maxScale) {
    if (!std::isfinite(hostScale) || hostScale <= 0.0) hostScale = minScale;
    const double scale = hostScale * percent / 100.0;
    if (!(scale >= minScale)) return minScale;
    return scale > maxScale ? maxScale : scale;
}

std::string UserSettingsPath(const char* maker, const char* product) {
    std::string folder;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return "";
        folder = std::string(home) + "/.config";
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder + "/" + SafeName(maker) + "/" + SafeName(product) + ".conf";
}

int ReadUserZoom(const std::string& path) {
    if (path.empty()) return kDefaultUserZoom;
    // Not blocking on a FIFO someone put there, and not following it if it is a device.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kDefaultUserZoom;
    struct stat st;
    char text[kMaxUserSettingsBytes + 1];
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxUserSettingsBytes)
        n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n < 0) return kDefaultUserZoom;
    text[n] = '\0';
    int zoom = kDefaultUserZoom;
    for (char* line = text; line && *line;) {
        char* end = std::strchr(line, '\n');
        if (end) *end = '\0';
        if (!std::strncmp(line, "zoom=", 5)) {
            char* stop = nullptr; // strtol always sets it
            errno = 0;
            const long v = std::strtol(line + 5, &stop, 10);
            while (*stop == ' ' || *stop == '\t' || *stop == '\r')
                ++stop;
            if (errno == 0 && stop != line + 5 && *stop == '\0' && v >= 0 && v <= 1000 &&
                IsUserZoomStep(int(v)))
                zoom = int(v);
            else
                zoom = kDefaultUserZoom;
        }
        line = end ? end + 1 : nullptr;
    }
    return zoom;
}

bool WriteUserZoom(const std::string& path, int percent) {
    if (path.empty() || path[0] != '/' || !IsUserZoomStep(percent) || !MakeParents(path))
        return false;
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0) return false;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "zoom=%d\n", percent);
    const bool ok = WriteAll(fd, text, size_t(length)) && fsync(fd) == 0;
    if (close(fd) != 0 || !ok || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
