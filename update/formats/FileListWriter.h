// The file-list writer the publisher uses (and the tests' patch server): it
// only produces lines the launcher's reader takes back unchanged.
#pragma once

#include "update/FileEntry.h"

#include <cstdint>
#include <string>

// The 14-digit "YYYYMMDDhhmmss" of a time, seconds truncated. Throws
// std::out_of_range for a time past year 9999, which four digits cannot hold.
std::string FormatListDate(uint64_t time);

// One LF-terminated line for `entry` (fromOverlay is not written). Throws
// std::invalid_argument when the name or package path holds NUL, 0x03, CR or
// LF, which would not read back.
std::string FormatFileListLine(const FileEntry& entry);
