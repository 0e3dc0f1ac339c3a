// The local comparison and the file stamp in the process's real time zone.
// CTest runs this suite once per zone of interest with TZ set (Wine takes the
// zone from it) and NORVIK_EXPECT_ZONE naming it; the default run is UTC.
#include "base/TextEncoding.h"
#include "settings/Registry.h"
#include "support/FileTimes.h"
#include "support/PatchServer.h"
#include "support/WindowLifeTest.h"
#include "support/ZipBuilder.h"
#include "update/PackageExtraction.h"
#include "update/UpdateManager.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace
{
constexpr int64_t kMinute = 600000000;

struct ZoneFacts
{
    LONG bias;
    bool daylightNow; // in December
};

// What Windows reports for each zone in December.
const std::map<std::string, ZoneFacts> kZones = {
    {"UTC", {0, false}},
    {"Asia/Tokyo", {-540, false}},
    {"America/New_York", {300, false}},
    {"Europe/Berlin", {-60, false}},
    {"Australia/Sydney", {-600, true}},
    {"Pacific/Auckland", {-720, true}},
};

std::string ExpectedZone()
{
    const char* zone = std::getenv("NORVIK_EXPECT_ZONE");
    return zone ? zone : "UTC";
}

FILETIME AsFileTime(uint64_t ticks)
{
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t LastWrite(const std::filesystem::path& file)
{
    return Ticks(LastWriteTime(file));
}

void SetLastWrite(const std::filesystem::path& file, uint64_t utcTicks)
{
    WriteWholeFile(file, "local copy");
    HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const FILETIME time = AsFileTime(utcTicks);
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &time));
    CloseHandle(handle);
}

// The UTC time whose local wall clock is `localTicks` in the current zone.
uint64_t UtcOfLocal(uint64_t localTicks)
{
    const FILETIME local = AsFileTime(localTicks);
    FILETIME utc{};
    LocalFileTimeToFileTime(&local, &utc);
    return Ticks(utc);
}

class ZoneComparison : public WindowLifeTest
{
  protected:
    void SetUp() override
    {
        WindowLifeTest::SetUp();
        zoneId_ = GetTimeZoneInformation(&zone_);
    }

    FileEntry Entry(const std::string& name, uint64_t time)
    {
        FileEntry entry;
        entry.name = name;
        entry.time = time;
        entry.packagePath = "files/" + name + ".zip";
        return entry;
    }

    bool Queued(const std::string& name)
    {
        for (const FileEntry& entry : Manager().downloadQueue)
            if (entry.name == name)
                return true;
        return false;
    }

    // The scan's trace line for `name`, from its first word to the name.
    std::string ScanLineStart(const std::string& name)
    {
        std::istringstream lines(log_.Text());
        for (std::string line; std::getline(lines, line);)
            if (line.find(" " + name + " ") != std::string::npos &&
                line.find("<->") != std::string::npos)
                return line.substr(0, line.find(name) + name.size());
        return "<no scan line for " + name + ">";
    }

    TIME_ZONE_INFORMATION zone_{};
    DWORD zoneId_ = 0;
};
} // namespace

TEST_F(ZoneComparison, WineReportsTheZoneTheRunAskedFor)
{
    const auto facts = kZones.find(ExpectedZone());
    ASSERT_NE(facts, kZones.end()) << ExpectedZone();
    EXPECT_EQ(zone_.Bias, facts->second.bias);
    EXPECT_EQ(zoneId_ == TIME_ZONE_ID_DAYLIGHT, facts->second.daylightNow);
}

TEST_F(ZoneComparison, StampedFilesPassAndDaylightShiftedOnesPassTheBiasTests)
{
    Open();
    UpdateManager& manager = Manager();
    // Published 2024-12-09 18:27:45 in UTC+9 (seconds not zero on purpose).
    const uint64_t published = ListClock(2024, 12, 9, 18, 27, 45);
    const uint64_t publishedMinute = published / kMinute * kMinute;
    ASSERT_TRUE(manager.ExtractPackage(DeflatedPackage("stamped"), L"stamped.dat",
                                       reinterpret_cast<const int64_t*>(&published)));
    SetLastWrite(Game() / "later.dat", UtcOfLocal(publishedMinute + 60 * kMinute));
    SetLastWrite(Game() / "earlier.dat", UtcOfLocal(publishedMinute - 60 * kMinute));
    SetLastWrite(Game() / "off-by-a-minute.dat",
                 LastWrite(Game() / "stamped.dat") + static_cast<uint64_t>(kMinute));
    SetLastWrite(Game() / "zero.dat", LastWrite(Game() / "stamped.dat"));

    manager.remoteFiles = {Entry("stamped.dat", published),
                           Entry("later.dat", published),
                           Entry("earlier.dat", published),
                           Entry("off-by-a-minute.dat", published),
                           Entry("zero.dat", 0),
                           Entry("missing.dat", published)};
    manager.downloadQueue.clear();
    manager.MakeLocalFileList();

    EXPECT_FALSE(Queued("stamped.dat")) << log_.Text();
    EXPECT_EQ(ScanLineStart("stamped.dat"), "[+GMT DIFF] stamped.dat");
    EXPECT_TRUE(Queued("off-by-a-minute.dat"));
    EXPECT_TRUE(Queued("zero.dat"));
    EXPECT_TRUE(Queued("missing.dat"));
    if (zone_.DaylightBias == -60)
    {
        // A wall clock an hour ahead passes the second test, one behind the third,
        // unless the zone makes it the published reading already.
        EXPECT_FALSE(Queued("later.dat"));
        EXPECT_FALSE(Queued("earlier.dat"));
        if (zone_.Bias + (zoneId_ == TIME_ZONE_ID_DAYLIGHT ? zone_.DaylightBias : 0) != -600)
            EXPECT_EQ(ScanLineStart("later.dat"), "[-DayLight Bias Check] later.dat");
        if (zone_.Bias + (zoneId_ == TIME_ZONE_ID_DAYLIGHT ? zone_.DaylightBias : 0) != -480)
            EXPECT_EQ(ScanLineStart("earlier.dat"), "[+DayLight Bias Check] earlier.dat");
    }
    else
    {
        EXPECT_TRUE(Queued("later.dat"));
        EXPECT_TRUE(Queued("earlier.dat"));
    }
    EXPECT_EQ(manager.downloadQueue.size(), 6u - (zone_.DaylightBias == -60 ? 3 : 1));
}

TEST_F(ZoneComparison, PathsOf260CharactersOrMoreAreRefused)
{
    Open();
    UpdateManager& manager = Manager();
    const std::wstring folder = L"C:\\" + std::wstring(197, L'd');
    ASSERT_EQ(folder.size(), 200u);
    manager.localDir = folder;
    manager.downloadQueue.clear();
    manager.remoteFiles = {Entry(std::string(58, 'n'), 0)};
    manager.MakeLocalFileList();
    EXPECT_EQ(manager.downloadQueue.size(), 1u);

    manager.remoteFiles = {Entry(std::string(59, 'n'), 0)};
    try
    {
        manager.MakeLocalFileList();
        ADD_FAILURE() << "a 260-character path was accepted";
    }
    catch (const std::exception& error)
    {
        EXPECT_STREQ(error.what(), "Application path too long. Please shorten the path name.");
    }
    EXPECT_TRUE(
        log_.Contains("AppendPath failed because the size was greater than the max path size"));
    EXPECT_FALSE(manager.scanRunning);
}

// A list date that is no calendar date: no time before 1601 exists to stamp,
// in any zone, so the file is written, keeps the time of its write, and the
// pass succeeds.
TEST_F(ZoneComparison, AnEntryWithoutAValidDateIsWrittenAndThePassSucceeds)
{
    PatchServer server("zone-time-zero");
    server.AddFile({"a.dat", "with a date", ListClock(2024, 1, 1, 0, 0, 0)});
    server.AddListLine("undated.dat\x03"
                       "20241301000000\x03"
                       "1\x03"
                       "0\x03"
                       "files/undated.dat.zip");
    server.WriteRaw("files/undated.dat.zip", DeflatedPackage("no date"));
    server.Publish("B");
    FILETIME before{};
    GetSystemTimeAsFileTime(&before);
    Open();

    std::wstring stored;
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(stored, L"B") << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "undated.dat"), "no date");
    // File times are kept to 100 ns on NTFS but written with the clock's own
    // step: allow a second.
    EXPECT_GE(LastWrite(Game() / "undated.dat") + 10000000, Ticks(before));
    EXPECT_TRUE(
        log_.Contains("Unzip - no valid file time for undated.dat, keeping the time of the write"))
        << log_.Text();
    // East of UTC+9 the local value is a real time, but its UTC is not.
    TIME_ZONE_INFORMATION zone{};
    const DWORD id = GetTimeZoneInformation(&zone);
    const auto local = LocalStampFor(0, id, zone);
    if (local)
        EXPECT_FALSE(DiskStampFor(*local).has_value()) << *local;
}
