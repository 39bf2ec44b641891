// Files that appear whole or not at all: written to a temporary beside the target, synced, then
// renamed over it.
#pragma once

#include "host/Status.h"

#include <string>

// A fresh name beside path that no other writer (thread or process) picks: hidden, with the
// process id and a counter, so an interrupted run leaves an obvious leftover, never a file that
// looks complete.
std::string TemporaryNameFor(const std::string& path);

// Writes size bytes to path through a temporary; on failure path is untouched and the temporary
// removed.
Status WriteFileAtomically(const std::string& path, const void* data, size_t size);

// Reads a whole regular file of at most maxBytes.
Status ReadSmallFile(const std::string& path, size_t maxBytes, std::string* contents);
