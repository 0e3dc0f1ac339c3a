// One file of the server's list, as the launcher carries it from the parsed
// list through the comparison and the download workers. Plain data, copied
// freely; no member is interpreted here.
#pragma once

#include <cstdint>
#include <string>

struct FileEntry
{
    // Path relative to the game folder, exactly as the list writes it.
    std::string name;
    // FILETIME scale (100 ns since 1601-01-01) holding the published UTC+9
    // wall clock, not UTC; 0 when the list's date is no calendar date.
    uint64_t time = 0;
    // Carried along for the server's bookkeeping; nothing reads them.
    int32_t column3 = 0;
    int32_t column4 = 0;
    // Package location relative to the download base (or the overlay base).
    std::string packagePath;
    bool fromOverlay = false;
};
