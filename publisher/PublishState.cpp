#include "publisher/PublishState.h"

#include "publisher/PackageWriter.h"

#include <charconv>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace
{
constexpr std::string_view kHeader = "norvik-publish state 2";

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// --prune deletes what the state names: only paths inside the output count.
bool IsPathInside(std::string_view key)
{
    if (key.empty() || key.front() == '/')
        return false;
    for (const auto& part : std::filesystem::path(key))
    {
        if (part == ".." || part == "." || part.empty())
            return false;
    }
    return true;
}

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true)
    {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}
} // namespace

std::filesystem::path PublishStateFile(const std::filesystem::path& outputFolder)
{
    return outputFolder / ".norvik-publish-state";
}

PublishState LoadPublishState(const std::filesystem::path& outputFolder)
{
    PublishState state;
    std::ifstream input(PublishStateFile(outputFolder), std::ios::binary);
    if (!input)
        return state;
    std::string line;
    if (!std::getline(input, line) || line != kHeader)
    {
        state.skippedLines = 1;
        return state;
    }
    while (std::getline(input, line))
    {
        const std::vector<std::string_view> fields = SplitTabs(line);
        PackageRecord record;
        if (fields.size() != 9 || !IsPathInside(fields[0]) ||
            !ParseNumber(fields[1], record.sourceSize) ||
            !ParseNumber(fields[2], record.sourceModifiedNs) || fields[3].size() != 64 ||
            !ParseNumber(fields[4], record.listTime) || !IsPathInside(fields[5]) ||
            !fields[5].ends_with(".zip") || !ParseNumber(fields[6], record.packageSize) ||
            !ParseNumber(fields[7], record.packageModifiedNs) || fields[8].size() != 64)
        {
            ++state.skippedLines;
            continue;
        }
        record.sourceSha256 = fields[3];
        record.packagePath = fields[5];
        record.packageSha256 = fields[8];
        state.packages[std::string(fields[0])] = std::move(record);
    }
    return state;
}

void SavePublishState(const std::filesystem::path& outputFolder, const PublishState& state)
{
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [path, r] : state.packages)
        text += fmt::format("{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", path, r.sourceSize,
                            r.sourceModifiedNs, r.sourceSha256, r.listTime, r.packagePath,
                            r.packageSize, r.packageModifiedNs, r.packageSha256);
    WriteFileAtomically(PublishStateFile(outputFolder), text);
}

int64_t FileModifiedNs(const std::filesystem::path& file)
{
    struct stat info
    {
    };
    if (::stat(file.c_str(), &info) != 0)
        throw std::runtime_error(fmt::format("cannot read the time of {}", file.string()));
    return int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
}
