// Whole install passes of a real window life against the test web server:
// from an empty folder to the server's version, the second start, check-files
// passes, the language overlay, and the ways a pass fails or recovers.
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/AllocationLimit.h"
#include "support/FileTimes.h"
#include "support/PatchServer.h"
#include "support/Registry.h"
#include "support/TestServers.h"
#include "support/WindowLifeTest.h"
#include "support/WindowPump.h"
#include "support/ZipBuilder.h"
#include "update/UpdateManager.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace
{
std::string Sized(const std::string& seed, size_t size)
{
    std::string data;
    while (data.size() < size)
        data += seed + std::to_string(data.size()) + "\n";
    data.resize(size);
    return data;
}

class LanguageScope
{
  public:
    explicit LanguageScope(const std::wstring& code) : previous_(CurrentLanguage())
    {
        SetCurrentLanguage(code);
    }
    ~LanguageScope() { SetCurrentLanguage(previous_); }

  private:
    std::wstring previous_;
};

class InstallPass : public WindowLifeTest
{
  protected:
    // Requests for packages of this test's tree since the test began.
    std::vector<std::string> PackageRequests()
    {
        const auto lines = testenv::AccessLogLines();
        std::vector<std::string> requests;
        const std::string prefix = "\"" + server_.RelativeUrlPath() + "/";
        for (size_t i = accessLogStart_; i < lines.size(); ++i)
        {
            const auto start = lines[i].find(prefix);
            if (start == std::string::npos || lines[i].find("filelist.zip") != std::string::npos)
                continue;
            const auto end = lines[i].find('"', start + 1);
            requests.push_back(lines[i].substr(start + prefix.size(), end - start - prefix.size()));
        }
        return requests;
    }

    int LogCountContaining(const std::string& part)
    {
        std::istringstream lines(log_.Text());
        int count = 0;
        for (std::string line; std::getline(lines, line);)
            count += line.find(part) != std::string::npos;
        return count;
    }

    std::wstring Stored(const std::wstring& name)
    {
        std::wstring value;
        return ReadRegistryString(value, kLauncherRegistryKey, name) ? value : L"<none>";
    }

    // The standard tree: three files in folders, one of 3 MB.
    void PublishVersionB()
    {
        server_.AddFile({"Galdervin.bin", "client B\n", ListClock(2024, 5, 6, 7, 8, 9)});
        server_.AddFile({"./data/maps/map01.dat", Sized("map", 3 * 1024 * 1024),
                         ListClock(2024, 5, 6, 23, 59, 59)});
        server_.AddFile(
            {"data/sound/ja/voice 01.ogg", "voice\n", ListClock(2023, 12, 31, 1, 0, 0)});
        server_.Publish("B");
    }

    size_t accessLogStart_ = testenv::AccessLogLines().size();
    PatchServer server_{"install-pass"};
};
} // namespace

TEST_F(InstallPass, FromAnEmptyFolderToTheServersVersionAndUpToDateAfterwards)
{
    PublishVersionB();
    Open();

    EXPECT_EQ(Manager().StatusText(), L"Client updated successfully!") << log_.Text();
    EXPECT_EQ(Manager().VersionText(), L"Ver B");
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B");
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_EQ(Manager().UpperProgress(), 1.0);
    EXPECT_EQ(Manager().LowerProgress(), 1.0);
    EXPECT_TRUE(Manager().SpeedText().empty());

    EXPECT_EQ(ReadWholeFile(Game() / "Galdervin.bin"), "client B\n");
    EXPECT_EQ(ReadWholeFile(Game() / "data/maps/map01.dat"), Sized("map", 3 * 1024 * 1024));
    EXPECT_EQ(ReadWholeFile(Game() / "data/sound/ja/voice 01.ogg"), "voice\n");
    // The list's UTC+9 clock less nine hours, cut to the minute.
    const SYSTEMTIME map = LastWriteUtc(Game() / "data/maps/map01.dat");
    EXPECT_EQ((std::array{map.wYear, map.wMonth, map.wDay, map.wHour, map.wMinute, map.wSecond}),
              (std::array<WORD, 6>{2024, 5, 6, 14, 59, 0}));
    const SYSTEMTIME voice = LastWriteUtc(Game() / "data/sound/ja/voice 01.ogg");
    EXPECT_EQ((std::array{voice.wYear, voice.wMonth, voice.wDay, voice.wHour}),
              (std::array<WORD, 4>{2023, 12, 30, 16}));

    // The typical run's lines, in order.
    const std::string text = log_.Text();
    size_t at = 0;
    for (const std::string line :
         {"HTTP backend initialized: libcurl", "Using mirror: ", "Version at SERVER [B]",
          "Install - make local file list",
          "Install - download count: 3, remote file list count: 3", "Install - success"})
    {
        const size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
        at = found + 1;
    }
    EXPECT_EQ(PackageRequests().size(), 3u);

    // The next start finds everything current and fetches no package.
    Open();
    EXPECT_EQ(Manager().StatusText(), L"The client is up-to-date.");
    EXPECT_EQ(Manager().VersionText(), L"Ver B");
    EXPECT_EQ(PackageRequests().size(), 3u);
}

TEST_F(InstallPass, CheckFilesDownloadsExactlyTheFileWhoseTimeChanged)
{
    PublishVersionB();
    Open();
    ASSERT_EQ(PackageRequests().size(), 3u) << log_.Text();

    // Written now, so its time is no longer the published one.
    WriteWholeFile(Game() / "Galdervin.bin", "damaged");

    dialog_->GetMessagePasser()->Post({CheckFiles, 0});
    ASSERT_TRUE(Settle());
    const auto requests = PackageRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests.back(), "files/Galdervin.bin.zip");
    EXPECT_EQ(ReadWholeFile(Game() / "Galdervin.bin"), "client B\n");
    EXPECT_TRUE(log_.Contains("Install - download count: 1, remote file list count: 3"));
}

TEST_F(InstallPass, TwoCheckFilesRunTwoPassesAndQuitWaitsForThePass)
{
    PublishVersionB();
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"B");
    Open();
    ASSERT_EQ(LogCountContaining("Install - make local file list"), 0);

    dialog_->GetMessagePasser()->Post({CheckFiles, 0});
    dialog_->GetMessagePasser()->Post({CheckFiles, 0});
    dialog_->GetMessagePasser()->Post({Quit, 0});
    const auto code = PumpUntilQuit(60000);
    ASSERT_EQ(code, kRestartExitCode);
    dialog_->Manager()->updateThread.join();
    quitDone_ = true;

    EXPECT_EQ(LogCountContaining("Install - make local file list"), 2);
    // The first pass fetched the files, the second found them current, and
    // only then did the thread stop.
    EXPECT_EQ(LogCountContaining("Install - download count: 3,"), 1);
    EXPECT_EQ(LogCountContaining("Install - download count: 0,"), 1);
    EXPECT_EQ(LogCountContaining("Install - success"), 1);
    EXPECT_EQ(ReadWholeFile(Game() / "Galdervin.bin"), "client B\n");
}

TEST_F(InstallPass, TheJapaneseOverlayReplacesAndAddsFilesAndIsRecorded)
{
    LanguageScope japanese(L"ja");
    server_.AddFile({"docs/readme.txt", "English readme\n", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddFile({"data/common.dat", "common\n", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddOverlayFile("ja",
                           {"docs/readme.txt", "日本語の説明\n", ListClock(2024, 2, 1, 0, 0, 0)});
    server_.AddOverlayFile("ja",
                           {"data/font-ja.dat", "フォント\n", ListClock(2024, 2, 1, 0, 0, 0)});
    server_.Publish("B", "ja-1");
    // The main version is current, yet the overlay has never been installed.
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"B");
    Open();

    EXPECT_TRUE(log_.Contains("Overlay version check: server=ja-1, local=, mismatch=true"))
        << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "docs/readme.txt"), "日本語の説明\n");
    EXPECT_EQ(ReadWholeFile(Game() / "data/font-ja.dat"), "フォント\n");
    EXPECT_EQ(ReadWholeFile(Game() / "data/common.dat"), "common\n");
    EXPECT_EQ(Stored(L"UpdateVersion_Overlay_ja"), L"ja-1");
    EXPECT_EQ(Stored(L"UpdateVersion_Overlay_en"), L"<none>");
    EXPECT_EQ(Manager().StatusText(), LookupText(L"ja", "update_success"));
    const auto requests = PackageRequests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "overlays/ja/files/docs/readme.txt.zip"),
              requests.end());
    EXPECT_EQ(std::find(requests.begin(), requests.end(), "files/docs/readme.txt.zip"),
              requests.end());

    // Recorded: the next start has nothing to do.
    Open();
    EXPECT_EQ(Manager().StatusText(), LookupText(L"ja", "already_up_to_date"));
}

// A list is the server's word on names in the game folder, and a mirror can be
// anyone's: names that reach outside the folder or name a device or a stream
// are passed over, in the main list and in an overlay alike.
TEST_F(InstallPass, UnsafeNamesInTheMainListAndAnOverlayAreSkippedAndNothingLandsOutside)
{
    LanguageScope japanese(L"ja");
    const std::string outside = "norvik-outside-" + std::to_string(GetCurrentProcessId());
    server_.AddFile({"client.bin", "client\n", ListClock(2024, 1, 1, 0, 0, 0)});
    const std::vector<std::string> unsafeMain = {"../" + outside + ".txt",
                                                 "C:\\" + outside + ".txt", "data/a:stream", "CON"};
    int package = 0;
    for (const std::string& name : unsafeMain)
        server_.AddFile({name, "escaped\n", ListClock(2024, 1, 1, 0, 0, 0),
                         "files/unsafe" + std::to_string(package++) + ".zip"});
    server_.AddOverlayFile("ja", {"data/../../" + outside + "-ja.txt", "escaped\n",
                                  ListClock(2024, 2, 1, 0, 0, 0), "files/unsafe-ja.zip"});
    server_.AddOverlayFile("ja", {"docs/ja.txt", "日本語\n", ListClock(2024, 2, 1, 0, 0, 0)});
    server_.Publish("B", "ja-1");
    Open();

    EXPECT_EQ(Manager().StatusText(), LookupText(L"ja", "update_success")) << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "client.bin"), "client\n");
    EXPECT_EQ(ReadWholeFile(Game() / "docs/ja.txt"), "日本語\n");
    for (const std::string& name : unsafeMain)
        EXPECT_EQ(LogCountContaining("FileList: Unsafe file name skipped " + name + " ("), 1)
            << name << "\n"
            << log_.Text();
    EXPECT_EQ(LogCountContaining("Overlay FileList: Unsafe file name skipped data/../../" +
                                 outside + "-ja.txt ("),
              1);
    const std::filesystem::path parent = Game().parent_path();
    for (const std::filesystem::path& escaped :
         {parent / (outside + ".txt"), parent / (outside + "-ja.txt"),
          std::filesystem::path(L"C:\\") / (outside + ".txt"), Game() / "data/a"})
        EXPECT_FALSE(std::filesystem::exists(escaped)) << escaped.string();
    const auto requests = PackageRequests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const std::string& path)
                            { return path.find("unsafe") != std::string::npos; }),
              0);
}

TEST_F(InstallPass, AMissingPackageFailsThePassQuietlyAndKeepsWhatWasWritten)
{
    WriteRegistryDword(L"NRK_LauncherMaxConnections", 1);
    PublishVersionB();
    server_.Remove("files/data/sound/ja/voice 01.ogg.zip"); // the file path on the server
    Open();

    EXPECT_EQ(LogCountContaining("- http error: "), 3) << log_.Text();
    EXPECT_EQ(
        log_.Count("Download thread 0 - failed to download files/data/sound/ja/voice%2001.ogg.zip"),
        1);
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_TRUE(dialog_->LinkVisible());
    EXPECT_EQ(Stored(L"UpdateVersion"), L"First Version.");
    EXPECT_NE(Manager().StatusText(), L"Client updated successfully!");
    // Whatever the one worker wrote before the failure stays, whole.
    const int done = Manager().filesDone;
    int present = 0;
    for (const auto& [file, content] :
         {std::pair{"Galdervin.bin", std::string("client B\n")},
          std::pair{"data/maps/map01.dat", Sized("map", 3 * 1024 * 1024)}})
        if (std::filesystem::exists(Game() / file))
        {
            ++present;
            EXPECT_EQ(ReadWholeFile(Game() / file), content);
        }
    EXPECT_EQ(present, done);
    EXPECT_FALSE(std::filesystem::exists(Game() / "data/sound/ja/voice 01.ogg"));
}

TEST_F(InstallPass, ABrokenPackageFailsExtractionThreeTimes)
{
    server_.AddFile({"a.dat", "a\n", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");
    server_.WriteRaw("files/a.dat.zip", "PK\x03\x04 but nothing a zip reader could use");
    Open();

    EXPECT_EQ(LogCountContaining(" - unzip error for a.dat: "), 3) << log_.Text();
    EXPECT_EQ(LogCountContaining(" - failed to extract files/a.dat.zip"), 1);
    EXPECT_FALSE(std::filesystem::exists(Game() / "a.dat"));
    EXPECT_EQ(Stored(L"UpdateVersion"), L"First Version.");
    EXPECT_TRUE(answerer_.Boxes().empty());
}

TEST_F(InstallPass, AMainListWithoutEntriesEndsThePassWithItsStatusOnly)
{
    server_.Publish("B");
    server_.WriteRaw("filelist.zip", ArchiveWithoutEntries());
    Open();
    EXPECT_EQ(Manager().StatusText(), L"Could not obtain the latest file list from the server.");
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_EQ(Stored(L"UpdateVersion"), L"First Version.");
    EXPECT_FALSE(log_.Contains("Install - make local file list"));
}

TEST_F(InstallPass, ABodyThatStallsIsAbandonedAndTheRetryCompletesIt)
{
    testenv::ResetStallServer();
    server_.AddFile({"stall-once.pak", Sized("stall", 256 * 1024), ListClock(2024, 1, 1, 0, 0, 0),
                     "files/stall-once.pak.zip"});
    server_.Publish("B", "", "");
    // Packages from the stalling server, which serves the same tree.
    PatchServer::PublishVersionFile("version=B\nfilelist=filelist\npatch=" +
                                    testenv::StallUrl(server_.RelativeUrlPath()) + "\n");
    // The server never finishes the first body: only the low-speed limit ends it.
    Open(120000);

    EXPECT_EQ(LogCountContaining(" - http error: "), 1) << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "stall-once.pak"), Sized("stall", 256 * 1024));
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B");
}

TEST_F(InstallPass, ALargeBodyThatStallsIsResumedFromTheBytesAlreadyOnDisk)
{
    testenv::ResetStallServer();
    // Incompressible, so the package is over the size kept in memory and goes to its file.
    const std::string content = RandomBytes(6 << 20, 18);
    server_.AddFile({"big stall-once.pak", content, ListClock(2024, 1, 1, 0, 0, 0),
                     "files/big stall-once.pak.zip"});
    server_.Publish("B", "", "");
    PatchServer::PublishVersionFile("version=B\nfilelist=filelist\npatch=" +
                                    testenv::StallUrl(server_.RelativeUrlPath()) + "\n");
    const size_t rangeLogStart = testenv::RangeLogLines().size();
    Open(120000);

    EXPECT_EQ(ReadWholeFile(Game() / "big stall-once.pak"), content) << log_.Text();
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B");
    EXPECT_EQ(LogCountContaining(" - http error: "), 1);
    EXPECT_EQ(LogCountContaining(" - resuming files/big stall-once.pak.zip after "), 1);

    // nginx saw the whole body asked for once, then only the rest, under the
    // first reply's ETag.
    std::vector<std::string> requests;
    const auto lines = testenv::RangeLogLines();
    for (size_t i = rangeLogStart; i < lines.size(); ++i)
        if (lines[i].find("big%20stall-once.pak.zip") != std::string::npos)
            requests.push_back(lines[i]);
    ASSERT_EQ(requests.size(), 2u) << ::testing::PrintToString(requests);
    EXPECT_NE(requests[0].find("\" \"-\" \"-\" 200 "), std::string::npos) << requests[0];
    const size_t range = requests[1].find("\"bytes=");
    ASSERT_NE(range, std::string::npos) << requests[1];
    const uint64_t offset = std::stoull(requests[1].substr(range + 7));
    EXPECT_GT(offset, 0u);
    // nginx writes the ETag's quotes as \x22.
    EXPECT_NE(requests[1].find("-\" \"\\x22"), std::string::npos) << requests[1];
    const uint64_t rest = std::stoull(requests[1].substr(requests[1].rfind(' ') + 1));
    EXPECT_NE(requests[1].find("\" 206 "), std::string::npos) << requests[1];
    const uint64_t whole = std::stoull(requests[0].substr(requests[0].rfind(' ') + 1));
    EXPECT_EQ(offset + rest, whole);
}

TEST_F(InstallPass, ASpeedLimitHoldsAllWorkersTogetherAndNoLimitDoesNot)
{
    WriteRegistryDword(L"NRK_LauncherMaxConnections", 4);
    // Four files of 1 MiB, one a worker: only a limit on their sum slows the pass to 8 s.
    for (int index = 0; index < 4; ++index)
        server_.AddFile({"part" + std::to_string(index) + ".dat",
                         RandomBytes(1 << 20, 40 + static_cast<uint32_t>(index)),
                         ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");

    const auto timedPass = [this]
    {
        const auto start = std::chrono::steady_clock::now();
        Open();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    WriteRegistryDword(L"NRK_LauncherMaxSpeedKB", 512);
    const double limited = timedPass();
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B") << log_.Text();
    EXPECT_EQ(PackageRequests().size(), 4u);
    EXPECT_GE(limited, 7.5);

    for (int index = 0; index < 4; ++index)
        std::filesystem::remove(Game() / ("part" + std::to_string(index) + ".dat"));
    WriteRegistryDword(L"NRK_LauncherMaxSpeedKB", 0);
    WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"A");
    const double unlimited = timedPass();
    EXPECT_EQ(PackageRequests().size(), 8u) << log_.Text();
    EXPECT_LT(unlimited, 7.5);
    for (int index = 0; index < 4; ++index)
        EXPECT_EQ(ReadWholeFile(Game() / ("part" + std::to_string(index) + ".dat")),
                  RandomBytes(1 << 20, 40 + static_cast<uint32_t>(index)));
}

TEST_F(InstallPass, FourConnectionsWithTwoFilesStartFourWorkers)
{
    WriteRegistryDword(L"NRK_LauncherMaxConnections", 4);
    server_.AddFile({"one.dat", "1", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddFile({"two.dat", "2", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");
    Open();
    EXPECT_EQ(Manager().workerSlots.size(), 4u);
    EXPECT_EQ(Manager().filesDone, 2);
    EXPECT_EQ(PackageRequests().size(), 2u);
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B");
}

TEST_F(InstallPass, OneConnectionFetchesInQueueOrder)
{
    server_.Publish("B");
    Open();
    UpdateManager& manager = Manager();
    // The update thread idles; the test runs one worker over a queue of its own.
    const std::vector<std::string> order = {"c.dat", "a.dat", "d.dat", "b.dat"};
    for (const std::string& name : order)
    {
        server_.AddFile({name, name, ListClock(2024, 1, 1, 0, 0, 0)});
        FileEntry entry;
        entry.name = name;
        entry.time = ListClock(2024, 1, 1, 0, 0, 0);
        entry.packagePath = "files/" + name + ".zip";
        manager.downloadQueue.push_back(entry);
    }
    manager.workerSlots.assign(1, WorkerSlot{});
    manager.filesTotal = 4;
    manager.filesDone = 0;
    manager.DownloadWorker(0);
    std::vector<std::string> expected;
    for (const std::string& name : order)
        expected.push_back("files/" + name + ".zip");
    EXPECT_EQ(PackageRequests(), expected);
    EXPECT_EQ(manager.filesDone, 4);
}

// As in a 32-bit process whose address space is used up: with no allocation
// above 1 MiB allowed, large files still arrive, since a worker holds a large
// package on the disk and inflates it piece by piece.
TEST_F(InstallPass, LargeFilesInstallWhenNoAllocationAbove1MiBSucceeds)
{
    const std::string zeros(8 << 20, 'z');             // deflates to a few KiB: inflated in pieces
    const std::string noise = RandomBytes(3 << 20, 5); // a package too large to hold
    const std::string bigNoise = RandomBytes(6 << 20, 6); // announced as too large for memory
    server_.AddFile({"huge.dat", zeros, ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddFile({"noise.dat", noise, ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddFile({"data/big-noise.dat", bigNoise, ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");
    {
        AllocationLimit limit(1 << 20);
        Open();
    }
    EXPECT_EQ(Stored(L"UpdateVersion"), L"B") << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "huge.dat"), zeros);
    EXPECT_EQ(ReadWholeFile(Game() / "noise.dat"), noise);
    EXPECT_EQ(ReadWholeFile(Game() / "data/big-noise.dat"), bigNoise);
    EXPECT_EQ(LogCountContaining(" - unzip error for "), 0) << log_.Text();
    EXPECT_EQ(LogCountContaining(" - http error: "), 0) << log_.Text();
    // Neither the downloads' files nor the journal stay behind.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Game()))
        EXPECT_NE(entry.path().extension(), ".nrkpart") << entry.path();
}

TEST_F(InstallPass, EntriesNamingOneFileOnDiskAreWrittenOnceByTheLaterEntry)
{
    LanguageScope japanese(L"ja");
    // Two spellings of one file in the main list, and an overlay entry that
    // differs from a main entry only in letter case.
    server_.AddFile({"a.dat", "first\n", ListClock(2024, 1, 1, 0, 0, 0), "files/first.zip"});
    server_.AddFile({"./A.DAT", "second\n", ListClock(2024, 1, 1, 0, 0, 0), "files/second.zip"});
    server_.AddFile({"Data/Main.pak", "main pak\n", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.AddOverlayFile("ja",
                           {"data/main.pak", "overlay pak\n", ListClock(2024, 2, 1, 0, 0, 0)});
    server_.Publish("B", "ja-1");
    Open();

    EXPECT_EQ(Manager().StatusText(), LookupText(L"ja", "update_success")) << log_.Text();
    EXPECT_EQ(ReadWholeFile(Game() / "a.dat"), "second\n");
    EXPECT_EQ(ReadWholeFile(Game() / "Data/Main.pak"), "overlay pak\n");
    EXPECT_TRUE(answerer_.Boxes().empty());
    EXPECT_TRUE(log_.Contains(
        "Install - a.dat and ./A.DAT are the same file on disk; only ./A.DAT is written"))
        << log_.Text();
    EXPECT_TRUE(log_.Contains("Install - Data/Main.pak and data/main.pak are the same file on "
                              "disk; only data/main.pak is written"))
        << log_.Text();
    EXPECT_TRUE(log_.Contains("Install - download count: 2, remote file list count: 4"))
        << log_.Text();
    auto requests = PackageRequests();
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(requests, (std::vector<std::string>{"files/second.zip",
                                                  "overlays/ja/files/data/main.pak.zip"}));

    // Check Files decides the same way every time.
    std::filesystem::remove(Game() / "a.dat");
    dialog_->GetMessagePasser()->Post({CheckFiles, 0});
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadWholeFile(Game() / "a.dat"), "second\n");
}
