#include "support/LogCapture.h"
#include "update/SameFileOnDisk.h"

#include <gtest/gtest.h>

TEST(SameFileOnDisk, SpellingsWindowsTreatsAsOneFileShareAKey)
{
    const std::wstring key = OnDiskKey("data/maps/Map01.dat");
    for (const char* spelling :
         {"./data/maps/map01.dat", "DATA\\MAPS\\MAP01.DAT", "data//maps/./map01.dat",
          "data/maps/map01.dat.", "data /maps/map01.dat "})
        EXPECT_EQ(OnDiskKey(spelling), key) << spelling;
    // Beyond ASCII too: É and é are one letter to the file system.
    EXPECT_EQ(OnDiskKey("\xC3\x89t\xC3\xA9.dat"), OnDiskKey("\xC3\xA9T\xC3\x89.DAT"));

    for (const char* other :
         {"data/maps/map01.da", "data/map01.dat", "data/maps/map01.dat2", "data/maps-map01.dat"})
        EXPECT_NE(OnDiskKey(other), key) << other;
}

TEST(SameFileOnDisk, OnlyTheLastEntryOfEachFileStaysAndEachShadowedOneIsLogged)
{
    LogCapture log;
    std::vector<FileEntry> entries(5);
    entries[0].name = "a.dat";
    entries[1].name = "b.dat";
    entries[2].name = "./A.dat";
    entries[3].name = "c.dat";
    entries[4].name = "A.DAT";
    EXPECT_EQ(EntriesShadowedByLaterOnes(entries),
              (std::vector<bool>{true, false, true, false, false}));
    EXPECT_EQ(
        log.Count("Install - a.dat and A.DAT are the same file on disk; only A.DAT is written"), 1);
    EXPECT_EQ(
        log.Count("Install - ./A.dat and A.DAT are the same file on disk; only A.DAT is written"),
        1);
    EXPECT_TRUE(EntriesShadowedByLaterOnes({}).empty());
}
