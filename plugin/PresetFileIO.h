// Whole-file reads and crash-safe writes for preset files and developer dumps.
#pragma once

class ByteChunk;

namespace PresetFileIO {

// Preset files are small; anything larger is refused before it is read.
constexpr int kMaxFileSize = 16 << 20;

// Replaces out with the whole file. False (out emptied) when the path is empty, the file cannot
// be opened as a regular file, or it is larger than maxSize.
bool ReadWholeFile(const char* path, ByteChunk* out, int maxSize = kMaxFileSize);

// Writes size bytes to a temporary file beside path and renames it over path, so a failed write
// leaves the old file whole. A symlink keeps pointing where it did (its target is replaced);
// a device or FIFO is written directly, since renaming over it would replace the node.
bool WriteFileReplacing(const char* path, const void* data, int size);

} // namespace PresetFileIO
