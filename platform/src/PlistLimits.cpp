#include "PlistLimits.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zerub::cf {

namespace {

bool StartsWith(const char* p, const char* end, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, prefix, n) == 0;
}

// Moves p past the first occurrence of terminator, or to end.
const char* SkipPast(const char* p, const char* end, const char* terminator) {
    const size_t n = std::strlen(terminator);
    for (; static_cast<size_t>(end - p) >= n; ++p) {
        if (std::memcmp(p, terminator, n) == 0) return p + n;
    }
    return end;
}

// True when p starts the element name (followed by a delimiter).
bool IsElement(const char* p, const char* end, const char* name) {
    const size_t n = std::strlen(name);
    if (static_cast<size_t>(end - p) <= n || std::memcmp(p, name, n) != 0) return false;
    const char next = p[n];
    return next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\n' ||
           next == '\r';
}

uint64_t ReadBigEndian(const uint8_t* p, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

} // namespace

bool XmlNestingWithinLimits(const char* data, size_t length) {
    const char* p = data;
    const char* end = data + length;
    int depth = 0;
    while (p < end) {
        if (*p != '<') {
            ++p;
            continue;
        }
        if (StartsWith(p, end, "<!--")) {
            p = SkipPast(p + 4, end, "-->");
        } else if (StartsWith(p, end, "<![CDATA[")) {
            p = SkipPast(p + 9, end, "]]>");
        } else if (StartsWith(p, end, "<?")) {
            p = SkipPast(p + 2, end, "?>");
        } else if (StartsWith(p, end, "<!")) {
            p = SkipPast(p + 2, end, ">");
        } else if (StartsWith(p, end, "</")) {
            if (IsElement(p + 2, end, "array") || IsElement(p + 2, end, "dict")) --depth;
            p = SkipPast(p + 2, end, ">");
        } else if (IsElement(p + 1, end, "array") || IsElement(p + 1, end, "dict")) {
            const char* close = SkipPast(p + 1, end, ">");
            const bool selfClosing = close - p >= 2 && close[-1] == '>' && close[-2] == '/';
            if (!selfClosing && ++depth > kMaxPlistDepth) return false;
            p = close;
        } else {
            ++p;
        }
    }
    return true;
}

bool BinaryPlistWithinLimits(const uint8_t* data, size_t length) {
    constexpr size_t kHeader = 8;
    constexpr size_t kTrailer = 32;
    if (length < kHeader + kTrailer || std::memcmp(data, "bplist0", 7) != 0) return false;
    const uint8_t* trailer = data + length - kTrailer;
    const size_t offsetSize = trailer[6];
    const size_t refSize = trailer[7];
    const uint64_t count = ReadBigEndian(trailer + 8, 8);
    const uint64_t top = ReadBigEndian(trailer + 16, 8);
    const uint64_t tableOffset = ReadBigEndian(trailer + 24, 8);
    const size_t objectsEnd = length - kTrailer;
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    if (count == 0 || top >= count || tableOffset < kHeader || tableOffset > objectsEnd) {
        return false;
    }
    if (count > (objectsEnd - tableOffset) / offsetSize) return false;

    auto offsetOf = [&](uint64_t index) {
        return ReadBigEndian(data + tableOffset + index * offsetSize, offsetSize);
    };
    // The references held by object index, as a range of the file; false when malformed.
    auto childrenOf = [&](uint64_t index, size_t& first, uint64_t& refs) {
        refs = 0;
        const uint64_t offset = offsetOf(index);
        if (offset < kHeader || offset >= tableOffset) return false;
        const uint8_t marker = data[offset];
        const uint8_t kind = marker >> 4;
        if (kind != 0xA && kind != 0xC && kind != 0xD) return true;
        uint64_t n = marker & 0x0F;
        size_t at = static_cast<size_t>(offset) + 1;
        if (n == 0x0F) {
            if (at >= tableOffset) return false;
            const uint8_t intMarker = data[at];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
            const size_t bytes = size_t(1) << (intMarker & 0x0F);
            if (at + 1 + bytes > tableOffset) return false;
            n = ReadBigEndian(data + at + 1, bytes);
            at += 1 + bytes;
        }
        if (kind == 0xD) {
            if (n > UINT64_MAX / 2) return false;
            n *= 2;
        }
        if (n > (tableOffset - at) / refSize) return false;
        first = at;
        refs = n;
        return true;
    };

    // A dictionary key must be a string without NUL characters: the parser stops the process
    // on anything else.
    auto soundKey = [&](uint64_t index) {
        if (index >= count) return false;
        const uint64_t offset = offsetOf(index);
        if (offset < kHeader || offset >= tableOffset) return false;
        const uint8_t marker = data[offset];
        const uint8_t kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6) return false;
        uint64_t n = marker & 0x0F;
        size_t at = static_cast<size_t>(offset) + 1;
        if (n == 0x0F) {
            if (at >= tableOffset) return false;
            const uint8_t intMarker = data[at];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
            const size_t bytes = size_t(1) << (intMarker & 0x0F);
            if (at + 1 + bytes > tableOffset) return false;
            n = ReadBigEndian(data + at + 1, bytes);
            at += 1 + bytes;
        }
        const size_t unit = kind == 0x6 ? 2 : 1;
        if (n > (tableOffset - at) / unit) return false;
        for (uint64_t k = 0; k < n; ++k) {
            if (ReadBigEndian(data + at + k * unit, unit) == 0) return false;
        }
        return true;
    };

    // Post-order walk from the top object: depth and expanded size of each object, cycles
    // refused. An explicit stack keeps hostile depth off the machine stack.
    enum : uint8_t { kUnseen, kOpen, kDone };
    std::vector<uint8_t> state(count, kUnseen);
    std::vector<uint32_t> depth(count, 0);
    std::vector<uint64_t> nodes(count, 0);
    struct Frame {
        uint64_t index;
        size_t first;
        uint64_t refs;
        uint64_t next;
    };
    std::vector<Frame> stack;
    Frame start{top, 0, 0, 0};
    if (!childrenOf(top, start.first, start.refs)) return false;
    stack.push_back(start);
    state[top] = kOpen;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.refs) {
            const uint64_t child =
                ReadBigEndian(data + frame.first + frame.next * refSize, refSize);
            ++frame.next;
            if (child >= count || state[child] == kOpen) return false;
            const bool isKey =
                (data[offsetOf(frame.index)] >> 4) == 0xD && frame.next <= frame.refs / 2;
            if (isKey && !soundKey(child)) return false;
            if (state[child] == kDone) continue;
            Frame next{child, 0, 0, 0};
            if (!childrenOf(child, next.first, next.refs)) return false;
            state[child] = kOpen;
            stack.push_back(next); // invalidates frame
            continue;
        }
        uint32_t deepest = 0;
        uint64_t total = 1;
        for (uint64_t k = 0; k < frame.refs; ++k) {
            const uint64_t child = ReadBigEndian(data + frame.first + k * refSize, refSize);
            deepest = std::max(deepest, depth[child]);
            total += nodes[child];
            if (total > kMaxPlistNodes) return false;
        }
        const uint8_t kind = data[offsetOf(frame.index)] >> 4;
        const bool container = kind == 0xA || kind == 0xC || kind == 0xD;
        depth[frame.index] = deepest + (container ? 1 : 0);
        if (depth[frame.index] > static_cast<uint32_t>(kMaxPlistDepth)) return false;
        nodes[frame.index] = total;
        state[frame.index] = kDone;
        stack.pop_back();
    }
    return true;
}

} // namespace zerub::cf
