#include "plugin/IPlugStructs.h"

#include "plugin/IParam.h"

#include <climits>
#include <cstdint>
#include <cstdio>

int ByteChunk::PutBytes(const void* data, int size) {
    const int old = Size();
    if (size <= 0 || size > INT_MAX - old) return old;
    if (!bytes.Resize(old + size, false)) return old;
    if (data)
        std::memcpy(GetBytes() + old, data, static_cast<size_t>(size));
    else
        std::memset(GetBytes() + old, 0, static_cast<size_t>(size));
    return Size();
}

bool ByteChunk::Resize(int newSize) {
    const int old = Size();
    if (newSize <= old) {
        bytes.Shrink(newSize);
        return true;
    }
    return PutBytes(nullptr, newSize - old) == newSize;
}

int ByteChunk::AppendString(const char* text) {
    const size_t len = text ? std::strlen(text) : 0;
    const int32_t n = len > INT_MAX / 2 ? INT_MAX / 2 : static_cast<int32_t>(len);
    const int old = Size();
    if (Append(n) != old + 4) return old;
    if (n && PutBytes(text, n) != old + 4 + n) Shrink(old); // no half-written string on failure
    return Size();
}

int ByteChunk::ReadString(WDL_String* str, int pos) const {
    int32_t n;
    pos = Read(&n, pos);
    if (pos < 0) return -1;
    // A negative length counts as an empty string; a length past the end leaves str untouched
    // and returns the end position, so the caller's next read fails.
    const int64_t end = int64_t(pos) + (n > 0 ? n : 0);
    if (end > INT_MAX) return -1;
    if (end <= Size()) {
        if (n > 0)
            str->Set(reinterpret_cast<const char*>(GetBytes() + pos), n);
        else
            str->Set("");
    }
    return static_cast<int>(end);
}

IPreset::IPreset() {
    CopyCut(name, "empty", kMaxNameLen);
}

void IPreset::SetName(const char* newName) {
    CopyCut(name, newName, kMaxNameLen);
}

void IMidiMsg::MakeNoteOnMsg(int noteNumber, int velocity, int sampleOffset, int channel) {
    Clear();
    status = static_cast<unsigned char>(0x90 | channel);
    data1 = static_cast<unsigned char>(noteNumber);
    data2 = static_cast<unsigned char>(velocity);
    offset = sampleOffset;
}

void IMidiMsg::MakeNoteOffMsg(int noteNumber, int sampleOffset, int channel) {
    Clear();
    status = static_cast<unsigned char>(0x80 | channel);
    data1 = static_cast<unsigned char>(noteNumber);
    offset = sampleOffset;
}

void IMidiMsg::MakePitchWheelMsg(double value, int channel) {
    Clear();
    status = static_cast<unsigned char>(0xE0 | channel);
    const double scaled = value * 8192.0;
    // Out-of-range and NaN inputs clamp instead of reaching an undefined conversion.
    int i = !(scaled > -1e9) ? -1000000000 : (scaled > 1e9 ? 1000000000 : static_cast<int>(scaled));
    int word = i < -8192 ? 0 : (i + 8192 > 16383 ? 16383 : i + 8192);
    data1 = static_cast<unsigned char>(word & 0x7F);
    data2 = static_cast<unsigned char>((word >> 7) & 0x7F);
}

void IMidiMsg::MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel) {
    Clear();
    status = static_cast<unsigned char>(0xB0 | channel);
    data1 = static_cast<unsigned char>(idx);
    const double scaled = value * 127.0;
    data2 =
        static_cast<unsigned char>(scaled > 0.0 && scaled < 256.0 ? static_cast<int>(scaled) : 0);
}

IMidiMsg::EStatusMsg IMidiMsg::StatusMsg() const {
    if (status < 0x80 || status >= 0xF0) return kNone;
    return static_cast<EStatusMsg>(status >> 4);
}

int IMidiMsg::NoteNumber() const {
    switch (StatusMsg()) {
    case kNoteOn:
    case kNoteOff:
    case kPolyAftertouch:
        return data1;
    default:
        return -1;
    }
}

int IMidiMsg::Velocity() const {
    const EStatusMsg s = StatusMsg();
    return s == kNoteOn || s == kNoteOff ? data2 : -1;
}

int IMidiMsg::PolyAfterTouch() const {
    return StatusMsg() == kPolyAftertouch ? data2 : -1;
}

int IMidiMsg::ChannelAfterTouch() const {
    return StatusMsg() == kChannelAftertouch ? data1 : -1;
}

int IMidiMsg::Program() const {
    return StatusMsg() == kProgramChange ? data1 : -1;
}

double IMidiMsg::PitchWheel() const {
    if (StatusMsg() != kPitchWheel) return 0.0;
    return ((data2 * 128 + data1) - 8192) / 8192.0;
}

double IMidiMsg::ControlChange(EControlChangeMsg idx) const {
    if (StatusMsg() == kControlChange && ControlChangeIdx() == idx) return data2 / 127.0;
    return -1.0;
}

const char* IMidiMsg::StatusMsgStr(EStatusMsg msg) {
    switch (msg) {
    case kNone:
        return "none";
    case kNoteOff:
        return "noteoff";
    case kNoteOn:
        return "noteon";
    case kPolyAftertouch:
        return "aftertouch";
    case kControlChange:
        return "controlchange";
    case kProgramChange:
        return "programchange";
    case kChannelAftertouch:
        return "channelaftertouch";
    case kPitchWheel:
        return "pitchwheel";
    default:
        return "unknown";
    }
}

char* SysExStr(char* out, int maxLen, const unsigned char* data, int size) {
    if (!out || maxLen <= 0) return out;
    out[0] = 0;
    if (!data || size <= 0) return out;
    // Each byte takes three characters ("XX" and a space or the final NUL).
    const int n = size < maxLen / 3 ? size : maxLen / 3;
    char* p = out;
    for (int i = 0; i < n; ++i) {
        std::snprintf(p, 4, i ? " %02X" : "%02X", data[i]);
        p += i ? 3 : 2;
    }
    return out;
}
