// Writing the whole patch-server tree from a game folder and its overlays:
// every package first, then the lists, the manifest and the version file, so
// that the tree is consistent at each moment a server might read it.
// Packages and lists are named by their content, so no URL ever serves other
// bytes than it did. A republish into the same output deflates only files
// whose content changed (the output's publish state says what each package
// was made from).
#pragma once

#include "publisher/ProgressMeter.h"
#include "publisher/PublishOptions.h"
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

// What a run changed (a dry run: would change) in the output.
struct PublishReport
{
    struct File
    {
        // "game", "overlay CODE", or "list" for a list package.
        std::string list;
        std::string name;
        uint64_t size = 0;
    };
    std::vector<File> added;
    std::vector<File> changed;
    // Files no longer published whose packages are still in the output
    // (kept, or deleted with --prune).
    std::vector<File> removed;
    // Same content under a new time: the package and its list time are kept.
    size_t redated = 0;
    // Changed within the minute the list already gave them: published with
    // the next minute, so that launchers holding the old file fetch it.
    std::vector<File> laterMinute;
    size_t unchanged = 0;
    size_t packagesWritten = 0;
    // Game bytes deflated (a dry run: that would be).
    uint64_t bytesDeflated = 0;
    // What a copy to a mirror must send: the written packages, changed lists,
    // manifest and version file. A dry run counts new packages at the size
    // of their files (deflating only shrinks them).
    uint64_t uploadBytes = 0;
    // What a player on the previous release downloads from this one: files
    // whose list time moved or that are new, and their packages' bytes (a
    // dry run: new ones at their files' size). Game files, then per overlay.
    struct Download
    {
        size_t files = 0;
        uint64_t bytes = 0;
    };
    Download previousReleaseDownload;
    std::map<std::string, Download> previousOverlayDownload;
    // Package paths relative to --out, deleted by --prune (a dry run: that would be).
    std::vector<std::string> pruned;
    // Temporary files of interrupted runs (a dry run: found).
    size_t partFilesRemoved = 0;
    // Names that publish but may surprise (not in normal form C).
    std::vector<std::string> warnings;
    // Lines of the publish state that could not be read.
    size_t stateLinesSkipped = 0;
};

struct PublishResult
{
    PublishedList main;
    std::map<std::string, PublishedList> overlays;
    std::string versionFileText;
    PublishReport report;
};

// Scans first (so a refused name writes nothing), then writes (a dry run:
// only reads): packages, lists, manifest, version file. Throws
// FolderRefused, or std::runtime_error (another run holds --out, content
// changed under the published version) / std::filesystem::filesystem_error
// when writing fails.
PublishResult PublishServerTree(const PublishOptions& options,
                                ProgressStyle progress = ProgressStyle::Quiet);

// The version an overlay is published with.
std::string OverlayVersion(const PublishOptions& options, const std::string& code);

// The version file for the lists of `result`, LF-ended lines.
std::string FormatVersionFile(const PublishOptions& options, const PublishResult& result);
