// Writing zip packages the launcher reads: one entry each, deflated, written
// under a temporary name, flushed to disk and renamed into place so that a
// server never hands out half a package.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <minizip/zip.h>
#include <string>
#include <string_view>

// What this publisher's temporary files end with: the only names its clean-up
// of an interrupted run removes.
inline constexpr std::string_view kTemporarySuffix = ".norvik-publish-tmp";

// A zipFile being written, closed (and its temporary file removed) if it is
// given up before Commit().
class PackageWriter
{
  public:
    explicit PackageWriter(std::filesystem::path target);
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // The one entry, dated with `listTime` (the file list's clock); `size`
    // decides whether ZIP64 fields are needed.
    void BeginEntry(const std::string& entryName, uint64_t listTime, uint64_t size);
    void Write(std::string_view bytes);
    // Closes the entry and the archive and renames it to the target.
    void Commit();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    zipFile zip_ = nullptr;
    bool entryOpen_ = false;
};

// A package holding the whole of `source`, read in pieces, each of which is
// also handed to `onPiece` (for hashing and progress) when given.
void WriteFilePackage(const std::filesystem::path& source, const std::filesystem::path& target,
                      const std::string& entryName, uint64_t listTime,
                      const std::function<void(std::string_view)>& onPiece = {});

void WriteTextPackage(std::string_view text, const std::filesystem::path& target,
                      const std::string& entryName, uint64_t listTime);

// Any file, through the same temporary name, flush and rename.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
