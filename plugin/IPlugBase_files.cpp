// Program (FXP) and bank (FXB) files, and the developer's text dumps of presets.
//
// Both file formats are big-endian throughout. A program or bank exists in two forms: the
// parameter form holds one normalised float per parameter, the chunk form the plug-in's own
// state chunk behind the framework's version header. stateChunks chooses the form on save.
#include "containers/WDL_TypedBuf.h"
#include "plugin/IPlugBase.h"
#include "plugin/PresetFileIO.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kProgramHeaderSize = 56; // seven fields and the 28-byte name
constexpr int kBankHeaderSize = 156;   // eight fields and 124 reserved bytes
constexpr int kProgramNameSize = 28;

// Dumped chunks are encoded into a 2048-byte text buffer: 1533 bytes give 2044 characters.
constexpr int kMaxBlobChunk = 1533;

void PutInt(ByteChunk* out, uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v >> 24),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    out->PutBytes(b, 4);
}

void PutMagic(ByteChunk* out, const char (&magic)[5]) {
    out->PutBytes(magic, 4);
}

void PutFloat(ByteChunk* out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    PutInt(out, bits);
}

// Sequential big-endian reads that never pass the end; a failed read leaves the value alone
// and every later read fails too.
class Reader {
public:
    Reader(const ByteChunk& chunk, int start) : data(chunk), pos(start) {}
    bool Int(uint32_t* v) {
        if (!Has(4)) return Fail();
        const unsigned char* p = data.GetBytes() + pos;
        *v = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        pos += 4;
        return true;
    }
    bool Float(float* f) {
        uint32_t bits;
        if (!Int(&bits)) return false;
        std::memcpy(f, &bits, 4);
        return true;
    }
    // The name up to its first NUL, at most 28 characters.
    bool Name(char (&name)[kProgramNameSize + 1]) {
        if (!Has(kProgramNameSize)) return Fail();
        std::memcpy(name, data.GetBytes() + pos, kProgramNameSize);
        name[kProgramNameSize] = '\0';
        pos += kProgramNameSize;
        return true;
    }
    bool Skip(int n) {
        if (!Has(n)) return Fail();
        pos += n;
        return true;
    }
    int Pos() const { return pos; }

private:
    bool Has(int n) const { return pos >= 0 && n <= data.Size() - pos; }
    bool Fail() {
        pos = -1;
        return false;
    }
    const ByteChunk& data;
    int pos;
};

constexpr uint32_t Magic(const char (&m)[5]) {
    return uint32_t(uint8_t(m[0])) << 24 | uint32_t(uint8_t(m[1])) << 16 |
           uint32_t(uint8_t(m[2])) << 8 | uint32_t(uint8_t(m[3]));
}

const char* PathOf(const WDL_String* path) {
    return path && path->Get()[0] ? path->Get() : nullptr;
}

bool WriteChunk(const char* path, const ByteChunk& image) {
    return path && PresetFileIO::WriteFileReplacing(path, image.GetBytes(),
                                                    static_cast<size_t>(image.Size()));
}

bool WriteText(const char* path, const std::string& text) {
    return path && *path && PresetFileIO::WriteFileReplacing(path, text.data(), text.size());
}

void EncodeBase64(const unsigned char* data, int size, std::string* out) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < size; i += 3) {
        const int n = size - i < 3 ? size - i : 3;
        uint32_t group = uint32_t(data[i]) << 16;
        if (n > 1) group |= uint32_t(data[i + 1]) << 8;
        if (n > 2) group |= data[i + 2];
        out->push_back(kAlphabet[group >> 18 & 63]);
        out->push_back(kAlphabet[group >> 12 & 63]);
        out->push_back(n > 1 ? kAlphabet[group >> 6 & 63] : '=');
        out->push_back(n > 2 ? kAlphabet[group & 63] : '=');
    }
}

void AppendBlobLine(const char* name, const ByteChunk& chunk, std::string* out) {
    const int size = chunk.Size() < kMaxBlobChunk ? chunk.Size() : kMaxBlobChunk;
    *out += "MakePresetFromBlob(\"";
    *out += name;
    *out += "\", \"";
    EncodeBase64(chunk.GetBytes(), size, out);
    // The length is that of what was encoded, so the line reads back as it stands.
    *out += "\", " + std::to_string(size) + ");\n";
}

} // namespace

// ---- Images ----

void IPlugBase::AppendProgramHeader(ByteChunk* out, const char (&formatMagic)[5], int byteSize,
                                    const char* name) const {
    PutMagic(out, "CcnK");
    PutInt(out, static_cast<uint32_t>(byteSize));
    PutMagic(out, formatMagic);
    PutInt(out, 1);
    PutInt(out, static_cast<uint32_t>(uniqueID));
    PutInt(out, static_cast<uint32_t>(GetEffectVersion(true)));
    PutInt(out, static_cast<uint32_t>(NParams()));
    char padded[kProgramNameSize] = {};
    if (name) std::strncpy(padded, name, kProgramNameSize - 1);
    out->PutBytes(padded, kProgramNameSize);
}

bool IPlugBase::SaveProgramAsFXP(WDL_String* path) {
    const char* file = PathOf(path);
    if (!file) return false;
    ByteChunk image;
    {
        WDL_MutexLock lock(&mutex);
        const IPreset* current = presets.Get(currentPresetIdx);
        const char* name = current ? current->name : "";
        if (DoesStateChunks()) {
            ByteChunk state;
            InitChunkWithIPlugVer(&state);
            SerializeState(&state);
            AppendProgramHeader(&image, "FPCh", state.Size() + 60, name);
            PutInt(&image, static_cast<uint32_t>(state.Size()));
            image.AppendBytes(&state);
        } else {
            AppendProgramHeader(&image, "FxCk", 0, name);
            for (int i = 0; i < NParams(); ++i)
                PutFloat(&image, static_cast<float>(GetParam(i)->GetNormalized()));
        }
    }
    return WriteChunk(file, image);
}

bool IPlugBase::SaveBankAsFXB(WDL_String* path) {
    const char* file = PathOf(path);
    if (!file) return false;
    ByteChunk image;
    {
        WDL_MutexLock lock(&mutex);
        ByteChunk state;
        if (DoesStateChunks()) {
            InitChunkWithIPlugVer(&state);
            SerializePresets(&state);
        }
        PutMagic(&image, "CcnK");
        PutInt(&image, DoesStateChunks() ? static_cast<uint32_t>(state.Size() + 160) : 0);
        if (DoesStateChunks())
            PutMagic(&image, "FBCh");
        else
            PutMagic(&image, "FxBk");
        PutInt(&image, 2);
        PutInt(&image, static_cast<uint32_t>(uniqueID));
        PutInt(&image, static_cast<uint32_t>(GetEffectVersion(true)));
        PutInt(&image, static_cast<uint32_t>(NPresets()));
        PutInt(&image, static_cast<uint32_t>(currentPresetIdx));
        image.PutBytes(nullptr, kBankHeaderSize - 32);
        if (DoesStateChunks()) {
            PutInt(&image, static_cast<uint32_t>(state.Size()));
            image.AppendBytes(&state);
        } else {
            for (int p = 0; p < NPresets(); ++p) {
                const IPreset* preset = presets.Get(p);
                AppendProgramHeader(&image, "FxCk", 0, preset->name);
                int pos = 0;
                for (int i = 0; i < NParams(); ++i) {
                    double v = 0.0;
                    if (pos >= 0) pos = preset->chunk.Read(&v, pos);
                    if (pos < 0) v = 0.0;
                    PutFloat(&image, static_cast<float>(GetParam(i)->GetNormalized(v)));
                }
            }
        }
    }
    return WriteChunk(file, image);
}

// ---- Loading ----

int IPlugBase::ApplyNormalizedFloats(const ByteChunk& data, int pos) {
    Reader in(data, pos);
    for (int i = 0; i < NParams(); ++i) {
        float v;
        if (!in.Float(&v)) break;
        // A value that is not a number leaves its parameter as it is.
        if (std::isfinite(v)) GetParam(i)->SetNormalized(v);
    }
    return in.Pos();
}

// As ModifyCurrentPreset, for any preset: holds the current state, renamed when name is not empty.
void IPlugBase::StorePreset(int idx, const char* name) {
    IPreset* preset = presets.Get(idx);
    if (!preset) return;
    preset->chunk.Clear();
    SerializeState(&preset->chunk);
    if (name && *name) preset->SetName(name);
}

// True when data holds a value for every parameter from pos on. Records are checked whole
// before anything is applied, so that one cut short changes nothing.
static bool HoldsValues(const ByteChunk& data, int pos, int nParams) {
    return pos >= 0 && pos <= data.Size() && (data.Size() - pos) / 4 >= nParams;
}

// True when the chunk length stored at pos fits in what follows it.
static bool HoldsChunk(const ByteChunk& data, int pos) {
    Reader in(data, pos);
    uint32_t length = 0;
    return in.Int(&length) && length <= uint32_t(data.Size() - in.Pos());
}

// Skips the framework's version header when the chunk starts with one.
static int SkipVersionHeader(ByteChunk* data, int pos) {
    int after = pos;
    if (IPlugBase::GetIPlugVerFromChunk(data, &after) && after > pos) return after;
    return pos;
}

bool IPlugBase::LoadProgramFromFXP(WDL_String* path) {
    const char* file = PathOf(path);
    ByteChunk data;
    if (!file || !PresetFileIO::ReadWholeFile(file, &data)) return false;

    Reader in(data, 0);
    uint32_t chunkMagic = 0, format = 0, formatVersion = 0, id = 0, nParams = 0, ignored;
    char name[kProgramNameSize + 1] = {};
    in.Int(&chunkMagic) && in.Int(&ignored) && in.Int(&format) && in.Int(&formatVersion) &&
        in.Int(&id) && in.Int(&ignored) && in.Int(&nParams);
    if (data.Size() >= kProgramHeaderSize) Reader(data, 28).Name(name);
    if (chunkMagic != Magic("CcnK") || formatVersion != 1 || id != uint32_t(uniqueID)) return false;

    const bool loaded = [&] {
        WDL_MutexLock lock(&mutex);
        if (format == Magic("FPCh") && DoesStateChunks()) {
            if (!HoldsChunk(data, kProgramHeaderSize)) return false;
            // The plug-in may have applied part of a chunk it then refuses: put back what was
            // there.
            ByteChunk before;
            SerializeState(&before);
            if (UnserializeState(&data, SkipVersionHeader(&data, kProgramHeaderSize + 4)) < 0) {
                UnserializeState(&before, 0);
                return false;
            }
        } else if (format == Magic("FxCk")) {
            // A program for another parameter count belongs to another plug-in or version.
            if (nParams != uint32_t(NParams()) || !HoldsValues(data, kProgramHeaderSize, NParams()))
                return false;
            ApplyNormalizedFloats(data, kProgramHeaderSize);
        } else {
            return false;
        }
        StorePreset(currentPresetIdx, name);
        RestorePreset(currentPresetIdx);
        return true;
    }();
    // The host hears of it with the mutex free: its listeners may wait on locks of their own.
    if (loaded) InformHostOfProgramChange();
    return loaded;
}

bool IPlugBase::LoadBankFromFXB(WDL_String* path) {
    const char* file = PathOf(path);
    ByteChunk data;
    if (!file || !PresetFileIO::ReadWholeFile(file, &data)) return false;

    Reader in(data, 0);
    uint32_t chunkMagic = 0, format = 0, id = 0, nPrograms = 0, current = 0, ignored;
    in.Int(&chunkMagic) && in.Int(&ignored) && in.Int(&format) && in.Int(&ignored) && in.Int(&id) &&
        in.Int(&ignored) && in.Int(&nPrograms) && in.Int(&current);
    if (chunkMagic != Magic("CcnK") || id != uint32_t(uniqueID)) return false;
    if (data.Size() < kBankHeaderSize) return false; // a header cut short

    const bool loaded = [&] {
        WDL_MutexLock lock(&mutex);
        if (format == Magic("FBCh") && DoesStateChunks()) {
            if (!HoldsChunk(data, kBankHeaderSize)) return false;
            // The chunk's form is the plug-in's own, so it is checked by reading it: a refusal part
            // way through puts back every preset and the parameters as they were.
            ByteChunk presetsBefore, paramsBefore;
            SerializePresets(&presetsBefore);
            SerializeState(&paramsBefore);
            if (UnserializePresets(&data, SkipVersionHeader(&data, kBankHeaderSize + 4)) < 0) {
                UnserializePresets(&presetsBefore, 0);
                UnserializeState(&paramsBefore, 0);
                return false;
            }
            return true;
        }
        if (format != Magic("FxBk")) return false;

        // Every record is checked before any is applied: a bank is loaded whole or not at all.
        struct Record {
            int valuesAt;
            char name[kProgramNameSize + 1];
        };
        const int64_t count = static_cast<int32_t>(nPrograms);
        if (count > NPresets()) return false;
        WDL_TypedBuf<Record> records;
        if (count > 0 && !records.Resize(static_cast<int>(count))) return false;
        int pos = kBankHeaderSize;
        for (int p = 0; p < count; ++p) {
            Reader record(data, pos);
            uint32_t recMagic = 0, recFormat = 0, recVersion = 0, recParams = 0;
            Record& r = records.Get()[p];
            std::memset(r.name, 0, sizeof r.name);
            record.Int(&recMagic) && record.Int(&ignored) && record.Int(&recFormat) &&
                record.Int(&recVersion) && record.Int(&ignored) && record.Int(&ignored) &&
                record.Int(&recParams) && record.Name(r.name);
            if (recVersion != 1 || recMagic != Magic("CcnK") || recFormat != Magic("FxCk") ||
                recParams != uint32_t(NParams()) || !HoldsValues(data, record.Pos(), NParams()))
                return false;
            r.valuesAt = record.Pos();
            pos = record.Pos() + 4 * NParams();
        }
        for (int p = 0; p < count; ++p) {
            RestorePreset(p);
            ApplyNormalizedFloats(data, records.Get()[p].valuesAt);
            StorePreset(p, records.Get()[p].name);
        }
        RestorePreset(static_cast<int>(static_cast<int32_t>(current)));
        return true;
    }();
    if (loaded) InformHostOfProgramChange();
    return loaded;
}

// ---- Developer dumps ----

void IPlugBase::DumpPresetSrcCode(const char* path, const char** paramEnumNames) {
    std::string text;
    {
        WDL_MutexLock lock(&mutex);
        text = "  MakePresetFromNamedParams(\"name\", " + std::to_string(NParams());
        char value[64];
        for (int i = 0; i < NParams(); ++i) {
            const IParam* param = GetParam(i);
            switch (param->Type()) {
            case IParam::kTypeBool:
                std::snprintf(value, sizeof value, "%s", param->Value() >= 0.5 ? "true" : "false");
                break;
            case IParam::kTypeInt:
            case IParam::kTypeEnum:
                std::snprintf(value, sizeof value, "%d", param->Int());
                break;
            default:
                std::snprintf(value, sizeof value, "%.6f", param->Value());
                break;
            }
            const char* id = paramEnumNames ? paramEnumNames[i] : nullptr;
            text += ",\n    ";
            text += id ? std::string(id) : std::to_string(i);
            text += ", ";
            text += value;
        }
        text += ");\n";
    }
    WriteText(path, text);
}

void IPlugBase::DumpPresetBlob(const char* path) {
    std::string text;
    {
        WDL_MutexLock lock(&mutex);
        const IPreset* current = presets.Get(currentPresetIdx);
        if (!current || !current->initialized) return;
        AppendBlobLine("name", current->chunk, &text);
    }
    WriteText(path, text);
}

void IPlugBase::DumpBankBlob(const char* path) {
    std::string text;
    {
        WDL_MutexLock lock(&mutex);
        for (int i = 0; i < NPresets(); ++i)
            AppendBlobLine(presets.Get(i)->name, presets.Get(i)->chunk, &text);
    }
    WriteText(path, text);
}
