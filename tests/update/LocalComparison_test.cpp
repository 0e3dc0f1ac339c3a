// The minute tests that decide whether a local file is current, for zones
// given as GetTimeZoneInformation reports them.
#include "update/LocalComparison.h"
#include "update/formats/ListTime.h"

#include <gtest/gtest.h>

namespace
{
constexpr int64_t kMinute = 600000000;

SYSTEMTIME Published(int year, int month, int day, int hour, int minute, int second)
{
    const uint64_t ticks = *CalendarToFileTime(year, month, day, hour, minute, second);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME out{};
    FileTimeToSystemTime(&time, &out);
    return out;
}

int64_t Minutes(int year, int month, int day, int hour, int minute)
{
    return static_cast<int64_t>(*CalendarToFileTime(year, month, day, hour, minute, 0)) / kMinute;
}

TIME_ZONE_INFORMATION Zone(LONG bias, LONG daylightBias)
{
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.DaylightBias = daylightBias;
    return zone;
}
} // namespace

TEST(TimeTests, AStampedFilePassesTheFirstTestInEveryZone)
{
    // Published 12:34:56 in UTC+9; the extraction stored 03:34 UTC.
    const SYSTEMTIME published = Published(2024, 1, 1, 12, 34, 56);
    const int64_t utcMinutes = Minutes(2024, 1, 1, 3, 34);
    struct Case
    {
        LONG bias;
        LONG daylightBias;
        DWORD id;
    };
    for (const Case& zone :
         {Case{-540, 0, TIME_ZONE_ID_UNKNOWN}, Case{300, -60, TIME_ZONE_ID_STANDARD},
          Case{-600, -60, TIME_ZONE_ID_DAYLIGHT}, Case{0, 0, TIME_ZONE_ID_UNKNOWN}})
    {
        const int64_t daylight = zone.id == TIME_ZONE_ID_DAYLIGHT ? zone.daylightBias : 0;
        const int64_t localMinutes = utcMinutes - zone.bias - daylight;
        const TimeTestResult result = CompareWithPublishedTime(localMinutes, published, zone.id,
                                                               Zone(zone.bias, zone.daylightBias));
        EXPECT_EQ(result.match, TimeMatch::SameUtcPlus9) << zone.bias;
        // A minute either side fails the first test.
        EXPECT_NE(CompareWithPublishedTime(localMinutes + 1, published, zone.id,
                                           Zone(zone.bias, zone.daylightBias))
                      .match,
                  TimeMatch::SameUtcPlus9);
        EXPECT_NE(CompareWithPublishedTime(localMinutes - 1, published, zone.id,
                                           Zone(zone.bias, zone.daylightBias))
                      .match,
                  TimeMatch::SameUtcPlus9);
    }
}

TEST(TimeTests, DaylightShiftedWallClocksPassTheSecondAndThirdTests)
{
    const SYSTEMTIME published = Published(2024, 7, 1, 10, 0, 0);
    // New York in summer: the local wall clock is an hour off the published reading.
    const TIME_ZONE_INFORMATION zone = Zone(300, -60);
    EXPECT_EQ(
        CompareWithPublishedTime(Minutes(2024, 7, 1, 11, 0), published, TIME_ZONE_ID_DAYLIGHT, zone)
            .match,
        TimeMatch::MinusDaylight);
    EXPECT_EQ(
        CompareWithPublishedTime(Minutes(2024, 7, 1, 9, 0), published, TIME_ZONE_ID_DAYLIGHT, zone)
            .match,
        TimeMatch::PlusDaylight);
    // Tests 2 and 3 apply whatever the zone's current state.
    EXPECT_EQ(
        CompareWithPublishedTime(Minutes(2024, 7, 1, 11, 0), published, TIME_ZONE_ID_STANDARD, zone)
            .match,
        TimeMatch::MinusDaylight);
    EXPECT_EQ(
        CompareWithPublishedTime(Minutes(2024, 7, 1, 12, 0), published, TIME_ZONE_ID_DAYLIGHT, zone)
            .match,
        TimeMatch::None);
}

TEST(TimeTests, TimeZeroNeverMatchesAnOrdinaryFile)
{
    SYSTEMTIME zero{};
    const FILETIME start{0, 0};
    FileTimeToSystemTime(&start, &zero);
    for (LONG bias : {-540, 0, 300})
        EXPECT_EQ(CompareWithPublishedTime(Minutes(2024, 3, 1, 8, 0), zero, TIME_ZONE_ID_STANDARD,
                                           Zone(bias, -60))
                      .match,
                  TimeMatch::None);
}
