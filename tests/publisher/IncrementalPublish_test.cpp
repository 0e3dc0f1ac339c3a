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

    fs::path Package(const std::string& name) const
    {
        return PackageOf(out, "patch/files/" + name);
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
    const auto keptBefore = SnapshotTree(Package("keep.dat"));
    const std::string keepPackage = ReadAll(Package("keep.dat"));
    const std::string touchPackage = ReadAll(Package("touch.dat"));

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

    EXPECT_EQ(SnapshotTree(Package("keep.dat")), keptBefore) << "not even rewritten";
    EXPECT_EQ(ReadAll(Package("touch.dat")), touchPackage) << "a new time only";
    EXPECT_EQ(ReadAll(Package("keep.dat")), keepPackage);
    EXPECT_EQ(ReadPackageData(ReadAll(Package("edit.dat"))).View(), "second");
    EXPECT_EQ(ReadPackageData(ReadAll(Package("new.dat"))).View(), "new");
    EXPECT_TRUE(fs::exists(Package("gone/old.dat"))) << "kept without --prune";

    const PublishReport third = PublishServerTree(options).report;
    EXPECT_EQ(third.packagesWritten, 0u);
    EXPECT_EQ(third.uploadBytes, 0u) << "nothing changed, nothing to upload";
    EXPECT_EQ(Names(third.removed), std::vector<std::string>{"game gone/old.dat"})
        << "still reported until pruned";
}

TEST_F(IncrementalPublish, PackagesChangedOrLostSinceTheLastRunAreMadeAgain)
{
    PublishServerTree(Options());
    fs::remove(Package("edit.dat"));
    std::string damaged = ReadAll(Package("keep.dat"));
    damaged[damaged.size() / 2] ^= 0x55;
    // Its own time, so that the kernel's clock granularity cannot hide the change.
    MakeFile(Package("keep.dat"), damaged, kUtc);
    const PublishReport again = PublishServerTree(Options()).report;
    EXPECT_EQ(again.packagesWritten, 2u);
    EXPECT_EQ(ReadPackageData(ReadAll(Package("edit.dat"))).View(), "first");
    EXPECT_EQ(ReadPackageData(ReadAll(Package("keep.dat"))).View(), std::string(200000, 'k'));
}

TEST_F(IncrementalPublish, DryRunReportsTheChangesAndWritesNothing)
{
    PublishServerTree(Options());
    ChangeTheGame();
    MakeFile(out / "patch/files/edit.dat.zip.norvik-publish-tmp", "left by a killed run", kUtc);
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
    MakeFile(out / "patch/files/edit.dat.zip.norvik-publish-tmp", "left by a killed run", kUtc);
    MakeFile(out / "version/version.norvik-publish-tmp", "left by a killed run", kUtc);
    PublishOptions second = Options();
    second.version = "2";
    PublishServerTree(second);
    const fs::path old = Package("gone/old.dat");
    EXPECT_TRUE(fs::exists(old));
    EXPECT_FALSE(fs::exists(out / "patch/files/edit.dat.zip.norvik-publish-tmp"));
    EXPECT_FALSE(fs::exists(out / "version/version.norvik-publish-tmp"));

    PublishOptions options = second;
    options.prune = true;
    options.keepReleases = 1;
    options.overlays.clear();
    const PublishReport pruned = PublishServerTree(options).report;
    EXPECT_EQ(Names(pruned.removed),
              (std::vector<std::string>{"game gone/old.dat", "list overlays/en/filelist",
                                        "overlay en lang.txt"}));
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(packages / "gone")) << "the emptied folder goes too";
    EXPECT_FALSE(fs::exists(out / "patch/overlays"));
    EXPECT_TRUE(fs::exists(Package("keep.dat")));
    EXPECT_TRUE(PublishServerTree(options).report.removed.empty()) << "forgotten once pruned";
}

TEST_F(IncrementalPublish, ManifestAndStateDescribeEveryPublishedPackage)
{
    PublishServerTree(Options());
    ChangeTheGame();
    PublishOptions second = Options();
    second.version = "2";
    PublishServerTree(second);
    const Manifest manifest = ParseManifest(ReadAll(out / kManifestPath));
    std::vector<std::string> paths;
    for (const auto& [path, entry] : manifest)
    {
        // The content name: 16 hex digits before ".zip".
        ASSERT_GT(path.size(), 21u);
        EXPECT_EQ(path.substr(path.size() - 21, 1), ".") << path;
        paths.push_back(path.substr(0, path.size() - 21) + ".zip");
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
    EXPECT_EQ(state.packages.at("patch/files/edit.dat").sourceSha256, Sha256Hex("second"));
    EXPECT_EQ(state.packages.at("patch/files/edit.dat").sourceSize, 6u);
    EXPECT_TRUE(state.packages.count("patch/files/gone/old.dat")) << "kept for --prune";
}

TEST_F(IncrementalPublish, RemovedFilesAreFoundWhateverTheSpellingOfThePatchFolder)
{
    PublishServerTree(Options());
    ChangeTheGame();
    PublishOptions options = Options();
    options.version = "2";
    options.patchFolder = "./patch/";
    options.dryRun = true;
    EXPECT_EQ(Names(PublishServerTree(options).report.removed),
              std::vector<std::string>{"game gone/old.dat"});
    EXPECT_EQ(PublishServerTree(options).report.unchanged, 2u) << "the same packages as before";
}
