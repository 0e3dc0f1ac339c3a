#include "publisher/PublishOptions.h"

#include <algorithm>
#include <charconv>
#include <fmt/format.h>

namespace
{
bool IsUrlPathCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

// Values of the version file: one line each, and the launcher trims them.
void RequireVersionFileValue(const std::string& value, const std::string& option)
{
    if (value.empty())
        throw UsageError(fmt::format("{} must not be empty", option));
    if (value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos)
        throw UsageError(fmt::format("{} must be one line", option));
    const std::string_view blanks = " \t\v\f";
    if (blanks.find(value.front()) != std::string_view::npos ||
        blanks.find(value.back()) != std::string_view::npos)
        throw UsageError(fmt::format("{} must not begin or end with white space", option));
}

bool IsOverlayCode(const std::string& code)
{
    return !code.empty() && std::all_of(code.begin(), code.end(),
                                        [](char c)
                                        {
                                            return (c >= 'a' && c <= 'z') ||
                                                   (c >= 'A' && c <= 'Z') ||
                                                   (c >= '0' && c <= '9') || c == '-' || c == '_';
                                        });
}

// The base URL's path ("/patch/v2" of "https://host/patch/v2"), checked to
// be a plain relative folder once its leading "/" is gone.
std::filesystem::path FolderOfBaseUrl(const std::string& url)
{
    const size_t scheme = url.find("://");
    const size_t pathStart = url.find('/', scheme + 3);
    if (pathStart == std::string::npos)
        return {};
    const std::string path = url.substr(pathStart + 1);
    if (!std::all_of(path.begin(), path.end(), IsUrlPathCharacter))
        throw UsageError("the base URL's path may only hold letters, digits and - . _ ~ /; "
                         "give --patch-dir for any other layout");
    std::filesystem::path folder;
    for (const auto& part : std::filesystem::path(path))
    {
        if (part == ".." || part == ".")
            throw UsageError("the base URL's path must not hold . or .. components");
        if (!part.empty())
            folder /= part;
    }
    return folder;
}

std::string NormalizedBaseUrl(std::string url)
{
    if (!url.starts_with("http://") && !url.starts_with("https://"))
        throw UsageError("--base-url must begin with http:// or https://");
    while (url.ends_with("/"))
        url.pop_back();
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos || url.size() <= scheme + 3)
        throw UsageError("--base-url has no host");
    RequireVersionFileValue(url, "--base-url");
    if (url.find_first_of(" \t") != std::string::npos)
        throw UsageError("--base-url must not hold white space");
    return url;
}
size_t ParseCount(const std::string& value, const char* option, size_t low, size_t high)
{
    size_t count = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (error != std::errc() || end != value.data() + value.size() || count < low || count > high)
        throw UsageError(fmt::format("{} takes a number from {} to {}", option, low, high));
    return count;
}

unsigned ParseJobs(const std::string& value)
{
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs == 0 || jobs > 256)
        throw UsageError("--jobs takes a number from 1 to 256");
    return jobs;
}

// CODE=DIR or CODE=DIR:VERSION, split at the first "=" and the last ":".
OverlaySource ParseOverlay(const std::string& value, const std::vector<OverlaySource>& earlier)
{
    const size_t equals = value.find('=');
    if (equals == std::string::npos)
        throw UsageError("--overlay takes CODE=DIR or CODE=DIR:VERSION");
    OverlaySource overlay{value.substr(0, equals), value.substr(equals + 1), ""};
    if (const size_t colon = value.rfind(':'); colon != std::string::npos && colon > equals)
    {
        overlay.folder = value.substr(equals + 1, colon - equals - 1);
        overlay.version = value.substr(colon + 1);
        if (overlay.version.empty())
            throw UsageError(
                fmt::format("overlay {} has an empty version after ':'", overlay.code));
    }
    if (!IsOverlayCode(overlay.code))
        throw UsageError(
            fmt::format("overlay code '{}' may only hold letters, digits, - and _", overlay.code));
    if (overlay.folder.empty())
        throw UsageError(fmt::format("overlay {} has no folder", overlay.code));
    for (const OverlaySource& other : earlier)
    {
        if (other.code == overlay.code)
            throw UsageError(fmt::format("overlay {} given twice", overlay.code));
    }
    return overlay;
}
} // namespace

namespace
{
std::string ParseReleaseKey(const std::string& value)
{
    if (value.size() != 64 || value.find_first_not_of("0123456789abcdef") != std::string::npos)
        throw UsageError("--release-key takes the 64 lower-case hex digits keygen printed");
    return value;
}
} // namespace

std::optional<VerifyOptions> ParseVerifyArguments(const std::vector<std::string>& arguments)
{
    VerifyOptions options;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h")
            return std::nullopt;
        if (!option.starts_with("-"))
        {
            if (!options.url.empty())
                throw UsageError("verify takes one URL");
            options.url = option;
            continue;
        }
        if (i + 1 >= arguments.size())
            throw UsageError(fmt::format("unknown option or missing value: {}", option));
        const std::string& value = arguments[++i];
        if (option == "--ca-file")
            options.caFile = value;
        else if (option == "--against")
            options.against = value;
        else if (option == "--jobs")
            options.jobs = ParseJobs(value);
        else if (option == "--release-key")
            options.releaseKeys.push_back(ParseReleaseKey(value));
        else
            throw UsageError(fmt::format("unknown option: {}", option));
    }
    if (options.url.empty())
        throw UsageError("verify needs the URL the tree is served at");
    if (!options.url.starts_with("https://") && !options.url.starts_with("http://"))
        throw UsageError("the URL must begin with https:// or http://");
    while (options.url.ends_with("/"))
        options.url.pop_back();
    return options;
}

std::optional<PublishOptions> ParsePublishArguments(const std::vector<std::string>& arguments)
{
    PublishOptions options;
    bool patchFolderGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h")
            return std::nullopt;
        if (option == "--dry-run")
        {
            options.dryRun = true;
            continue;
        }
        if (option == "--prune")
        {
            options.prune = true;
            continue;
        }
        if (option == "--rehash")
        {
            options.rehash = true;
            continue;
        }
        if (option == "--json")
        {
            options.json = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            throw UsageError(fmt::format("unknown option or missing value: {}", option));
        const std::string& value = arguments[++i];
        if (option == "--game")
            options.gameFolder = value;
        else if (option == "--out")
            options.outputFolder = value;
        else if (option == "--version")
            options.version = value;
        else if (option == "--base-url")
            options.baseUrl = value;
        else if (option == "--patch-dir")
        {
            options.patchFolder = value;
            patchFolderGiven = true;
        }
        else if (option == "--notice")
            options.notice = value;
        else if (option == "--list-name")
            options.listName = value;
        else if (option == "--overlay-version")
            options.overlayVersion = value;
        else if (option == "--jobs")
            options.jobs = ParseJobs(value);
        else if (option == "--max-install-path")
            options.maxInstallPath = ParseCount(value, "--max-install-path", 3, 240);
        else if (option == "--exclude")
            options.excludes.push_back(value);
        else if (option == "--keep-releases")
            options.keepReleases = ParseCount(value, "--keep-releases", 1, 1000);
        else if (option == "--signing-key")
            options.signingKey = value;
        else if (option == "--valid-days")
            options.validDays = static_cast<unsigned>(ParseCount(value, "--valid-days", 1, 3650));
        else if (option == "--overlay")
            options.overlays.push_back(ParseOverlay(value, options.overlays));
        else
            throw UsageError(fmt::format("unknown option: {}", option));
    }

    if (options.gameFolder.empty() || options.outputFolder.empty() || options.version.empty() ||
        options.baseUrl.empty())
        throw UsageError("--game, --out, --version and --base-url are required");
    RequireVersionFileValue(options.version, "--version");
    options.baseUrl = NormalizedBaseUrl(options.baseUrl);
    if (!options.notice.empty())
        RequireVersionFileValue(options.notice, "--notice");
    if (!options.overlayVersion.empty())
        RequireVersionFileValue(options.overlayVersion, "--overlay-version");
    for (const OverlaySource& overlay : options.overlays)
    {
        if (!overlay.version.empty())
            RequireVersionFileValue(overlay.version, "the version of overlay " + overlay.code);
    }
    if (options.listName.empty() ||
        !std::all_of(options.listName.begin(), options.listName.end(), IsUrlPathCharacter) ||
        options.listName.find('/') != std::string::npos || options.listName.starts_with("."))
        throw UsageError("--list-name may only hold letters, digits and - . _ ~, and not begin "
                         "with a dot");
    if (!patchFolderGiven)
        options.patchFolder = FolderOfBaseUrl(options.baseUrl);
    if (options.patchFolder.is_absolute() ||
        std::any_of(options.patchFolder.begin(), options.patchFolder.end(),
                    [](const std::filesystem::path& part) { return part == ".."; }))
        throw UsageError("--patch-dir must be a folder inside --out");
    if (!options.patchFolder.empty() && *options.patchFolder.begin() == "version")
        throw UsageError("the patch folder must not be inside version/, which holds the "
                         "version file");
    return options;
}

std::string PublishHelpText()
{
    return R"(norvik-publish: writes a patch server's tree for Norvik Patcher.

Usage:
  norvik-publish --game DIR --out DIR --version TEXT --base-url URL [options]
  norvik-publish verify URL [--against OUT] [--ca-file FILE] [--jobs N] [--release-key HEX]...
  norvik-publish keygen KEYFILE

Required:
  --game DIR            the released game folder; every regular file under it
                        is published (folders are created by the launcher)
  --out DIR             the server's document root to write into (created if
                        missing; files of earlier runs are overwritten, others
                        are left alone)
  --version TEXT        the version the launchers compare with the installed
                        one; any new text makes every launcher check its files
  --base-url URL        the "patch" value: http:// or https:// address under
                        which the lists and packages are served, e.g.
                        https://patch.example.com/patch. Launchers that use a
                        mirror swap the primary host's name for the mirror's,
                        so every mirror must serve this same tree.

Options:
  --patch-dir DIR       folder under --out that the base URL maps to (default:
                        the base URL's path, so serving --out as the document
                        root needs no further set-up)
  --notice URL          address of the news page the launcher shows
  --list-name NAME      name of the file-list package, before .HASH.zip
                        (default: filelist)
  --overlay CODE=DIR[:VERSION]
                        a language overlay: files under DIR replace or add to
                        the game folder's for launchers showing language CODE
                        (en, ja). May be given once per language. VERSION,
                        after the last ":", is this language's own overlay
                        version; a new text makes launchers of that language
                        check again
  --overlay-version TEXT
                        the version of overlays given without :VERSION
                        (default: --version)
  --dry-run             print the files that would be added, changed and
                        removed and the bytes a mirror would have to take;
                        write nothing
  --prune               delete the packages that none of the newest
                        --keep-releases releases names: those of removed
                        files and the old contents of changed ones (default:
                        keep them); removed files are listed either way
  --keep-releases N     releases whose packages --prune keeps, this one
                        included, for launchers still updating from an
                        earlier version file (default: 2)
  --rehash              read and hash every file, even one whose size and
                        time match the last run (files replaced with cp -p
                        or built with fixed times); a file whose inode
                        changed after the last run is hashed anyway
  --jobs N              threads that deflate, one package each (default: one
                        per core)
  --exclude GLOB        leave out files matching GLOB (may be repeated): a
                        GLOB without "/" is matched against each file's own
                        name (Thumbs.db, desktop.ini, *.pdb), one with "/"
                        against its path; letter case is ignored
  --max-install-path N  the longest install folder players may have, in
                        characters (default: 100); a file whose path would
                        then reach Windows' 260 is refused
  --json                print the summary as one JSON object (for CI)
  --signing-key KEYFILE sign the release: writes version/release.HASH (HASH:
                        the version file's) naming the size and SHA-256 of
                        every served byte. Every signed run takes the next
                        serial
  --valid-days N        days the signed release is valid (default: 30);
                        sign again before then
  -h, --help            this text

Verifying a mirror:
  norvik-publish verify URL [--against OUT] [--ca-file FILE] [--jobs N]
  URL                   where the tree's root is served, e.g.
                        https://mirror1.example.com (the version file is
                        URL/version/version); the "patch" value's host is
                        swapped for URL's, as launchers do for a mirror
  --against OUT         the --out of the publish: the mirror must serve its
                        version file and manifest, and the lists and packages
                        they name; a mirror still serving an older release
                        is reported as stale, first
  --ca-file FILE        PEM certificates to trust instead of the system's
  --jobs N              packages fetched at once (default: 4)
  --release-key HEX     a public key the release record must be signed with
                        (may be given more than once)
  Fetches the version file, the manifest, the lists and every package, and
  prints each one that is missing or whose size or SHA-256 differs from the
  manifest, and each listed package the manifest lacks. Exit status 0 when
  the mirror serves what was published, 1 otherwise, 2 on a usage mistake.
  Progress goes to standard error as when publishing. A signed release
  record is checked when served: its signature (against --release-key), its
  expiry, and that it names the version file, the lists and the packages
  exactly as the manifest does.

Making a signing key:
  norvik-publish keygen KEYFILE
  Writes a new Ed25519 key to KEYFILE (readable by its owner only, never
  over an existing file) and prints its public key, 64 hex digits. Keep
  KEYFILE offline, never on a mirror.

What is written (P = --out/--patch-dir):
  --out/version/version   the version file: lines "key=value", LF-ended, with
                          version, filelist, patch, notice (if given),
                          overlays (the codes, comma-separated) and per
                          overlay overlay_CODE_version and
                          overlay_CODE_filelist (= overlays/CODE/NAME.HASH)
  P/NAME.HASH.zip         the file list: a zip with one entry, the list text
  P/files/PATH.HASH.zip   one package per game file: a zip with one deflated
                          entry holding the file, at the file's own relative
                          PATH, dated 1980-01-01 so that its bytes follow from
                          name and content; HASH is 16 hex digits of the
                          content's SHA-256
  P/overlays/CODE/NAME.HASH.zip, P/overlays/CODE/files/PATH.HASH.zip
                          the same for each overlay
  --out/version/manifest  every package's SHA-256, size in bytes and path
                          under the base URL, one per line (for verify;
                          launchers do not read it)
  --out/.norvik-publish-state, .norvik-publish-releases/, .norvik-publish-lock
                          what each package was made from (size, time and
                          SHA-256 of its file), the packages of each release
                          (for --prune) and the run's lock; do not serve or
                          copy them

The list text has one LF-ended line per file with five columns separated by
the byte 0x03:
  1. the file's path relative to the game folder, "/"-separated
  2. its last-write time as the wall clock of UTC+9, YYYYMMDDhhmmss; the
     launcher stamps the written file with this time (to the minute) and
     compares by it, so republishing an unchanged file changes nothing
  3. the file's size in KiB, rounded up (informational; the launcher keeps it
     but does not read it)
  4. 0 (reserved)
  5. the package path relative to the base URL (overlay: relative to
     overlays/CODE/), percent-encoded where the file's path holds anything
     but letters, digits and - . _ ~ /

Refused (nothing is written): file paths that are unsafe for the launcher
(".." parts, colons, control characters, names of devices such as CON or
NUL, names ending in dots or spaces) or that Windows cannot hold (< > " | ? *
or a backslash, COM0, LPT0, COM and LPT with a superscript digit, names that
are not UTF-8); two paths that Windows takes for one file or folder, letter
case compared by Unicode case folding ("É.dat" and "é.dat"), within a folder
or between an overlay and the game; files of 4 GiB or more; times before 1601
or after 9999.

Republishing into the same --out deflates only files whose content changed:
a file of the same size and time as last time keeps its package unread, one
whose time alone moved is hashed and keeps its package when its content is the
same. Packages changed or lost since the last run are made again.

Packages and lists are named by their content (16 hex digits of its SHA-256
before ".zip"), so a URL never serves other bytes than it once did. They are
written first, then the lists, then the manifest, then the version file, each
under a temporary name (".norvik-publish-tmp"), flushed and renamed into
place: until the new version file is in place, all the served one leads to is
the previous release, also after a run that failed or was killed. Mirrors
copy in the same order: packages, lists, then version/. A second run into
the same --out is refused while one runs. Temporary files an interrupted run
left are removed (only these names); --prune deletes packages only after the
new version file is in place, and never one the newest --keep-releases
releases name.

A file touched but unchanged keeps its published time. A change under the
version already published (--version, or an overlay's version) is refused,
naming the files. A change within the minute already published is listed a
minute later, as list times have minute resolution.

Progress (files and bytes) goes to standard error: one line redrawn in place
on a terminal, a line every 10 s otherwise.
)";
}
