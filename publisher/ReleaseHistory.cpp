#include "publisher/ReleaseHistory.h"

#include "publisher/PackageWriter.h"

#include <algorithm>
#include <charconv>
#include <fmt/format.h>
#include <fstream>

namespace fs = std::filesystem;

namespace
{
fs::path HistoryFolder(const fs::path& outputFolder)
{
    return outputFolder / ".norvik-publish-releases";
}

// Numbered files, oldest first.
std::vector<std::pair<unsigned long, fs::path>> Releases(const fs::path& outputFolder)
{
    std::vector<std::pair<unsigned long, fs::path>> releases;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(HistoryFolder(outputFolder), error))
    {
        const std::string name = item.path().filename().string();
        unsigned long number = 0;
        const auto [end, failed] = std::from_chars(name.data(), name.data() + name.size(), number);
        if (failed == std::errc() && end == name.data() + name.size() && item.is_regular_file())
            releases.emplace_back(number, item.path());
    }
    std::sort(releases.begin(), releases.end());
    return releases;
}

std::set<std::string> ReadRelease(const fs::path& file)
{
    std::set<std::string> packages;
    std::ifstream input(file, std::ios::binary);
    for (std::string line; std::getline(input, line);)
    {
        if (!line.empty())
            packages.insert(line);
    }
    return packages;
}

// Only what this publisher could have written: a package inside the patch
// folder, named without "..", never a link.
bool IsOwnPackage(const std::string& path, const std::string& patchKey)
{
    if (!path.ends_with(".zip") || path.front() == '/' ||
        (!patchKey.empty() && !path.starts_with(patchKey + "/")))
        return false;
    for (const auto& part : fs::path(path))
    {
        if (part == ".." || part == "." || part.empty())
            return false;
    }
    return true;
}

void RemoveWithEmptyFolders(const fs::path& file, const fs::path& stop)
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
} // namespace

void RecordRelease(const fs::path& outputFolder, const std::set<std::string>& packages)
{
    const auto releases = Releases(outputFolder);
    if (!releases.empty() && ReadRelease(releases.back().second) == packages)
        return;
    std::string text;
    for (const std::string& package : packages)
        text += package + "\n";
    const unsigned long next = releases.empty() ? 1 : releases.back().first + 1;
    WriteFileAtomically(HistoryFolder(outputFolder) / fmt::format("{:08}", next), text);
}

std::vector<std::string> PruneReleases(const fs::path& outputFolder, const fs::path& patchFolder,
                                       size_t keep, bool dryRun,
                                       const std::set<std::string>* pending)
{
    auto releases = Releases(outputFolder);
    std::set<std::string> kept;
    if (pending && keep > 0)
    {
        kept = *pending;
        if (!releases.empty() && ReadRelease(releases.back().second) == *pending)
            releases.pop_back();
        --keep;
    }
    if (releases.size() <= keep)
        return {};
    for (size_t i = releases.size() - keep; i < releases.size(); ++i)
        kept.merge(ReadRelease(releases[i].second));
    std::string patchKey = patchFolder.lexically_normal().generic_string();
    while (patchKey.ends_with("/"))
        patchKey.pop_back();
    if (patchKey == ".")
        patchKey.clear();
    std::set<std::string> doomed;
    for (size_t i = 0; i + keep < releases.size(); ++i)
    {
        for (const std::string& package : ReadRelease(releases[i].second))
        {
            const fs::path file = outputFolder / package;
            std::error_code error;
            if (!kept.count(package) && IsOwnPackage(package, patchKey) &&
                fs::symlink_status(file, error).type() == fs::file_type::regular)
                doomed.insert(package);
        }
    }
    if (!dryRun)
    {
        for (const std::string& package : doomed)
            RemoveWithEmptyFolders(outputFolder / package, outputFolder / patchFolder);
        for (size_t i = 0; i + keep < releases.size(); ++i)
            fs::remove(releases[i].second);
    }
    return {doomed.begin(), doomed.end()};
}
