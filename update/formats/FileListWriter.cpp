#include "update/formats/FileListWriter.h"

#include "update/formats/ListTime.h"

#include <fmt/format.h>
#include <stdexcept>

namespace
{
void RequireWritable(std::string_view field, const char* what)
{
    if (field.find_first_of(std::string_view("\0\x03\r\n", 4)) != std::string_view::npos)
        throw std::invalid_argument(fmt::format("{} holds a byte a file list cannot carry", what));
}
} // namespace

std::string FormatListDate(uint64_t time)
{
    const CalendarTime calendar = FileTimeToCalendar(time);
    if (calendar.year > 9999)
        throw std::out_of_range("time past year 9999 has no list date");
    return fmt::format("{:04}{:02}{:02}{:02}{:02}{:02}", calendar.year, calendar.month,
                       calendar.day, calendar.hour, calendar.minute, calendar.second);
}

std::string FormatFileListLine(const FileEntry& entry)
{
    RequireWritable(entry.name, "file name");
    RequireWritable(entry.packagePath, "package path");
    return fmt::format("{}\x03{}\x03{}\x03{}\x03{}\n", entry.name, FormatListDate(entry.time),
                       entry.column3, entry.column4, entry.packagePath);
}
