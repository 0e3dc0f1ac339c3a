#include "publisher/VersionGuard.h"

#include "update/formats/VersionFileText.h"

#include <algorithm>
#include <fmt/format.h>
#include <map>
#include <stdexcept>

void RefuseChangesUnderAnOldVersion(const PublishOptions& options, const PublishResult& result,
                                    const std::vector<Package>& lists, const PublishState& state,
                                    const std::string& oldVersionFile)
{
    std::map<std::string, std::string> old;
    for (const VersionFileLine& line : ReadVersionFileLines(oldVersionFile))
        old[line.key] = line.value;
    std::vector<std::string> problems;
    for (size_t i = 0; i < lists.size(); ++i)
    {
        const auto record = state.packages.find(lists[i].key);
        if (record == state.packages.end() ||
            record->second.sourceSha256 == lists[i].record.sourceSha256)
            continue;
        const std::string label = i == 0 ? "game" : "overlay " + options.overlays[i - 1].code;
        const std::string version =
            i == 0 ? options.version : OverlayVersion(options, options.overlays[i - 1].code);
        const std::string oldKey =
            i == 0 ? "version" : "overlay_" + options.overlays[i - 1].code + "_version";
        if (!old.count(oldKey) || old[oldKey] != version)
            continue;
        std::vector<std::string> names;
        for (const auto* group :
             {&result.report.added, &result.report.changed, &result.report.removed})
            for (const PublishReport::File& file : *group)
                if (file.list == label)
                    names.push_back(file.name);
        std::sort(names.begin(), names.end());
        std::string text = fmt::format("the {} files changed but its version {} is the one already "
                                       "published, so launchers would not fetch them ({}); give "
                                       "a new {}",
                                       label, version, fmt::join(names, ", "),
                                       i == 0 ? "--version" : "overlay version");
        problems.push_back(text);
    }
    if (!problems.empty())
        throw std::runtime_error(fmt::format("{}", fmt::join(problems, "\n")));
}
