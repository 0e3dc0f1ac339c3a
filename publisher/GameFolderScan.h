// Reading a game (or overlay) folder into file-list entries: every regular
// file with its list time, size column and package path, in a stable order.
// Names the launcher would refuse or Windows could not hold are collected and
// reported together, so one run shows the operator every problem.
#pragma once

#include "update/FileEntry.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct PublishedFile
{
    std::filesystem::path source;
    uint64_t size = 0;
    // The file's last-write time in nanoseconds since 1970, as the state of
    // the last publish recorded it.
    int64_t modifiedNs = 0;
    // Its inode change time, likewise: a file replaced with its old size and
    // time (cp -p) still changes this.
    int64_t changedNs = 0;
    // name, time (UTC+9 wall clock), column3 (KiB, rounded up), column4 (0)
    // and packagePath ("files/" + encoded name + ".zip"; the publisher adds
    // a content name before ".zip").
    FileEntry entry;
};

// Files the launcher could not take; what() lists each with its reason.
class FolderRefused : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

struct ScanRules
{
    // The longest install folder a player may have, in characters.
    size_t installFolderBudget = 100;
    // Files left out: a glob without "/" is matched against the file's own
    // name, one with "/" against its path; letter case is ignored.
    std::vector<std::string> excludes;
};

// Sorted by name (bytewise). Throws FolderRefused, also for names that would
// publish but not install: a path that with an install folder of
// `installFolderBudget` characters reaches Windows' 260, a package name past
// 255 bytes, the launcher's own working names. Names that are not in
// Unicode normal form C go to `warnings` when given.
std::vector<PublishedFile> ScanGameFolder(const std::filesystem::path& folder,
                                          const ScanRules& rules = {},
                                          std::vector<std::string>* warnings = nullptr);

// The list's clock for a time given in seconds (and nanoseconds) since
// 1970-01-01 UTC: the UTC+9 wall clock on the FILETIME scale.
uint64_t ListTimeOfUnixTime(int64_t seconds, uint32_t nanoseconds);

// Bytes outside letters, digits and - . _ ~ / as %XX, so the launcher's plain
// "{base}/{path}" is a valid URL that servers map back to the file.
std::string PercentEncodePath(std::string_view path);

// An overlay's file that Windows would take for a different game file (or
// folder) than the one of the same name, which the launcher would then write
// twice. Throws FolderRefused naming each.
void RefuseOverlayClashes(const std::vector<PublishedFile>& game,
                          const std::vector<PublishedFile>& overlay,
                          const std::filesystem::path& overlayFolder);
