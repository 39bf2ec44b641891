// Output compared across machines by a hash of its bits: the reference hashes were written once
// on x86-64 and are kept in tests/data/reference_bits.txt, one "name hash" line per case, so a
// build for another processor (or with another compiler or math library) shows whether it
// renders the same bits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

// FNV-1a over the bytes of each value, as little-endian machines store them.
class BitHash {
public:
    template <typename T>
    void Add(T value) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (unsigned char b : bytes) {
            hash ^= b;
            hash *= 1099511628211ull;
        }
        ++count;
    }
    std::string Hex() const {
        std::ostringstream s;
        s << std::hex;
        s.width(16);
        s.fill('0');
        s << hash;
        return s.str();
    }
    long Count() const { return count; }

private:
    uint64_t hash = 14695981039346656037ull;
    long count = 0;
};

// Fixed test signals from integers alone (no math library, whose last bits may differ): a
// xorshift generator, its top 53 bits as a double in [-1, 1), exactly.
class BitSignal {
public:
    explicit BitSignal(uint64_t seed) : state(seed | 1) {}
    double Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<double>(state >> 11) * 0x1p-52 - 1.0;
    }

private:
    uint64_t state;
};

inline std::string ReferenceBits(const std::string& name) {
    std::ifstream file(ZERUB_SOURCE_DIR "/tests/data/reference_bits.txt");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string key, value;
        if (fields >> key >> value && key == name) return value;
    }
    return "";
}

// Fails unless the hash is the reference; the message gives the line to keep when the output
// changed on purpose (written on x86-64).
inline void ExpectReferenceBits(const std::string& name, const BitHash& hash) {
    EXPECT_EQ(ReferenceBits(name), hash.Hex())
        << "over " << hash.Count() << " values; reference line: " << name << " " << hash.Hex();
}
