// Package extraction onto real files: content, folder chain, the file time as
// the time zone turns it, and the retry path of an unwritable target.
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "support/EngineLifeTest.h"
#include "support/FileTimes.h"
#include "support/LogCapture.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/ZipBuilder.h"
#include "update/PackageBuffer.h"
#include "update/PackageExtraction.h"
#include "update/PartFiles.h"
#include "update/UpdateManager.h"
#include "update/formats/ListTime.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/xchar.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

namespace
{
// Zone rules as GetTimeZoneInformation reports them; names only for messages.
TIME_ZONE_INFORMATION Zone(LONG bias, LONG daylightBias)
{
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = bias;
    zone.DaylightBias = daylightBias;
    return zone;
}

int64_t ListTime(int year, int month, int day, int hour, int minute, int second)
{
    return static_cast<int64_t>(*CalendarToFileTime(year, month, day, hour, minute, second));
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// An UpdateManager with a stand-in window; the update thread's own start-up
// runs in a folder of the test's own, then the test works beside it.
class Extraction : public EngineLifeTest
{
  protected:
    void SetUp() override
    {
        EngineLifeTest::SetUp();
        Open();
    }
};
} // namespace

TEST(FileStamp, ListClockMinusNineHoursCutToTheMinuteInEveryZone)
{
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    const int64_t expectedUtc = ListTime(2024, 1, 1, 3, 34, 0);
    struct Case
    {
        const char* name;
        LONG bias;
        LONG daylightBias;
        DWORD id;
    };
    const Case zones[] = {{"Tokyo", -540, 0, TIME_ZONE_ID_UNKNOWN},
                          {"New York (standard)", 300, -60, TIME_ZONE_ID_STANDARD},
                          {"Sydney (daylight)", -600, -60, TIME_ZONE_ID_DAYLIGHT},
                          {"UTC", 0, 0, TIME_ZONE_ID_UNKNOWN}};
    for (const Case& zone : zones)
    {
        const TIME_ZONE_INFORMATION info = Zone(zone.bias, zone.daylightBias);
        const std::optional<int64_t> local = LocalStampFor(listTime, zone.id, info);
        ASSERT_TRUE(local) << zone.name;
        // What LocalFileTimeToFileTime undoes: the zone's bias (and daylight bias).
        const int64_t daylight = zone.id == TIME_ZONE_ID_DAYLIGHT ? zone.daylightBias : 0;
        const int64_t utc = *local + (zone.bias + daylight) * 600000000LL;
        EXPECT_EQ(utc, expectedUtc) << zone.name;
    }
}

TEST(FileStamp, TimeZeroHasNoStampWestOfUtcPlusNine)
{
    // An invalid list date leaves time 0; its stamp would be before 1601.
    EXPECT_FALSE(LocalStampFor(0, TIME_ZONE_ID_STANDARD, Zone(300, -60))); // New York
    EXPECT_FALSE(LocalStampFor(0, TIME_ZONE_ID_DAYLIGHT, Zone(-60, -60))); // Berlin, summer
    EXPECT_EQ(LocalStampFor(0, TIME_ZONE_ID_UNKNOWN, Zone(-540, 0)),
              std::optional<int64_t>(0));                                  // Tokyo
    EXPECT_TRUE(LocalStampFor(0, TIME_ZONE_ID_DAYLIGHT, Zone(-720, -60))); // Auckland, summer
}

TEST_F(Extraction, StoredAndDeflatedPackagesWriteTheSameFileWithTheListTime)
{
    const std::string content(100000, 'x');
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    ASSERT_TRUE(Manager().ExtractPackage(StoredPackage(content), L"stored.dat", &listTime));
    ASSERT_TRUE(
        Manager().ExtractPackage(DeflatedPackage(content), L"sub/folder/deflated.dat", &listTime));

    EXPECT_EQ(ReadWholeFile(game_ / "stored.dat"), content);
    EXPECT_EQ(ReadWholeFile(game_ / "sub/folder/deflated.dat"), content);
    for (const char* name : {"stored.dat", "sub/folder/deflated.dat"})
    {
        const SYSTEMTIME utc = LastWriteUtc(game_ / name);
        EXPECT_EQ(utc.wYear, 2024) << name;
        EXPECT_EQ(utc.wMonth, 1) << name;
        EXPECT_EQ(utc.wDay, 1) << name;
        EXPECT_EQ(utc.wHour, 3) << name;
        EXPECT_EQ(utc.wMinute, 34) << name;
        EXPECT_EQ(utc.wSecond, 0) << name;
    }
}

TEST_F(Extraction, EmptyEntryGivesAnEmptyFileAndOnlyTheFirstEntryIsWritten)
{
    const int64_t listTime = ListTime(2023, 6, 1, 0, 0, 0);
    ASSERT_TRUE(Manager().ExtractPackage(StoredPackage(""), L"empty.dat", &listTime));
    EXPECT_TRUE(std::filesystem::exists(game_ / "empty.dat"));
    EXPECT_EQ(std::filesystem::file_size(game_ / "empty.dat"), 0u);

    ASSERT_TRUE(
        Manager().ExtractPackage(TwoEntryPackage("first", "second"), L"two.dat", &listTime));
    EXPECT_EQ(ReadWholeFile(game_ / "two.dat"), "first");
}

TEST_F(Extraction, BrokenPackagesThrowBeforeAnyFileIsTouched)
{
    const int64_t listTime = ListTime(2023, 6, 1, 0, 0, 0);
    EXPECT_THROW(Manager().ExtractPackage(RandomBytes(500, 7), L"random.dat", &listTime),
                 std::exception);
    EXPECT_THROW(Manager().ExtractPackage(PackageWithWrongCrc("payload"), L"crc.dat", &listTime),
                 std::exception);
    EXPECT_FALSE(std::filesystem::exists(game_ / "random.dat"));
    EXPECT_FALSE(std::filesystem::exists(game_ / "crc.dat"));
}

TEST_F(Extraction, TimeZeroIsWrittenAndKeepsTheTimeOfTheWrite)
{
    // The test process runs in UTC, where time 0 would stamp 1600-12-31 15:00.
    const int64_t zero = 0;
    ASSERT_TRUE(Manager().ExtractPackage(StoredPackage("data"), L"zero.dat", &zero));
    EXPECT_EQ(ReadWholeFile(game_ / "zero.dat"), "data");
    // Left as the write made it: now, not 1600.
    EXPECT_GE(LastWriteUtc(game_ / "zero.dat").wYear, 2024);
    EXPECT_TRUE(log_.Text().find("no valid file time for zero.dat") != std::string::npos)
        << log_.Text();
}

TEST_F(Extraction, UnwritableTargetFailsThreeTimesAboutHalfASecondApart)
{
    // A folder where the file should go: no CreateFile can replace it, even as root.
    const std::filesystem::path target = game_ / "taken.dat";
    std::filesystem::create_directory(target);
    const int64_t listTime = ListTime(2023, 6, 1, 0, 0, 0);
    const std::string package = StoredPackage("new");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Manager().ExtractPackage(package, L"taken.dat", &listTime));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const std::string text = log_.Text();
    EXPECT_EQ(Occurrences(text, "Unzip - CreateFile failed with error "), 3u) << text;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
    EXPECT_TRUE(log_.Contains("Unzip - Failed to unzip file (size " +
                              std::to_string(package.size()) + ") to taken.dat"))
        << text;
    EXPECT_TRUE(std::filesystem::is_directory(target));
}

TEST_F(Extraction, APackageOnTheDiskIsInflatedPieceByPieceIntoTheFile)
{
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    const std::string content = RandomBytes(900 * 1024, 4) + std::string(5 << 20, 'w');
    const std::string package = DeflatedPackage(content);
    PackageBuffer buffer(L"download.nrkpart", 1024);
    buffer.Begin(-1);
    ASSERT_TRUE(buffer.Append(package.data(), package.size()));
    ASSERT_TRUE(buffer.InFile());

    WriteWholeFile(game_ / "sub/big.dat", "old");
    ASSERT_TRUE(Manager().ExtractPackage(buffer, L"sub/big.dat", &listTime));
    EXPECT_EQ(ReadWholeFile(game_ / "sub/big.dat"), content);
    EXPECT_EQ(LastWriteUtc(game_ / "sub/big.dat").wHour, 3);
    EXPECT_FALSE(std::filesystem::exists(game_ / "sub/big.dat.nrkpart"));

    // Damaged on the disk: refused before any attempt, as from memory.
    const std::string damaged = PackageWithWrongCrc(content);
    buffer.Begin(-1);
    ASSERT_TRUE(buffer.Append(damaged.data(), damaged.size()));
    try
    {
        Manager().ExtractPackage(buffer, L"sub/big.dat", &listTime);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "Could not close ZIP file handle");
    }
    EXPECT_EQ(ReadWholeFile(game_ / "sub/big.dat"), content);
    EXPECT_FALSE(log_.Contains("Unzip - CreateFile")) << log_.Text();
}

TEST_F(Extraction, AFileOf4GiBOrMoreIsRefusedOnceAndStopsThePass)
{
    WriteWholeFile(game_ / "huge.pak", "old bytes");
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    const uint64_t claimed = (uint64_t{1} << 32) + 9;
    const size_t shownBefore = window_->Messages().size();
    EXPECT_FALSE(Manager().ExtractPackage(PackageClaiming64BitSize("new bytes", claimed),
                                          L"huge.pak", &listTime));
    EXPECT_TRUE(Manager().stopRequested);
    EXPECT_TRUE(Manager().updateFailed);
    const std::vector<std::wstring> shown = window_->Messages();
    ASSERT_EQ(shown.size(), shownBefore + 1);
    EXPECT_EQ(shown.back(),
              fmt::format(fmt::runtime(LocalizedText("file_too_large")), L"huge.pak"));
    EXPECT_TRUE(log_.Contains(
        fmt::format("Unzip - File data of {} bytes is 4 GiB or more for huge.pak", claimed)))
        << log_.Text();
    EXPECT_EQ(ReadWholeFile(game_ / "huge.pak"), "old bytes");
    EXPECT_FALSE(std::filesystem::exists(game_ / "huge.pak.nrkpart"));
}

TEST_F(Extraction, NewBytesReplaceTheFileWholeAndLeaveNoPartFile)
{
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    WriteWholeFile(game_ / "data.pak", "old bytes");
    ASSERT_TRUE(Manager().ExtractPackage(DeflatedPackage("new bytes"), L"data.pak", &listTime));
    EXPECT_EQ(ReadWholeFile(game_ / "data.pak"), "new bytes");
    EXPECT_EQ(LastWriteUtc(game_ / "data.pak").wHour, 3);
    EXPECT_FALSE(std::filesystem::exists(game_ / "data.pak.nrkpart"));
}

TEST_F(Extraction, AFailedWriteLeavesTheOldFileAsItWas)
{
    // A folder where the part file would go: no attempt can write the new bytes.
    WriteWholeFile(game_ / "data.pak", "old bytes");
    std::filesystem::create_directory(game_ / "data.pak.nrkpart");
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    EXPECT_FALSE(Manager().ExtractPackage(DeflatedPackage("new bytes"), L"data.pak", &listTime));
    EXPECT_EQ(ReadWholeFile(game_ / "data.pak"), "old bytes");
    EXPECT_EQ(log_.Count("Unzip - CreateFile failed with error 5"), 3) << log_.Text();
}

TEST_F(Extraction, LeftoversOfAKilledPassAreRemovedAndNothingElse)
{
    std::filesystem::create_directories(game_ / "sub");
    for (const char* name : {"a.dat.nrkpart", "sub/b.dat.nrkpart", "keep.dat", "c.dat.nrkpart"})
        WriteWholeFile(game_ / name, "x");
    // What a killed pass noted, and lines no pass would write.
    WriteWholeFile(game_ / "update.nrkpart",
                   "a.dat.nrkpart\nsub\\b.dat.nrkpart\r\nkeep.dat\n..\\outside.nrkpart\n"
                   "C:\\Windows\\win.ini.nrkpart\nmissing.nrkpart\n");
    EXPECT_EQ(RemoveLeftoverPartFiles(), 2);
    EXPECT_FALSE(std::filesystem::exists(game_ / "a.dat.nrkpart"));
    EXPECT_FALSE(std::filesystem::exists(game_ / "sub/b.dat.nrkpart"));
    EXPECT_TRUE(std::filesystem::exists(game_ / "keep.dat"));
    // Not noted: not ours to judge.
    EXPECT_TRUE(std::filesystem::exists(game_ / "c.dat.nrkpart"));
    EXPECT_FALSE(std::filesystem::exists(game_ / "update.nrkpart"));
    EXPECT_EQ(RemoveLeftoverPartFiles(), 0);
}

TEST_F(Extraction, APassNotesInOneJournalAndLooksThroughItOnlyWhenAPartFileStayed)
{
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);
    {
        const PartJournalPass pass;
        ASSERT_TRUE(Manager().ExtractPackage(DeflatedPackage("a"), L"a.dat", &listTime));
        ASSERT_TRUE(Manager().ExtractPackage(DeflatedPackage("b"), L"b.dat", &listTime));
        EXPECT_EQ(ReadWholeFile(game_ / "update.nrkpart"), "a.dat.nrkpart\nb.dat.nrkpart\n");
        // Written outside the engine: the pass has no reason to look for it.
        NotePartFile(L"quiet.dat.nrkpart");
        WriteWholeFile(game_ / "quiet.dat.nrkpart", "x");
    }
    EXPECT_FALSE(std::filesystem::exists(game_ / "update.nrkpart"));
    EXPECT_TRUE(std::filesystem::exists(game_ / "quiet.dat.nrkpart"));

    {
        const PartJournalPass pass;
        NotePartFile(L"stuck.dat.nrkpart");
        WriteWholeFile(game_ / "stuck.dat.nrkpart", "x");
        NotePartFileLeft();
    }
    EXPECT_FALSE(std::filesystem::exists(game_ / "stuck.dat.nrkpart"));
    EXPECT_FALSE(std::filesystem::exists(game_ / "update.nrkpart"));
    EXPECT_EQ(ReadWholeFile(game_ / "a.dat"), "a");
}

namespace
{
// A small disk of its own (tools/small-disk mounts it and names it here);
// without one the test has nothing to fill.
class DiskFull : public Extraction
{
  protected:
    void SetUp() override
    {
        const char* folder = std::getenv("NORVIK_SMALL_DISK");
        if (!folder || !*folder)
            GTEST_SKIP() << "no small disk given (tools/small-disk runs this test)";
        disk_ = std::filesystem::path(L"Z:" + ToWide(folder));
        Extraction::SetUp();
    }

    // Fills the disk with `filler` (Wine reports the free space of the whole
    // Z: drive, not of this mount), then gives back about `leave` bytes.
    static void FillDisk(const std::filesystem::path& filler, uint64_t leave)
    {
        {
            std::ofstream out(filler, std::ios::binary);
            const std::string chunk(64 * 1024, 'f');
            for (int written = 0; written < 1024 && out.write(chunk.data(), chunk.size());
                 ++written)
                out.flush();
        }
        const uint64_t filled = std::filesystem::file_size(filler);
        ASSERT_GT(filled, 2 * leave);
        ASSERT_LT(filled, 64u * 1024 * 1024) << "the disk never filled";
        std::filesystem::resize_file(filler, filled - leave);
    }

    std::filesystem::path disk_;
};
} // namespace

TEST_F(DiskFull, ThePassStopsWithTheMessageAndTheOldFileStays)
{
    const std::filesystem::path target = disk_ / "big.pak";
    const std::string oldBytes(64 * 1024, 'o');
    WriteWholeFile(target, oldBytes);
    // About 100 KiB free, then 600 KiB of new bytes.
    const std::filesystem::path filler = disk_ / "filler";
    ASSERT_NO_FATAL_FAILURE(FillDisk(filler, 100 * 1024));
    const std::string newBytes = RandomBytes(600 * 1024, 3);
    const std::string package = StoredPackage(newBytes);
    const int64_t listTime = ListTime(2024, 1, 1, 12, 34, 56);

    EXPECT_FALSE(Manager().ExtractPackage(package, target.wstring(), &listTime));
    EXPECT_TRUE(Manager().stopRequested);
    EXPECT_TRUE(Manager().updateFailed);
    const std::vector<std::wstring> shown = window_->Messages();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(),
              fmt::format(fmt::runtime(LocalizedText("disk_full")), target.wstring()));
    EXPECT_EQ(Manager().StatusText(), LocalizedText("error_occurred"));
    // One attempt: a full disk does not empty itself in half a second.
    const std::string text = log_.Text();
    EXPECT_EQ(Occurrences(text, "Unzip - WriteFile failed"), 1u) << text;
    EXPECT_EQ(ReadWholeFile(target), oldBytes);
    EXPECT_FALSE(std::filesystem::exists(disk_ / "big.pak.nrkpart"));

    // With room again the next try writes the file.
    std::filesystem::remove(filler);
    Manager().stopRequested = false;
    Manager().updateFailed = false;
    ASSERT_TRUE(Manager().ExtractPackage(package, target.wstring(), &listTime));
    EXPECT_EQ(ReadWholeFile(target), newBytes);
}

TEST_F(DiskFull, ADownloadThatRunsOutOfDiskSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(FillDisk(disk_ / "filler", 100 * 1024));
    const std::wstring spill = (disk_ / "download.nrkpart").wstring();
    PackageBuffer buffer(spill, 1024);
    buffer.Begin(-1);
    const std::string piece(256 * 1024, 'p');
    EXPECT_FALSE(buffer.Append(piece.data(), piece.size()));
    EXPECT_TRUE(buffer.DiskFull());
    buffer.Clear();
    EXPECT_FALSE(std::filesystem::exists(disk_ / "download.nrkpart"));
}
