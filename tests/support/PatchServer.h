// A patch server of one test: a tree under the test servers' www folder that
// nginx serves (tools/testenv), with the version file every launcher of the
// test build asks for, the file lists and one package per file, written the
// way the launcher reads them. The version file is withdrawn when the object
// goes away, so later tests meet no server.
#pragma once

#include "update/FileEntry.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct PublishedFile
{
    std::string name;
    std::string content;
    // The list's UTC+9 wall clock (FILETIME scale); see ListClock.
    uint64_t time = 0;
    // Relative to the base (the overlay base for overlay files), as listed;
    // empty: "files/" + the name (without a leading "./", percent-encoded) + ".zip".
    std::string packagePath;
};

// The list clock of a calendar reading in UTC+9.
uint64_t ListClock(int year, int month, int day, int hour, int minute, int second);

class PatchServer
{
  public:
    // The tree www/patch/<name>, emptied.
    explicit PatchServer(const std::string& name);
    ~PatchServer();

    PatchServer(const PatchServer&) = delete;
    PatchServer& operator=(const PatchServer&) = delete;

    // "https://localhost:<port>/patch/<name>", the "patch" value.
    std::string BaseUrl() const;
    std::filesystem::path Folder() const { return folder_; }

    // Writes the file's package (one deflated entry) and lists it.
    void AddFile(const PublishedFile& file);
    // The same for the overlay of `language`, under overlays/<language>/.
    void AddOverlayFile(const std::string& language, const PublishedFile& file);
    // A line of the main list as given (LF added), nothing written.
    void AddListLine(const std::string& line);
    // Any bytes at `relativePath` under the tree (a damaged package, ...), a
    // file path, not a URL path.
    void WriteRaw(const std::string& relativePath, const std::string& bytes);
    void Remove(const std::string& relativePath);

    // Writes filelist.zip and, for each overlay, overlays/<code>/filelist.zip,
    // then the version file naming them. `extraLines` are appended as given.
    void Publish(const std::string& version, const std::string& overlayVersion = "",
                 const std::string& extraLines = "");
    // The version file exactly as given.
    static void PublishVersionFile(const std::string& text);
    static void WithdrawVersionFile();
    // Where the packages of the tree would be fetched from, to let a test
    // point the "patch" value elsewhere (the stalling server serves the same
    // www folder).
    std::string RelativeUrlPath() const { return "/patch/" + name_; }

  private:
    std::string ListText(const std::vector<FileEntry>& entries, const std::string& raw) const;

    std::string name_;
    std::filesystem::path folder_;
    std::vector<FileEntry> mainList_;
    std::string rawLines_;
    std::vector<std::pair<std::string, std::vector<FileEntry>>> overlays_;
};
