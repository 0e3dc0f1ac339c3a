#include "publisher/ServerTree.h"

#include "publisher/GameFolderScan.h"
#include "publisher/Manifest.h"
#include "publisher/OutputLock.h"
#include "publisher/PackageChanges.h"
#include "publisher/PackageWriter.h"
#include "publisher/ParallelRun.h"
#include "publisher/PublishState.h"
#include "publisher/ReleaseHistory.h"
#include "publisher/Sha256.h"
#include "publisher/SignedRelease.h"
#include "publisher/VersionGuard.h"
#include "update/formats/FileListWriter.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace
{
struct PlannedList
{
    // "game" or "overlay CODE".
    std::string label;
    fs::path folder;
    // Relative to the patch folder, without ".zip".
    std::string listName;
    // "" or "overlays/CODE/": what the launcher puts before the list's package paths.
    std::string urlBase;
    std::vector<PublishedFile> files;
};

// The lists are dated with the newest file they carry (the entry date is not
// read by the launcher; this only keeps repeated runs byte-identical).
uint64_t NewestTime(const std::vector<FileEntry>& entries)
{
    uint64_t newest = 0;
    for (const FileEntry& entry : entries)
        newest = std::max(newest, entry.time);
    return newest;
}

std::string BaseName(const std::string& name)
{
    return name.substr(name.rfind('/') + 1);
}

std::string KeyOf(const fs::path& outputFolder, const fs::path& file)
{
    // The same package whatever way --patch-dir was spelled.
    return file.lexically_normal()
        .lexically_relative(outputFolder.lexically_normal())
        .generic_string();
}

// Which list a state key not published any more belonged to, for the report.
PublishReport::File DescribeRemoved(const std::string& keyInPatchFolder, uint64_t size)
{
    auto fileName = [](std::string_view path) -> std::string
    {
        if (path.ends_with(".zip"))
            path.remove_suffix(4);
        return std::string(path);
    };
    std::string_view key = keyInPatchFolder;
    if (key.starts_with("files/"))
        return {"game", fileName(key.substr(6)), size};
    if (key.starts_with("overlays/"))
    {
        const size_t codeEnd = key.find('/', 9);
        if (codeEnd != std::string_view::npos && key.substr(codeEnd + 1).starts_with("files/"))
            return {"overlay " + std::string(key.substr(9, codeEnd - 9)),
                    fileName(key.substr(codeEnd + 7)), size};
    }
    return {"list", std::string(key), size};
}

// Temporary files this publisher leaves when it is stopped mid-write; no
// other name, so a file an operator or a sync tool keeps there is left alone.
std::vector<fs::path> LeftoverParts(const fs::path& outputFolder, const fs::path& patchFolder)
{
    std::vector<fs::path> parts;
    auto take = [&](const fs::directory_entry& item)
    {
        if (item.is_regular_file() && item.path().filename().string().ends_with(kTemporarySuffix))
            parts.push_back(item.path());
    };
    std::error_code error;
    if (fs::is_directory(patchFolder, error))
        for (const auto& item : fs::recursive_directory_iterator(patchFolder))
            take(item);
    for (const fs::path& folder :
         {outputFolder, outputFolder / "version", outputFolder / ".norvik-publish-releases"})
        for (const auto& item : fs::directory_iterator(folder, error))
            take(item);
    std::sort(parts.begin(), parts.end());
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    return parts;
}

std::string ReadFileOrEmpty(const fs::path& file)
{
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), {}};
}

// --out inside a folder it publishes would publish itself on the next run.
void RefuseOutputInsideASource(const PublishOptions& options)
{
    const fs::path out = fs::weakly_canonical(options.outputFolder);
    std::vector<fs::path> sources = {options.gameFolder};
    for (const OverlaySource& overlay : options.overlays)
        sources.push_back(overlay.folder);
    for (const fs::path& source : sources)
    {
        std::error_code error;
        const fs::path folder = fs::canonical(source, error);
        if (error)
            continue;
        const auto [end, at] = std::mismatch(folder.begin(), folder.end(), out.begin(), out.end());
        if (end == folder.end())
            throw FolderRefused(fmt::format("--out {} is inside {}, which it publishes",
                                            options.outputFolder.string(), source.string()));
    }
}

std::vector<PlannedList> ScanLists(const PublishOptions& options, const fs::path& patchFolder,
                                   std::vector<std::string>& warnings)
{
    RefuseOutputInsideASource(options);
    std::vector<PlannedList> plans;
    const ScanRules rules{options.maxInstallPath, options.excludes};
    plans.push_back({"game", patchFolder, options.listName, "",
                     ScanGameFolder(options.gameFolder, rules, &warnings)});
    for (const OverlaySource& overlay : options.overlays)
    {
        // The launcher takes the overlay's folder from its list's path.
        const std::string base = "overlays/" + overlay.code + "/";
        plans.push_back({"overlay " + overlay.code, patchFolder / base, base + options.listName,
                         base, ScanGameFolder(overlay.folder, rules, &warnings)});
        RefuseOverlayClashes(plans.front().files, plans.back().files, overlay.folder);
    }
    return plans;
}
constexpr uint64_t kListMinute = 60ull * 10'000'000;

// The first 16 hex digits of the content's SHA-256, put into the package's
// name: a URL never serves two different contents, so a player or a cache
// that has an old list never gets new bytes under it.
std::string ContentTag(const std::string& sha256)
{
    return sha256.substr(0, 16);
}

// The packages of the game's and the overlays' files, in list order, before
// their content is known.
std::vector<Package> FilePackages(const std::vector<PlannedList>& plans, const fs::path& out,
                                  const PublishState& state)
{
    std::vector<Package> files;
    for (const PlannedList& plan : plans)
    {
        for (const PublishedFile& file : plan.files)
        {
            Package package;
            package.list = plan.label;
            package.name = file.entry.name;
            package.key = KeyOf(out, plan.folder / "files" / file.entry.name);
            package.sourceSize = file.size;
            package.sourceModifiedNs = file.modifiedNs;
            if (const auto old = state.packages.find(package.key); old != state.packages.end())
                package.file = out / old->second.packagePath;
            files.push_back(std::move(package));
        }
    }
    return files;
}

// Names each file's package by its content and dates its list entry: a
// kept package keeps its published time, so a file touched but unchanged
// is not fetched again; a changed file whose time is in the minute already
// published gets the next minute, as list times have minute resolution.
// Fills the result's lists and the lists' texts.
void NameFilePackages(const std::vector<PlannedList>& plans, std::vector<Package>& files,
                      const fs::path& out, const PublishState& state, const PublishOptions& options,
                      PublishResult& result, std::vector<std::string>& listTexts)
{
    size_t n = 0;
    for (size_t i = 0; i < plans.size(); ++i)
    {
        const PlannedList& plan = plans[i];
        PublishedList list{plan.listName, {}};
        std::string text;
        for (const PublishedFile& file : plan.files)
        {
            Package& package = files[n++];
            FileEntry entry = file.entry;
            const auto old = state.packages.find(package.key);
            // A package lost or damaged since is made again from the same content.
            if (old != state.packages.end() &&
                old->second.sourceSha256 == package.record.sourceSha256)
                entry.time = old->second.listTime;
            else if (old != state.packages.end() &&
                     entry.time / kListMinute == old->second.listTime / kListMinute)
            {
                entry.time = (old->second.listTime / kListMinute + 1) * kListMinute;
                result.report.laterMinute.push_back({plan.label, entry.name, file.size});
            }
            const std::string tag = ContentTag(package.record.sourceSha256);
            entry.packagePath = "files/" + PercentEncodePath(entry.name) + "." + tag + ".zip";
            package.urlPath = plan.urlBase + entry.packagePath;
            if (NeedsWriting(package))
                package.file = plan.folder / "files" / (entry.name + "." + tag + ".zip");
            package.record.listTime = entry.time;
            package.record.packagePath = KeyOf(out, package.file);
            text += FormatFileListLine(entry);
            list.entries.push_back(std::move(entry));
        }
        listTexts.push_back(std::move(text));
        if (i == 0)
            result.main = std::move(list);
        else
            result.overlays.emplace(options.overlays[i - 1].code, std::move(list));
    }
}

// The lists are packages too, named by their text's content.
std::vector<Package> ListPackages(const std::vector<PlannedList>& plans,
                                  const std::vector<std::string>& listTexts, const fs::path& out,
                                  const fs::path& patchFolder, const PublishState& state,
                                  PublishResult& result)
{
    std::vector<Package> lists;
    for (size_t i = 0; i < plans.size(); ++i)
    {
        Package list;
        list.list = "list";
        list.key = KeyOf(out, patchFolder / plans[i].listName);
        list.sourceSize = listTexts[i].size();
        if (const auto old = state.packages.find(list.key); old != state.packages.end())
            list.file = out / old->second.packagePath;
        const std::string textSha256 = Sha256Hex(listTexts[i]);
        // A list has no time of its own: its text is compared every time.
        DecideChange(
            list, state, [&] { return textSha256; }, false);
        const std::string name = plans[i].listName + "." + ContentTag(textSha256);
        list.name = name + ".zip";
        list.urlPath = list.name;
        if (NeedsWriting(list))
        {
            list.file = patchFolder / list.name;
            list.record.sourceSha256 = textSha256;
        }
        list.record.packagePath = KeyOf(out, list.file);
        (i == 0 ? result.main : result.overlays.at(plans[i].label.substr(8))).listName = name;
        lists.push_back(std::move(list));
    }
    return lists;
}

// What the launcher of a player on the previous release fetches: every file
// whose list time is not the one it was stamped with.
void CountDownloads(const std::vector<Package>& files, const PublishState& state,
                    PublishReport& report)
{
    for (const Package& package : files)
    {
        const auto old = state.packages.find(package.key);
        if (old != state.packages.end() && old->second.listTime == package.record.listTime)
            continue;
        PublishReport::Download& download =
            package.list == "game" ? report.previousReleaseDownload
                                   : report.previousOverlayDownload[package.list.substr(8)];
        ++download.files;
        download.bytes += NeedsWriting(package) && package.record.packageSize == 0
                              ? package.sourceSize
                              : package.record.packageSize;
    }
}

void CountChanges(const std::vector<Package>& files, PublishReport& report)
{
    for (const Package& package : files)
    {
        if (package.change == Change::Added)
            report.added.push_back({package.list, package.name, package.sourceSize});
        else if (package.change == Change::Changed)
            report.changed.push_back({package.list, package.name, package.sourceSize});
        else if (package.change == Change::Redated)
            ++report.redated;
        else
            ++report.unchanged;
        if (NeedsWriting(package))
        {
            ++report.packagesWritten;
            report.bytesDeflated += package.sourceSize;
        }
    }
}

// Deflates every file that needs a new package, one package per thread,
// largest first so that the last to finish is a small one.
void WriteFilePackages(std::vector<Package>& files,
                       const std::vector<const PublishedFile*>& sources, uint64_t bytes,
                       unsigned jobs, ProgressStyle progress)
{
    std::vector<size_t> toWrite;
    for (size_t i = 0; i < files.size(); ++i)
    {
        if (NeedsWriting(files[i]))
            toWrite.push_back(i);
    }
    std::sort(toWrite.begin(), toWrite.end(),
              [&](size_t a, size_t b) { return files[a].sourceSize > files[b].sourceSize; });
    ProgressMeter meter("deflating", toWrite.size(), bytes, progress);
    RunInParallel(toWrite.size(), jobs,
                  [&](size_t n)
                  {
                      Package& package = files[toWrite[n]];
                      const PublishedFile& source = *sources[toWrite[n]];
                      Sha256 hash;
                      // Dated 1980-01-01 (the launcher takes times from the list), so
                      // its bytes follow from name and content alone: a file changed
                      // back to an earlier content rewrites that package unchanged.
                      WriteFilePackage(source.source, package.file, BaseName(source.entry.name), 0,
                                       [&](std::string_view piece)
                                       {
                                           hash.Update(piece);
                                           meter.AddBytes(piece.size());
                                       });
                      RecordWrittenPackage(package, hash.Hex());
                      meter.FileDone();
                  });
}

// The patch folder as the state's keys begin ("" for --out itself).
std::string PatchKey(const fs::path& patchFolder)
{
    std::string key = patchFolder.lexically_normal().generic_string();
    while (key.ends_with("/"))
        key.pop_back();
    return key == "." ? "" : key;
}
} // namespace

std::string FormatVersionFile(const PublishOptions& options, const PublishResult& result)
{
    std::string text = fmt::format("version={}\nfilelist={}\npatch={}\n", options.version,
                                   result.main.listName, options.baseUrl);
    if (!options.notice.empty())
        text += fmt::format("notice={}\n", options.notice);
    if (!result.overlays.empty())
    {
        std::string codes;
        for (const auto& [code, list] : result.overlays)
            codes += (codes.empty() ? "" : ",") + code;
        text += fmt::format("overlays={}\n", codes);
        for (const auto& [code, list] : result.overlays)
        {
            const std::string version = OverlayVersion(options, code);
            text += fmt::format("overlay_{}_version={}\noverlay_{}_filelist={}\n", code, version,
                                code, list.listName);
        }
    }
    return text;
}

namespace
{
// The publish state's own time, or nothing when there is none: a file whose
// inode changed after it may hold other bytes under the same size and time.
std::optional<int64_t> StateTime(const fs::path& out)
{
    std::error_code error;
    if (!fs::is_regular_file(PublishStateFile(out), error))
        return std::nullopt;
    return FileModifiedNs(PublishStateFile(out));
}
} // namespace

std::string OverlayVersion(const PublishOptions& options, const std::string& code)
{
    const auto source = std::find_if(options.overlays.begin(), options.overlays.end(),
                                     [&](const OverlaySource& o) { return o.code == code; });
    return source != options.overlays.end() && !source->version.empty() ? source->version
           : !options.overlayVersion.empty()                            ? options.overlayVersion
                                                                        : options.version;
}

PublishResult PublishServerTree(const PublishOptions& options, ProgressStyle progress)
{
    const fs::path& out = options.outputFolder;
    const fs::path patchFolder = out / options.patchFolder;
    PublishResult result;
    PublishReport& report = result.report;
    const std::vector<PlannedList> plans = ScanLists(options, patchFolder, report.warnings);
    // A key that cannot be used stops the run before anything is written.
    std::optional<Ed25519Key> signingKey;
    if (!options.signingKey.empty())
    {
        signingKey.emplace(Ed25519Key::Load(options.signingKey));
        LastReleaseSerial(out);
    }
    std::optional<OutputLock> lock;
    if (!options.dryRun)
        lock.emplace(out);
    const PublishState state = LoadPublishState(out);
    const std::optional<int64_t> stateTime = StateTime(out);

    report.stateLinesSkipped = state.skippedLines;
    std::vector<Package> files = FilePackages(plans, out, state);
    std::vector<const PublishedFile*> sources;
    for (const PlannedList& plan : plans)
        for (const PublishedFile& file : plan.files)
            sources.push_back(&file);
    {
        // Files whose time alone moved are hashed, on every core; so is every
        // file to be packed, whose package is named by its content.
        ProgressMeter meter("checking", files.size(), 0, progress);
        RunInParallel(files.size(), options.jobs,
                      [&](size_t i)
                      {
                          std::string sha256;
                          auto hash = [&]
                          {
                              if (sha256.empty())
                                  sha256 = Sha256OfFile(sources[i]->source);
                              return sha256;
                          };
                          const bool timeProvesContent =
                              !options.rehash && stateTime && sources[i]->changedNs < *stateTime;
                          DecideChange(files[i], state, hash, timeProvesContent);
                          if (NeedsWriting(files[i]))
                              files[i].record.sourceSha256 = hash();
                          meter.FileDone();
                      });
    }
    std::vector<std::string> listTexts;
    NameFilePackages(plans, files, out, state, options, result, listTexts);
    std::vector<Package> lists = ListPackages(plans, listTexts, out, patchFolder, state, result);
    CountChanges(files, report);

    std::set<std::string> publishedKeys;
    for (const std::vector<Package>* group : {&files, &lists})
        for (const Package& package : *group)
            publishedKeys.insert(package.key);
    const std::string patchKey = PatchKey(options.patchFolder);
    for (const auto& [key, record] : state.packages)
    {
        const bool inPatchFolder = patchKey.empty() || key.starts_with(patchKey + "/");
        if (inPatchFolder && !publishedKeys.count(key))
            report.removed.push_back(DescribeRemoved(
                patchKey.empty() ? key : key.substr(patchKey.size() + 1), record.sourceSize));
    }
    const std::string oldVersionFile = ReadFileOrEmpty(out / "version" / "version");
    RefuseChangesUnderAnOldVersion(options, result, lists, state, oldVersionFile);
    const std::vector<fs::path> parts = LeftoverParts(out, patchFolder);
    report.partFilesRemoved = parts.size();
    result.versionFileText = FormatVersionFile(options, result);
    const bool versionFileChanges = result.versionFileText != oldVersionFile;
    std::set<std::string> release;
    for (const std::vector<Package>* group : {&files, &lists})
        for (const Package& package : *group)
            release.insert(package.record.packagePath);

    if (options.dryRun)
    {
        report.uploadBytes = report.bytesDeflated;
        for (const Package& list : lists)
            report.uploadBytes += NeedsWriting(list) ? list.sourceSize : 0;
        report.uploadBytes += versionFileChanges ? result.versionFileText.size() : 0;
        if (options.prune)
            report.pruned =
                PruneReleases(out, options.patchFolder, options.keepReleases, true, &release);
        CountDownloads(files, state, report);
        return result;
    }

    for (const fs::path& part : parts)
        fs::remove(part);
    // Packages, then lists, then the manifest, then the version file: each
    // step names only what the steps before it have put in place.
    WriteFilePackages(files, sources, report.bytesDeflated, options.jobs, progress);
    for (size_t i = 0; i < lists.size(); ++i)
    {
        if (!NeedsWriting(lists[i]))
            continue;
        const PublishedList& list =
            i == 0 ? result.main : result.overlays.at(options.overlays[i - 1].code);
        WriteTextPackage(listTexts[i], lists[i].file, BaseName(plans[i].listName) + ".txt",
                         NewestTime(list.entries));
        RecordWrittenPackage(lists[i], lists[i].record.sourceSha256);
    }

    PublishState saved;
    Manifest manifest;
    for (const std::vector<Package>* group : {&files, &lists})
    {
        for (const Package& package : *group)
        {
            saved.packages[package.key] = package.record;
            manifest[package.urlPath] = {package.record.packageSize, package.record.packageSha256};
            if (NeedsWriting(package))
                report.uploadBytes += package.record.packageSize;
        }
    }
    CountDownloads(files, state, report);
    const std::string manifestText = FormatManifest(manifest);
    if (manifestText != ReadFileOrEmpty(out / kManifestPath))
    {
        WriteFileAtomically(out / kManifestPath, manifestText);
        report.uploadBytes += manifestText.size();
    }
    // The record goes in before the version file that leads to it: it is
    // named by that version file's hash, so a launcher that still reads the
    // old version file finds the old record.
    if (signingKey)
    {
        const fs::path record = WriteSignedRelease(
            out, *signingKey, BuildReleaseRecord(files, lists, result.versionFileText),
            options.validDays);
        report.uploadBytes += fs::file_size(record);
    }
    report.uploadBytes += versionFileChanges ? result.versionFileText.size() : 0;
    if (versionFileChanges)
        WriteFileAtomically(out / "version" / "version", result.versionFileText);
    RecordRelease(out, release);

    // Only once the new version file no longer names them, and never what a
    // launcher that read one of the last few version files may still fetch.
    if (options.prune)
        report.pruned = PruneReleases(out, options.patchFolder, options.keepReleases, false);
    for (const auto& [key, record] : state.packages)
    {
        if (!publishedKeys.count(key) && !options.prune)
            saved.packages[key] = record;
    }
    SavePublishState(out, saved);
    return result;
}
