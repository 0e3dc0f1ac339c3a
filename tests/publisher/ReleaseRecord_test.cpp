// The release record's text: what FormatReleaseRecord writes reads back
// whole, and every other spelling of the same release is refused.
#include "update/formats/ReleaseRecord.h"

#include <gtest/gtest.h>

namespace
{
ReleaseRecord SampleRecord()
{
    ReleaseRecord record;
    record.serial = 7;
    record.expires = 1800000000;
    record.versionFile = {120, std::string(64, 'a')};
    record.lists["filelist.0123456789abcdef.zip"] = {300, std::string(64, 'b')};
    record.packages["files/Sub%20Dir/b.bin.0011223344556677.zip"] = {40, std::string(64, 'c')};
    record.files["-"]["Sub Dir/b.bin"] = {5, std::string(64, 'd')};
    record.files["ja"]["Sub Dir/b.bin"] = {6, std::string(64, 'e')};
    return record;
}

std::string Signed(const std::string& signedBytes)
{
    Ed25519Signature signature{};
    signature[0] = 0xab;
    return AppendReleaseSignature(signedBytes, signature);
}
} // namespace

TEST(ReleaseRecord, ReadsBackWhatIsWritten)
{
    const std::string text = Signed(FormatReleaseRecord(SampleRecord()));
    const SignedRelease split = SplitSignedRelease(text);
    EXPECT_EQ(split.signature[0], 0xab);
    EXPECT_EQ(split.signedBytes, FormatReleaseRecord(SampleRecord()));
    const ReleaseRecord read = ParseReleaseRecord(split.signedBytes);
    EXPECT_EQ(read.serial, 7u);
    EXPECT_EQ(read.expires, 1800000000);
    EXPECT_EQ(read.files.at("-").at("Sub Dir/b.bin").size, 5u);
    EXPECT_EQ(read.files.at("ja").at("Sub Dir/b.bin").sha256, std::string(64, 'e'));
    EXPECT_EQ(read.packages.size(), 1u);
    EXPECT_EQ(FormatReleaseRecord(read), split.signedBytes);
}

TEST(ReleaseRecord, RefusesEveryOtherSpelling)
{
    const std::string good = FormatReleaseRecord(SampleRecord());
    auto replaced = [&](const std::string& from, const std::string& to)
    {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const std::string listLine =
        "list " + std::string(64, 'b') + " 300 filelist.0123456789abcdef.zip\n";
    for (const std::string& bad : {
             replaced("serial 7", "serial 07"),
             replaced("serial 7", "serial +7"),
             replaced(" 300 ", " 300  "),
             replaced(std::string(64, 'b'), std::string(64, 'B')),
             replaced(std::string(64, 'b'), std::string(63, 'b')),
             replaced(listLine, listLine + listLine),
             replaced("norvik-release 1", "norvik-release 2"),
             replaced("\nexpires", "\r\nexpires"),
             replaced("file ja", "file j\ta"),
             replaced("\nfile - ", "\nfiles - "),
             good.substr(0, good.size() - 1),
             // The packages must come after the lists.
             replaced(listLine, "") + listLine,
         })
        EXPECT_THROW(ParseReleaseRecord(bad), std::runtime_error) << bad;

    const std::string text = Signed(good);
    for (const std::string& bad : {
             good,
             text + "\n",
             text.substr(0, text.size() - 1),
             text.substr(0, text.size() - 3) + "\n",
             "signature " + std::string(128, '0') + "\n",
             good + std::string(kMaxReleaseRecordBytes, 'x') + text.substr(good.size()),
         })
        EXPECT_THROW(SplitSignedRelease(bad), std::runtime_error) << bad.substr(0, 200);
}
