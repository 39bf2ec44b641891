// Pieces the fuzz targets share: the built component opened through the host-side API, and a
// file in memory for readers that only take a path.
#pragma once

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <ZerubPlatform/HostExtensions.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Stops the run with a message: libFuzzer records the input that got here.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

#ifdef ZERUB_BUNDLE_DIR
// One instance of the built component for the life of the process (made once: opening a unit
// per input would be most of the run's time).
inline AudioUnit SharedUnit() {
    static AudioUnit unit = [] {
        AudioComponent component = AudioComponentRegisterBundle(ZERUB_BUNDLE_DIR);
        AudioUnit made = nullptr;
        if (!component || AudioComponentInstanceNew(component, &made) != noErr)
            Fail("cannot open the component at " ZERUB_BUNDLE_DIR);
        return made;
    }();
    return unit;
}
#endif

// A file that lives in memory, reachable by a path, rewritten for every input.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("fuzz-input", 0)) {
        if (fd_ < 0) Fail("memfd_create");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Write(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) Fail("ftruncate");
        for (size_t done = 0; done < size;) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) Fail("pwrite");
            done += static_cast<size_t>(n);
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

} // namespace fuzz
