// The file list's clock: calendar fields to the FILETIME scale (100 ns since
// 1601-01-01) and back, with no time-zone arithmetic. The forward direction
// accepts and rejects exactly what Windows' SystemTimeToFileTime does for a
// SYSTEMTIME filled from the same numbers, so the list reads alike on every
// platform.
#pragma once

#include <cstdint>
#include <optional>

// Each value is first cut to 16 bits as a SYSTEMTIME member would be
// (65536 + 1 reads as 1, -1 as 65535); milliseconds are 0 and the weekday is
// ignored. Valid: year 1601-30827, month 1-12, a day that exists in that
// month (Gregorian leap years), hour 0-23, minute and second 0-59.
std::optional<uint64_t> CalendarToFileTime(int year, int month, int day, int hour, int minute,
                                           int second);

struct CalendarTime
{
    int year = 1601;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The inverse, sub-second part dropped. Every uint64_t has an answer (years
// beyond 30827 included), as the proleptic Gregorian calendar continues.
CalendarTime FileTimeToCalendar(uint64_t time);
