// Value records of the plug-in base: channel records, state chunks, presets, MIDI and transport.
#pragma once

#include "containers/WDL_String.h"
#include "containers/WDL_TypedBuf.h"

#include <cstring>
#include <type_traits>

// A four-character code, first character in the most significant byte: FourCC("ZRB1").
constexpr int FourCC(const char (&code)[5]) {
    return static_cast<int>((static_cast<unsigned>(static_cast<unsigned char>(code[0])) << 24) |
                            (static_cast<unsigned>(static_cast<unsigned char>(code[1])) << 16) |
                            (static_cast<unsigned>(static_cast<unsigned char>(code[2])) << 8) |
                            static_cast<unsigned>(static_cast<unsigned char>(code[3])));
}

// One supported channel configuration: input and output channel counts.
struct ChannelIO {
    int in, out;
    ChannelIO(int nIn, int nOut) : in(nIn), out(nOut) {}
};

// Where processing reads one input channel. Disconnected, the slot points at the scratch buffer.
// A host float buffer (fBound; fSrc null when the buffer had no memory) is read where it lies:
// the double slot then points at the scratch buffer, filled only when processing needs doubles.
struct InChannel {
    bool connected = false;
    bool fBound = false;
    const float* fSrc = nullptr;
    double** src = nullptr;
    WDL_TypedBuf<double> scratch{64}; // one block; grown by half a block, not by whole pages
    WDL_String label;
};

// Where processing writes one output channel; fDest is the host's float buffer, if any.
struct OutChannel {
    bool connected = false;
    double** dest = nullptr;
    float* fDest = nullptr;
    WDL_TypedBuf<double> scratch{64}; // as InChannel's
    WDL_String label;
};

// Growable byte array used for every state transfer. Values are stored in the machine's byte
// order (little-endian on every supported target), unaligned, without type tags.
class ByteChunk {
public:
    ByteChunk() = default;
    ByteChunk(const ByteChunk&) = delete;
    ByteChunk& operator=(const ByteChunk&) = delete;

    // Appends a value's bytes; returns the new size (unchanged when the chunk could not grow).
    template <class T>
    int Append(const T& value) {
        static_assert(std::is_trivially_copyable<T>::value, "raw values only");
        return PutBytes(&value, static_cast<int>(sizeof(T)));
    }

    // Copies a value from pos; returns the position after it, or -1 (value untouched) when it
    // does not lie wholly inside the chunk.
    template <class T>
    int Read(T* value, int pos) const {
        static_assert(std::is_trivially_copyable<T>::value, "raw values only");
        const int n = static_cast<int>(sizeof(T));
        if (pos < 0 || pos > Size() - n) return -1;
        std::memcpy(value, GetBytes() + pos, sizeof(T));
        return pos + n;
    }

    // A string is a 32-bit length, then that many bytes, no terminator.
    int AppendString(const char* text);
    int AppendString(const WDL_String& text) { return AppendString(text.Get()); }
    // Reads a string at pos into str; see the .cpp for how short chunks are handled.
    int ReadString(WDL_String* str, int pos) const;

    int PutBytes(const void* data, int size);
    int AppendBytes(const ByteChunk* other) {
        return other ? PutBytes(other->GetBytes(), other->Size()) : Size();
    }

    unsigned char* GetBytes() const { return bytes.Get(); }
    int Size() const { return bytes.GetSize(); }
    // New bytes are zero; false, with nothing changed, when the chunk could not grow.
    [[nodiscard]] bool Resize(int newSize);
    void Shrink(int newSize) { bytes.Shrink(newSize); }
    void Clear() { bytes.Shrink(0); }
    bool IsEqual(const ByteChunk& other) const {
        return Size() == other.Size() &&
               (!Size() || !std::memcmp(GetBytes(), other.GetBytes(), Size()));
    }

private:
    WDL_TypedBuf<unsigned char> bytes{4096};
};

// One preset slot. Uninitialised slots exist from construction until filled.
struct IPreset {
    static constexpr int kMaxNameLen = 256; // NUL included

    bool initialized = false;
    char name[kMaxNameLen];
    ByteChunk chunk;

    IPreset();
    void SetName(const char* name); // cut to 255 characters
};

// A MIDI channel message at a sample offset within the current block.
struct IMidiMsg {
    int offset = 0;
    unsigned char status = 0, data1 = 0, data2 = 0;

    enum EStatusMsg {
        kNone = 0,
        kNoteOff = 8,
        kNoteOn = 9,
        kPolyAftertouch = 10,
        kControlChange = 11,
        kProgramChange = 12,
        kChannelAftertouch = 13,
        kPitchWheel = 14
    };

    enum EControlChangeMsg {
        kModWheel = 1,
        kBreathController = 2,
        kFootController = 4,
        kPortamentoTime = 5,
        kChannelVolume = 7,
        kBalance = 8,
        kPan = 10,
        kExpressionController = 11,
        kSustainOnOff = 64,
        kPortamentoOnOff = 65,
        kSostenutoOnOff = 66,
        kSoftPedalOnOff = 67,
        kLegatoOnOff = 68,
        kAllSoundOff = 120,
        kResetAllControllers = 121,
        kAllNotesOff = 123
    };

    IMidiMsg() = default;
    IMidiMsg(int atOffset, unsigned char statusByte, unsigned char firstData,
             unsigned char secondData)
        : offset(atOffset), status(statusByte), data1(firstData), data2(secondData) {}

    void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0);
    void MakeNoteOffMsg(int noteNumber, int offset, int channel = 0);
    // value in [-1, 1]; the 14-bit word is clamped to 0..16383.
    void MakePitchWheelMsg(double value, int channel = 0);
    // value in [0, 1]; not clamped.
    void MakeControlChangeMsg(EControlChangeMsg idx, double value, int channel = 0);

    int Channel() const { return status & 0x0F; }
    EStatusMsg StatusMsg() const;
    int NoteNumber() const;
    int Velocity() const;
    int PolyAfterTouch() const;
    int ChannelAfterTouch() const;
    int Program() const;
    double PitchWheel() const;
    EControlChangeMsg ControlChangeIdx() const { return static_cast<EControlChangeMsg>(data1); }
    double ControlChange(EControlChangeMsg idx) const;
    static const char* StatusMsgStr(EStatusMsg msg);

    void Clear() { *this = IMidiMsg(); }
    void LogMsg() const {}
};

// A system-exclusive message; the bytes are not owned.
struct ISysEx {
    int offset = 0, size = 0;
    const unsigned char* data = nullptr;

    ISysEx() = default;
    ISysEx(int atOffset, const unsigned char* bytes, int byteCount)
        : offset(atOffset), size(byteCount), data(bytes) {}
    void Clear() { *this = ISysEx(); }
    void LogMsg() const {}
};

// Writes data as upper-case hex pairs separated by spaces into out (maxLen bytes, NUL
// included), as many whole bytes as fit; returns out.
char* SysExStr(char* out, int maxLen, const unsigned char* data, int size);

// What the product's factory hands to the API wrapper: the component bundle's identifier and the
// class name of its editor view factory.
struct IPlugInstanceInfo {
    WDL_String bundleID;
    WDL_String cocoaViewFactoryClassName;
};

// Transport state as the host reports it. The caller initialises the record; the wrapper
// overwrites only what the host supplies.
struct ITimeInfo {
    double tempo = 120.0;
    double samplePos = -1.0;
    double ppqPos = -1.0;
    double lastBar = -1.0;
    double cycleStart = -1.0;
    double cycleEnd = -1.0;
    int numerator = 4;
    int denominator = 4;
    bool transportIsRunning = false;
    bool transportLoopEnabled = false;
};
