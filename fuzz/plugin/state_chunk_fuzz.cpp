// Feeds arbitrary bytes to every reader of state chunks and preset lists.
#include "fuzz/plugin/FuzzPlug.h"

#include <cstddef>
#include <cstdint>

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
