#include "update/formats/SafePath.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace
{
// Each name also in its back-slash form, since Windows reads both alike.
std::vector<std::string> BothSlashForms(const std::vector<std::string>& names)
{
    std::vector<std::string> all;
    for (std::string name : names)
    {
        all.push_back(name);
        for (char& c : name)
        {
            if (c == '/')
                c = '\\';
        }
        all.push_back(name);
    }
    return all;
}

void ExpectRejected(const std::vector<std::string>& names, const std::string& reason)
{
    for (const std::string& name : names)
    {
        const std::optional<std::string> why = UnsafeListNameReason(name);
        EXPECT_TRUE(why.has_value()) << "accepted: " << name;
        if (why)
            EXPECT_EQ(*why, reason) << name;
    }
}
} // namespace

TEST(SafePath, OrdinaryNamesAndSubFoldersPass)
{
    for (const std::string& name : BothSlashForms(
             {"a.txt", "./a.txt", "data/a.dat", "a/b/c.dat", "a..b", "..a", "a..", ".hidden",
              "a/./b", "./data/sub/file.bin", "a//b", "名前/ファイル.dat", "Galdervin.bin",
              "splash.exe", "console.log", "COM10", "LPT", "nul1.txt", "a b/c d.txt"}))
        EXPECT_TRUE(IsSafeListName(name))
            << name << ": " << UnsafeListNameReason(name).value_or("");
    EXPECT_TRUE(IsSafeListName("a/b\\c.dat")) << "mixed separators";
}

TEST(SafePath, ParentComponentsAnywhereAreRejected)
{
    ExpectRejected(
        BothSlashForms({"..", "../a", "a/../b", "a/../../b", "a/b/..", "./../a", "a/b/../../../c"}),
        "parent folder component");
    ExpectRejected({"a/..\\..\\b", "a\\../b", "./..\\x"}, "parent folder component");
}

TEST(SafePath, RootedUncAndDevicePathsAreRejected)
{
    ExpectRejected(BothSlashForms({"/x", "/", "//server/share/x", "/a/b"}), "rooted path");
    ExpectRejected({"\\\\server\\share\\x", "\\\\?\\C\\x", "\\\\.\\PhysicalDrive0", "\\x", "/\\x"},
                   "rooted path");
}

TEST(SafePath, ColonsForDrivesAndStreamsAreRejected)
{
    ExpectRejected(BothSlashForms({"C:", "C:foo", "C:/Windows/x", "c:/x", "name:stream",
                                   "a/b.txt:zone.identifier:$DATA", "a/C:x", "\\\\?\\C:\\x"}),
                   "colon (drive letter or stream)");
}

TEST(SafePath, ControlCharactersAndEmptyNamesAreRejected)
{
    ExpectRejected({"a\0b"s, "\0"s, "a\tb", "a\rb", "a\n", "a\x7F", "a\x1F"}, "control character");
    ExpectRejected({""}, "empty name");
}

TEST(SafePath, NamesThatEndInAFolderOrDotsAreRejected)
{
    ExpectRejected(BothSlashForms({".", "./", "a/", "a/.", "./."}), "no file name");
    // Win32 drops trailing dots and spaces, turning these into ".." or nothing.
    ExpectRejected(BothSlashForms({"...", ".. ", "a/... /b", " ", "a/ /b", ". ."}),
                   "component of dots and spaces");
}

TEST(SafePath, DeviceNamesAreRejectedInAnyFolderAndCase)
{
    ExpectRejected(BothSlashForms({"CON", "con.txt", "a/nul", "a/Aux.dat", "COM1", "lpt9.log",
                                   "prn ", "CONIN$", "conout$.x", "NUL .txt"}),
                   "device name");
}
