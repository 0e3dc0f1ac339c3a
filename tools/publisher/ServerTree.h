// Writing the whole patch-server tree from a game folder and its overlays:
// every package first, then the lists, then the version file, so that the
// tree is consistent at each moment a server might read it.
#pragma once

#include "PublishOptions.h"
#include "update/FileEntry.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct PublishedList
{
    // Relative to the patch folder, without ".zip".
    std::string listName;
    std::vector<FileEntry> entries;
};

struct PublishResult
{
    PublishedList main;
    std::map<std::string, PublishedList> overlays;
    std::string versionFileText;
};

// Scans first (so a refused name writes nothing), then writes. Throws
// FolderRefused, or std::runtime_error / std::filesystem::filesystem_error
// when writing fails.
PublishResult PublishServerTree(const PublishOptions& options);

// The version file for the lists of `result`, LF-ended lines.
std::string FormatVersionFile(const PublishOptions& options, const PublishResult& result);
