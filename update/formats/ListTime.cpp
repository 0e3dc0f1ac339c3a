#include "update/formats/ListTime.h"

namespace
{
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1601-01-01 of a valid date; March-based years put the leap day
// last, so the month offsets need no leap correction.
int64_t DaysSince1601(int year, int month, int day)
{
    const int64_t y = month <= 2 ? year - 1 : year;
    const int64_t m = month <= 2 ? month + 9 : month - 3;
    const int64_t yearDays = 365 * y + y / 4 - y / 100 + y / 400;
    const int64_t monthDays = (153 * m + 2) / 5;
    // The same count taken for 1601-01-01 (1600 as a March-based year, month 10).
    constexpr int64_t kEpoch = 365 * 1600 + 1600 / 4 - 1600 / 100 + 1600 / 400 + (153 * 10 + 2) / 5;
    return yearDays + monthDays + day - 1 - kEpoch;
}
} // namespace

std::optional<uint64_t> CalendarToFileTime(int year, int month, int day, int hour, int minute,
                                           int second)
{
    const int y = static_cast<uint16_t>(year);
    const int mo = static_cast<uint16_t>(month);
    const int d = static_cast<uint16_t>(day);
    const int h = static_cast<uint16_t>(hour);
    const int mi = static_cast<uint16_t>(minute);
    const int s = static_cast<uint16_t>(second);
    if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 ||
        mi > 59 || s > 59)
        return std::nullopt;
    const int64_t seconds = DaysSince1601(y, mo, d) * kSecondsPerDay + h * 3600 + mi * 60 + s;
    return static_cast<uint64_t>(seconds) * kTicksPerSecond;
}

CalendarTime FileTimeToCalendar(uint64_t time)
{
    const uint64_t seconds = time / kTicksPerSecond;
    const uint64_t secondOfDay = seconds % kSecondsPerDay;
    // Shift to a March-based count from 0000-03-01 and walk 400-year eras.
    constexpr int64_t kDaysFrom0000March = 365 * 1600 + 1600 / 4 - 1600 / 100 + 1600 / 400 + 306;
    const int64_t days = static_cast<int64_t>(seconds / kSecondsPerDay) + kDaysFrom0000March;
    const int64_t era = days / 146'097;
    const int64_t dayOfEra = days - era * 146'097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;

    CalendarTime calendar;
    calendar.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    calendar.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    calendar.year = static_cast<int>(yearOfEra + era * 400 + (calendar.month <= 2 ? 1 : 0));
    calendar.hour = static_cast<int>(secondOfDay / 3600);
    calendar.minute = static_cast<int>(secondOfDay / 60 % 60);
    calendar.second = static_cast<int>(secondOfDay % 60);
    return calendar;
}
