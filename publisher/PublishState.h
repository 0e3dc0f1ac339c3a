// What each package of an output tree was made from, kept in the tree
// between runs, so that a republish deflates only files whose content
// changed. A missing or unreadable record only costs a rebuild.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

struct PackageRecord
{
    // The game file (for a list: its text) the package holds.
    uint64_t sourceSize = 0;
    int64_t sourceModifiedNs = 0;
    std::string sourceSha256;
    // The time the list gave it, kept while its content stays the same.
    uint64_t listTime = 0;
    // Where its package is, relative to the output folder, "/"-separated:
    // the name changes with the content, so a served URL never changes bytes.
    std::string packagePath;
    // The package as written, so a package changed or lost since is rebuilt.
    uint64_t packageSize = 0;
    int64_t packageModifiedNs = 0;
    std::string packageSha256;
};

struct PublishState
{
    // By the file's (or list's) path in the patch folder, relative to the
    // output folder, "/"-separated, without a content name.
    std::map<std::string, PackageRecord> packages;
    // Lines of the file that could not be read (their packages are rebuilt).
    size_t skippedLines = 0;
};

std::filesystem::path PublishStateFile(const std::filesystem::path& outputFolder);

// An empty state when the output has none yet.
PublishState LoadPublishState(const std::filesystem::path& outputFolder);

// Written under a temporary name and renamed into place.
void SavePublishState(const std::filesystem::path& outputFolder, const PublishState& state);

// Last-write time in nanoseconds since 1970; throws std::runtime_error.
int64_t FileModifiedNs(const std::filesystem::path& file);
