#include "update/formats/VersionFileText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> Keys(const std::vector<VersionFileLine>& lines)
{
    std::vector<std::string> keys;
    for (const VersionFileLine& line : lines)
        keys.push_back(line.isMalformed ? "<malformed:" + line.rawLine + ">" : line.key);
    return keys;
}
} // namespace

TEST(VersionFileLines, LineEndsAndTheLastLine)
{
    const auto lf = ReadVersionFileLines("version=1\nfilelist=list\npatch=http://h/p");
    EXPECT_EQ(Keys(lf), (std::vector<std::string>{"version", "filelist", "patch"}));
    EXPECT_EQ(lf[2].value, "http://h/p") << "a last line without LF is read";

    EXPECT_EQ(Keys(ReadVersionFileLines("version=1\n")), (std::vector<std::string>{"version"}))
        << "a final LF makes no empty line";
    EXPECT_TRUE(ReadVersionFileLines("").empty());

    const auto crlf = ReadVersionFileLines("version=1\r\nfilelist=list\r\n");
    ASSERT_EQ(crlf.size(), 2u);
    EXPECT_EQ(crlf[0].value, "1");
    EXPECT_EQ(crlf[1].value, "list");
    EXPECT_EQ(crlf[1].rawLine, "filelist=list\r") << "the raw line keeps its CR";
}

TEST(VersionFileLines, MalformedLinesKeepTheirUntrimmedText)
{
    const auto lines = ReadVersionFileLines("version=1\n\n\r\n  no equals here \t\nnotice=x\n\n");
    EXPECT_EQ(Keys(lines), (std::vector<std::string>{"version", "<malformed:>", "<malformed:\r>",
                                                     "<malformed:  no equals here \t>", "notice",
                                                     "<malformed:>"}));
    for (const VersionFileLine& line : lines)
    {
        if (line.isMalformed)
        {
            EXPECT_TRUE(line.key.empty());
            EXPECT_TRUE(line.value.empty());
        }
    }
}

TEST(VersionFileLines, KeyAndValueAreTrimmedAndSplitAtTheFirstEquals)
{
    const auto lines = ReadVersionFileLines(" \tpatch \v= http://a/b?x=1=2 \f\r\n=\n= \nkey=\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].key, "patch");
    EXPECT_EQ(lines[0].value, "http://a/b?x=1=2") << "further = belong to the value";
    EXPECT_EQ(lines[0].rawLine, " \tpatch \v= http://a/b?x=1=2 \f\r");
    // A bare "=" is a line with an empty key, not a malformed one.
    EXPECT_FALSE(lines[1].isMalformed);
    EXPECT_EQ(lines[1].key, "");
    EXPECT_FALSE(lines[2].isMalformed);
    EXPECT_EQ(lines[2].value, "");
    EXPECT_EQ(lines[3].key, "key");
    EXPECT_EQ(lines[3].value, "");
}

TEST(VersionFileLines, BytesBeyondAsciiAndNulPassThrough)
{
    using namespace std::string_literals;
    const std::string body = "notice=https://h/\xE3\x81\x82\nversion=a\0b\n"s;
    const auto lines = ReadVersionFileLines(body);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value, "https://h/\xE3\x81\x82");
    EXPECT_EQ(lines[1].value, "a\0b"s);
}

TEST(VersionFileText, TrimDropsOnlyTheSixWhitespaceBytes)
{
    EXPECT_EQ(TrimVersionText(" \t\n\v\f\rvalue \t\n\v\f\r"), "value");
    EXPECT_EQ(TrimVersionText(" \r\n "), "");
    EXPECT_EQ(TrimVersionText("a b"), "a b");
    EXPECT_EQ(TrimVersionText("\xA0x\xA0"), "\xA0x\xA0") << "no non-ASCII space";
}

TEST(VersionFileText, ReplaceAllGoesLeftToRightWithoutOverlap)
{
    EXPECT_EQ(ReplaceAll("https://patch.example/x/patch.example/", "patch.example", "m2.example"),
              "https://m2.example/x/m2.example/");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    // Text brought in by a replacement is not searched again.
    EXPECT_EQ(ReplaceAll("host", "host", "host.host"), "host.host");
    EXPECT_EQ(ReplaceAll("https://other.example/", "patch.example", "m2.example"),
              "https://other.example/");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "x"), "");
}

TEST(VersionFileText, OverlayListSplitsAtEveryCommaAndTrims)
{
    EXPECT_EQ(SplitOverlayList("ja, en"), (std::vector<std::string>{"ja", "en"}));
    EXPECT_EQ(SplitOverlayList("en"), (std::vector<std::string>{"en"}));
    EXPECT_EQ(SplitOverlayList(" ja ,,en,"), (std::vector<std::string>{"ja", "", "en", ""}));
    EXPECT_EQ(SplitOverlayList(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitOverlayList("EN , ja"), (std::vector<std::string>{"EN", "ja"}))
        << "case is left to the caller's exact comparison";
}
