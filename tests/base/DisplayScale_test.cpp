#include "base/DisplayScale.h"

#include <gtest/gtest.h>

TEST(DisplayScale, LengthsRoundHalfUpAsTheArtworkDoesAndTheDesignDpiKeepsThem)
{
    const DisplayScale design;
    for (const int length : {0, 1, 22, 27, 113, 383, 532, 558})
        EXPECT_EQ(design(length), length);
    const RECT box{396, 395, 514, 456};
    const RECT same = design(box);
    EXPECT_EQ(same.left, 396);
    EXPECT_EQ(same.bottom, 456);

    // 150 %: halves go up (40.5 -> 41), as tools/lib/artwork.py rounds its boxes.
    const DisplayScale half(144);
    EXPECT_EQ(half(27), 41);
    EXPECT_EQ(half(113), 170);
    EXPECT_EQ(half(429), 644);
    EXPECT_EQ(half(-12), -18);
    EXPECT_EQ(DisplayScale(192)(558), 1116);
    EXPECT_EQ(DisplayScale(120)(383), 479);
    // No DPI (a failed query) is taken as the design's.
    EXPECT_EQ(DisplayScale(0).Dpi(), kDesignDpi);
}

TEST(DisplayScale, PicturesComeFromTheNearestSetAndHalfwayGoesUp)
{
    const std::pair<UINT, int> cases[] = {{72, 181},   {96, 181},   {119, 181},
                                          {120, 1181}, {144, 1181}, {167, 1181},
                                          {168, 2181}, {192, 2181}, {288, 2181}};
    for (const auto& [dpi, id] : cases)
        EXPECT_EQ(DisplayScale(dpi).PictureId(181), id) << dpi;
}
