// Feeds arbitrary bytes to the program-file or bank-file loader (chosen at build time), in both
// the parameter and the chunk form, then saves what was loaded.
#include "fuzz/plugin/FuzzPlug.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The loaders read files: an in-memory file keeps the fuzzer off the disk.
int InputFile() {
    static const int fd = memfd_create("preset", 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = InputFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    char name[64];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
    WDL_String path(name), out("/dev/null");
    for (bool chunks : {false, true}) {
        FuzzPlug plug(chunks);
        plug.MakeDefaultPreset("x", 3);
#ifdef ZERUB_FUZZ_BANK
        plug.LoadBankFromFXB(&path);
        plug.SaveBankAsFXB(&out);
#else
        plug.LoadProgramFromFXP(&path);
        plug.SaveProgramAsFXP(&out);
#endif
        for (int i = 0; i < plug.NParams(); ++i)
            if (plug.GetParam(i)->Value() != plug.GetParam(i)->Value()) __builtin_trap();
    }
    return 0;
}
