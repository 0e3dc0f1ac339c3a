// The publisher's command line: what a patch-server operator can ask for,
// checked before anything is read or written, and the help text that says
// all of it.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct OverlaySource
{
    std::string code;
    std::filesystem::path folder;
    // Empty: --overlay-version, else --version.
    std::string version;
};

struct PublishOptions
{
    std::filesystem::path gameFolder;
    std::filesystem::path outputFolder;
    std::string version;
    // The version file's "patch" value, without a trailing "/".
    std::string baseUrl;
    // Where under outputFolder the base URL's files go; by default the base
    // URL's path.
    std::filesystem::path patchFolder;
    std::string notice;
    std::string listName = "filelist";
    std::vector<OverlaySource> overlays;
    // Empty: the overlays carry `version`.
    std::string overlayVersion;
    // Report what would change and write nothing.
    bool dryRun = false;
    // Delete the packages that none of the newest `keepReleases` releases names.
    bool prune = false;
    size_t keepReleases = 2;
    // Hash every file, whatever its size and time say.
    bool rehash = false;
    // The longest install folder players may have (characters).
    size_t maxInstallPath = 100;
    // Globs of files left out (Thumbs.db, *.pdb).
    std::vector<std::string> excludes;
    // Print the summary as one JSON object.
    bool json = false;
    // Threads that deflate; 0: one per core.
    unsigned jobs = 0;
    // Empty: no signed release record.
    std::filesystem::path signingKey;
    unsigned validDays = 30;
};

// `norvik-publish verify URL`: checks a served tree against its manifest.
struct VerifyOptions
{
    // Where the tree's root is served (version/version below it).
    std::string url;
    // PEM certificates to trust instead of the system's.
    std::string caFile;
    // Packages fetched at once.
    unsigned jobs = 4;
    // The operator's own published tree (--out): the mirror must serve its
    // version file, manifest, lists and packages, not only agree with itself.
    std::filesystem::path against;
    // Public keys (64 hex digits) the release record must be signed with.
    std::vector<std::string> releaseKeys;
};

// A mistake on the command line; the message says which.
class UsageError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// nullopt when --help was asked for.
std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& arguments);

// The arguments after "verify"; nullopt when --help was asked for.
std::optional<VerifyOptions> ParseVerifyArguments(const std::vector<std::string>& arguments);

std::string PublishHelpText();
