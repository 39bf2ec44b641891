// The process's registry of bundles, shared by CFBundle and the component services.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace zerub::platform {

// The bundle rooted at path, made known on first use; nullptr when path is not a folder.
CFBundleRef BundleAtPath(const std::string& path);

// The bundle's root folder (canonical, without a trailing slash).
const std::string& BundleRoot(CFBundleRef bundle);

// The folder that holds Info.plist, MacOS/ and Resources/: Root/Contents when it exists,
// else the root itself.
std::string BundleContents(CFBundleRef bundle);

// The canonical form of path, or "" when it does not exist.
std::string CanonicalPath(const std::string& path);

bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Whether path is a regular file, asked of the opened file without waiting on a FIFO (unlike a
// stat by name, which a FIFO may replace before the file is opened).
bool IsRegularFileNow(const std::string& path);

// The parsed property list in the file (the caller releases it), or nullptr when it is missing,
// malformed or no regular file (a FIFO is refused without waiting for a writer). Files larger than
// limitBytes are refused.
CFPropertyListRef CreatePropertyListFromFile(const std::string& path, size_t limitBytes = 16 << 20);

// Reads the component search path once (defined with the component services).
void EnsureComponentsScanned();

} // namespace zerub::platform
