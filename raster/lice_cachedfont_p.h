// Helpers shared by the cached font's source files.
#pragma once

namespace lice_font {

// utf8char reading at most avail bytes (avail < 0: up to the terminating NUL); bytes past the
// limit count as missing continuation bytes.
int DecodeUtf8(const char* p, int avail, unsigned short* out);

} // namespace lice_font
