// Files for the publisher's tests: a temporary folder removed with its
// contents, game files with a given content and last-write time, and the
// options that publish them.
#pragma once

#include "publisher/PublishOptions.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& file);

// Writes `content` and sets its last-write time to `utcSeconds` since 1970.
// Throws std::runtime_error when the time cannot be set.
void MakeFile(const std::filesystem::path& file, const std::string& content, int64_t utcSeconds);

// Publishes `game` into `out` for https://patch.example.com/PATCH, served
// from out/PATCH, as version "1" with no overlay.
PublishOptions TestPublishOptions(const std::filesystem::path& game,
                                  const std::filesystem::path& out, const std::string& patchFolder);

// The package file the publish state of `out` names for `key`, the file's
// path under --out without a content name ("patch/files/a.txt").
std::filesystem::path PackageOf(const std::filesystem::path& out, const std::string& key);

// What a launcher can reach from out/version/version, served with `out` as
// the document root: the version file, the lists and every package they
// name, by path under `out`, with the SHA-256 of their bytes.
std::map<std::string, std::string> ServedRelease(const std::filesystem::path& out);

// Every regular file under `folder` (or `folder` itself when it is a file)
// with its bytes and time, to tell whether a run changed anything.
std::map<std::string, std::string> SnapshotTree(const std::filesystem::path& folder);
