// Structural checks run on property-list data before it reaches the parser, so that hostile
// input (deep nesting, reference cycles, a small file that expands into an enormous tree) is
// refused instead of exhausting the stack or memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zerub::cf {

// The deepest nesting of arrays and dictionaries read or written.
constexpr int kMaxPlistDepth = 512;
// The most objects a binary property list may expand into (objects referenced twice count
// twice, as the parser copies them). Presets and bundle Info.plist files hold tens to hundreds;
// each expanded object costs the parser a few hundred bytes, so this keeps a hostile file of a
// few dozen bytes that shares references level by level to a few megabytes and milliseconds.
constexpr uint64_t kMaxPlistNodes = uint64_t(1) << 16;

// True when the XML text nests arrays and dictionaries no deeper than kMaxPlistDepth.
bool XmlNestingWithinLimits(const char* data, size_t length);

// True when data is a structurally sound binary property list (header, trailer, offset table,
// references in range, no cycles) within kMaxPlistDepth and kMaxPlistNodes.
bool BinaryPlistWithinLimits(const uint8_t* data, size_t length);

} // namespace zerub::cf
