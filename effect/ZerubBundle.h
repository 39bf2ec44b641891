// The bundle the effect ships in, whose resources hold the editor's images.
#pragma once

constexpr const char* kZerubBundleID = "com.Quillmoor.audiounit.Zerub";
