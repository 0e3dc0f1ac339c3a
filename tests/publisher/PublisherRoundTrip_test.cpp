// Publish a folder, then read the tree back the way the launcher does: its
// URL building, its version-file and list readers, its package reader.
#include "PublisherTestFiles.h"
#include "publisher/GameFolderScan.h"
#include "publisher/ServerTree.h"
#include "update/formats/FileListText.h"
#include "update/formats/FileListWriter.h"
#include "update/formats/ListTime.h"
#include "update/formats/VersionFileText.h"
#include "update/formats/ZipPackage.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>
#include <random>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace
{
std::string PercentDecode(const std::string& text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size())
        {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        else
            decoded += text[i];
    }
    return decoded;
}

// What a static server with `root` as its document root answers for `url`.
std::string Serve(const fs::path& root, const std::string& url)
{
    const size_t pathStart = url.find('/', url.find("://") + 3);
    const fs::path file = root / PercentDecode(url.substr(pathStart + 1));
    EXPECT_TRUE(fs::is_regular_file(file)) << url;
    return ReadAll(file);
}

std::map<std::string, std::string> VersionValues(const std::string& body)
{
    std::map<std::string, std::string> values;
    for (const VersionFileLine& line : ReadVersionFileLines(body))
    {
        EXPECT_FALSE(line.isMalformed) << line.rawLine;
        values[line.key] = line.value;
    }
    return values;
}

// 2024-01-01 03:34:56 UTC, which is 12:34:56 on the list's UTC+9 clock.
constexpr int64_t kUtc = 1704080096;

class PublisherRoundTrip : public ::testing::Test
{
  protected:
    TempDir temp;
    fs::path game = temp.Path() / "game";
    fs::path overlay = temp.Path() / "overlay-en";
    fs::path out = temp.Path() / "www";
    std::map<std::string, std::string> gameFiles;

    void SetUp() override
    {
        std::mt19937 generator(5);
        std::string binary(300000, '\0');
        for (char& c : binary)
            c = static_cast<char>(generator() % 7 == 0 ? 0 : generator());
        gameFiles = {{"a.txt", "main a\n"},
                     {"data/b.bin", binary},
                     {"Sub Dir/ü #1%.dat", "odd name"},
                     {"empty.dat", ""},
                     {"splash.exe", "MZ launcher"}};
        for (const auto& [name, content] : gameFiles)
            MakeFile(game / name, content, kUtc);
        MakeFile(overlay / "a.txt", "english a\n", kUtc + 60);
        MakeFile(overlay / "lang/en.txt", "english only\n", kUtc + 120);
    }

    PublishOptions Options() const
    {
        PublishOptions options = TestPublishOptions(game, out, "patch/live");
        options.version = "2.0.1";
        options.notice = "https://www.example.com/news";
        options.overlays = {{"en", overlay}};
        return options;
    }
};
} // namespace

TEST_F(PublisherRoundTrip, LauncherReadersGetEveryFileWithItsTimeAndPath)
{
    PublishServerTree(Options());

    const auto version = VersionValues(Serve(out, "https://patch.example.com/version/version"));
    EXPECT_EQ(version.at("version"), "2.0.1");
    EXPECT_EQ(version.at("notice"), "https://www.example.com/news");
    EXPECT_EQ(version.at("overlays"), "en");
    EXPECT_EQ(version.at("overlay_en_version"), "2.0.1");
    const std::string basePath = version.at("patch");
    const std::string fileList = version.at("filelist");
    const std::string overlayFileList = version.at("overlay_en_filelist");
    const std::string overlayBasePath = overlayFileList.substr(0, overlayFileList.rfind('/') + 1);
    EXPECT_EQ(overlayBasePath, "overlays/en/");

    const std::optional<std::string> listText = ReadSingleEntryPackage(
        Serve(out, fmt::format("{}/{}.zip", basePath, fileList)), fileList, false);
    ASSERT_TRUE(listText);
    const std::vector<FileEntry> entries = ParseFileListText(*listText, false, "FileList");
    ASSERT_EQ(entries.size(), gameFiles.size());
    const uint64_t listClock = *CalendarToFileTime(2024, 1, 1, 12, 34, 56);
    for (const FileEntry& entry : entries)
    {
        ASSERT_TRUE(gameFiles.count(entry.name)) << entry.name;
        const std::string& content = gameFiles.at(entry.name);
        EXPECT_EQ(entry.time, listClock) << entry.name;
        EXPECT_EQ(entry.column3, static_cast<int32_t>((content.size() + 1023) / 1024));
        EXPECT_EQ(entry.column4, 0);
        const std::string package = Serve(out, fmt::format("{}/{}", basePath, entry.packagePath));
        EXPECT_EQ(ReadPackageData(package).View(), content) << entry.name;
    }

    const std::optional<std::string> overlayText = ReadSingleEntryPackage(
        Serve(out, fmt::format("{}/{}.zip", basePath, overlayFileList)), overlayFileList, true);
    ASSERT_TRUE(overlayText);
    const std::vector<FileEntry> overlayEntries =
        ParseFileListText(*overlayText, true, "Overlay FileList");
    ASSERT_EQ(overlayEntries.size(), 2u);
    EXPECT_EQ(overlayEntries[0].name, "a.txt");
    EXPECT_EQ(overlayEntries[0].time, listClock + 60 * 10'000'000ull);
    EXPECT_EQ(overlayEntries[1].name, "lang/en.txt");
    EXPECT_EQ(overlayEntries[1].time, listClock + 120 * 10'000'000ull);
    for (const FileEntry& entry : overlayEntries)
    {
        const std::string package =
            Serve(out, fmt::format("{}/{}{}", basePath, overlayBasePath, entry.packagePath));
        EXPECT_EQ(ReadPackageData(package).View(), ReadAll(overlay / entry.name));
    }
}

TEST_F(PublisherRoundTrip, RepublishingGivesTheSameBytes)
{
    PublishServerTree(Options());
    const auto served = ServedRelease(out);
    EXPECT_EQ(served.size(), 10u) << "version file, two lists, seven packages";
    PublishServerTree(Options());
    EXPECT_EQ(ServedRelease(out), served);
    for (const auto& item : fs::recursive_directory_iterator(out))
        EXPECT_FALSE(item.path().string().ends_with(".norvik-publish-tmp"))
            << "no temporary file is left";
}

TEST_F(PublisherRoundTrip, VersionFileWithoutOverlaysOrNotice)
{
    PublishOptions options = Options();
    options.overlays.clear();
    options.notice.clear();
    options.listName = "list-2.0.1";
    const std::string list = PublishServerTree(options).main.listName;
    EXPECT_TRUE(list.starts_with("list-2.0.1.")) << list;
    EXPECT_EQ(ReadAll(out / "version/version"),
              "version=2.0.1\nfilelist=" + list + "\npatch=https://patch.example.com/patch/live\n");
    EXPECT_TRUE(fs::exists(out / "patch/live" / (list + ".zip")));
}

TEST_F(PublisherRoundTrip, UnsafeOrAmbiguousNamesAreRefusedBeforeAnythingIsWritten)
{
    const std::vector<std::string> bad = {"stream:name",   "CON.txt",   "back\\slash", "Upper.txt",
                                          "sub/trailing.", "what?.txt", "tab\tname"};
    MakeFile(game / "upper.txt", "x", kUtc);
    for (const std::string& name : bad)
        MakeFile(game / name, "x", kUtc);
    try
    {
        PublishServerTree(Options());
        FAIL() << "published";
    }
    catch (const FolderRefused& e)
    {
        const std::string message = e.what();
        for (const std::string& name : bad)
            EXPECT_NE(message.find("\n  " + name + ": "), std::string::npos) << name << message;
        EXPECT_EQ(message.find("a.txt"), std::string::npos) << "good names are not listed";
    }
    EXPECT_FALSE(fs::exists(out)) << "nothing written";
}

TEST(GameFolderScan, ListTimeIsTheUtcPlusNineWallClock)
{
    EXPECT_EQ(ListTimeOfUnixTime(0, 0), *CalendarToFileTime(1970, 1, 1, 9, 0, 0));
    EXPECT_EQ(ListTimeOfUnixTime(kUtc, 999'999'999),
              *CalendarToFileTime(2024, 1, 1, 12, 34, 56) + 9'999'999);
    EXPECT_EQ(FormatListDate(ListTimeOfUnixTime(1709218800, 0)), "20240301000000")
        << "2024-02-29 15:00 UTC is already March 1 in UTC+9";
    EXPECT_THROW(ListTimeOfUnixTime(-11'644'473'600 - 9 * 3600 - 1, 0), std::out_of_range);
}

TEST(GameFolderScan, PercentEncodingKeepsOnlyUnreservedBytesAndSlashes)
{
    EXPECT_EQ(PercentEncodePath("a-b_c.d~e/F9"), "a-b_c.d~e/F9");
    EXPECT_EQ(PercentEncodePath("a b#?%+&=;\x7f\xff"), "a%20b%23%3F%25%2B%26%3D%3B%7F%FF");
    EXPECT_EQ(PercentEncodePath("Sub Dir/ü #1%.dat"), "Sub%20Dir/%C3%BC%20%231%25.dat");
    EXPECT_EQ(PercentDecode(PercentEncodePath("ü/ x")), "ü/ x");
}

TEST_F(PublisherRoundTrip, EachOverlayCarriesItsOwnVersion)
{
    const fs::path japanese = temp.Path() / "overlay-ja";
    MakeFile(japanese / "a.txt", "japanese a\n", kUtc);
    PublishOptions options = Options();
    options.overlays = {{"en", overlay, "en-7"}, {"ja", japanese, ""}};
    options.overlayVersion = "overlays-3";
    PublishServerTree(options);

    const auto version = VersionValues(Serve(out, "https://patch.example.com/version/version"));
    EXPECT_EQ(version.at("overlays"), "en,ja");
    EXPECT_EQ(version.at("overlay_en_version"), "en-7");
    EXPECT_EQ(version.at("overlay_ja_version"), "overlays-3") << "--overlay-version as default";
    EXPECT_TRUE(version.at("overlay_ja_filelist").starts_with("overlays/ja/filelist."));
    EXPECT_EQ(version.at("version"), "2.0.1");
}

TEST_F(PublisherRoundTrip, NamesWindowsTakesForOneFileAreRefusedWithBothPaths)
{
    MakeFile(game / "Data/\xC3\x89t\xC3\xA9.dat", "upper", kUtc); // Data/Été.dat
    MakeFile(game / "data/\xC3\xA9t\xC3\xA9.dat", "lower", kUtc); // data/été.dat
    MakeFile(game / "SUB DIR", "a file where the game has a folder", kUtc + 1);
    try
    {
        PublishServerTree(Options());
        FAIL() << "published";
    }
    catch (const FolderRefused& e)
    {
        const std::string message = e.what();
        EXPECT_NE(message.find("same name as"), std::string::npos) << message;
        EXPECT_NE(message.find("t\xC3\xA9.dat"), std::string::npos) << message;
        EXPECT_NE(message.find("SUB DIR"), std::string::npos) << message;
    }
    EXPECT_FALSE(fs::exists(out)) << "nothing written";
}

TEST_F(PublisherRoundTrip, OverlayFileDifferingFromTheGamesOnlyInCaseIsRefused)
{
    MakeFile(overlay / "SPLASH.EXE", "would land beside splash.exe in the list", kUtc);
    try
    {
        PublishServerTree(Options());
        FAIL() << "published";
    }
    catch (const FolderRefused& e)
    {
        EXPECT_NE(
            std::string(e.what()).find("SPLASH.EXE: same name as the game's splash.exe on Windows"),
            std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(PublisherRoundTrip, LinksPublishUnderTheirOwnNamesOrAreRefused)
{
    fs::create_symlink("a.txt", game / "link.txt");
    fs::create_directory_symlink("data", game / "linked");
    PublishOptions options = Options();
    options.overlays.clear();
    std::map<std::string, std::string> listed;
    for (const FileEntry& entry : PublishServerTree(options).main.entries)
        listed[entry.name] = entry.packagePath;
    EXPECT_EQ(listed.size(), gameFiles.size() + 2);
    EXPECT_EQ(ReadPackageData(ReadAll(out / "patch/live" / listed.at("link.txt"))).View(),
              "main a\n");
    EXPECT_EQ(ReadPackageData(ReadAll(out / "patch/live" / listed.at("linked/b.bin"))).View(),
              gameFiles.at("data/b.bin"));

    fs::create_symlink(temp.Path(), game / "outside");
    fs::create_directory_symlink("..", game / "data/loop");
    fs::create_symlink("missing.dat", game / "dangling.dat");
    try
    {
        PublishServerTree(options);
        FAIL() << "published";
    }
    catch (const FolderRefused& e)
    {
        const std::string message = e.what();
        for (const char* problem : {"outside: a link to ", "data/loop: a link to a folder that",
                                    "dangling.dat: a link to nothing"})
            EXPECT_NE(message.find(problem), std::string::npos) << problem << "\n" << message;
    }
}

TEST_F(PublisherRoundTrip, NamesThatWouldPublishButNotInstallAreRefusedFirst)
{
    const std::string deep = std::string(80, 'd') + "/" + std::string(80, 'e') + ".dat";
    const std::vector<std::string> bad = {deep, std::string(240, 'n') + ".dat", "update.nrkpart",
                                          "data/b.bin.NRKPART", "splash.dmy"};
    for (const std::string& name : bad)
        MakeFile(game / name, "x", kUtc);
    MakeFile(game / "sub/Thumbs.db", "left out", kUtc);
    MakeFile(game / "e\xCC\x81t\xC3\xA9.txt", "not NFC", kUtc); // e + combining acute
    PublishOptions options = Options();
    options.excludes = {"thumbs.db"};
    try
    {
        PublishServerTree(options);
        FAIL() << "published";
    }
    catch (const FolderRefused& e)
    {
        const std::string message = e.what();
        for (const std::string& name : bad)
            EXPECT_NE(message.find("\n  " + name + ": "), std::string::npos) << name << message;
        EXPECT_EQ(message.find("Thumbs"), std::string::npos) << "excluded";
    }
    EXPECT_FALSE(fs::exists(out)) << "nothing written";

    for (const std::string& name : bad)
        fs::remove(game / name);
    options.maxInstallPath = 50;
    MakeFile(game / deep, "fits a shorter install folder", kUtc);
    const PublishResult result = PublishServerTree(options);
    EXPECT_EQ(result.main.entries.size(), gameFiles.size() + 2);
    ASSERT_EQ(result.report.warnings.size(), 1u);
    EXPECT_NE(result.report.warnings[0].find("normal form C"), std::string::npos);

    options.outputFolder = game / "www";
    EXPECT_THROW(PublishServerTree(options), FolderRefused) << "--out inside --game";
}
