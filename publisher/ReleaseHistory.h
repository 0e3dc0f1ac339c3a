// The packages of each release published into an output, oldest first, so
// that --prune keeps what launchers still mid-update from an earlier version
// file may fetch, and deletes only what this publisher wrote.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// Package paths relative to the output folder, "/"-separated. A release
// the same as the newest one recorded is not recorded again.
void RecordRelease(const std::filesystem::path& outputFolder,
                   const std::set<std::string>& packages);

// Deletes the packages (files ending in ".zip" inside `patchFolder`) of the
// releases before the newest `keep` ones that none of those names, with the
// folders they leave empty, and forgets those releases. Returns the deleted
// paths, relative to the output folder. A dry run deletes nothing and counts
// `pending`, a release not recorded yet, as the newest.
std::vector<std::string> PruneReleases(const std::filesystem::path& outputFolder,
                                       const std::filesystem::path& patchFolder, size_t keep,
                                       bool dryRun, const std::set<std::string>* pending = nullptr);
