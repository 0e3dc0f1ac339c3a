// Republishing into the same output: only changed files are deflated again,
// a dry run writes nothing, removed files' packages go only with --prune, and
// leftovers of an interrupted run are cleared.
#include "PublisherTestFiles.h"
#include "publisher/Manifest.h"
#include "publisher/PublishState.h"
#include "publisher/ServerTree.h"
#include "publisher/Sha256.h"
#include "update/formats/ZipPackage.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
constexpr int64_t kUtc = 1704080096;

std::vector<std::string> Names(const std::vector<PublishReport::File>& files)
{
    std::vector<std::string> names;
    for (const PublishReport::File& file : files)
        names.push_back(file.list + " " + file.name);
    return names;
}

class IncrementalPublish : public ::testing::Test
{
  protected:
    TempDir temp;
    fs::path game = temp.Path() / "game";
    fs::path overlay = temp.Path() / "overlay";
    fs::path out = temp.Path() / "www";
    fs::path packages = out / "patch" / "files";

    void SetUp() override
    {
        MakeFile(game / "keep.dat", std::string(200000, 'k'), kUtc);
        MakeFile(game / "edit.dat", "first", kUtc);
        MakeFile(game / "gone/old.dat", "old", kUtc);
        MakeFile(game / "touch.dat", "same bytes", kUtc);
        MakeFile(overlay / "lang.txt", "en", kUtc);
    }

    PublishOptions Options() const
    {
        PublishOptions options = TestPublishOptions(game, out, "patch");
        options.overlays = {{"en", overlay, ""}};
        options.jobs = 2;
        return options;
    }

    // Changes one file, adds one, removes one, and gives one a new time only.
    void ChangeTheGame()
    {
        MakeFile(game / "edit.dat", "second", kUtc + 60);
        MakeFile(game / "new.dat", "new", kUtc);
        fs::remove_all(game / "gone");
        MakeFile(game / "touch.dat", "same bytes", kUtc + 120);
    }
};
} // namespace

TEST_F(IncrementalPublish, OnlyChangedFilesAreDeflatedAgain)
{
    const PublishReport first = PublishServerTree(Options()).report;
    EXPECT_EQ(first.packagesWritten, 5u);
    const auto keptBefore = SnapshotTree(packages / "keep.dat.zip");
    const std::string keepPackage = ReadAll(packages / "keep.dat.zip");
    const std::string touchPackage = ReadAll(packages / "touch.dat.zip");

    ChangeTheGame();
    PublishOptions options = Options();
    options.version = "2";
    const PublishReport second = PublishServerTree(options).report;
    EXPECT_EQ(Names(second.added), std::vector<std::string>{"game new.dat"});
    EXPECT_EQ(Names(second.changed), std::vector<std::string>{"game edit.dat"});
    EXPECT_EQ(Names(second.removed), std::vector<std::string>{"game gone/old.dat"});
    EXPECT_EQ(second.redated, 1u);
    EXPECT_EQ(second.unchanged, 2u) << "keep.dat and the overlay's file";
    EXPECT_EQ(second.packagesWritten, 2u);
    EXPECT_EQ(second.bytesDeflated, 9u) << "\"second\" and \"new\"";

    EXPECT_EQ(SnapshotTree(packages / "keep.dat.zip"), keptBefore) << "not even rewritten";
    EXPECT_EQ(ReadAll(packages / "touch.dat.zip"), touchPackage) << "a new time only";
    EXPECT_EQ(ReadAll(packages / "keep.dat.zip"), keepPackage);
    EXPECT_EQ(ReadPackageData(ReadAll(packages / "edit.dat.zip")).View(), "second");
    EXPECT_EQ(ReadPackageData(ReadAll(packages / "new.dat.zip")).View(), "new");
    EXPECT_TRUE(fs::exists(packages / "gone/old.dat.zip")) << "kept without --prune";

    const PublishReport third = PublishServerTree(options).report;
    EXPECT_EQ(third.packagesWritten, 0u);
    EXPECT_EQ(third.uploadBytes, 0u) << "nothing changed, nothing to upload";
    EXPECT_EQ(Names(third.removed), std::vector<std::string>{"game gone/old.dat"})
        << "still reported until pruned";
}

TEST_F(IncrementalPublish, PackagesChangedOrLostSinceTheLastRunAreMadeAgain)
{
    PublishServerTree(Options());
    fs::remove(packages / "edit.dat.zip");
    std::string damaged = ReadAll(packages / "keep.dat.zip");
    damaged[damaged.size() / 2] ^= 0x55;
    // Its own time, so that the kernel's clock granularity cannot hide the change.
    MakeFile(packages / "keep.dat.zip", damaged, kUtc);
    const PublishReport again = PublishServerTree(Options()).report;
    EXPECT_EQ(again.packagesWritten, 2u);
    EXPECT_EQ(ReadPackageData(ReadAll(packages / "edit.dat.zip")).View(), "first");
    EXPECT_EQ(ReadPackageData(ReadAll(packages / "keep.dat.zip")).View(), std::string(200000, 'k'));
}

TEST_F(IncrementalPublish, DryRunReportsTheChangesAndWritesNothing)
{
    PublishServerTree(Options());
    ChangeTheGame();
    MakeFile(out / "patch/files/edit.dat.zip.part", "left by a killed run", kUtc);
    const auto before = SnapshotTree(out);

    PublishOptions options = Options();
    options.version = "2";
    options.dryRun = true;
    const PublishResult result = PublishServerTree(options);
    const PublishReport& report = result.report;
    EXPECT_EQ(SnapshotTree(out), before);
    EXPECT_EQ(Names(report.added), std::vector<std::string>{"game new.dat"});
    EXPECT_EQ(Names(report.changed), std::vector<std::string>{"game edit.dat"});
    EXPECT_EQ(Names(report.removed), std::vector<std::string>{"game gone/old.dat"});
    EXPECT_EQ(report.partFilesRemoved, 1u) << "found, not removed";
    // Two new packages at their files' size, the changed main list's text, the version file.
    const uint64_t versionFileSize = result.versionFileText.size();
    EXPECT_GT(report.uploadBytes, 9u + versionFileSize);
    EXPECT_LT(report.uploadBytes, 9u + versionFileSize + 400);
}

TEST_F(IncrementalPublish, PruneDeletesRemovedFilesPackagesAfterTheVersionFile)
{
    PublishServerTree(Options());
    ChangeTheGame();
    MakeFile(out / "patch/files/edit.dat.zip.part", "left by a killed run", kUtc);
    MakeFile(out / "version/version.part", "left by a killed run", kUtc);
    PublishServerTree(Options());
    EXPECT_TRUE(fs::exists(packages / "gone/old.dat.zip"));
    EXPECT_FALSE(fs::exists(out / "patch/files/edit.dat.zip.part"));
    EXPECT_FALSE(fs::exists(out / "version/version.part"));

    PublishOptions options = Options();
    options.prune = true;
    options.overlays.clear();
    const PublishReport pruned = PublishServerTree(options).report;
    EXPECT_EQ(Names(pruned.removed),
              (std::vector<std::string>{"game gone/old.dat", "list overlays/en/filelist.zip",
                                        "overlay en lang.txt"}));
    EXPECT_FALSE(fs::exists(packages / "gone")) << "the emptied folder goes too";
    EXPECT_FALSE(fs::exists(out / "patch/overlays/en/filelist.zip"));
    EXPECT_TRUE(fs::exists(packages / "keep.dat.zip"));
    EXPECT_TRUE(PublishServerTree(options).report.removed.empty()) << "forgotten once pruned";
}

TEST_F(IncrementalPublish, ManifestAndStateDescribeEveryPublishedPackage)
{
    PublishServerTree(Options());
    ChangeTheGame();
    PublishServerTree(Options());
    const Manifest manifest = ParseManifest(ReadAll(out / kManifestPath));
    std::vector<std::string> paths;
    for (const auto& [path, entry] : manifest)
    {
        paths.push_back(path);
        const fs::path file = out / "patch" / path;
        EXPECT_EQ(entry.size, fs::file_size(file)) << path;
        EXPECT_EQ(entry.sha256, Sha256Hex(ReadAll(file))) << path;
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"filelist.zip", "files/edit.dat.zip",
                                               "files/keep.dat.zip", "files/new.dat.zip",
                                               "files/touch.dat.zip", "overlays/en/filelist.zip",
                                               "overlays/en/files/lang.txt.zip"}))
        << "removed files' packages are not part of the version";
    const PublishState state = LoadPublishState(out);
    EXPECT_EQ(state.skippedLines, 0u);
    EXPECT_EQ(state.packages.at("patch/files/edit.dat.zip").sourceSha256, Sha256Hex("second"));
    EXPECT_EQ(state.packages.at("patch/files/edit.dat.zip").sourceSize, 6u);
    EXPECT_TRUE(state.packages.count("patch/files/gone/old.dat.zip")) << "kept for --prune";
}

TEST_F(IncrementalPublish, RemovedFilesAreFoundWhateverTheSpellingOfThePatchFolder)
{
    PublishServerTree(Options());
    ChangeTheGame();
    PublishOptions options = Options();
    options.patchFolder = "./patch/";
    options.dryRun = true;
    EXPECT_EQ(Names(PublishServerTree(options).report.removed),
              std::vector<std::string>{"game gone/old.dat"});
    EXPECT_EQ(PublishServerTree(options).report.unchanged, 2u) << "the same packages as before";
}
