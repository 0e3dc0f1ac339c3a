// The list's date conversion against the real SystemTimeToFileTime and
// FileTimeToSystemTime, over boundary grids and random fields.
#include "support/Wine.h"
#include "update/formats/ListTime.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace
{
struct Fields
{
    int year, month, day, hour, minute, second;
};

std::string Describe(const Fields& f)
{
    return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) +
           " " + std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" +
           std::to_string(f.second);
}

std::optional<uint64_t> SystemAnswer(const Fields& f)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(f.year);
    st.wMonth = static_cast<WORD>(f.month);
    st.wDayOfWeek = 3;
    st.wDay = static_cast<WORD>(f.day);
    st.wHour = static_cast<WORD>(f.hour);
    st.wMinute = static_cast<WORD>(f.minute);
    st.wSecond = static_cast<WORD>(f.second);
    FILETIME ft{};
    if (!SystemTimeToFileTime(&st, &ft))
        return std::nullopt;
    return static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Where Wine 8 accepts what Windows refuses: February 29 of every year (its
// month table takes the leap row for February always), and years 30828 to
// 32767 (it checks only the lower bound of its signed 16-bit year).
bool WineOnlyAccepts(const Fields& raw)
{
    const int year = static_cast<uint16_t>(raw.year), month = static_cast<uint16_t>(raw.month),
              day = static_cast<uint16_t>(raw.day), hour = static_cast<uint16_t>(raw.hour),
              minute = static_cast<uint16_t>(raw.minute),
              second = static_cast<uint16_t>(raw.second);
    if (year < 1601 || year > 32767 || hour > 23 || minute > 59 || second > 59)
        return false;
    const bool leapDayOfCommonYear = month == 2 && day == 29 && !IsLeap(year);
    // 2000 is a leap year, so this asks only whether month and day exist.
    const bool yearBeyondWindows =
        year > 30827 && CalendarToFileTime(2000, month, day, hour, minute, second).has_value();
    return leapDayOfCommonYear || yearBeyondWindows;
}

struct Comparison
{
    int compared = 0;
    int accepted = 0;
    int wineDeviations = 0;
    std::vector<std::string> mismatches;
};

void Compare(const Fields& f, bool underWine, Comparison& result)
{
    const std::optional<uint64_t> ours =
        CalendarToFileTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
    const std::optional<uint64_t> system = SystemAnswer(f);
    ++result.compared;
    result.accepted += system.has_value();
    if (ours == system)
        return;
    if (underWine && !ours && system && WineOnlyAccepts(f))
    {
        ++result.wineDeviations;
        return;
    }
    if (result.mismatches.size() < 20)
        result.mismatches.push_back(Describe(f) + " ours " +
                                    (ours ? std::to_string(*ours) : "rejected") + ", system " +
                                    (system ? std::to_string(*system) : "rejected"));
}

void ExpectAgreement(const Comparison& result)
{
    EXPECT_TRUE(result.mismatches.empty()) << [&]
    {
        std::string text;
        for (const std::string& line : result.mismatches)
            text += line + "\n";
        return text;
    }();
}
} // namespace

TEST(ListTime, AgreesWithSystemTimeToFileTimeOverBoundaryGrid)
{
    const bool underWine = RunningUnderWine();
    const std::vector<int> years = {
        -2024, -1,    0,     1,     1599,  1600,  1601,  1602,  1603,         1899,        1900,
        1901,  1999,  2000,  2001,  2023,  2024,  2025,  2099,  2100,         2101,        9999,
        10000, 30826, 30827, 30828, 32767, 32768, 65535, 65536, 65536 + 1601, 65536 + 2024};
    std::vector<int> months;
    for (int month = 0; month <= 13; ++month)
        months.push_back(month);
    months.insert(months.end(), {-1, 65536 + 1, 65536 + 12, 65536 + 13});
    std::vector<int> days;
    for (int day = 0; day <= 32; ++day)
        days.push_back(day);
    days.insert(days.end(), {-1, 65535, 65536 + 1, 65536 + 29});
    const std::vector<int> hours = {0, 23, 24, -1, 65536 + 5};
    const std::vector<int> minutes = {0, 59, 60, 65536 + 59};
    const std::vector<int> seconds = {0, 59, 60, 65536 + 1};

    Comparison result;
    for (int year : years)
        for (int month : months)
            for (int day : days)
                for (int hour : hours)
                    for (int minute : minutes)
                        for (int second : seconds)
                            Compare({year, month, day, hour, minute, second}, underWine, result);
    ExpectAgreement(result);
    // The grid must exercise both answers, or agreement proves nothing.
    EXPECT_GT(result.accepted, 10000);
    EXPECT_GT(result.compared - result.accepted, 100000);
    if (underWine)
        EXPECT_GT(result.wineDeviations, 0) << "Wine no longer differs; drop WineOnlyAccepts";
    std::printf("compared %d field sets, %d accepted, %d accepted by Wine only\n", result.compared,
                result.accepted, result.wineDeviations);
}

TEST(ListTime, AgreesWithSystemTimeToFileTimeOnRandomFields)
{
    const bool underWine = RunningUnderWine();
    std::mt19937 generator(20240101);
    auto pick = [&](int low, int high)
    { return std::uniform_int_distribution<int>(low, high)(generator); };
    Comparison result;
    for (int i = 0; i < 300000; ++i)
    {
        // Mostly near-valid values, sometimes anything 16 bits (or more) can hold.
        const bool wild = pick(0, 9) == 0;
        Fields f{wild ? pick(-70000, 140000) : pick(1590, 30840),
                 wild ? pick(-5, 70000) : pick(0, 13),
                 wild ? pick(-5, 70000) : pick(0, 32),
                 wild ? pick(-5, 70000) : pick(0, 24),
                 wild ? pick(-5, 70000) : pick(0, 60),
                 wild ? pick(-5, 70000) : pick(0, 60)};
        Compare(f, underWine, result);
    }
    ExpectAgreement(result);
    EXPECT_GT(result.accepted, 100000);
}

TEST(ListTime, LeapDaysFollowTheGregorianRule)
{
    EXPECT_TRUE(CalendarToFileTime(2024, 2, 29, 0, 0, 0));
    EXPECT_TRUE(CalendarToFileTime(2000, 2, 29, 0, 0, 0));
    EXPECT_FALSE(CalendarToFileTime(2023, 2, 29, 0, 0, 0));
    EXPECT_FALSE(CalendarToFileTime(1900, 2, 29, 0, 0, 0));
    EXPECT_FALSE(CalendarToFileTime(2100, 2, 29, 0, 0, 0));
    EXPECT_FALSE(CalendarToFileTime(1600, 2, 29, 0, 0, 0)) << "before 1601";
    // The day after a leap day is one day later, also across the month.
    EXPECT_EQ(*CalendarToFileTime(2024, 3, 1, 0, 0, 0) - *CalendarToFileTime(2024, 2, 29, 0, 0, 0),
              864'000'000'000u);
}

TEST(ListTime, RangeAndSixteenBitCut)
{
    // The documented SYSTEMTIME range; Wine alone goes on to 32767.
    EXPECT_TRUE(CalendarToFileTime(30827, 12, 31, 23, 59, 59));
    EXPECT_FALSE(CalendarToFileTime(30828, 1, 1, 0, 0, 0));
    EXPECT_EQ(CalendarToFileTime(1601, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(
        CalendarToFileTime(65536 + 2024, 65536 + 1, 65536 + 2, 65536 + 3, 65536 + 4, 65536 + 5),
        CalendarToFileTime(2024, 1, 2, 3, 4, 5));
    EXPECT_FALSE(CalendarToFileTime(2024, -1, 1, 0, 0, 0)) << "-1 reads as month 65535";
    EXPECT_FALSE(CalendarToFileTime(2024, 1, 1, 24, 0, 0));
}

TEST(ListTime, CalendarOfFileTimeMatchesFileTimeToSystemTime)
{
    std::mt19937_64 generator(7);
    std::vector<uint64_t> times = {0, 9'999'999, 10'000'000, 0x7FFF35F4F06C58F0ull,
                                   0x7FFFFFFFFFFFFFFFull};
    for (int i = 0; i < 100000; ++i)
        times.push_back(generator() & 0x7FFFFFFFFFFFFFFFull);
    for (uint64_t time : times)
    {
        FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << time;
        const CalendarTime ours = FileTimeToCalendar(time);
        ASSERT_EQ(
            (std::vector<int>{ours.year, ours.month, ours.day, ours.hour, ours.minute,
                              ours.second}),
            (std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}))
            << time;
    }
}
