// The two files a run leaves beside the tree: the manifest mirrors are
// checked against, and the state the next run starts from.
#include "PublisherTestFiles.h"
#include "publisher/Manifest.h"
#include "publisher/ProgressMeter.h"
#include "publisher/PublishState.h"
#include "publisher/Sha256.h"

#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    TempDir temp;
    const std::string million(1'000'000, 'a');
    MakeFile(temp.Path() / "a", million, 0);
    EXPECT_EQ(Sha256OfFile(temp.Path() / "a"),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_THROW(Sha256OfFile(temp.Path() / "missing"), std::runtime_error);
}

TEST(Manifest, ReadsBackWhatItWritesAndRefusesOtherLines)
{
    const std::string sha(64, 'a');
    const Manifest manifest = {{"files/a%20b.zip", {12, sha}}, {"filelist.zip", {0, sha}}};
    EXPECT_EQ(ParseManifest(FormatManifest(manifest)).size(), 2u);
    const Manifest back = ParseManifest(FormatManifest(manifest));
    EXPECT_EQ(back.at("files/a%20b.zip").size, 12u);
    EXPECT_EQ(back.at("files/a%20b.zip").sha256, sha);
    EXPECT_EQ(ParseManifest("# only a comment\n\n").size(), 0u);
    for (const std::string& bad : std::vector<std::string>{
             sha + " 12", sha + " x12 p", sha + " 12 ", "abc 12 p", sha + "  12 p"})
        EXPECT_THROW(ParseManifest(bad + "\n"), std::runtime_error) << bad;
}

TEST(PublishState, ReadsBackWhatItWritesAndSkipsDamagedLines)
{
    TempDir temp;
    EXPECT_TRUE(LoadPublishState(temp.Path()).packages.empty()) << "none yet";
    PublishState state;
    state.packages["patch/files/a b"] = {3,
                                         -1'000'000'123,
                                         std::string(64, '1'),
                                         133'500'000'000'000'000,
                                         "patch/files/a b.1111111111111111.zip",
                                         120,
                                         1'700'000'000'123'456'789,
                                         std::string(64, '2')};
    SavePublishState(temp.Path(), state);
    const PublishState back = LoadPublishState(temp.Path());
    ASSERT_EQ(back.packages.size(), 1u);
    const PackageRecord& record = back.packages.at("patch/files/a b");
    EXPECT_EQ(record.listTime, 133'500'000'000'000'000u);
    EXPECT_EQ(record.packagePath, "patch/files/a b.1111111111111111.zip");
    EXPECT_EQ(record.sourceSize, 3u);
    EXPECT_EQ(record.sourceModifiedNs, -1'000'000'123);
    EXPECT_EQ(record.packageModifiedNs, 1'700'000'000'123'456'789);
    EXPECT_EQ(record.packageSha256, std::string(64, '2'));
    EXPECT_FALSE(fs::exists(PublishStateFile(temp.Path()).string() + ".norvik-publish-tmp"));

    auto line = [](const std::string& key, const std::string& package)
    {
        return key + "\t3\t0\t" + std::string(64, '1') + "\t1\t" + package + "\t1\t0\t" +
               std::string(64, '2') + "\n";
    };
    MakeFile(PublishStateFile(temp.Path()),
             ReadAll(PublishStateFile(temp.Path())) + "cut\tshort\n" +
                 line("../outside", "p/a.zip") + line("p/a", "version/version") +
                 line("p/b", "../b.zip"),
             0);
    EXPECT_EQ(LoadPublishState(temp.Path()).skippedLines, 4u)
        << "a path out of the output, and a package that is no package, too";
    EXPECT_EQ(LoadPublishState(temp.Path()).packages.size(), 1u);
    MakeFile(PublishStateFile(temp.Path()), "some other file\n", 0);
    EXPECT_TRUE(LoadPublishState(temp.Path()).packages.empty());
}

TEST(ProgressMeter, LogGetsPeriodicLinesAndTheFinalCount)
{
    EXPECT_EQ(FormatProgressLine("deflating", 3, 10, 3 << 20, 12 << 20),
              "deflating: 3/10 files, 3.0/12.0 MiB (25%)");
    TempDir temp;
    const fs::path log = temp.Path() / "log";
    {
        FILE* out = std::fopen(log.c_str(), "w");
        ASSERT_NE(out, nullptr);
        {
            ProgressMeter meter("deflating", 2, 2 << 20, ProgressStyle::Periodic, out,
                                std::chrono::milliseconds(20));
            meter.AddBytes(1 << 20);
            meter.FileDone();
            // The printer's own pace decides; wait for it rather than guess.
            for (int i = 0; i < 500 && ReadAll(log).find("1/2") == std::string::npos; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            meter.AddBytes(1 << 20);
            meter.FileDone();
        }
        std::fclose(out);
    }
    const std::string text = ReadAll(log);
    EXPECT_NE(text.find("deflating: 1/2 files, 1.0/2.0 MiB (50%)\n"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("deflating: 2/2 files, 2.0/2.0 MiB (100%)\n")) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << "a log gets whole lines";

    FILE* quick = std::fopen(log.c_str(), "w");
    ASSERT_NE(quick, nullptr);
    {
        ProgressMeter meter("checking", 1, 0, ProgressStyle::Periodic, quick,
                            std::chrono::milliseconds(60'000));
        meter.FileDone();
    }
    std::fclose(quick);
    EXPECT_EQ(ReadAll(log), "") << "a step shorter than one interval prints nothing";
}
