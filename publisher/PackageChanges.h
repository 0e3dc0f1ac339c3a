// Whether a package of this run can be kept from the last run into the same
// output: the state's record of what it was made from decides, and a file
// whose time alone moved is hashed to tell a touched file from an edited one.
#pragma once

#include "publisher/PublishState.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

enum class Change
{
    Unchanged,
    Redated,
    Changed,
    Added,
};

// One package of this run, a game file's or a list's.
struct Package
{
    std::string list;
    std::string name;
    // Relative to --out, "/"-separated: the state's key.
    std::string key;
    std::filesystem::path file;
    std::string urlPath;
    uint64_t sourceSize = 0;
    int64_t sourceModifiedNs = 0;
    Change change = Change::Added;
    // Carried over from the state or filled when written.
    PackageRecord record;
};

// Sets package.change, and package.record when the package is kept.
// `hashSource` gives the SHA-256 of what the package holds; it is called
// only when the size matches and, if `timeProvesContent`, the time differs.
void DecideChange(Package& package, const PublishState& state,
                  const std::function<std::string()>& hashSource, bool timeProvesContent = true);

bool NeedsWriting(const Package& package);

// Fills package.record from the package just written.
void RecordWrittenPackage(Package& package, std::string sourceSha256);
