#include "support/LogCapture.h"
#include "update/formats/FileListText.h"
#include "update/formats/FileListWriter.h"
#include "update/formats/ListTime.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace
{
// 2024-01-01 00:00:00 on the FILETIME scale.
constexpr uint64_t kJan2024 = 133'485'408'000'000'000;
constexpr uint64_t kSecond = 10'000'000;

std::string Line(const std::string& name, const std::string& date = "20240101000000",
                 const std::string& c3 = "1", const std::string& c4 = "0",
                 const std::string& path = "pkg/a.zip", const std::string& end = "\n")
{
    return name + "\x03" + date + "\x03" + c3 + "\x03" + c4 + "\x03" + path + end;
}

// Test text with "|" standing for the 0x03 separator.
std::string Etx(std::string text)
{
    for (char& c : text)
    {
        if (c == '|')
            c = '\x03';
    }
    return text;
}

std::vector<std::string> Names(const std::vector<FileEntry>& entries)
{
    std::vector<std::string> names;
    for (const FileEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

// Log messages split at spdlog's own line end, so a CR inside stays visible.
std::vector<std::string> Messages(const LogCapture& log)
{
    const std::string eol = spdlog::details::os::default_eol;
    const std::string text = log.Text();
    std::vector<std::string> messages;
    for (size_t start = 0, end; (end = text.find(eol, start)) != std::string::npos;
         start = end + eol.size())
        messages.push_back(text.substr(start, end - start));
    return messages;
}
} // namespace

TEST(FileListText, OnlyLinesEndedByLfAreTaken)
{
    EXPECT_EQ(Names(ParseFileListText(Line("a") + Line("b") +
                                          Line("c", "20240101000000", "1", "0", "p", ""),
                                      false, "FileList")),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Names(ParseFileListText(Line("a", "20240101000000", "1", "0", "p", "\r\n") +
                                          Line("b", "20240101000000", "1", "0", "p", "\r\n"),
                                      false, "FileList")),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(ParseFileListText("", false, "FileList").empty());
    EXPECT_TRUE(ParseFileListText("no line end at all", false, "FileList").empty());
}

TEST(FileListText, ColumnCountOtherThanFiveIsWarnedAndSkipped)
{
    LogCapture log;
    const std::string text = Line("a") + "\n" + Etx("x|20240101000000|1|0\n") +
                             Etx("six|20240101000000|1|0|p|extra\n") +
                             Etx("|20240101000000|1|0|\r\n") + Line("b");
    const std::vector<FileEntry> entries = ParseFileListText(text, false, "FileList");
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"a", "", "b"}))
        << "five empty columns are five columns";
    EXPECT_EQ(Messages(log),
              (std::vector<std::string>{
                  "FileList: Malformed line ", Etx("FileList: Malformed line x|20240101000000|1|0"),
                  Etx("FileList: Malformed line six|20240101000000|1|0|p|extra")}));
}

TEST(FileListText, CrIsRemovedFromThePackagePathButKeptInWarnings)
{
    LogCapture log;
    const std::string text = Line("a", "20240101000000", "1", "0", "pkg/a.zip\r\r", "\n") +
                             "bad line\r\n" + Line("b", "2024", "1", "0", "p", "\r\n");
    const std::vector<FileEntry> entries = ParseFileListText(text, false, "Overlay FileList");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].packagePath, "pkg/a.zip\r") << "exactly one CR goes";
    EXPECT_EQ(Messages(log),
              (std::vector<std::string>{"Overlay FileList: Malformed line bad line\r",
                                        Etx("Overlay FileList: Malformed line b|2024|1|0|p\r "
                                            "(date parse)")}));
}

TEST(FileListText, NumberColumnsFollowStoi)
{
    const std::vector<FileEntry> entries =
        ParseFileListText(Line("a", "20240101000000", "12abc", " \t-7") +
                              Line("b", "20240101000000", "+5", "-2147483648") +
                              Line("c", "20240101000000", "2147483647", "007"),
                          false, "FileList");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].column3, 12);
    EXPECT_EQ(entries[0].column4, -7);
    EXPECT_EQ(entries[1].column3, 5);
    EXPECT_EQ(entries[1].column4, INT32_MIN);
    EXPECT_EQ(entries[2].column3, INT32_MAX);
    EXPECT_EQ(entries[2].column4, 7);
}

TEST(FileListText, BadNumbersEndTheListBeforeTheDateIsLookedAt)
{
    struct Case
    {
        std::string c3, c4, date;
        bool outOfRange;
    };
    const std::vector<Case> cases = {
        {"abc", "0", "20240101000000", false},
        {"abc", "0", "bad", false},
        {"1", "", "2024", false},
        {"-", "0", "20240101000000", false},
        {" ", "0", "20240101000000", false},
        {"2147483648", "0", "bad", true},
        {"1", "-2147483649", "20241301000000", true},
        {"99999999999999999999", "0", "", true},
    };
    for (const Case& c : cases)
    {
        LogCapture log;
        std::vector<FileEntry> entries;
        const std::string text = Line("first") + Line("bad", c.date, c.c3, c.c4) + Line("never");
        try
        {
            ParseFileListText(text, false, "FileList", entries);
            ADD_FAILURE() << "no exception for " << c.c3 << " / " << c.c4;
        }
        catch (const std::out_of_range& e)
        {
            EXPECT_TRUE(c.outOfRange) << c.c3 << " / " << c.c4;
            EXPECT_STREQ(e.what(), "stoi argument out of range");
        }
        catch (const std::invalid_argument& e)
        {
            EXPECT_FALSE(c.outOfRange) << c.c3 << " / " << c.c4;
            EXPECT_STREQ(e.what(), "invalid stoi argument");
        }
        EXPECT_EQ(Names(entries), (std::vector<std::string>{"first"}))
            << "entries before the bad line stay appended";
        EXPECT_TRUE(Messages(log).empty()) << "no date warning for a line that threw";
    }
}

TEST(FileListText, DatesAreSixNumbersAndInvalidCalendarsGiveTimeZero)
{
    LogCapture log;
    const std::vector<FileEntry> entries =
        ParseFileListText(Line("noon", "20240101123456") + Line("month13", "20241301000000") +
                              Line("ten", "2024010112") + Line("feb29", "20230229000000") +
                              Line("hour24", "20240101240000") + Line("letters", "20240101x23456") +
                              Line("trailing", "20240101000001junk"),
                          false, "FileList");
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{"noon", "month13", "feb29", "hour24", "trailing"}));
    EXPECT_EQ(entries[0].time, kJan2024 + (12 * 3600 + 34 * 60 + 56) * kSecond);
    EXPECT_EQ(entries[1].time, 0u);
    EXPECT_EQ(entries[2].time, 0u);
    EXPECT_EQ(entries[3].time, 0u);
    EXPECT_EQ(entries[4].time, kJan2024 + kSecond) << "text after 14 digits is ignored";
    EXPECT_EQ(
        Messages(log),
        (std::vector<std::string>{
            Etx("FileList: Malformed line ten|2024010112|1|0|pkg/a.zip (date parse)"),
            Etx("FileList: Malformed line letters|20240101x23456|1|0|pkg/a.zip (date parse)")}));
}

TEST(FileListText, TextEndsAtTheFirstNul)
{
    const std::string text = Line("a") + "\0"s + Line("b");
    EXPECT_EQ(Names(ParseFileListText(text, false, "FileList")), (std::vector<std::string>{"a"}));
    // A NUL inside a line leaves that line without its LF.
    const std::string cut = Line("a") + Etx("b|2024") + "\0"s + Etx("0101000000|1|0|p\n");
    EXPECT_EQ(Names(ParseFileListText(cut, false, "FileList")), (std::vector<std::string>{"a"}));
}

TEST(FileListText, EntriesCarryTheirFieldsVerbatim)
{
    const std::vector<FileEntry> entries = ParseFileListText(
        Line("./data/Ünïcode file.dat", "20240229235959", "3", "4", "./pkg/x.zip") +
            Line("A\\b/c", "16010101000000", "0", "0", ""),
        true, "Overlay FileList");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "./data/Ünïcode file.dat");
    EXPECT_EQ(entries[0].packagePath, "./pkg/x.zip");
    EXPECT_EQ(entries[0].column3, 3);
    EXPECT_EQ(entries[0].column4, 4);
    EXPECT_EQ(entries[0].time, kJan2024 + (60 * 86400 - 1) * kSecond);
    EXPECT_TRUE(entries[0].fromOverlay);
    EXPECT_EQ(entries[1].name, "A\\b/c");
    EXPECT_EQ(entries[1].time, 0u) << "1601-01-01 00:00:00 is time 0 itself";
    EXPECT_EQ(entries[1].packagePath, "");
    EXPECT_FALSE(ParseFileListText(Line("m"), false, "FileList")[0].fromOverlay);
}

TEST(FileListWriter, LinesReadBackUnchanged)
{
    std::vector<FileEntry> written = {
        {"./a.txt", kJan2024 + 5 * kSecond, 12, 0, "./a.txt.zip", false},
        {"sub dir/ü.dat", 0, -1, INT32_MAX, "files/1.zip", false},
        {"z", *CalendarToFileTime(9999, 12, 31, 23, 59, 59), INT32_MIN, 7, "", false},
    };
    std::string text;
    for (const FileEntry& entry : written)
        text += FormatFileListLine(entry);
    const std::vector<FileEntry> read = ParseFileListText(text, false, "FileList");
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i)
    {
        EXPECT_EQ(read[i].name, written[i].name);
        EXPECT_EQ(read[i].time, written[i].time);
        EXPECT_EQ(read[i].column3, written[i].column3);
        EXPECT_EQ(read[i].column4, written[i].column4);
        EXPECT_EQ(read[i].packagePath, written[i].packagePath);
    }
}

TEST(FileListWriter, DatesAreFourteenDigitsWithSecondsTruncated)
{
    EXPECT_EQ(FormatListDate(kJan2024 + (12 * 3600 + 34 * 60 + 56) * kSecond + 9'999'999),
              "20240101123456");
    EXPECT_EQ(FormatListDate(0), "16010101000000");
    EXPECT_EQ(FormatListDate(*CalendarToFileTime(9999, 12, 31, 23, 59, 59)), "99991231235959");
    EXPECT_THROW(FormatListDate(*CalendarToFileTime(10000, 1, 1, 0, 0, 0)), std::out_of_range);
}

TEST(FileListWriter, RefusesFieldsThatWouldNotReadBack)
{
    for (const std::string& bad : {Etx("a|b"), "a\nb"s, "a\rb"s, "a\0b"s, "a\r"s})
    {
        EXPECT_THROW(FormatFileListLine({bad, kJan2024, 0, 0, "p", false}), std::invalid_argument);
        EXPECT_THROW(FormatFileListLine({"n", kJan2024, 0, 0, bad, false}), std::invalid_argument);
    }
}

namespace
{
FileEntry Named(const std::string& name, const std::string& package, bool overlay = false)
{
    FileEntry entry;
    entry.name = name;
    entry.packagePath = package;
    entry.fromOverlay = overlay;
    return entry;
}
} // namespace

TEST(OverlayMerge, ReplacesInPlaceAppendsTheRestAndTheLastRepeatWins)
{
    std::vector<FileEntry> entries{Named("a.dat", "main/a"), Named("b.dat", "main/b"),
                                   Named("a.dat", "main/a2")};
    MergeOverlayEntries(entries, {Named("b.dat", "over/b", true), Named("A.dat", "over/A", true),
                                  Named("./a.dat", "over/dot-a", true),
                                  Named("A.dat", "over/A2", true), Named("a.dat", "over/a", true)});
    ASSERT_EQ(entries.size(), 5u);
    // The first of two equal names is the one replaced; case and "./" make other names.
    EXPECT_EQ(entries[0].packagePath, "over/a");
    EXPECT_TRUE(entries[0].fromOverlay);
    EXPECT_EQ(entries[1].packagePath, "over/b");
    EXPECT_EQ(entries[2].packagePath, "main/a2");
    EXPECT_FALSE(entries[2].fromOverlay);
    EXPECT_EQ(entries[3].name, "A.dat");
    EXPECT_EQ(entries[3].packagePath, "over/A2");
    EXPECT_EQ(entries[4].name, "./a.dat");
}

// The hardest list a server can send in one piece: every name new, then an
// overlay as long again that replaces half of them and adds the rest.
TEST(OverlayMerge, AHundredThousandEntriesParseAndMergeOnce)
{
    constexpr int kCount = 100000;
    std::string text;
    std::vector<FileEntry> overlay;
    for (int i = 0; i < kCount; ++i)
    {
        const std::string name =
            "data/folder" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".dat";
        text += name +
                "\x03"
                "20240101000000\x03"
                "0\x03"
                "0\x03"
                "files/" +
                name + ".zip\n";
        overlay.push_back(Named(i % 2 ? name : name + ".ja", "ja/" + name, true));
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<FileEntry> entries = ParseFileListText(text, false, "FileList");
    ASSERT_EQ(entries.size(), static_cast<size_t>(kCount));
    MergeOverlayEntries(entries, overlay);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kCount + kCount / 2));
    EXPECT_EQ(entries[1].packagePath, "ja/" + entries[1].name);
    EXPECT_EQ(entries[0].packagePath, "files/" + entries[0].name + ".zip");
    EXPECT_EQ(entries[kCount].name, entries[0].name + ".ja");
    std::printf(
        "[ hardest list ] %d entries parsed and merged with %d overlay entries in %lld ms\n",
        kCount, kCount, static_cast<long long>(milliseconds));
}
