#include "publisher/PublishSummary.h"

#include "publisher/PublishState.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace
{
std::string FileLines(const char* what, const std::vector<PublishReport::File>& files,
                      const char* note = "")
{
    std::string text;
    for (const PublishReport::File& file : files)
        text += fmt::format("  {:<8} {} {} ({} bytes){}\n", what, file.list, file.name, file.size,
                            note);
    return text;
}

std::string JsonText(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text)
    {
        if (c == '"' || c == '\\')
            quoted += fmt::format("\\{}", c);
        else if (static_cast<unsigned char>(c) < 0x20)
            quoted += fmt::format("\\u{:04x}", static_cast<unsigned char>(c));
        else
            quoted += c;
    }
    return quoted + "\"";
}

std::string JsonFiles(const std::vector<PublishReport::File>& files)
{
    std::vector<std::string> items;
    for (const PublishReport::File& file : files)
        items.push_back(fmt::format("{{\"list\":{},\"name\":{},\"size\":{}}}", JsonText(file.list),
                                    JsonText(file.name), file.size));
    return fmt::format("[{}]", fmt::join(items, ","));
}

std::string JsonTexts(const std::vector<std::string>& texts)
{
    std::vector<std::string> items;
    for (const std::string& text : texts)
        items.push_back(JsonText(text));
    return fmt::format("[{}]", fmt::join(items, ","));
}

std::string RemovedNote(const PublishOptions& options)
{
    if (options.prune)
        return options.dryRun ? "; --prune would delete its package" : "; package deleted";
    return "; package kept, --prune deletes it";
}
} // namespace

std::string FormatPublishSummary(const PublishOptions& options, const PublishResult& result,
                                 double seconds)
{
    const PublishReport& r = result.report;
    std::string text;
    // A first publish adds every file: only a preview names them.
    if (options.dryRun)
    {
        text += fmt::format("dry run for version {}: nothing was written\n", options.version);
        text += FileLines("added", r.added);
        text += FileLines("changed", r.changed);
        text += FileLines("removed", r.removed, RemovedNote(options).c_str());
    }
    text += fmt::format("files: {} added, {} changed, {} removed, {} unchanged ({} of them with "
                        "a new time only)\n",
                        r.added.size(), r.changed.size(), r.removed.size(), r.unchanged + r.redated,
                        r.redated);
    for (const std::string& warning : r.warnings)
        text += "warning: " + warning + "\n";
    if (!r.laterMinute.empty())
        text += fmt::format("{} changed file(s) dated in the minute already published get the "
                            "next minute, so that launchers fetch them:\n",
                            r.laterMinute.size()) +
                FileLines("later", r.laterMinute);
    if (r.stateLinesSkipped != 0)
        text += fmt::format("{} unreadable line(s) of {} skipped: their packages count as new\n",
                            r.stateLinesSkipped, PublishStateFile(options.outputFolder).string());
    if (r.partFilesRemoved != 0)
        text += fmt::format("{} {} temporary file(s) of an interrupted run\n",
                            options.dryRun ? "would remove" : "removed", r.partFilesRemoved);
    if (options.dryRun)
    {
        text += fmt::format("to upload: at most {} bytes ({} package(s) at their files' size "
                            "before deflating, changed lists, the version file)\n",
                            r.uploadBytes, r.packagesWritten);
        return text;
    }
    text += fmt::format("deflated {} package(s), {} bytes of files, in {:.1f} s\n",
                        r.packagesWritten, r.bytesDeflated, seconds);
    if (!r.removed.empty())
        text += options.prune
                    ? fmt::format("pruned {} package(s) of removed files\n", r.pruned.size())
                    : fmt::format("kept {} package(s) of removed files (--prune "
                                  "deletes them)\n",
                                  r.removed.size());
    text += fmt::format("to upload: {} bytes (new packages, changed lists, manifest, version "
                        "file)\n",
                        r.uploadBytes);
    text += fmt::format("a player on the previous release downloads {} file(s), {} bytes\n",
                        r.previousReleaseDownload.files, r.previousReleaseDownload.bytes);
    for (const auto& [code, download] : r.previousOverlayDownload)
        text += fmt::format("  and with overlay {}: {} file(s), {} bytes\n", code, download.files,
                            download.bytes);
    text += fmt::format("published version {}: {} files in {}.zip\n", options.version,
                        result.main.entries.size(), result.main.listName);
    for (const auto& [code, list] : result.overlays)
        text += fmt::format("  overlay {}: {} files in {}.zip\n", code, list.entries.size(),
                            list.listName);
    text +=
        fmt::format("version file: {}\n", (options.outputFolder / "version" / "version").string());
    return text;
}

std::string FormatPublishJson(const PublishOptions& options, const PublishResult& result,
                              double seconds)
{
    const PublishReport& r = result.report;
    std::vector<std::string> overlays;
    for (const auto& [code, download] : r.previousOverlayDownload)
        overlays.push_back(fmt::format("{}:{{\"files\":{},\"bytes\":{}}}", JsonText(code),
                                       download.files, download.bytes));
    return fmt::format(
        "{{\"version\":{},\"dryRun\":{},\"seconds\":{:.3f},\"added\":{},\"changed\":{},"
        "\"removed\":{},\"unchanged\":{},\"redated\":{},\"laterMinute\":{},"
        "\"packagesWritten\":{},\"bytesDeflated\":{},\"uploadBytes\":{},\"pruned\":{},"
        "\"warnings\":{},\"previousReleaseDownload\":{{\"files\":{},\"bytes\":{},"
        "\"overlays\":{{{}}}}},\"fileList\":{}}}\n",
        JsonText(options.version), options.dryRun, seconds, JsonFiles(r.added),
        JsonFiles(r.changed), JsonFiles(r.removed), r.unchanged + r.redated, r.redated,
        JsonFiles(r.laterMinute), r.packagesWritten, r.bytesDeflated, r.uploadBytes,
        JsonTexts(r.pruned), JsonTexts(r.warnings), r.previousReleaseDownload.files,
        r.previousReleaseDownload.bytes, fmt::join(overlays, ","), JsonText(result.main.listName));
}
