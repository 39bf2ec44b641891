// Feeds arbitrary bytes to the program-file or bank-file loader (chosen at build time), in both
// the parameter and the chunk form, then saves what was loaded.
#include "plugin/IPlugBase.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class FuzzPlug : public IPlugBase {
public:
    explicit FuzzPlug(bool chunks)
        : IPlugBase(3, "1-1 2-2", 3, "Fuzz", "", "", 0x10000, 1, 2, 0, false, chunks, false,
                    kAPIAU) {
        GetParam(0)->InitDouble("a", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitInt("b", 0, -5, 5);
        GetParam(2)->InitBool("c", false);
        MakeDefaultPreset("x", 3);
    }
    void BeginInformHostOfParamChange(int) override {}
    void InformHostOfParamChange(int, double) override {}
    void EndInformHostOfParamChange(int) override {}
    void InformHostOfProgramChange() override {}
    int GetSamplePos() override { return 0; }
    double GetTempo() override { return 120.0; }
    void GetTimeSig(int*, int*) override {}
    void GetTime(ITimeInfo*) override {}
    void ResizeGraphics(int, int) override {}
    bool SendMidiMsg(IMidiMsg*) override { return false; }
};

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
