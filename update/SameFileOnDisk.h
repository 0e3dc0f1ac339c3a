// Which file-list entries name one and the same file on disk. Windows folds
// letter case, reads "/" and "\" alike, and ignores "." components, doubled
// separators and a component's trailing dots and spaces, so "Data.pak",
// "./data.pak" and "DATA.PAK." are one file: two workers must never write it.
#pragma once

#include "update/FileEntry.h"

#include <string>
#include <string_view>
#include <vector>

// The file `name` (a list name, UTF-8) is on disk, in a form equal for every
// spelling of it.
std::wstring OnDiskKey(std::string_view name);

// True for each entry that a later entry names the same file as: the later
// one wins. Logs one warning per such entry, naming both.
std::vector<bool> EntriesShadowedByLaterOnes(const std::vector<FileEntry>& entries);
