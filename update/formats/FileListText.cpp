#include "update/formats/FileListText.h"

#include "update/formats/ListTime.h"

#include <cstdio>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <unordered_map>

namespace
{
constexpr char kColumnSeparator = '\x03';

std::vector<std::string_view> SplitColumns(std::string_view line)
{
    std::vector<std::string_view> columns;
    size_t start = 0;
    while (true)
    {
        const size_t separator = line.find(kColumnSeparator, start);
        columns.push_back(line.substr(start, separator - start));
        if (separator == std::string_view::npos)
            return columns;
        start = separator + 1;
    }
}
} // namespace

int32_t ParseListInteger(const std::string& column)
{
    // libstdc++ says only "stoi" in both cases; the list's errors are shown
    // to the user, so they read the same on every build.
    try
    {
        return std::stoi(column);
    }
    catch (const std::invalid_argument&)
    {
        throw std::invalid_argument("invalid stoi argument");
    }
    catch (const std::out_of_range&)
    {
        throw std::out_of_range("stoi argument out of range");
    }
}

std::vector<FileEntry> ParseFileListText(std::string_view text, bool fromOverlay,
                                         std::string_view prefix)
{
    std::vector<FileEntry> entries;
    ParseFileListText(text, fromOverlay, prefix, entries);
    return entries;
}

void ParseFileListText(std::string_view text, bool fromOverlay, std::string_view prefix,
                       std::vector<FileEntry>& entries)
{
    text = text.substr(0, text.find('\0'));
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start))
    {
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;

        const std::vector<std::string_view> columns = SplitColumns(line);
        if (columns.size() != 5)
        {
            spdlog::warn("{}: Malformed line {}", prefix, line);
            continue;
        }
        FileEntry entry;
        entry.name = std::string(columns[0]);
        const std::string dateText(columns[1]);
        // Before the date: a bad number ends the list even on a line whose
        // date would have been skipped.
        entry.column3 = ParseListInteger(std::string(columns[2]));
        entry.column4 = ParseListInteger(std::string(columns[3]));
        std::string_view packagePath = columns[4];
        if (!packagePath.empty() && packagePath.back() == '\r')
            packagePath.remove_suffix(1);
        entry.packagePath = std::string(packagePath);

        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        if (std::sscanf(dateText.c_str(), "%04d%02d%02d%02d%02d%02d", &year, &month, &day, &hour,
                        &minute, &second) != 6)
        {
            spdlog::warn("{}: Malformed line {} (date parse)", prefix, line);
            continue;
        }
        entry.time = CalendarToFileTime(year, month, day, hour, minute, second).value_or(0);
        entry.fromOverlay = fromOverlay;
        entries.push_back(std::move(entry));
    }
}

void MergeOverlayEntries(std::vector<FileEntry>& entries, const std::vector<FileEntry>& overlay)
{
    // The first entry of each name, as a search from the start finds it; a
    // list of a hundred thousand names must not be searched once per overlay entry.
    // The keys view the entries' own names: no reallocation may move them.
    entries.reserve(entries.size() + overlay.size());
    std::unordered_map<std::string_view, size_t> firstOfName;
    firstOfName.reserve(entries.size() + overlay.size());
    for (size_t index = 0; index < entries.size(); ++index)
        firstOfName.emplace(entries[index].name, index);
    for (const FileEntry& added : overlay)
    {
        const auto found = firstOfName.find(added.name);
        if (found != firstOfName.end())
        {
            spdlog::debug("Overlay replacing file: {}", added.name);
            FileEntry& entry = entries[found->second];
            entry.time = added.time;
            entry.column3 = added.column3;
            entry.column4 = added.column4;
            entry.packagePath = added.packagePath;
            entry.fromOverlay = true;
        }
        else
        {
            spdlog::debug("Overlay adding new file: {}", added.name);
            entries.push_back(added);
            firstOfName.emplace(entries.back().name, entries.size() - 1);
        }
    }
    spdlog::info("Merged overlay files. Total files: {}", entries.size());
}
