// Continuing a broken-off body: what a 206 reply's range must say before its
// bytes are appended, and which validator an If-Range may carry.
#include "http/RangeRequest.h"

#include <gtest/gtest.h>

TEST(ContentRange, ReadsOnlyWellFormedByteRanges)
{
    const auto range = ParseContentRange(" bytes 100-199/200\r\n");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 100u);
    EXPECT_EQ(range->last, 199u);
    EXPECT_EQ(range->total, 200);

    const auto unknown = ParseContentRange("bytes 0-9/*");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->total, -1);

    // Huge offsets of a 32-bit launcher's 4 GiB-and-more bodies still parse.
    const auto large = ParseContentRange("bytes 5000000000-5000000009/5000000010");
    ASSERT_TRUE(large);
    EXPECT_EQ(large->first, 5000000000u);

    for (const char* bad :
         {"", "bytes", "items 0-9/10", "bytes 9-0/10", "bytes 0-9/9", "bytes -9/10", "bytes 0-/10",
          "bytes 0-9", "bytes 0-9/1x", "bytes */10", "bytes 0-9/-1"})
        EXPECT_FALSE(ParseContentRange(bad)) << bad;
}

TEST(ContentRange, IsTheRestOnlyFromTheHeldOffsetToTheSameEnd)
{
    const ResumePoint resume{100, 200, "\"abc\""};
    EXPECT_TRUE(IsRestOf({100, 199, 200}, resume));
    EXPECT_FALSE(IsRestOf({0, 199, 200}, resume));   // the whole body again
    EXPECT_FALSE(IsRestOf({100, 150, 200}, resume)); // only part of the rest
    EXPECT_FALSE(IsRestOf({100, 299, 300}, resume)); // the file grew meanwhile
    EXPECT_FALSE(IsRestOf({100, 199, -1}, resume));  // a length the server will not say
}

TEST(ContentRange, IfRangeTakesAStrongETagElseTheTime)
{
    EXPECT_EQ(ChooseValidator(" \"5f1-1a\" ", "Mon, 06 May 2024 07:08:09 GMT"), "\"5f1-1a\"");
    EXPECT_EQ(ChooseValidator("W/\"5f1-1a\"", "Mon, 06 May 2024 07:08:09 GMT"),
              "Mon, 06 May 2024 07:08:09 GMT");
    EXPECT_EQ(ChooseValidator("", " Mon, 06 May 2024 07:08:09 GMT\r\n"),
              "Mon, 06 May 2024 07:08:09 GMT");
    EXPECT_EQ(ChooseValidator("", ""), "");

    const ResumePoint resume{1048576, 4194304, "\"5f1-1a\""};
    EXPECT_EQ(RangeHeader(resume), "Range: bytes=1048576-");
    EXPECT_EQ(IfRangeHeader(resume), "If-Range: \"5f1-1a\"");
}
