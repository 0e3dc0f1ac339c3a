// What players can fetch while and after the publisher runs: an interrupted
// run leaves the previous release served, republishing unchanged content
// changes no served byte, changes launchers would miss are refused or
// re-dated, and --prune keeps what the previous version file leads to.
#include "PublisherTestFiles.h"
#include "publisher/OutputLock.h"
#include "publisher/PublishState.h"
#include "publisher/PublishSummary.h"
#include "publisher/ServerTree.h"
#include "publisher/Sha256.h"

#include <chrono>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
constexpr int64_t kUtc = 1704080096;
constexpr uint64_t kMinute = 60ull * 10'000'000;

class ServedRelease : public ::testing::Test
{
  protected:
    TempDir temp;
    fs::path game = temp.Path() / "game";
    fs::path overlay = temp.Path() / "overlay";
    fs::path out = temp.Path() / "www";
    fs::path packages = out / "patch/files";

    void SetUp() override
    {
        MakeFile(game / "big.dat", std::string(50000, 'b'), kUtc);
        MakeFile(game / "edit.dat", "first", kUtc);
        MakeFile(game / "gone.dat", "old", kUtc);
        MakeFile(overlay / "lang.txt", "en", kUtc);
    }

    PublishOptions Options(const std::string& version) const
    {
        PublishOptions options = TestPublishOptions(game, out, "patch");
        options.overlays = {{"en", overlay, ""}};
        options.version = version;
        options.jobs = 1;
        return options;
    }

    // Edits the largest file and a small one, adds one and removes one.
    void ChangeTheGame()
    {
        MakeFile(game / "big.dat", std::string(50000, 'B'), kUtc + 600);
        MakeFile(game / "new.dat", "new", kUtc);
        MakeFile(game / "edit.dat", "second", kUtc + 600);
        fs::remove(game / "gone.dat");
    }

    static int64_t ChangedNs(const fs::path& file)
    {
        struct stat info
        {
        };
        ::stat(file.c_str(), &info);
        return info.st_ctim.tv_sec * 1'000'000'000ll + info.st_ctim.tv_nsec;
    }

    uint64_t ListTime(const PublishResult& result, const std::string& name)
    {
        for (const FileEntry& entry : result.main.entries)
            if (entry.name == name)
                return entry.time;
        ADD_FAILURE() << name << " not listed";
        return 0;
    }
};
} // namespace

TEST_F(ServedRelease, AnInterruptedRunLeavesThePreviousReleaseServed)
{
    PublishServerTree(Options("1"));
    const auto previous = ::ServedRelease(out);
    ChangeTheGame();
    // A folder the rename cannot replace stops the run after its first
    // package (by size), or its second under the old fixed names.
    const std::vector<fs::path> blockers = {
        packages / "new.dat.zip",
        packages / ("edit.dat." + Sha256Hex("second").substr(0, 16) + ".zip")};
    for (const fs::path& blocker : blockers)
        fs::create_directories(blocker / "x");
    EXPECT_ANY_THROW(PublishServerTree(Options("2")));
    EXPECT_EQ(::ServedRelease(out), previous) << "stopped after its first package";
    for (const fs::path& blocker : blockers)
        fs::remove_all(blocker);

    const std::vector<fs::path> manifestBlockers = {out / "version/manifest.part",
                                                    out / "version/manifest.norvik-publish-tmp"};
    for (const fs::path& blocker : manifestBlockers)
        fs::create_directories(blocker / "x");
    EXPECT_ANY_THROW(PublishServerTree(Options("2")));
    EXPECT_EQ(::ServedRelease(out), previous) << "stopped after its lists";
    for (const fs::path& blocker : manifestBlockers)
        fs::remove_all(blocker);

    PublishServerTree(Options("2"));
    EXPECT_TRUE(ReadAll(out / "version/version").starts_with("version=2\n"));
    EXPECT_EQ(::ServedRelease(out).size(), previous.size()) << "one file added, one removed";
}

TEST_F(ServedRelease, TouchingEveryFileChangesNoServedByte)
{
    PublishServerTree(Options("1"));
    const auto served = ::ServedRelease(out);
    for (const fs::path& folder : {game, overlay})
        for (const auto& item : fs::recursive_directory_iterator(folder))
            if (item.is_regular_file())
                MakeFile(item.path(), ReadAll(item.path()), kUtc + 7200);
    const PublishReport again = PublishServerTree(Options("1")).report;
    EXPECT_EQ(::ServedRelease(out), served);
    EXPECT_EQ(again.packagesWritten, 0u);
    EXPECT_EQ(again.uploadBytes, 0u) << "not even the manifest changed";
}

TEST_F(ServedRelease, ChangedContentUnderThePublishedVersionIsRefused)
{
    PublishOptions options = Options("1");
    options.overlayVersion = "en-1";
    PublishServerTree(options);
    const auto served = ::ServedRelease(out);
    ChangeTheGame();
    MakeFile(overlay / "lang.txt", "EN", kUtc + 60);
    try
    {
        PublishServerTree(options);
        ADD_FAILURE() << "published";
    }
    catch (const std::runtime_error& e)
    {
        const std::string message = e.what();
        EXPECT_NE(message.find("(big.dat, edit.dat, gone.dat, new.dat); give a new --version"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("overlay en files changed but its version en-1"), std::string::npos)
            << message;
    }
    EXPECT_EQ(::ServedRelease(out), served);
    options.version = "2";
    EXPECT_THROW(PublishServerTree(options), std::runtime_error)
        << "the overlay's own version is unchanged";
}

TEST_F(ServedRelease, AChangeWithinThePublishedMinuteGetsTheNextMinute)
{
    const uint64_t published = ListTime(PublishServerTree(Options("1")), "edit.dat");
    MakeFile(game / "edit.dat", "other", kUtc + 2);
    const PublishResult result = PublishServerTree(Options("2"));
    EXPECT_EQ(ListTime(result, "edit.dat") / kMinute, published / kMinute + 1);
    const std::string summary = FormatPublishSummary(Options("2"), result, 0);
    EXPECT_NE(summary.find("next minute"), std::string::npos) << summary;
}

TEST_F(ServedRelease, AFileReplacedWithItsOldSizeAndTimeIsReadAgain)
{
    PublishServerTree(Options("1"));
    const fs::path state = PublishStateFile(out);
    const fs::path edit = game / "edit.dat";
    // cp -p: same size, same time; only the inode's change time tells, once
    // the clock has moved past the state's.
    MakeFile(edit, "FIRST", kUtc);
    for (int i = 0; i < 400 && ChangedNs(edit) <= FileModifiedNs(state); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        MakeFile(edit, "FIRST", kUtc);
    }
    PublishServerTree(Options("2"));
    EXPECT_EQ(::ServedRelease(out).count("patch/files/edit.dat." +
                                         Sha256Hex("FIRST").substr(0, 16) + ".zip"),
              1u);

    MakeFile(game / "edit.dat", "first", kUtc);
    fs::last_write_time(state, fs::file_time_type::clock::now() + std::chrono::hours(1));
    PublishOptions rehash = Options("3");
    rehash.rehash = true;
    EXPECT_EQ(PublishServerTree(rehash).report.changed.size(), 1u) << "--rehash reads it";
}

TEST_F(ServedRelease, PruneKeepsWhatThePreviousVersionFileLeadsTo)
{
    PublishServerTree(Options("1"));
    const auto first = ::ServedRelease(out);
    ChangeTheGame();
    PublishOptions options = Options("2");
    options.prune = true;
    PublishServerTree(options);
    for (const auto& [path, sha256] : first)
        if (path != "version/version")
            EXPECT_EQ(Sha256Hex(ReadAll(out / path)), sha256) << path;

    MakeFile(game / "edit.dat", "third", kUtc + 1200);
    options.version = "3";
    PublishServerTree(options);
    std::vector<std::string> left;
    for (const auto& [path, sha256] : first)
        if (fs::exists(out / path))
            left.push_back(path.substr(0, path.find('.')));
    EXPECT_EQ(left, (std::vector<std::string>{"patch/overlays/en/filelist",
                                              "patch/overlays/en/files/lang", "version/version"}))
        << "what the second and third releases share; the first's own packages are gone";
}

TEST_F(ServedRelease, CleanUpAndASecondRunTouchOnlyThePublishersOwnFiles)
{
    MakeFile(packages / "upload.part", "another tool's", kUtc);
    MakeFile(packages / "edit.dat.zip.norvik-publish-tmp", "left by a killed run", kUtc);
    EXPECT_EQ(PublishServerTree(Options("1")).report.partFilesRemoved, 1u);
    EXPECT_TRUE(fs::exists(packages / "upload.part"));

    const OutputLock held(out);
    try
    {
        PublishServerTree(Options("2"));
        ADD_FAILURE() << "a second run went on";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_NE(std::string(e.what()).find(fmt::format("locked by PID {}", ::getpid())),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(ServedRelease, TheSummarySaysWhatAPlayerOnThePreviousReleaseDownloads)
{
    PublishServerTree(Options("1"));
    ChangeTheGame();
    PublishOptions options = Options("2");
    const PublishResult result = PublishServerTree(options);
    uint64_t bytes = 0;
    for (const char* name : {"big.dat", "edit.dat", "new.dat"})
        bytes += fs::file_size(PackageOf(out, std::string("patch/files/") + name));
    EXPECT_EQ(result.report.previousReleaseDownload.files, 3u);
    EXPECT_EQ(result.report.previousReleaseDownload.bytes, bytes);
    EXPECT_EQ(result.report.previousOverlayDownload.count("en"), 0u) << "the overlay is the same";
    const std::string json = FormatPublishJson(options, result, 1.5);
    EXPECT_NE(
        json.find(fmt::format("\"previousReleaseDownload\":{{\"files\":3,\"bytes\":{},", bytes)),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"removed\":[{\"list\":\"game\",\"name\":\"gone.dat\",\"size\":3}]"),
              std::string::npos)
        << json;
}

TEST_F(ServedRelease, AFileChangedBackGetsItsEarlierPackageByteForByte)
{
    PublishServerTree(Options("1"));
    const fs::path first = PackageOf(out, "patch/files/edit.dat");
    const std::string bytes = ReadAll(first);
    MakeFile(game / "edit.dat", "second", kUtc + 600);
    PublishServerTree(Options("2"));
    MakeFile(game / "edit.dat", "first", kUtc + 1200);
    PublishServerTree(Options("3"));
    EXPECT_EQ(PackageOf(out, "patch/files/edit.dat"), first);
    EXPECT_EQ(ReadAll(first), bytes) << "a URL never serves other bytes";
}
