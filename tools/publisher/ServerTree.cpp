#include "ServerTree.h"

#include "GameFolderScan.h"
#include "PackageWriter.h"
#include "update/formats/FileListWriter.h"

#include <algorithm>
#include <fmt/format.h>

namespace
{
struct PlannedList
{
    std::filesystem::path folder;
    std::string listName;
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
        const std::string& overlayVersion =
            options.overlayVersion.empty() ? options.version : options.overlayVersion;
        for (const auto& [code, list] : result.overlays)
            text += fmt::format("overlay_{}_version={}\noverlay_{}_filelist={}\n", code,
                                overlayVersion, code, list.listName);
    }
    return text;
}

PublishResult PublishServerTree(const PublishOptions& options)
{
    const std::filesystem::path patchFolder = options.outputFolder / options.patchFolder;
    std::vector<PlannedList> plans;
    plans.push_back({patchFolder, options.listName, ScanGameFolder(options.gameFolder)});
    for (const OverlaySource& overlay : options.overlays)
    {
        // The launcher takes the overlay's folder from its list's path.
        const std::string base = "overlays/" + overlay.code + "/";
        plans.push_back(
            {patchFolder / base, base + options.listName, ScanGameFolder(overlay.folder)});
        RefuseOverlayClashes(plans.front().files, plans.back().files, overlay.folder);
    }

    PublishResult result;
    for (size_t i = 0; i < plans.size(); ++i)
    {
        const PlannedList& plan = plans[i];
        std::string text;
        PublishedList list{plan.listName, {}};
        for (const PublishedFile& file : plan.files)
        {
            WriteFilePackage(file.source, plan.folder / "files" / (file.entry.name + ".zip"),
                             BaseName(file.entry.name), file.entry.time);
            text += FormatFileListLine(file.entry);
            list.entries.push_back(file.entry);
        }
        WriteTextPackage(text, patchFolder / (plan.listName + ".zip"),
                         BaseName(plan.listName) + ".txt", NewestTime(plan.files));
        if (i == 0)
            result.main = std::move(list);
        else
            result.overlays.emplace(options.overlays[i - 1].code, std::move(list));
    }
    result.versionFileText = FormatVersionFile(options, result);
    WriteFileAtomically(options.outputFolder / "version" / "version", result.versionFileText);
    return result;
}
