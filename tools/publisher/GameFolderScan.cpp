#include "GameFolderScan.h"

#include "update/formats/FileListWriter.h"
#include "update/formats/SafePath.h"

#include <algorithm>
#include <fmt/format.h>
#include <map>
#include <sys/stat.h>

namespace
{
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr int64_t kListZoneSeconds = 9 * 3600;
// Beyond this the launcher's 32-bit size field wraps.
constexpr uint64_t kLargestFile = 0xFFFFFFFFull;

std::string AsciiLower(std::string text)
{
    for (char& c : text)
    {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

int32_t SizeInKiB(uint64_t size)
{
    return static_cast<int32_t>((size + 1023) / 1024);
}
} // namespace

uint64_t ListTimeOfUnixTime(int64_t seconds, uint32_t nanoseconds)
{
    const int64_t since1601 = seconds + kSecondsFrom1601To1970 + kListZoneSeconds;
    if (since1601 < 0)
        throw std::out_of_range("time before 1601");
    return static_cast<uint64_t>(since1601) * kTicksPerSecond + nanoseconds / 100;
}

std::string PercentEncodePath(std::string_view path)
{
    std::string encoded;
    for (char c : path)
    {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/')
            encoded += c;
        else
            encoded += fmt::format("%{:02X}", byte);
    }
    return encoded;
}

std::string WindowsNameProblem(std::string_view name)
{
    if (name.find_first_of("<>\"|?*") != std::string_view::npos)
        return "one of < > \" | ? * (Windows cannot hold it)";
    if (name.find('\\') != std::string_view::npos)
        return "a backslash (a folder separator on Windows)";
    size_t start = 0;
    while (start <= name.size())
    {
        const size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (!part.empty() && (part.back() == '.' || part.back() == ' '))
            return "a part ending in a dot or a space (Windows drops them)";
        start = end + 1;
    }
    return {};
}

std::vector<PublishedFile> ScanGameFolder(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    if (!fs::is_directory(folder))
        throw FolderRefused(fmt::format("{} is not a folder", folder.string()));

    std::vector<PublishedFile> files;
    std::vector<std::string> problems;
    std::map<std::string, std::string> byFoldedName;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it)
    {
        if (it->is_directory())
            continue;
        const std::string name = fs::relative(it->path(), folder).generic_string();
        if (!it->is_regular_file())
        {
            problems.push_back(fmt::format("{}: not a regular file", name));
            continue;
        }
        if (const auto reason = UnsafeListNameReason(name))
        {
            problems.push_back(fmt::format("{}: {}", name, *reason));
            continue;
        }
        if (const std::string problem = WindowsNameProblem(name); !problem.empty())
        {
            problems.push_back(fmt::format("{}: {}", name, problem));
            continue;
        }
        const auto [earlier, inserted] = byFoldedName.emplace(AsciiLower(name), name);
        if (!inserted)
        {
            problems.push_back(
                fmt::format("{}: same name as {} on Windows", name, earlier->second));
            continue;
        }

        struct stat info
        {
        };
        if (::stat(it->path().c_str(), &info) != 0)
        {
            problems.push_back(fmt::format("{}: cannot read its time", name));
            continue;
        }
        PublishedFile file;
        file.source = it->path();
        file.size = static_cast<uint64_t>(info.st_size);
        if (file.size > kLargestFile)
        {
            problems.push_back(fmt::format("{}: 4 GiB or more", name));
            continue;
        }
        try
        {
            file.entry.time = ListTimeOfUnixTime(info.st_mtim.tv_sec,
                                                 static_cast<uint32_t>(info.st_mtim.tv_nsec));
            FormatListDate(file.entry.time);
        }
        catch (const std::out_of_range&)
        {
            problems.push_back(fmt::format("{}: time before 1601 or after 9999", name));
            continue;
        }
        file.entry.name = name;
        file.entry.column3 = SizeInKiB(file.size);
        file.entry.column4 = 0;
        file.entry.packagePath = "files/" + PercentEncodePath(name) + ".zip";
        files.push_back(std::move(file));
    }
    if (!problems.empty())
    {
        std::sort(problems.begin(), problems.end());
        std::string text = fmt::format("{} cannot be published:", folder.string());
        for (const std::string& problem : problems)
            text += "\n  " + problem;
        throw FolderRefused(text);
    }
    std::sort(files.begin(), files.end(),
              [](const PublishedFile& a, const PublishedFile& b)
              { return a.entry.name < b.entry.name; });
    return files;
}
