// State chunks and the preset list of IPlugBase.
#include "plugin/IPlugBase.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kChunkMagic = 0x70666674;    // "tffp" in file order
constexpr int kFrameworkVersion = 0x10000; // 1.0.0
// Marks the parameters MakePresetFromNamedParams was not given.
constexpr double kUnnamedMarker = 9.999e-08;

bool TakesIntArgument(const IParam* param) {
    switch (param->Type()) {
    case IParam::kTypeBool:
    case IParam::kTypeInt:
    case IParam::kTypeEnum:
        return true;
    default:
        return false;
    }
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Decodes Base64 text into out (size bytes, already zeroed); stops at the first character
// outside the alphabet, so padding ends it, and drops whatever does not fit.
void DecodeBase64(const char* text, unsigned char* out, int size) {
    if (!text) return;
    unsigned accumulator = 0;
    int bits = 0, written = 0;
    for (; *text && written < size; ++text) {
        const int v = Base64Value(*text);
        if (v < 0) break;
        accumulator = (accumulator << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out[written++] = static_cast<unsigned char>(accumulator >> bits);
        }
    }
}

} // namespace

bool IPlugBase::SerializeParams(ByteChunk* chunk) {
    if (!chunk) return false;
    WDL_MutexLock lock(&mutex);
    for (int i = 0; i < NParams(); ++i)
        chunk->Append(GetParam(i)->Value());
    return chunk->Size() > 0;
}

int IPlugBase::UnserializeParams(ByteChunk* chunk, int startPos) {
    if (!chunk) return -1;
    WDL_MutexLock lock(&mutex);
    int pos = startPos;
    // The first parameter without data becomes 0 (clamped) and reading stops there.
    for (int i = 0; i < NParams() && pos >= 0; ++i) {
        double v = 0.0;
        pos = chunk->Read(&v, pos);
        GetParam(i)->Set(v);
    }
    OnParamReset();
    return pos;
}

bool IPlugBase::IsValidParamsState(const ByteChunk* chunk, int startPos) const {
    if (!chunk) return false;
    int pos = startPos;
    for (int i = 0; i < NParams(); ++i) {
        double v;
        pos = chunk->Read(&v, pos);
        if (pos < 0 || !std::isfinite(v)) return false;
    }
    return startPos >= 0;
}

void IPlugBase::InitChunkWithIPlugVer(ByteChunk* chunk) {
    chunk->Clear();
    chunk->Append(kChunkMagic);
    chunk->Append(kFrameworkVersion);
}

int IPlugBase::GetIPlugVerFromChunk(ByteChunk* chunk, int* position) {
    int magic = 0;
    if (!chunk || !position || *position < 0 || chunk->Read(&magic, *position) < 0 ||
        magic != kChunkMagic)
        return 0;
    int ver = 0;
    const int pos = chunk->Read(&ver, *position + 4);
    *position = pos;
    return pos < 0 ? 0 : ver;
}

IPreset* IPlugBase::GetNextUninitializedPreset() {
    for (int i = 0; i < NPresets(); ++i) {
        IPreset* preset = presets.Get(i);
        if (!preset->initialized) return preset;
    }
    return nullptr;
}

IPreset* IPlugBase::FillNextPreset(const char* name) {
    IPreset* preset = GetNextUninitializedPreset();
    if (!preset) return nullptr;
    preset->initialized = true;
    preset->SetName(name);
    preset->chunk.Clear();
    return preset;
}

void IPlugBase::MakeDefaultPreset(const char* name, int nPresets) {
    for (int i = 0; i < nPresets; ++i)
        if (IPreset* preset = FillNextPreset(name ? name : "Empty")) SerializeState(&preset->chunk);
}

void IPlugBase::MakePreset(const char* name, ...) {
    IPreset* preset = FillNextPreset(name);
    if (!preset) return;
    va_list args;
    va_start(args, name);
    for (int i = 0; i < NParams(); ++i) {
        const double v =
            TakesIntArgument(GetParam(i)) ? double(va_arg(args, int)) : va_arg(args, double);
        preset->chunk.Append(v);
    }
    va_end(args);
}

void IPlugBase::MakePresetFromNamedParams(const char* name, int nParamsNamed, ...) {
    IPreset* preset = FillNextPreset(name);
    if (!preset) return;
    std::vector<double> values(static_cast<size_t>(NParams()), kUnnamedMarker);
    va_list args;
    va_start(args, nParamsNamed);
    for (int i = 0; i < nParamsNamed; ++i) {
        const int idx = va_arg(args, int);
        const IParam* param = GetParam(idx);
        // The value's type comes from the parameter: past an unknown index the rest of the
        // arguments cannot be read safely.
        if (!param) break;
        values[static_cast<size_t>(idx)] =
            TakesIntArgument(param) ? double(va_arg(args, int)) : va_arg(args, double);
    }
    va_end(args);
    for (int i = 0; i < NParams(); ++i) {
        double v = values[static_cast<size_t>(i)];
        if (v == kUnnamedMarker) v = GetParam(i)->Value();
        preset->chunk.Append(v);
    }
}

void IPlugBase::MakePresetFromChunk(const char* name, ByteChunk* chunk) {
    if (IPreset* preset = FillNextPreset(name)) preset->chunk.AppendBytes(chunk);
}

void IPlugBase::MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk) {
    ByteChunk decoded;
    if (sizeOfChunk > 0 && decoded.Resize(sizeOfChunk))
        DecodeBase64(blob, decoded.GetBytes(), sizeOfChunk);
    MakePresetFromChunk(name, &decoded);
}

bool IPlugBase::RestorePreset(int idx) {
    IPreset* preset = presets.Get(idx);
    if (!preset) return false;
    if (!preset->initialized) {
        int userPresets = 0;
        for (int i = 0; i < NPresets(); ++i)
            if (std::strstr(presets.Get(i)->name, "user preset")) ++userPresets;
        char name[IPreset::kMaxNameLen];
        std::snprintf(name, sizeof name, "%s %d", "user preset", userPresets + 1);
        preset->initialized = true;
        preset->SetName(name);
        preset->chunk.Clear();
        if (!SerializeState(&preset->chunk)) return false;
    } else if (UnserializeState(&preset->chunk, 0) < 0) {
        return false;
    }
    currentPresetIdx = idx;
    PresetsChangedByHost();
    RedrawParamControls();
    return true;
}

bool IPlugBase::RestorePreset(const char* name) {
    if (!name || !*name) return false;
    for (int i = 0; i < NPresets(); ++i)
        if (!std::strcmp(presets.Get(i)->name, name)) return RestorePreset(i);
    return false;
}

const char* IPlugBase::GetPresetName(int idx) const {
    const IPreset* preset = presets.Get(idx);
    return preset ? preset->name : "";
}

void IPlugBase::ModifyCurrentPreset(const char* name) {
    StorePreset(currentPresetIdx, name);
}

void IPlugBase::PruneUninitializedPresets() {
    for (int i = 0; i < NPresets();) {
        if (presets.Get(i)->initialized)
            ++i;
        else
            presets.Delete(i, true);
    }
}

void IPlugBase::EnsureDefaultPreset() {
    MakeDefaultPreset("Empty", NPresets());
}

bool IPlugBase::SerializePresets(ByteChunk* chunk) {
    if (!chunk) return false;
    bool ok = true;
    for (int i = 0; i < NPresets(); ++i) {
        const IPreset* preset = presets.Get(i);
        chunk->AppendString(preset->name);
        chunk->Append(static_cast<unsigned char>(preset->initialized ? 1 : 0));
        if (preset->initialized) ok &= chunk->AppendBytes(&preset->chunk) > 0;
    }
    return ok;
}

int IPlugBase::UnserializePresets(ByteChunk* chunk, int startPos) {
    if (!chunk) return -1;
    int pos = startPos;
    for (int i = 0; i < NPresets() && pos >= 0; ++i) {
        IPreset* preset = presets.Get(i);
        WDL_String name;
        pos = chunk->ReadString(&name, pos);
        if (pos < 0) break;
        preset->SetName(name.Get());
        unsigned char flag = 0;
        pos = chunk->Read(&flag, pos);
        if (pos < 0) break;
        preset->initialized = flag != 0;
        if (preset->initialized) {
            pos = UnserializeState(chunk, pos);
            if (pos >= 0) {
                preset->chunk.Clear();
                SerializeState(&preset->chunk);
            }
        }
    }
    RestorePreset(currentPresetIdx);
    return pos;
}
