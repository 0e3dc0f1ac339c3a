// The launcher's reader of a file list's text: lines of five 0x03-separated
// columns, and the merge of the overlay list into the main one.
#pragma once

#include "update/FileEntry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Entries of the list text in order. The text ends at its first NUL, and only
// LF-terminated lines count. Lines of other than five columns, and dates that
// are not six numbers, are logged as "{prefix}: Malformed line {}" (with
// " (date parse)" for dates) and skipped. A column 3 or 4 without a leading
// number throws std::invalid_argument "invalid stoi argument", one outside
// int32 std::out_of_range "stoi argument out of range"; either ends the list.
// A date that is no calendar date keeps the entry with time 0.
std::vector<FileEntry> ParseFileListText(std::string_view text, bool fromOverlay,
                                         std::string_view prefix);
// The same, appending to `entries` line by line, so that what came before a
// throwing line stays appended.
void ParseFileListText(std::string_view text, bool fromOverlay, std::string_view prefix,
                       std::vector<FileEntry>& entries);

// Merges an overlay list into `entries`: an overlay entry whose name equals
// (byte for byte) an entry already there replaces that entry's fields in
// place, anything else is appended; a name repeated in the overlay ends with
// its last values. Logs each step at debug level and the total at info level.
void MergeOverlayEntries(std::vector<FileEntry>& entries, const std::vector<FileEntry>& overlay);

// std::stoi in base 10 (leading white space and a sign taken, trailing text
// ignored), throwing with the two messages above whatever the C++ library.
int32_t ParseListInteger(const std::string& column);
