// Signed releases: keygen, the record a signed publish writes beside the
// version file, its serial that only goes up, and verify checking it on a
// real nginx.
#include "PublisherTestFiles.h"
#include "TestHttpsServer.h"
#include "publisher/Ed25519Key.h"
#include "publisher/Manifest.h"
#include "publisher/MirrorVerify.h"
#include "publisher/ServerTree.h"
#include "publisher/Sha256.h"
#include "update/formats/ReleaseRecord.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace
{
class SignedPublish : public ::testing::Test
{
  protected:
    TempDir temp;
    fs::path game = temp.Path() / "game";
    fs::path out = temp.Path() / "www";
    fs::path keyFile = temp.Path() / "release.key";
    std::string publicKey;
    PublishOptions options;

    void SetUp() override
    {
        MakeFile(game / "a.txt", "a", 1704080096);
        MakeFile(game / "Sub Dir/b #1.bin", std::string(100000, 'b'), 1704080096);
        MakeFile(temp.Path() / "ja/a.txt", "ja", 1704080096);
        MakeFile(temp.Path() / "ja/only-ja.txt", "only", 1704080096);
        publicKey = Ed25519Key::Generate(keyFile).PublicKeyHex();
        options = TestPublishOptions(game, out, "patch");
        options.overlays = {{"ja", temp.Path() / "ja", ""}};
        options.signingKey = keyFile;
    }

    // The record the served version file leads to, its signature checked.
    ReleaseRecord ServedRecord()
    {
        const std::string version = ReadAll(out / "version/version");
        const std::string text = ReadAll(out / ReleaseRecordPath(Sha256Hex(version)));
        const SignedRelease split = SplitSignedRelease(text);
        EXPECT_TRUE(VerifyEd25519(publicKey, split.signedBytes, split.signature));
        return ParseReleaseRecord(split.signedBytes);
    }
};
} // namespace

TEST_F(SignedPublish, KeygenWritesAKeyOnlyItsOwnerReadsAndNeverOverwritesOne)
{
    EXPECT_EQ(publicKey.size(), 64u);
    EXPECT_EQ(publicKey.find_first_not_of("0123456789abcdef"), std::string::npos);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(keyFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Ed25519Key::Load(keyFile).PublicKeyHex(), publicKey);

    const std::string before = ReadAll(keyFile);
    EXPECT_THROW(Ed25519Key::Generate(keyFile), std::runtime_error);
    EXPECT_EQ(ReadAll(keyFile), before);
    fs::permissions(keyFile, fs::perms::group_read, fs::perm_options::add);
    EXPECT_THROW(Ed25519Key::Load(keyFile), std::runtime_error);
}

TEST_F(SignedPublish, RecordNamesEveryServedByteAndWhatEachLanguageEndsWith)
{
    PublishServerTree(options);
    const ReleaseRecord record = ServedRecord();
    const std::string version = ReadAll(out / "version/version");
    EXPECT_EQ(record.versionFile.sha256, Sha256Hex(version));
    EXPECT_EQ(record.versionFile.size, version.size());
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    EXPECT_NEAR(static_cast<double>(record.expires), static_cast<double>(now + 30 * 86400), 60);

    Manifest named;
    for (const auto* group : {&record.lists, &record.packages})
        for (const auto& [path, item] : *group)
            named[path] = {item.size, item.sha256};
    const Manifest manifest = ParseManifest(ReadAll(out / kManifestPath));
    ASSERT_EQ(named.size(), manifest.size());
    for (const auto& [path, entry] : manifest)
    {
        ASSERT_TRUE(named.count(path)) << path;
        EXPECT_EQ(named[path].sha256, entry.sha256) << path;
        EXPECT_EQ(named[path].size, entry.size) << path;
    }
    EXPECT_EQ(record.lists.size(), 2u);

    auto item = [](const std::string& content) { return Sha256Hex(content); };
    const auto& english = record.files.at("-");
    const auto& japanese = record.files.at("ja");
    EXPECT_EQ(english.size(), 2u);
    EXPECT_EQ(english.at("a.txt").sha256, item("a"));
    EXPECT_EQ(english.at("Sub Dir/b #1.bin").size, 100000u);
    EXPECT_EQ(japanese.size(), 3u);
    EXPECT_EQ(japanese.at("a.txt").sha256, item("ja"));
    EXPECT_EQ(japanese.at("only-ja.txt").sha256, item("only"));
    EXPECT_EQ(japanese.at("Sub Dir/b #1.bin").sha256, item(std::string(100000, 'b')));
}

TEST_F(SignedPublish, SerialOnlyGoesUpAndTheOldRecordStaysForTheOldVersionFile)
{
    PublishServerTree(options);
    EXPECT_EQ(ServedRecord().serial, 1u);
    const fs::path firstRecord =
        out / ReleaseRecordPath(Sha256Hex(ReadAll(out / "version/version")));
    const std::string firstBytes = ReadAll(firstRecord);

    MakeFile(game / "a.txt", "A2", 1704090000);
    options.version = "2";
    PublishServerTree(options);
    EXPECT_EQ(ServedRecord().serial, 2u);
    EXPECT_EQ(ReadAll(firstRecord), firstBytes)
        << "a launcher that read version 1 finds its record";

    // A lost serial file must not start the serials again.
    fs::remove(out / ".norvik-publish-serial");
    options.version = "3";
    PublishServerTree(options);
    EXPECT_EQ(ServedRecord().serial, 3u);

    MakeFile(out / ".norvik-publish-serial", "norvik-publish release serial x\n", 1704090000);
    const auto before = SnapshotTree(out);
    options.version = "4";
    EXPECT_THROW(PublishServerTree(options), std::runtime_error);
    EXPECT_EQ(SnapshotTree(out), before) << "a refused run writes nothing";
}

TEST_F(SignedPublish, VerifyChecksTheRecordsSignatureAndWhatItNames)
{
    PublishServerTree(options);
    TestHttpsServer server(out, temp.Path() / "nginx");
    VerifyOptions verify;
    verify.url = server.Url();
    verify.caFile = server.CaFile().string();
    verify.releaseKeys = {publicKey};
    const VerifyReport clean = VerifyMirror(verify);
    EXPECT_TRUE(clean.problems.empty()) << clean.problems.front().what;
    EXPECT_EQ(clean.release, "serial 1, expires in 29 day(s), signature good");

    const std::string recordPath = ReleaseRecordPath(Sha256Hex(ReadAll(out / "version/version")));
    verify.releaseKeys = {Ed25519Key::Generate(temp.Path() / "other.key").PublicKeyHex()};
    const VerifyReport otherKey = VerifyMirror(verify);
    ASSERT_EQ(otherKey.problems.size(), 1u);
    EXPECT_EQ(otherKey.problems[0].path + ": " + otherKey.problems[0].what,
              recordPath + ": not signed by any --release-key");

    // A record that names another package size, re-signed by the right key,
    // still disagrees with the manifest.
    verify.releaseKeys = {publicKey};
    std::string text = ReadAll(out / recordPath);
    const size_t package = text.find("\npackage ");
    const size_t size = text.find(' ', package + 9 + 64);
    text.insert(size + 1, "1");
    const std::string body = text.substr(0, text.rfind("signature "));
    MakeFile(out / recordPath, AppendReleaseSignature(body, Ed25519Key::Load(keyFile).Sign(body)),
             1704090000);
    const VerifyReport wrongSize = VerifyMirror(verify);
    ASSERT_EQ(wrongSize.problems.size(), 1u);
    EXPECT_TRUE(wrongSize.problems[0].what.ends_with("another size or SHA-256"))
        << wrongSize.problems[0].what;
}

TEST(SigningOptions, KeysAndValidityAreCheckedOnTheCommandLine)
{
    const std::vector<std::string> required = {
        "--game", "g", "--out", "o", "--version", "1", "--base-url", "https://p.example.com/patch"};
    auto with = [&](std::vector<std::string> more)
    {
        more.insert(more.begin(), required.begin(), required.end());
        return more;
    };
    const PublishOptions plain = *ParsePublishArguments(required);
    EXPECT_TRUE(plain.signingKey.empty());
    EXPECT_EQ(plain.validDays, 30u);
    const PublishOptions signing =
        *ParsePublishArguments(with({"--signing-key", "k.pem", "--valid-days", "7"}));
    EXPECT_EQ(signing.signingKey, "k.pem");
    EXPECT_EQ(signing.validDays, 7u);
    EXPECT_THROW(ParsePublishArguments(with({"--valid-days", "0"})), UsageError);
    EXPECT_THROW(ParsePublishArguments(with({"--valid-days", "3651"})), UsageError);

    const std::string key(64, 'a');
    EXPECT_EQ(ParseVerifyArguments({"https://m", "--release-key", key, "--release-key", key})
                  ->releaseKeys.size(),
              2u);
    EXPECT_THROW(ParseVerifyArguments({"https://m", "--release-key", std::string(64, 'A')}),
                 UsageError);
    EXPECT_THROW(ParseVerifyArguments({"https://m", "--release-key", key + "0"}), UsageError);
    for (const char* option : {"keygen KEYFILE", "--signing-key", "--valid-days", "--release-key"})
        EXPECT_NE(PublishHelpText().find(option), std::string::npos) << option;
}
