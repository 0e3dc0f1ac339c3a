#include "publisher/ServerTree.h"

#include "publisher/GameFolderScan.h"
#include "publisher/Manifest.h"
#include "publisher/PackageChanges.h"
#include "publisher/PackageWriter.h"
#include "publisher/ParallelRun.h"
#include "publisher/PublishState.h"
#include "publisher/Sha256.h"
#include "update/formats/FileListWriter.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
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
uint64_t NewestTime(const std::vector<PublishedFile>& files)
{
    uint64_t newest = 0;
    for (const PublishedFile& file : files)
        newest = std::max(newest, file.entry.time);
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

// Temporary files this publisher leaves when it is stopped mid-write.
std::vector<fs::path> LeftoverParts(const fs::path& outputFolder, const fs::path& patchFolder)
{
    std::vector<fs::path> parts;
    auto collect = [&](const fs::path& folder, bool recursive)
    {
        std::error_code error;
        if (!fs::is_directory(folder, error))
            return;
        auto take = [&](const fs::directory_entry& item)
        {
            if (item.is_regular_file() && item.path().extension() == ".part")
                parts.push_back(item.path());
        };
        if (recursive)
            for (const auto& item : fs::recursive_directory_iterator(folder))
                take(item);
        else
            for (const auto& item : fs::directory_iterator(folder))
                take(item);
    };
    collect(patchFolder, true);
    collect(outputFolder / "version", false);
    if (fs::exists(PublishStateFile(outputFolder).string() + ".part"))
        parts.push_back(PublishStateFile(outputFolder).string() + ".part");
    std::sort(parts.begin(), parts.end());
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    return parts;
}

std::string ReadFileOrEmpty(const fs::path& file)
{
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), {}};
}

// Removes a pruned package and the folders it leaves empty, up to `stop`.
void RemovePackage(const fs::path& file, const fs::path& stop)
{
    fs::remove(file);
    std::error_code error;
    for (fs::path folder = file.parent_path(); folder != stop && folder.has_relative_path();
         folder = folder.parent_path())
    {
        if (!fs::is_empty(folder, error) || error || !fs::remove(folder, error))
            break;
    }
}

std::vector<PlannedList> ScanLists(const PublishOptions& options, const fs::path& patchFolder)
{
    std::vector<PlannedList> plans;
    plans.push_back(
        {"game", patchFolder, options.listName, "", ScanGameFolder(options.gameFolder)});
    for (const OverlaySource& overlay : options.overlays)
    {
        // The launcher takes the overlay's folder from its list's path.
        const std::string base = "overlays/" + overlay.code + "/";
        plans.push_back({"overlay " + overlay.code, patchFolder / base, base + options.listName,
                         base, ScanGameFolder(overlay.folder)});
        RefuseOverlayClashes(plans.front().files, plans.back().files, overlay.folder);
    }
    return plans;
}
// The packages of the game's and the overlays' files, in list order; fills
// the result's lists and the lists' texts on the way.
std::vector<Package> FilePackages(const std::vector<PlannedList>& plans, const fs::path& out,
                                  const PublishOptions& options, PublishResult& result,
                                  std::vector<std::string>& listTexts)
{
    std::vector<Package> files;
    for (size_t i = 0; i < plans.size(); ++i)
    {
        const PlannedList& plan = plans[i];
        PublishedList list{plan.listName, {}};
        std::string text;
        for (const PublishedFile& file : plan.files)
        {
            Package package;
            package.list = plan.label;
            package.name = file.entry.name;
            package.file = plan.folder / "files" / (file.entry.name + ".zip");
            package.key = KeyOf(out, package.file);
            package.urlPath = plan.urlBase + file.entry.packagePath;
            package.sourceSize = file.size;
            package.sourceModifiedNs = file.modifiedNs;
            files.push_back(std::move(package));
            text += FormatFileListLine(file.entry);
            list.entries.push_back(file.entry);
        }
        listTexts.push_back(std::move(text));
        if (i == 0)
            result.main = std::move(list);
        else
            result.overlays.emplace(options.overlays[i - 1].code, std::move(list));
    }
    return files;
}

// The lists are packages too: rewritten when their text changed.
std::vector<Package> ListPackages(const std::vector<PlannedList>& plans,
                                  const std::vector<std::string>& listTexts, const fs::path& out,
                                  const fs::path& patchFolder, const PublishState& state)
{
    std::vector<Package> lists;
    for (size_t i = 0; i < plans.size(); ++i)
    {
        Package list;
        list.list = "list";
        list.name = plans[i].listName + ".zip";
        list.file = patchFolder / list.name;
        list.key = KeyOf(out, list.file);
        list.urlPath = list.name;
        list.sourceSize = listTexts[i].size();
        const std::string textSha256 = Sha256Hex(listTexts[i]);
        // A list has no time of its own: its text is compared every time.
        DecideChange(
            list, state, [&] { return textSha256; }, false);
        if (NeedsWriting(list))
            list.record.sourceSha256 = textSha256;
        lists.push_back(std::move(list));
    }
    return lists;
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
                      WriteFilePackage(source.source, package.file, BaseName(source.entry.name),
                                       source.entry.time,
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
            const auto source =
                std::find_if(options.overlays.begin(), options.overlays.end(),
                             [&](const OverlaySource& o) { return o.code == code; });
            const std::string& version =
                source != options.overlays.end() && !source->version.empty() ? source->version
                : !options.overlayVersion.empty() ? options.overlayVersion
                                                  : options.version;
            text += fmt::format("overlay_{}_version={}\noverlay_{}_filelist={}\n", code, version,
                                code, list.listName);
        }
    }
    return text;
}

PublishResult PublishServerTree(const PublishOptions& options, ProgressStyle progress)
{
    const fs::path& out = options.outputFolder;
    const fs::path patchFolder = out / options.patchFolder;
    const std::vector<PlannedList> plans = ScanLists(options, patchFolder);
    const PublishState state = LoadPublishState(out);

    PublishResult result;
    PublishReport& report = result.report;
    report.stateLinesSkipped = state.skippedLines;
    std::vector<std::string> listTexts;
    std::vector<Package> files = FilePackages(plans, out, options, result, listTexts);
    std::vector<const PublishedFile*> sources;
    for (const PlannedList& plan : plans)
        for (const PublishedFile& file : plan.files)
            sources.push_back(&file);
    {
        // Files whose time alone moved are hashed, on every core.
        ProgressMeter meter("checking", files.size(), 0, progress);
        RunInParallel(files.size(), options.jobs,
                      [&](size_t i)
                      {
                          DecideChange(files[i], state,
                                       [&] { return Sha256OfFile(sources[i]->source); });
                          meter.FileDone();
                      });
    }
    std::vector<Package> lists = ListPackages(plans, listTexts, out, patchFolder, state);
    CountChanges(files, report);

    std::set<std::string> publishedKeys;
    for (const std::vector<Package>* group : {&files, &lists})
        for (const Package& package : *group)
            publishedKeys.insert(package.key);
    const std::string patchKey = PatchKey(options.patchFolder);
    std::set<std::string> removedKeys;
    for (const auto& [key, record] : state.packages)
    {
        const bool inPatchFolder = patchKey.empty() || key.starts_with(patchKey + "/");
        if (inPatchFolder && !publishedKeys.count(key))
        {
            removedKeys.insert(key);
            report.removed.push_back(DescribeRemoved(
                patchKey.empty() ? key : key.substr(patchKey.size() + 1), record.sourceSize));
        }
    }
    const std::vector<fs::path> parts = LeftoverParts(out, patchFolder);
    report.partFilesRemoved = parts.size();
    if (options.prune)
        report.pruned.assign(removedKeys.begin(), removedKeys.end());
    result.versionFileText = FormatVersionFile(options, result);
    const bool versionFileChanges =
        result.versionFileText != ReadFileOrEmpty(out / "version" / "version");

    if (options.dryRun)
    {
        report.uploadBytes = report.bytesDeflated;
        for (const Package& list : lists)
            report.uploadBytes += NeedsWriting(list) ? list.sourceSize : 0;
        report.uploadBytes += versionFileChanges ? result.versionFileText.size() : 0;
        return result;
    }

    for (const fs::path& part : parts)
        fs::remove(part);
    WriteFilePackages(files, sources, report.bytesDeflated, options.jobs, progress);
    for (size_t i = 0; i < lists.size(); ++i)
    {
        if (!NeedsWriting(lists[i]))
            continue;
        WriteTextPackage(listTexts[i], lists[i].file, BaseName(plans[i].listName) + ".txt",
                         NewestTime(plans[i].files));
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
    const std::string manifestText = FormatManifest(manifest);
    if (manifestText != ReadFileOrEmpty(out / kManifestPath))
    {
        WriteFileAtomically(out / kManifestPath, manifestText);
        report.uploadBytes += manifestText.size();
    }
    report.uploadBytes += versionFileChanges ? result.versionFileText.size() : 0;
    WriteFileAtomically(out / "version" / "version", result.versionFileText);

    // Only once the new version file no longer names them.
    for (const auto& [key, record] : state.packages)
    {
        if (removedKeys.count(key) && options.prune)
            RemovePackage(out / key, patchFolder);
        else if (!publishedKeys.count(key))
            saved.packages[key] = record;
    }
    SavePublishState(out, saved);
    return result;
}
