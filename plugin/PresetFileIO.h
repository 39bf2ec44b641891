// Whole-file reads and crash-safe writes for preset files and developer dumps.
#pragma once

#include <cstddef>
#include <string>

class ByteChunk;

namespace PresetFileIO {

// Preset files are small; anything larger is refused before it is read.
constexpr int kMaxFileSize = 16 << 20;

// Replaces out with the whole file. False (out emptied) when the path is empty, the file cannot
// be opened as a regular file, or it is larger than maxSize.
bool ReadWholeFile(const char* path, ByteChunk* out, int maxSize = kMaxFileSize);

// The one crash-safe writer of the project (the plug-in's preset files and dumps, and every
// file the host writes). A regular file (or a new path) is written to a temporary beside it,
// synced, then renamed over it, so a failed write leaves the old file whole and an existing
// file keeps its permissions; a device or a FIFO is written straight, since renaming over it
// would replace the node; a symbolic link keeps being a link, and what it names is replaced.

// Where output meant for a path goes.
struct FileTarget {
    std::string path;      // path itself, or the end of its chain of symbolic links
    bool straight = false; // a device or FIFO, written as it is
};
// Follows symbolic links (relative ones from the link's folder) to what path finally names.
// False, with the reason in *why, for a folder, a socket, a loop of links, a link that cannot
// be read, or a folder on the way that cannot be searched.
bool ResolveFileTarget(const std::string& path, FileTarget* target, std::string* why);
// A fresh hidden name beside path that no other writer (thread or process) picks: the process id
// and a counter, so an interrupted write leaves an obvious leftover, never a complete-looking file.
std::string TemporaryNameFor(const std::string& path);
// Writes size bytes to an open descriptor, retrying short writes; false with errno set.
bool WriteAll(int fd, const void* data, size_t size);
// Writes size bytes to path as above. False when anything failed, with the reason in *why when
// why is not null; path is then untouched and no temporary is left.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size,
                        std::string* why = nullptr);

} // namespace PresetFileIO
