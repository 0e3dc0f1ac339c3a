// The file-list text reader, with the writer as its inverse where a line can
// be written back.
#include "FuzzSupport.h"
#include "update/formats/FileListText.h"
#include "update/formats/FileListWriter.h"
#include "update/formats/ListTime.h"
#include "update/formats/SafePath.h"

#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallQuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool overlay = size > 0 && (data[0] & 1);
    std::vector<FileEntry> entries;
    try
    {
        ParseFileListText(text, overlay, "FileList", entries);
    }
    catch (const std::invalid_argument& e)
    {
        FUZZ_CHECK(std::string_view(e.what()) == "invalid stoi argument");
    }
    catch (const std::out_of_range& e)
    {
        FUZZ_CHECK(std::string_view(e.what()) == "stoi argument out of range");
    }

    for (const FileEntry& entry : entries)
    {
        FUZZ_CHECK(entry.fromOverlay == overlay);
        FUZZ_CHECK(entry.name.find_first_of(std::string_view("\0\x03\n", 3)) == std::string::npos);
        IsSafeListName(entry.name);
        if (entry.time != 0)
        {
            const CalendarTime c = FileTimeToCalendar(entry.time);
            FUZZ_CHECK(CalendarToFileTime(c.year, c.month, c.day, c.hour, c.minute, c.second) ==
                       entry.time);
        }
        FileEntry copy = entry;
        try
        {
            const std::string line = FormatFileListLine(copy);
            const std::vector<FileEntry> back = ParseFileListText(line, overlay, "FileList");
            FUZZ_CHECK(back.size() == 1);
            FUZZ_CHECK(back[0].name == entry.name && back[0].time == entry.time &&
                       back[0].column3 == entry.column3 && back[0].column4 == entry.column4 &&
                       back[0].packagePath == entry.packagePath);
        }
        catch (const std::invalid_argument&)
        {
            // A CR in a name or path: readable, but not writable again.
        }
        catch (const std::out_of_range&)
        {
            // A year past 9999 has no four-digit date.
        }
    }
    return 0;
}
