// verify against a real nginx over HTTPS: a mirror serving the published
// tree passes; one altered package, one missing package and a list entry
// the manifest lacks are each reported, and only those.
#include "PublisherTestFiles.h"
#include "TestHttpsServer.h"
#include "publisher/GameFolderScan.h"
#include "publisher/Manifest.h"
#include "publisher/MirrorVerify.h"
#include "publisher/ServerTree.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
class MirrorVerify : public ::testing::Test
{
  protected:
    TempDir temp;
    fs::path out = temp.Path() / "www";

    void SetUp() override
    {
        const fs::path game = temp.Path() / "game";
        MakeFile(game / "a.txt", "a", 1704080096);
        MakeFile(game / "Sub Dir/b #1.bin", std::string(100000, 'b'), 1704080096);
        MakeFile(game / "c.dat", "c", 1704080096);
        MakeFile(temp.Path() / "ja/a.txt", "ja", 1704080096);
        // The primary host, which verify swaps for the mirror's as launchers do.
        PublishOptions options = TestPublishOptions(game, out, "patch/live");
        options.overlays = {{"ja", temp.Path() / "ja", ""}};
        PublishServerTree(options);
    }

    // The package of a file under patch/live, and its path as verify names it.
    fs::path Package(const std::string& name) { return PackageOf(out, "patch/live/" + name); }
    std::string UrlPath(const std::string& name)
    {
        return PercentEncodePath(
            Package(name).lexically_relative(out / "patch/live").generic_string());
    }

    std::vector<std::string> Problems(const VerifyReport& report)
    {
        std::vector<std::string> lines;
        for (const VerifyProblem& problem : report.problems)
            lines.push_back(problem.path + ": " + problem.what);
        return lines;
    }
};
} // namespace

TEST_F(MirrorVerify, ReportsExactlyThePackagesTheMirrorServesWrongly)
{
    TestHttpsServer server(out, temp.Path() / "nginx");
    VerifyOptions options;
    options.url = server.Url();
    options.caFile = server.CaFile().string();

    const VerifyReport clean = VerifyMirror(options);
    EXPECT_EQ(Problems(clean), std::vector<std::string>{});
    EXPECT_EQ(clean.packagesChecked, 6u) << "two lists and four packages";

    // Same size, one byte different: only the hash can tell.
    const fs::path altered = Package("files/Sub Dir/b #1.bin");
    const std::string alteredUrl = UrlPath("files/Sub Dir/b #1.bin");
    const std::string missingUrl = UrlPath("overlays/ja/files/a.txt");
    const std::string unlistedUrl = UrlPath("files/c.dat");
    const std::string list = UrlPath("filelist");
    std::string bytes = ReadAll(altered);
    bytes[bytes.size() / 2] ^= 0x01;
    MakeFile(altered, bytes, 0);
    fs::remove(Package("overlays/ja/files/a.txt"));
    const VerifyReport broken = VerifyMirror(options);
    EXPECT_EQ(Problems(broken),
              (std::vector<std::string>{alteredUrl + ": differs: SHA-256 is not the manifest's",
                                        missingUrl + ": missing (HTTP 404)"}));
    EXPECT_EQ(broken.packagesChecked, 6u) << "the missing one was looked for too";

    // A manifest that lost a line no longer covers what the list names.
    Manifest manifest = ParseManifest(ReadAll(out / kManifestPath));
    manifest.erase(unlistedUrl);
    MakeFile(out / kManifestPath, FormatManifest(manifest), 0);
    EXPECT_EQ(
        Problems(VerifyMirror(options)),
        (std::vector<std::string>{alteredUrl + ": differs: SHA-256 is not the manifest's",
                                  unlistedUrl + ": listed in " + list + " but not in the manifest",
                                  missingUrl + ": missing (HTTP 404)"}));
}

TEST_F(MirrorVerify, AnUnreachableOrUntrustedMirrorIsAProblemNotACrash)
{
    TestHttpsServer server(out, temp.Path() / "nginx");
    VerifyOptions options;
    options.url = server.Url();
    const VerifyReport untrusted = VerifyMirror(options);
    ASSERT_EQ(untrusted.problems.size(), 1u) << "the system does not trust the test CA";
    EXPECT_EQ(untrusted.problems[0].path, "version/version");
    EXPECT_TRUE(untrusted.problems[0].what.starts_with("not fetched: "))
        << untrusted.problems[0].what;

    options.caFile = server.CaFile().string();
    fs::remove(out / kManifestPath);
    const VerifyReport noManifest = VerifyMirror(options);
    ASSERT_EQ(noManifest.problems.size(), 1u);
    EXPECT_EQ(noManifest.problems[0].path, "version/manifest");
    EXPECT_EQ(noManifest.problems[0].what, "missing (HTTP 404)");

    MakeFile(out / "version/version", std::string((16 << 20) + 1, 'v'), 0);
    const VerifyReport huge = VerifyMirror(options);
    ASSERT_EQ(huge.problems.size(), 1u);
    EXPECT_EQ(huge.problems[0].what, "not fetched: larger than 16777216 bytes");
}

TEST_F(MirrorVerify, AFaithfulMirrorOfATreeWithoutOverlaysVerifies)
{
    PublishOptions options = TestPublishOptions(temp.Path() / "game", out, "patch/live");
    options.version = "2";
    PublishServerTree(options);
    TestHttpsServer server(out, temp.Path() / "nginx");
    VerifyOptions verify;
    verify.url = server.Url();
    verify.caFile = server.CaFile().string();
    const VerifyReport report = VerifyMirror(verify);
    EXPECT_EQ(Problems(report), std::vector<std::string>{});
    EXPECT_EQ(report.packagesChecked, 4u) << "one list and three packages";
}

TEST_F(MirrorVerify, AStaleCompleteCopyFailsAgainstThePublishedTree)
{
    const fs::path mirror = temp.Path() / "mirror";
    fs::copy(out, mirror, fs::copy_options::recursive);
    MakeFile(temp.Path() / "game/c.dat", "c, second release", 1704080696);
    PublishOptions publish = TestPublishOptions(temp.Path() / "game", out, "patch/live");
    publish.overlays = {{"ja", temp.Path() / "ja", ""}};
    publish.version = "2";
    PublishServerTree(publish);

    TestHttpsServer server(mirror, temp.Path() / "nginx");
    VerifyOptions options;
    options.url = server.Url();
    options.caFile = server.CaFile().string();
    EXPECT_EQ(Problems(VerifyMirror(options)), std::vector<std::string>{})
        << "the old release agrees with itself";
    options.against = out;
    const std::vector<std::string> problems = Problems(VerifyMirror(options));
    ASSERT_EQ(problems.size(), 3u) << ::testing::PrintToString(problems);
    EXPECT_EQ(problems[0],
              "version/version: stale: the mirror serves version 1, the published one is 2");
    EXPECT_NE(problems[1].find(": missing (HTTP 404)"), std::string::npos) << "the new list";
    EXPECT_NE(problems[2].find(": missing (HTTP 404)"), std::string::npos) << "the new c.dat";
}
