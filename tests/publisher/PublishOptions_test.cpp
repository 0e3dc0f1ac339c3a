#include "publisher/PublishOptions.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{
std::vector<std::string> Required(std::vector<std::string> more = {})
{
    std::vector<std::string> arguments = {
        "--game",    "g",   "--out",      "o",
        "--version", "1.0", "--base-url", "https://patch.example.com/patch/"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

std::string UsageMessage(const std::vector<std::string>& arguments)
{
    try
    {
        ParsePublishArguments(arguments);
    }
    catch (const UsageError& e)
    {
        return e.what();
    }
    return "<accepted>";
}
} // namespace

TEST(PublishOptions, RequiredOptionsAndDerivedFolders)
{
    const PublishOptions options = *ParsePublishArguments(Required());
    EXPECT_EQ(options.baseUrl, "https://patch.example.com/patch") << "trailing / dropped";
    EXPECT_EQ(options.patchFolder, "patch");
    EXPECT_EQ(options.listName, "filelist");
    EXPECT_TRUE(options.overlays.empty());

    EXPECT_EQ(ParsePublishArguments(Required({"--base-url", "http://h:8080"}))->patchFolder, "");
    EXPECT_EQ(ParsePublishArguments(Required({"--base-url", "https://h/a//b/"}))->patchFolder,
              "a/b");
    EXPECT_EQ(ParsePublishArguments(Required({"--patch-dir", "srv/p"}))->patchFolder, "srv/p");

    for (const char* missing : {"--game", "--out", "--version", "--base-url"})
    {
        std::vector<std::string> arguments = Required();
        const auto at = std::find(arguments.begin(), arguments.end(), missing);
        arguments.erase(at, at + 2);
        EXPECT_EQ(UsageMessage(arguments), "--game, --out, --version and --base-url are required");
    }
}

TEST(PublishOptions, ValuesThatWouldBreakTheVersionFileAreRefused)
{
    EXPECT_EQ(UsageMessage(Required({"--version", "1\n2"})), "--version must be one line");
    EXPECT_EQ(UsageMessage(Required({"--version", " 1"})),
              "--version must not begin or end with white space");
    EXPECT_EQ(UsageMessage(Required({"--notice", "https://n\r"})), "--notice must be one line");
    EXPECT_EQ(UsageMessage(Required({"--base-url", "ftp://h/p"})),
              "--base-url must begin with http:// or https://");
    EXPECT_EQ(UsageMessage(Required({"--base-url", "https:///"})), "--base-url has no host");
    EXPECT_NE(UsageMessage(Required({"--base-url", "https://h/a b"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--base-url", "https://h/../x"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--base-url", "https://h/version"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--patch-dir", "../x"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--patch-dir", "/abs"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--list-name", "a/b"})), "<accepted>");
    EXPECT_NE(UsageMessage(Required({"--list-name", ".hidden"})), "<accepted>");
}

TEST(PublishOptions, Overlays)
{
    const PublishOptions options =
        *ParsePublishArguments(Required({"--overlay", "en=/x/en", "--overlay", "ja=j=k"}));
    ASSERT_EQ(options.overlays.size(), 2u);
    EXPECT_EQ(options.overlays[0].code, "en");
    EXPECT_EQ(options.overlays[0].folder, "/x/en");
    EXPECT_EQ(options.overlays[1].folder, "j=k") << "split at the first =";
    EXPECT_EQ(UsageMessage(Required({"--overlay", "en"})),
              "--overlay takes CODE=DIR or CODE=DIR:VERSION");
    EXPECT_EQ(UsageMessage(Required({"--overlay", "e n=d"})),
              "overlay code 'e n' may only hold letters, digits, - and _");
    EXPECT_EQ(UsageMessage(Required({"--overlay", "en=a", "--overlay", "en=b"})),
              "overlay en given twice");
    EXPECT_EQ(UsageMessage(Required({"--overlay", "en="})), "overlay en has no folder");
}

TEST(PublishOptions, OverlayVersionFollowsTheLastColon)
{
    const PublishOptions options = *ParsePublishArguments(
        Required({"--overlay", "en=/x/en:1.2-en", "--overlay", "ja=/a:b:7", "--overlay", "ko=k"}));
    EXPECT_EQ(options.overlays[0].folder, "/x/en");
    EXPECT_EQ(options.overlays[0].version, "1.2-en");
    EXPECT_EQ(options.overlays[1].folder, "/a:b");
    EXPECT_EQ(options.overlays[1].version, "7");
    EXPECT_EQ(options.overlays[2].folder, "k");
    EXPECT_EQ(options.overlays[2].version, "");
    EXPECT_EQ(UsageMessage(Required({"--overlay", "en=d:"})),
              "overlay en has an empty version after ':'");
    EXPECT_EQ(UsageMessage(Required({"--overlay", "en=d: 1"})),
              "the version of overlay en must not begin or end with white space");
}

TEST(PublishOptions, RunModesAndVerify)
{
    const PublishOptions defaults = *ParsePublishArguments(Required());
    EXPECT_FALSE(defaults.dryRun);
    EXPECT_FALSE(defaults.prune);
    EXPECT_EQ(defaults.jobs, 0u) << "one per core";
    const PublishOptions options =
        *ParsePublishArguments(Required({"--dry-run", "--prune", "--jobs", "3"}));
    EXPECT_TRUE(options.dryRun);
    EXPECT_TRUE(options.prune);
    EXPECT_EQ(options.jobs, 3u);
    for (const char* bad : {"0", "x", "-1", "257", "2x"})
        EXPECT_EQ(UsageMessage(Required({"--jobs", bad})), "--jobs takes a number from 1 to 256");

    const VerifyOptions verify =
        *ParseVerifyArguments({"https://m.example.com/", "--ca-file", "ca.pem", "--jobs", "8"});
    EXPECT_EQ(verify.url, "https://m.example.com");
    EXPECT_EQ(verify.caFile, "ca.pem");
    EXPECT_EQ(verify.jobs, 8u);
    EXPECT_FALSE(ParseVerifyArguments({"--help"}).has_value());
    EXPECT_THROW(ParseVerifyArguments({}), UsageError);
    EXPECT_THROW(ParseVerifyArguments({"ftp://m"}), UsageError);
    EXPECT_THROW(ParseVerifyArguments({"https://a", "https://b"}), UsageError);
}

TEST(PublishOptions, HelpAndUnknownOptions)
{
    EXPECT_FALSE(ParsePublishArguments({"--help"}).has_value());
    EXPECT_FALSE(ParsePublishArguments(Required({"-h"})).has_value());
    EXPECT_EQ(UsageMessage(Required({"--bogus", "x"})), "unknown option: --bogus");
    EXPECT_EQ(UsageMessage(Required({"--notice"})), "unknown option or missing value: --notice");
    const std::string help = PublishHelpText();
    for (const char* option : {"--game",
                               "--out",
                               "--version",
                               "--base-url",
                               "--patch-dir",
                               "--notice",
                               "--list-name",
                               "--overlay CODE=DIR[:VERSION]",
                               "--overlay-version",
                               "--dry-run",
                               "--prune",
                               "--jobs",
                               "--help",
                               "verify URL",
                               "--ca-file",
                               "version/version",
                               "version/manifest",
                               ".norvik-publish-state",
                               "0x03",
                               "UTC+9"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}
