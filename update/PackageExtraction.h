// The file time a package's file is stamped with: the list's UTC+9 wall clock
// cut to the minute and turned into the local time that LocalFileTimeToFileTime
// takes back to UTC.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

// The local FILETIME value for list time `listTime`, or nothing when it would be
// negative (a list time of 0 west of UTC+9): no valid file time exists then.
std::optional<int64_t> LocalStampFor(int64_t listTime, DWORD timeZoneId,
                                     const TIME_ZONE_INFORMATION& zone);

// What LocalFileTimeToFileTime makes of `local` in this process's zone, or
// nothing when that lies before 1601 (the list time 0 east of UTC+9 ends
// there): Windows refuses such a time in SetFileTime.
std::optional<FILETIME> DiskStampFor(int64_t local);
