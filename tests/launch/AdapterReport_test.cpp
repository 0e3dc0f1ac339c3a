#include "base/TextEncoding.h"
#include "launch/AdapterReport.h"
#include "settings/Localization.h"
#include "support/TempFolder.h"
#include "ui/LauncherWindow.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

namespace
{
LARGE_INTEGER DriverVersion(uint16_t product, uint16_t version, uint16_t subVersion, uint16_t build)
{
    LARGE_INTEGER value{};
    value.HighPart = static_cast<LONG>((static_cast<uint32_t>(product) << 16) | version);
    value.LowPart = (static_cast<uint32_t>(subVersion) << 16) | build;
    return value;
}

SYSTEMTIME Day(WORD year, WORD month, WORD day)
{
    SYSTEMTIME date{};
    date.wYear = year;
    date.wMonth = month;
    date.wDay = day;
    return date;
}

} // namespace

TEST(AdapterReport, DriverVersionIsProductSlashThenDottedParts)
{
    EXPECT_EQ(FormatDriverVersion(DriverVersion(31, 0, 101, 4502)), L"31/0.101.4502");
    EXPECT_EQ(FormatDriverVersion(DriverVersion(6, 14, 10, 9049)), L"6/14.10.9049");
    // Every part is an unsigned 16-bit number, never negative.
    EXPECT_EQ(FormatDriverVersion(DriverVersion(65535, 65535, 65535, 65535)),
              L"65535/65535.65535.65535");
}

TEST(AdapterReport, DriverDateIsWrittenWithoutLeadingZeros)
{
    EXPECT_EQ(FormatDriverDate(Day(2023, 3, 5)), L"2023-3-5");
    EXPECT_EQ(FormatDriverDate(Day(2021, 11, 23)), L"2021-11-23");
    EXPECT_EQ(FormatDriverDate(Day(2024, 10, 1)), L"2024-10-1");
}

TEST(AdapterReport, DriverDateIsTheFilesCreationDayInLocalTime)
{
    TempFolder folder(L"driver");
    const std::filesystem::path driver = folder / "nvdriver.dll";
    WriteWholeFile(driver, "driver");

    for (const SYSTEMTIME& day : {Day(2023, 3, 5), Day(2021, 11, 23)})
    {
        // Noon local time, far from any day boundary. Wine keeps no creation
        // time of its own: it reports the older of the file's change and
        // write times, so both are set.
        SYSTEMTIME noon = day;
        noon.wHour = 12;
        FILETIME local{};
        FILETIME utc{};
        ASSERT_TRUE(SystemTimeToFileTime(&noon, &local));
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
        const HANDLE handle = CreateFileW(driver.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(handle, &utc, &utc, &utc));
        CloseHandle(handle);
        EXPECT_EQ(ReadDriverFileDate(driver.wstring()), FormatDriverDate(day));
    }
    EXPECT_EQ(ReadDriverFileDate(driver.wstring()), L"2021-11-23");
    EXPECT_FALSE(ReadDriverFileDate((folder / "absent.dll").wstring()));
}

TEST(AdapterReport, WinesAdapterIsReportedWithItsDriverDateOrVersion)
{
    if (std::getenv("NORVIK_EXPECT_NO_DIRECT3D8"))
        GTEST_SKIP() << "runs where Direct3D 8 is present";
    const AdapterReport report;
    const std::wregex dated(L"Your primary display adapter is '(.+)'\\. The driver's date is "
                            L"(\\d{4}-[1-9]\\d?-[1-9]\\d?)\\.");
    const std::wregex versioned(L"Your primary display adapter is '(.+)'\\. The driver version "
                                L"is (\\d+/\\d+\\.\\d+\\.\\d+)\\.");
    EXPECT_TRUE(std::regex_match(report.text, dated) || std::regex_match(report.text, versioned))
        << ToUtf8(report.text);
}

TEST(NoDirect3D8, ThePanelSaysTheGameMayNotRunProperly)
{
    if (!std::getenv("NORVIK_EXPECT_NO_DIRECT3D8"))
        GTEST_SKIP() << "runs only with d3d8.dll disabled";
    const AdapterReport report;
    EXPECT_EQ(report.text, L"Unable to initialize DX8. The game may not run properly.");
}

namespace
{
class AdapterPanel : public LauncherWindowTest
{
};
} // namespace

TEST_F(AdapterPanel, TheReportIsPublishedBesideTheUpdateAndTheWindowDrawsIt)
{
    LauncherDialog& dialog = Open();
    // The report is made beside the version check, which does not wait for it.
    ASSERT_TRUE(PumpUntil([&] { return dialog.Manager()->AdapterText().has_value(); }, 20000));
    const std::optional<std::wstring> text = dialog.Manager()->AdapterText();
    ASSERT_TRUE(text);
    EXPECT_NE(*text, LocalizedText("initializing"));
    EXPECT_NE(*text, LocalizedText("initializing_graphics"));
}

TEST_F(AdapterPanel, NoBrowserMarkerLeavesThePanelInitializing)
{
    WriteWholeFile(game_ / ".nobrowser", "");
    LauncherDialog& dialog = Open();
    EXPECT_EQ(dialog.Manager()->adapterCheck, nullptr);
    EXPECT_FALSE(dialog.Manager()->AdapterText());
}
