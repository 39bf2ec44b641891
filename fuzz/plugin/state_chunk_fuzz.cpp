// Feeds arbitrary bytes to every reader of state chunks and preset lists.
#include "plugin/IPlugBase.h"

#include <cstddef>
#include <cstdint>

namespace {

class FuzzPlug : public IPlugBase {
public:
    FuzzPlug()
        : IPlugBase(3, "1-1 2-2", 3, "Fuzz", "", "", 0x10000, 1, 2, 0, false, false, false,
                    kAPIAU) {
        GetParam(0)->InitDouble("a", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitInt("b", 0, -5, 5);
        GetParam(2)->InitBool("c", false);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteChunk chunk;
    chunk.PutBytes(data, static_cast<int>(size > 1 << 20 ? 1 << 20 : size));
    FuzzPlug plug;
    int pos = 0;
    IPlugBase::GetIPlugVerFromChunk(&chunk, &pos);
    plug.UnserializeParams(&chunk, pos < 0 ? 0 : pos);
    plug.UnserializePresets(&chunk, 0);
    WDL_String text;
    chunk.ReadString(&text, 0);
    for (int i = 0; i < plug.NPresets(); ++i)
        plug.RestorePreset(i);
    ByteChunk out;
    plug.SerializePresets(&out);
    return 0;
}
