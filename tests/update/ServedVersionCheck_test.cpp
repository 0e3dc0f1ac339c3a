// The version check and the file lists against the real test web server: the
// version file the launcher asks for at /version/version, mirror choice,
// overlay selection, the failures the user sees, and the lists with their
// overlay merged, including a tree made by norvik-publish.
#include "base/TextEncoding.h"
#include "settings/Deployment.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/PatchServer.h"
#include "support/Registry.h"
#include "support/TestServers.h"
#include "support/WindowLifeTest.h"
#include "update/UpdateManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <fmt/xchar.h>
#include <gtest/gtest.h>

namespace
{
class ServedVersion : public WindowLifeTest
{
  protected:
    void SetUp() override
    {
        WindowLifeTest::SetUp();
        // The installed version is the server's in these tests, so no install pass runs.
        WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"7");
    }

    bool BoxShown(const std::wstring& text)
    {
        const auto boxes = answerer_.Boxes();
        return std::any_of(boxes.begin(), boxes.end(),
                           [&](const AnsweredBox& box) { return box.text == text; });
    }

    int FileListRequests(const std::string& folder)
    {
        const auto lines = testenv::AccessLogLines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(),
            [&](const auto& line)
            { return line.find("\"/patch/" + folder + "/filelist.zip\"") != std::string::npos; }));
    }

    PatchServer server_{"version-check"};
};

std::string Host(int mirror)
{
    return ToUtf8(kMirrorHosts[mirror]);
}
} // namespace

TEST_F(ServedVersion, CrlfLinesParseLikeLfAndALoneCrIsMalformed)
{
    PatchServer::PublishVersionFile("version = 7 \r\nfilelist=filelist\r\npatch=" +
                                    server_.BaseUrl() + "\r\n\r\nnotice=a=b\r\n");
    Open();
    EXPECT_EQ(Manager().versionInfo.version, "7");
    EXPECT_EQ(Manager().versionInfo.basePath, server_.BaseUrl());
    EXPECT_EQ(Manager().StatusText(), LocalizedText("already_up_to_date"));
    // The line of a lone CR is logged with it (the capture drops the CR of its
    // own CR LF).
    EXPECT_EQ(log_.Count("VersionInfo: Malformed line \r"), 1) << log_.Text();
    EXPECT_TRUE(log_.Contains("Version at SERVER [7]"));
    EXPECT_EQ(Manager().VersionText(), L"Ver 7");
    EXPECT_TRUE(answerer_.Boxes().empty());
}

TEST_F(ServedVersion, MirrorChoiceRewritesThePrimaryHostInThePatchValue)
{
    // Mirror 1 of the test build is the same server under its address.
    const std::string primary = Host(0);
    const std::string mirror = Host(1);
    ASSERT_NE(primary, mirror);
    const std::string patch = "https://" + primary + "/patch/a https://" + primary + "/b";
    PatchServer::PublishVersionFile("version=7\nfilelist=filelist\npatch=" + patch + "\n");

    WriteRegistryDword(L"NRK_LauncherMirrorIndex", 1);
    Open();
    EXPECT_TRUE(log_.Contains("Using mirror: " + mirror)) << log_.Text();
    EXPECT_EQ(Manager().versionInfo.basePath,
              "https://" + mirror + "/patch/a https://" + mirror + "/b");

    // An index past the table is the primary host; another host is left alone.
    PatchServer::PublishVersionFile("version=7\nfilelist=filelist\npatch=https://example.org/x\n");
    WriteRegistryDword(L"NRK_LauncherMirrorIndex", 5);
    Open();
    EXPECT_TRUE(log_.Contains("Using mirror: " + primary)) << log_.Text();
    EXPECT_EQ(Manager().versionInfo.basePath, "https://example.org/x");
}

TEST_F(ServedVersion, TheListedLanguageWithBothKeysSelectsItsOverlay)
{
    ASSERT_EQ(CurrentLanguage(), L"en");
    PatchServer::PublishVersionFile("version=7\nfilelist=filelist\npatch=" + server_.BaseUrl() +
                                    "\noverlays=ja, en\noverlay_en_version=e1\n"
                                    "overlay_en_filelist=lists/en/filelist\n"
                                    "overlay_ja_version=j1\noverlay_ja_filelist=j\n");
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion_Overlay_en", L"e1");
    Open();
    const VersionInfo& info = Manager().versionInfo;
    EXPECT_EQ(info.overlayVersion, "e1");
    EXPECT_EQ(info.overlayFileList, "lists/en/filelist");
    EXPECT_EQ(info.overlayBasePath, "lists/en/");
    EXPECT_TRUE(log_.Contains("VersionInfo: Using overlay for language 'en'")) << log_.Text();
    EXPECT_TRUE(log_.Contains("Overlay version check: server=e1, local=e1, mismatch=false"));
    EXPECT_EQ(Manager().StatusText(), LocalizedText("already_up_to_date"));
}

TEST_F(ServedVersion, AListedLanguageMissingAKeyIsInvalidAndNothingIsInstalled)
{
    PatchServer::PublishVersionFile("version=8\nfilelist=filelist\npatch=" + server_.BaseUrl() +
                                    "\noverlays=en\noverlay_en_version=e1\n");
    Open();
    EXPECT_TRUE(BoxShown(LocalizedText("version_data_invalid")));
    EXPECT_EQ(FileListRequests("version-check"), 0);
    EXPECT_FALSE(log_.Contains("Install - make local file list"));
    EXPECT_TRUE(dialog_->LinkVisible());
}

TEST_F(ServedVersion, MissingRequiredKeysAreReportedWithWhatWasRead)
{
    PatchServer::PublishVersionFile("version=8\npatch=" + server_.BaseUrl() + "\nflavour=x\n");
    Open();
    EXPECT_TRUE(BoxShown(LocalizedText("version_data_invalid")));
    EXPECT_TRUE(log_.Contains("VersionInfo: Not enough information to continue"));
    EXPECT_TRUE(log_.Contains("VersionInfo.version: 8"));
    EXPECT_TRUE(log_.Contains("VersionInfo.fileList: "));
    EXPECT_TRUE(log_.Contains("VersionInfo: Unknown key flavour"));
    EXPECT_EQ(FileListRequests("version-check"), 0);
}

TEST_F(ServedVersion, AMissingVersionFileShowsTheServersRefusalWith404)
{
    PatchServer::WithdrawVersionFile();
    Open();
    EXPECT_TRUE(
        BoxShown(fmt::format(fmt::runtime(LocalizedText("network_error_client_request")), 404)))
        << ToUtf8(answerer_.Boxes().empty() ? L"" : answerer_.Boxes().back().text);
    EXPECT_EQ(Manager().StatusText(), LocalizedText("error_occurred"));
    EXPECT_TRUE(dialog_->LinkVisible());
}

TEST_F(ServedVersion, FirstRunStoresTheEnglishLiteralAndShowsTheLocalizedWord)
{
    DeleteLauncherKey();
    PatchServer::WithdrawVersionFile();
    Open();
    std::wstring stored;
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(stored, L"First Version.");
    EXPECT_EQ(Manager().VersionText(), L"Ver " + LocalizedText("first_version"));
}

// The lists are fetched by the update thread inside an install pass; here the
// test thread calls them while that thread idles in its loop.
TEST_F(ServedVersion, ListsAreFetchedAndTheOverlayMergedInPlace)
{
    server_.AddFile({"a.dat", "a", ListClock(2024, 1, 2, 3, 4, 5)});
    server_.AddFile({"./b.dat", "b", ListClock(2024, 1, 2, 3, 4, 5)});
    server_.AddListLine("four\x03"
                        "20240101000000\x03"
                        "1\x03"
                        "0");
    server_.AddFile({"c.dat", "c", ListClock(2024, 1, 2, 3, 4, 5)});
    server_.AddOverlayFile("en", {"./b.dat", "B", ListClock(2025, 6, 7, 8, 9, 10), "./b-en.zip"});
    server_.AddOverlayFile("en", {"B.dat", "B2", ListClock(2025, 6, 7, 8, 9, 10)});
    server_.Publish("7", "o1");
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion_Overlay_en", L"o1");
    Open();

    UpdateManager& manager = Manager();
    ASSERT_TRUE(manager.FetchFileList());
    ASSERT_EQ(manager.remoteFiles.size(), 3u);
    EXPECT_EQ(log_.Count("FileList: Malformed line four\x03"
                         "20240101000000\x03"
                         "1\x03"
                         "0"),
              1);
    ASSERT_TRUE(manager.FetchOverlayFileList());
    EXPECT_TRUE(log_.Contains("Downloading overlay filelist from: " + server_.BaseUrl() +
                              "/overlays/en/filelist.zip"))
        << log_.Text();
    EXPECT_TRUE(log_.Contains("Parsed 2 overlay files"));
    EXPECT_TRUE(log_.Contains("Merged overlay files. Total files: 4"));

    const auto& files = manager.remoteFiles;
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].name, "a.dat");
    EXPECT_FALSE(files[0].fromOverlay);
    EXPECT_EQ(files[1].name, "./b.dat");
    EXPECT_TRUE(files[1].fromOverlay);
    EXPECT_EQ(files[1].packagePath, "./b-en.zip");
    EXPECT_EQ(files[1].time, ListClock(2025, 6, 7, 8, 9, 10));
    EXPECT_EQ(files[2].name, "c.dat");
    EXPECT_EQ(files[3].name, "B.dat");
    EXPECT_TRUE(files[3].fromOverlay);
}

TEST_F(ServedVersion, BrokenListPackagesFailWithTheListsName)
{
    server_.Publish("7");
    Open();
    UpdateManager& manager = Manager();

    server_.WriteRaw("filelist.zip", "this is no zip archive");
    try
    {
        manager.FetchFileList();
        ADD_FAILURE() << "no exception";
    }
    catch (const std::exception& error)
    {
        EXPECT_STREQ(error.what(), "Could not read filelist.zip");
    }

    server_.Remove("filelist.zip");
    EXPECT_THROW(manager.FetchFileList(), http_error);
}

// What norvik-publish wrote for the sample game (tools/testenv), served by
// nginx and read back by the launcher: a real install from an empty folder.
TEST_F(ServedVersion, APublishedTreeInstallsTheGameWithItsTimes)
{
    DeleteLauncherKey();
    const std::filesystem::path sample = testenv::Dir() / "sample-game";
    PatchServer::PublishVersionFile(
        ReadWholeFile(testenv::Dir() / "published-site" / "version" / "version"));
    Open();

    EXPECT_EQ(Manager().StatusText(), LocalizedText("update_success")) << log_.Text();
    std::wstring stored;
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(stored, L"sample-1");
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(sample))
    {
        if (!entry.is_regular_file())
            continue;
        ++files;
        const auto relative = std::filesystem::relative(entry.path(), sample);
        const auto local = Game() / relative;
        ASSERT_TRUE(std::filesystem::exists(local)) << ToUtf8(relative.wstring());
        EXPECT_EQ(ReadWholeFile(local), ReadWholeFile(entry.path())) << ToUtf8(relative.wstring());
        // Published from the same last-write time, stamped to the minute.
        const auto minutes = [](const std::filesystem::path& file)
        {
            return std::chrono::floor<std::chrono::minutes>(
                       std::filesystem::last_write_time(file).time_since_epoch())
                .count();
        };
        EXPECT_EQ(minutes(local), minutes(entry.path())) << ToUtf8(relative.wstring());
    }
    EXPECT_EQ(files, 7);
    // English: the Japanese overlay is not applied.
    EXPECT_EQ(ReadWholeFile(Game() / "docs" / "readme.txt"), "English readme\n");
    EXPECT_FALSE(std::filesystem::exists(Game() / "data" / "font-ja.dat"));

    // A second life finds nothing to do.
    Open();
    EXPECT_EQ(Manager().StatusText(), LocalizedText("already_up_to_date"));
}

// The worst a server can send as its version file: a megabyte of noise.
TEST_F(ServedVersion, AMegabyteOfNoiseIsInvalidVersionDataAndNothingMore)
{
    std::string noise;
    uint32_t state = 12345;
    while (noise.size() < (1u << 20))
    {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 24);
    }
    PatchServer::PublishVersionFile(noise);
    const auto start = std::chrono::steady_clock::now();
    Open();
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    EXPECT_TRUE(BoxShown(LocalizedText("version_data_invalid")));
    EXPECT_TRUE(log_.Contains("VersionInfo: Not enough information to continue"));
    EXPECT_FALSE(log_.Contains("Install - make local file list"));
    EXPECT_TRUE(dialog_->LinkVisible());
    std::printf("[ hardest version file ] 1 MiB of noise refused in %lld ms\n",
                static_cast<long long>(milliseconds));
}
