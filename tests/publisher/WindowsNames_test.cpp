#include "publisher/WindowsNames.h"

#include <gtest/gtest.h>

TEST(WindowsNames, NamesWindowsCannotHoldAreNamedWithTheReason)
{
    for (const char* bad : {"a<b", "a>b", "q\"uote", "pi|pe", "what?", "star*", "back\\slash",
                            "dir./file", "file.", "file ", "dir /file", "COM0", "lpt0.txt",
                            "sub/COM\xC2\xB9.dat", "LPT\xC2\xB3", "bad\xC3(utf8", "\xFF.dat"})
        EXPECT_NE(WindowsNameProblem(bad), "") << bad;
    for (const char* good :
         {"a.txt", "dir/sub/file.dat", "COM10", "COMA.txt", "LPT\xC2\xB9x", "\xC3\x89t\xC3\xA9.dat",
          "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/x", ".hidden", "a..b"})
        EXPECT_EQ(WindowsNameProblem(good), "") << good;
}

TEST(WindowsNames, CaseIsFoldedForEveryScriptOneCodePointAtATime)
{
    EXPECT_EQ(WindowsFoldedName("\xC3\x89t\xC3\xA9.DAT"),
              WindowsFoldedName("\xC3\xA9T\xC3\x89.dat"))
        << "Été and éTÉ";
    EXPECT_EQ(WindowsFoldedName("\xCE\xA3\xCE\x91\xCE\xA3"),
              WindowsFoldedName("\xCF\x83\xCE\xB1\xCF\x82"))
        << "ΣΑΣ and σας: final sigma folds with sigma";
    EXPECT_EQ(WindowsFoldedName("\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"),
              WindowsFoldedName("\xD0\xB4\xD0\x90\xD0\x9D\xD0\xBD\xD1\x8B\xD0\x95"))
        << "Cyrillic";
    EXPECT_NE(WindowsFoldedName("stra\xC3\x9F"
                                "e"),
              WindowsFoldedName("strasse"))
        << "ß is not two letters to Windows";
    EXPECT_NE(WindowsFoldedName("\xE3\x83\x87"), WindowsFoldedName("\xE3\x83\x86"))
        << "caseless scripts stay apart";
}

TEST(WindowsNames, SetFindsFilesAndFoldersWindowsWouldMerge)
{
    WindowsNameSet names;
    names.Add("Data/\xC3\x89t\xC3\xA9.dat");
    names.Add("readme");
    EXPECT_EQ(names.Conflict("data/\xC3\xA9t\xC3\xA9.DAT"), "Data/\xC3\x89t\xC3\xA9.dat");
    EXPECT_EQ(names.Conflict("DATA"), "Data/\xC3\x89t\xC3\xA9.dat") << "a file where a folder is";
    EXPECT_EQ(names.Conflict("README/inside.txt"), "readme") << "a folder where a file is";
    EXPECT_EQ(names.Conflict("Data/\xC3\x89t\xC3\xA9.dat"), std::nullopt)
        << "the same name replaces";
    EXPECT_EQ(names.Conflict("data/other.dat"), std::nullopt)
        << "one folder spelled two ways still holds both files";
    EXPECT_EQ(names.Conflict("readme.txt"), std::nullopt);
}
