// The per-scan state shared by the checks of the local comparison, and the
// minute arithmetic that decides whether a local file matches its published
// time. The published time is the UTC+9 wall clock; files are queued when no
// test matches.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

class UpdateManager;

inline constexpr int64_t kTicksPerMinute = 600000000;
inline constexpr int32_t kPatchTimeZoneOffsetMinutes = 540;

struct ScanContext
{
    UpdateManager* manager = nullptr;
    std::atomic<int32_t> scannedCount{0};
    DWORD timeZoneId = TIME_ZONE_ID_UNKNOWN;
    TIME_ZONE_INFORMATION timeZone{};
};

// Which of the three time tests a local file passes, if any.
enum class TimeMatch
{
    None,
    SameUtcPlus9,  // the last-write time read as UTC+9 is the published minute
    MinusDaylight, // local wall clock = published + |DaylightBias|
    PlusDaylight,  // local wall clock = published - |DaylightBias|
};

struct TimeTestResult
{
    TimeMatch match = TimeMatch::None;
    SYSTEMTIME tested{}; // the time of the matching test, or of test 1 when none matched
};

// `localMinutes`: the file's last-write time in local time, whole minutes since 1601.
TimeTestResult CompareWithPublishedTime(int64_t localMinutes, const SYSTEMTIME& published,
                                        DWORD timeZoneId, const TIME_ZONE_INFORMATION& zone);
