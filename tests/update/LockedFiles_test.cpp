// Locked targets: a real child process holds the file without sharing, so the
// extraction meets a real sharing violation and terminating the child really
// frees the file. Only Restart Manager's listing (Wine's names nobody) comes
// from the test; the session, the image names and the boxes are the real ones.
#include "support/LockHolder.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"
#include "support/ZipBuilder.h"
#include "ui/LauncherDialog.h"
#include "update/LockedFiles.h"
#include "update/UpdateManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fmt/xchar.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace
{
// No process has this identifier: it is not a multiple of four.
constexpr DWORD kNoSuchProcess = 0x7FFFFFF3;

RM_PROCESS_INFO Record(DWORD processId, const std::wstring& appName, RM_APP_TYPE type)
{
    RM_PROCESS_INFO record{};
    record.Process.dwProcessId = processId;
    appName.copy(record.strAppName, std::min<size_t>(appName.size(), CCH_RM_MAX_APP_NAME));
    record.ApplicationType = type;
    return record;
}

// Answers as RmGetList does: the number needed for an empty array, then the
// records. Each query takes the next listing; the last one repeats.
class Listing
{
  public:
    explicit Listing(std::vector<std::vector<RM_PROCESS_INFO>> turns)
        : state_(std::make_shared<State>(std::move(turns)))
    {
        SetRestartManagerListForTesting(
            [state = state_](const std::wstring& file, DWORD, UINT* needed, UINT* count,
                             RM_PROCESS_INFO* records, DWORD*)
            {
                std::lock_guard lock(state->mutex);
                state->files.push_back(file);
                if (!records)
                    state->current = std::min(state->queries++, state->turns.size() - 1);
                const std::vector<RM_PROCESS_INFO>& turn = state->turns[state->current];
                *needed = static_cast<UINT>(turn.size());
                if (!records || *count < turn.size())
                {
                    *count = 0;
                    return turn.empty() ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_MORE_DATA};
                }
                std::copy(turn.begin(), turn.end(), records);
                *count = static_cast<UINT>(turn.size());
                return DWORD{ERROR_SUCCESS};
            });
    }
    ~Listing() { SetRestartManagerListForTesting({}); }

    size_t Queries() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->queries;
    }
    // The file each call was about, as the session registered it.
    std::vector<std::wstring> Files() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->files;
    }

  private:
    struct State
    {
        explicit State(std::vector<std::vector<RM_PROCESS_INFO>> turns) : turns(std::move(turns)) {}
        std::mutex mutex;
        std::vector<std::vector<RM_PROCESS_INFO>> turns;
        size_t queries = 0;
        size_t current = 0;
        std::vector<std::wstring> files;
    };
    std::shared_ptr<State> state_;
};

std::wstring GameText(const std::wstring& file, const std::wstring& app, DWORD id)
{
    return fmt::format(L"The file '{}' is locked by a running game process ({}, PID: {}).\n\n"
                       L"Would you like to terminate it to continue updating?",
                       file, app, id);
}

std::wstring OtherText(const std::wstring& file, const std::wstring& app, DWORD id)
{
    return fmt::format(L"The file '{}' is locked by another process ({}, PID: {}).\nPlease close "
                       L"it and try again.",
                       file, app, id);
}

std::wstring ServiceText(const std::wstring& file, const std::wstring& app)
{
    return fmt::format(
        L"The file '{}' is locked by a system service ({}).\nThis may be your "
        L"antivirus software performing a scan. The update will retry automatically.",
        file, app);
}

// A window life whose update thread has started and been answered; the tests
// then extract on threads of their own, as the download workers do.
class LockedTarget : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        std::filesystem::current_path(game_.Path());
        MessageBoxAnswerer startUp;
        dialog_.emplace(GetModuleHandleW(nullptr));
        ASSERT_TRUE(PumpUntilQueueServed(*dialog_->GetMessagePasser(), log_, 30000));
    }
    void TearDown() override
    {
        dialog_->GetMessagePasser()->Post({Quit, 0});
        PumpUntilQuit(30000);
        dialog_->Manager()->updateThread.join();
        dialog_.reset();
        std::filesystem::current_path(previousFolder_);
    }

    UpdateManager& Manager() { return *dialog_->Manager(); }

    // The next file of the same pass: what the install pass clears at its start.
    void NewPass()
    {
        Manager().stopRequested = false;
        Manager().updateFailed = false;
        Manager().lockersTerminated = false;
        Manager().lockBoxesShown.clear();
    }

    // Extracts on workers of their own while this thread keeps the window going.
    std::vector<bool> ExtractInParallel(const std::vector<std::wstring>& targets)
    {
        std::vector<char> results(targets.size(), 0);
        std::atomic<size_t> finished{0};
        std::vector<std::thread> workers;
        for (size_t index = 0; index < targets.size(); ++index)
        {
            workers.emplace_back(
                [&, index]
                {
                    try
                    {
                        results[index] =
                            Manager().ExtractPackage(package_, targets[index], &listTime_);
                    }
                    catch (const std::exception& error)
                    {
                        ADD_FAILURE() << error.what();
                    }
                    ++finished;
                });
        }
        EXPECT_TRUE(PumpUntil([&] { return finished == targets.size(); }, 60000));
        for (std::thread& worker : workers)
            worker.join();
        return std::vector<bool>(results.begin(), results.end());
    }

    bool Extract(const std::wstring& target) { return ExtractInParallel({target})[0]; }

    int CreateFailures() const { return log_.Count("Unzip - CreateFile failed with error 32"); }

    const std::string content_ = "new game data";
    const std::string package_ = DeflatedPackage(content_);
    const int64_t listTime_ = 133485000000000000; // 2024
    LogCapture log_;
    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"locked"};
    std::optional<LauncherDialog> dialog_;
};
} // namespace

TEST_F(LockedTarget, GameClientIsEndedOnYesAndTheNextAttemptWrites)
{
    LockHolder client(game_.Path(), L"Galdervin.bin");
    ASSERT_TRUE(client.Hold(game_ / "data.pak"));
    Listing listing({{Record(client.Id(), L"Galdervin", RmMainWindow)}});
    MessageBoxAnswerer answerer(IDYES);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Extract(L"data.pak"));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Norvik Launcher");
    EXPECT_EQ(boxes[0].text, GameText(L"data.pak", L"Galdervin", client.Id()));
    EXPECT_EQ(client.WaitForExit(5000), 1u);
    EXPECT_EQ(ReadWholeFile(game_ / "data.pak"), content_);
    // Written by the very next attempt, after the pause for the process to go.
    EXPECT_EQ(CreateFailures(), 1) << log_.Text();
    EXPECT_GE(elapsed, std::chrono::milliseconds(500));
    EXPECT_TRUE(Manager().lockersTerminated);
    EXPECT_FALSE(Manager().stopRequested);
    EXPECT_FALSE(Manager().updateFailed);

    // A later lock in the same pass is only retried: no query, no box.
    LockHolder viewer(game_.Path(), L"viewer.exe");
    ASSERT_TRUE(viewer.Hold(game_ / "music.pak"));
    EXPECT_FALSE(Extract(L"music.pak"));
    EXPECT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(listing.Queries(), 1u);
    EXPECT_EQ(CreateFailures(), 4);
    EXPECT_TRUE(viewer.Running());
    EXPECT_FALSE(Manager().stopRequested);
}

TEST_F(LockedTarget, TwoGameProcessesShareOnePluralPromptAndBothEnd)
{
    std::filesystem::create_directories(game_ / "a");
    std::filesystem::create_directories(game_ / "b");
    LockHolder first(game_ / "a", L"Galdervin.bin");
    LockHolder second(game_ / "b", L"galdervin.bin");
    ASSERT_TRUE(first.Hold(game_ / "data.pak"));
    ASSERT_TRUE(second.Hold(game_ / "b" / "log.txt"));
    Listing listing({{Record(first.Id(), L"Galdervin", RmMainWindow),
                      Record(second.Id(), L"Galdervin", RmMainWindow)}});
    MessageBoxAnswerer answerer(IDYES);

    EXPECT_TRUE(Extract(L"data.pak"));

    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              fmt::format(L"The file 'data.pak' is locked by 2 running game processes (PIDs: {}, "
                          L"{}).\n\nWould you like to terminate them to continue updating?",
                          first.Id(), second.Id()));
    EXPECT_EQ(first.WaitForExit(5000), 1u);
    EXPECT_EQ(second.WaitForExit(5000), 1u);
    EXPECT_EQ(ReadWholeFile(game_ / "data.pak"), content_);
}

TEST_F(LockedTarget, ParallelWorkersMeetingTheGameGetOnePrompt)
{
    LockHolder client(game_.Path(), L"Galdervin.bin");
    ASSERT_TRUE(client.Hold(game_ / "data.pak"));
    std::filesystem::create_directories(game_ / "second");
    LockHolder secondClient(game_ / "second", L"Galdervin.bin");
    ASSERT_TRUE(secondClient.Hold(game_ / "music.pak"));
    Listing listing({{Record(client.Id(), L"Galdervin", RmMainWindow),
                      Record(secondClient.Id(), L"Galdervin", RmMainWindow)}});
    MessageBoxAnswerer answerer(IDYES);

    const std::vector<bool> written = ExtractInParallel({L"data.pak", L"music.pak"});

    EXPECT_EQ(written, (std::vector<bool>{true, true}));
    EXPECT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(ReadWholeFile(game_ / "data.pak"), content_);
    EXPECT_EQ(ReadWholeFile(game_ / "music.pak"), content_);
}

TEST_F(LockedTarget, RefusingStopsTheUpdateWithoutAnotherAttempt)
{
    LockHolder client(game_.Path(), L"Galdervin.bin");
    ASSERT_TRUE(client.Hold(game_ / "data.pak"));
    Listing listing({{Record(client.Id(), L"Galdervin", RmMainWindow)}});
    MessageBoxAnswerer answerer(IDNO);

    EXPECT_FALSE(Extract(L"data.pak"));

    EXPECT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(CreateFailures(), 1);
    EXPECT_TRUE(Manager().stopRequested);
    EXPECT_TRUE(Manager().updateFailed);
    EXPECT_FALSE(Manager().lockersTerminated);
    EXPECT_TRUE(client.Running());
}

TEST_F(LockedTarget, ServiceAloneIsToldOnceAndTheAttemptsGoOn)
{
    LockHolder scanner(game_.Path(), L"scanner.exe");
    ASSERT_TRUE(scanner.Hold(game_ / "data.pak"));
    Listing listing({{Record(scanner.Id(), L"Norvik Scan Service", RmService)}});
    MessageBoxAnswerer answerer(IDOK);

    EXPECT_FALSE(Extract(L"data.pak"));

    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, ServiceText(L"data.pak", L"Norvik Scan Service"));
    // Asked on every attempt, told only on the first.
    EXPECT_EQ(listing.Queries(), 3u);
    EXPECT_EQ(CreateFailures(), 3);
    EXPECT_FALSE(Manager().stopRequested);
    EXPECT_FALSE(Manager().updateFailed);
    EXPECT_TRUE(log_.Contains("Unzip - Failed to unzip file (size " +
                              std::to_string(package_.size()) + ") to data.pak"));
}

TEST_F(LockedTarget, ServiceHoldingTheFileThroughEveryExtractionOfThePassIsToldOnce)
{
    LockHolder scanner(game_.Path(), L"scanner.exe");
    std::filesystem::create_directories(game_ / "data");
    ASSERT_TRUE(scanner.Hold(game_ / "data" / "data.pak"));
    Listing listing({{Record(scanner.Id(), L"Norvik Scan Service", RmService)}});
    MessageBoxAnswerer answerer(IDOK);

    // A worker extracts a failed file three times, each from its first attempt.
    for (int extraction = 0; extraction < 3; ++extraction)
        EXPECT_FALSE(Extract(L"data/data.pak"));

    EXPECT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(listing.Queries(), 9u);
    // Restart Manager matches full names: the session registers the file in the game folder.
    const std::wstring full = (game_.Path() / "data" / "data.pak").make_preferred().wstring();
    for (const std::wstring& file : listing.Files())
        EXPECT_EQ(file, full);

    // The next pass tells the player again.
    NewPass();
    EXPECT_FALSE(Extract(L"data/data.pak"));
    EXPECT_EQ(answerer.Boxes().size(), 2u);
}

TEST_F(LockedTarget, OtherProgramWithAServiceShowsBothBoxesThenStops)
{
    LockHolder editor(game_.Path(), L"editor.exe");
    ASSERT_TRUE(editor.Hold(game_ / "data.pak"));
    LockHolder scanner(game_.Path(), L"scanner.exe");
    ASSERT_TRUE(scanner.Hold(game_ / "scan.tmp"));
    // Listed program first: the boxes still come service first.
    Listing listing({{Record(editor.Id(), L"Map Editor", RmMainWindow),
                      Record(scanner.Id(), L"Norvik Scan Service", RmService)}});
    MessageBoxAnswerer answerer(IDOK);

    EXPECT_FALSE(Extract(L"data.pak"));

    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, ServiceText(L"data.pak", L"Norvik Scan Service"));
    EXPECT_EQ(boxes[1].text, OtherText(L"data.pak", L"Map Editor", editor.Id()));
    EXPECT_EQ(CreateFailures(), 1);
    EXPECT_TRUE(Manager().stopRequested);
    EXPECT_TRUE(Manager().updateFailed);
    EXPECT_TRUE(editor.Running());
}

TEST_F(LockedTarget, ProgramFirstNamedOnTheSecondAttemptStopsWithoutABox)
{
    LockHolder editor(game_.Path(), L"editor.exe");
    ASSERT_TRUE(editor.Hold(game_ / "data.pak"));
    Listing listing({{}, {Record(editor.Id(), L"Map Editor", RmMainWindow)}});
    MessageBoxAnswerer answerer(IDOK);

    EXPECT_FALSE(Extract(L"data.pak"));

    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_EQ(listing.Queries(), 2u);
    EXPECT_EQ(CreateFailures(), 2);
    EXPECT_TRUE(Manager().stopRequested);
    EXPECT_TRUE(Manager().updateFailed);
}

TEST_F(LockedTarget, ImageNameDecidesWhatCountsAsTheGameClient)
{
    LockHolder capitals(game_.Path(), L"GALDERVIN.BIN");
    ASSERT_TRUE(capitals.Hold(game_ / "one.pak"));
    LockHolder longer(game_.Path(), L"Galdervin.bin.old");
    ASSERT_TRUE(longer.Hold(game_ / "two.pak"));
    ASSERT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, kNoSuchProcess), nullptr);
    LockHolder unnamed(game_.Path(), L"holder.exe");
    ASSERT_TRUE(unnamed.Hold(game_ / "three.pak"));
    MessageBoxAnswerer answerer(IDNO);

    {
        Listing listing({{Record(capitals.Id(), L"Galdervin", RmMainWindow)}});
        EXPECT_FALSE(Extract(L"one.pak"));
    }
    NewPass();
    {
        Listing listing({{Record(longer.Id(), L"Galdervin", RmMainWindow)}});
        EXPECT_FALSE(Extract(L"two.pak"));
    }
    NewPass();
    {
        // Its image cannot be read: the name stays empty.
        Listing listing({{Record(kNoSuchProcess, L"Galdervin", RmMainWindow)}});
        EXPECT_FALSE(Extract(L"three.pak"));
    }

    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, GameText(L"one.pak", L"Galdervin", capitals.Id()));
    EXPECT_EQ(boxes[1].text, OtherText(L"two.pak", L"Galdervin", longer.Id()));
    EXPECT_EQ(boxes[2].text, OtherText(L"three.pak", L"Galdervin", kNoSuchProcess));
}

TEST(FileLockers, ListedRecordsBecomeLockersWithTheirImageNames)
{
    TempFolder folder(L"lockers");
    LockHolder client(folder.Path(), L"Galdervin.bin");
    ASSERT_TRUE(client.Hold(folder / "data.pak"));
    std::wstring longName(CCH_RM_MAX_APP_NAME + 1, L'n');
    RM_PROCESS_INFO full = Record(kNoSuchProcess, L"", RmService);
    longName.copy(full.strAppName, longName.size());
    Listing listing({{Record(client.Id(), L"Galdervin", RmMainWindow), full}});

    const std::vector<FileLocker> lockers = GetFileLockers((folder / "data.pak").wstring());

    ASSERT_EQ(lockers.size(), 2u);
    EXPECT_EQ(lockers[0].processId, client.Id());
    EXPECT_EQ(lockers[0].appName, L"Galdervin");
    EXPECT_EQ(lockers[0].exeName, L"Galdervin.bin");
    EXPECT_FALSE(lockers[0].isService);
    EXPECT_EQ(lockers[1].processId, kNoSuchProcess);
    // A name filling the whole field, with no terminator, is taken whole and no further.
    EXPECT_EQ(lockers[1].appName, longName);
    EXPECT_EQ(lockers[1].exeName, L"");
    EXPECT_TRUE(lockers[1].isService);
}

TEST(FileLockers, FailedOrEmptyListingsNameNobody)
{
    LogCapture log;
    TempFolder folder(L"lockers");
    const std::wstring path = (folder / "data.pak").wstring();
    {
        // More processes appeared between the two calls.
        auto growing = std::make_shared<int>(0);
        SetRestartManagerListForTesting(
            [growing](const std::wstring&, DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO*,
                      DWORD*)
            {
                *needed = static_cast<UINT>(++*growing);
                *count = 0;
                return DWORD{ERROR_MORE_DATA};
            });
        EXPECT_TRUE(GetFileLockers(path).empty());
        EXPECT_TRUE(log.Contains("RmGetList failed with error 234")) << log.Text();
    }
    {
        // An error on the first call is no locker and no log line.
        SetRestartManagerListForTesting(
            [](const std::wstring&, DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*)
            { return DWORD{ERROR_INVALID_HANDLE}; });
        EXPECT_TRUE(GetFileLockers(path).empty());
        // "More data" with nothing needed is nobody as well.
        SetRestartManagerListForTesting(
            [](const std::wstring&, DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO*, DWORD*)
            {
                *needed = 0;
                *count = 0;
                return DWORD{ERROR_MORE_DATA};
            });
        EXPECT_TRUE(GetFileLockers(path).empty());
        EXPECT_EQ(log.Count("RmGetList failed with error 234"), 1);
    }
    SetRestartManagerListForTesting({});
}

TEST(FileLockers, RealRestartManagerSessionRunsWithoutErrors)
{
    LogCapture log;
    TempFolder folder(L"lockers");
    LockHolder holder(folder.Path(), L"holder.exe");
    ASSERT_TRUE(holder.Hold(folder / "data.pak"));

    const std::vector<FileLocker> lockers = GetFileLockers((folder / "data.pak").wstring());

    // Windows names the holder; Wine's Restart Manager names nobody.
    for (const FileLocker& locker : lockers)
        EXPECT_EQ(locker.processId, holder.Id());
    EXPECT_EQ(log.Text(), "");
}

TEST(FileLockers, TerminateEndsTheProcessWithCodeOneOrLogsWhyNot)
{
    LogCapture log;
    TempFolder folder(L"lockers");
    LockHolder holder(folder.Path(), L"holder.exe");
    ASSERT_TRUE(holder.Hold(folder / "data.pak"));

    EXPECT_TRUE(TerminateProcessById(holder.Id()));
    EXPECT_EQ(holder.WaitForExit(5000), 1u);
    EXPECT_EQ(log.Text(), "");

    EXPECT_FALSE(TerminateProcessById(kNoSuchProcess));
    EXPECT_EQ(log.Text().rfind(
                  fmt::format("OpenProcess failed for PID {} with error ", kNoSuchProcess), 0),
              0u)
        << log.Text();
}

TEST(FileLockers, SortingKeepsListOrderAndFoldsOnlyAsciiCapitals)
{
    const auto locker = [](DWORD id, const std::wstring& exe, bool service) {
        return FileLocker{id, L"app", exe, service};
    };
    const LockerGroups groups = SortLockers({
        locker(1, L"svc.exe", true),
        locker(2, L"GALDERVIN.BIN", false),
        locker(3, L"editor.exe", false),
        locker(4, L"galdervin.bin", true),       // the image decides before the type
        locker(5, L"galdervin.bin ", false),     // a further character
        locker(6, L"GALDERV\u0130N.BIN", false), // not an ASCII capital I
        locker(7, L"", false),
        locker(8, L"other.svc", true),
    });
    const auto ids = [](const std::vector<FileLocker>& group)
    {
        std::vector<DWORD> result;
        for (const FileLocker& entry : group)
            result.push_back(entry.processId);
        return result;
    };
    EXPECT_EQ(ids(groups.games), (std::vector<DWORD>{2, 4}));
    EXPECT_EQ(ids(groups.services), (std::vector<DWORD>{1, 8}));
    EXPECT_EQ(ids(groups.others), (std::vector<DWORD>{3, 5, 6, 7}));
}

TEST(FileLockers, ImageFileNameIsTheTextAfterTheLastSlashOfEitherKind)
{
    EXPECT_EQ(ImageFileName(L"C:\\Games\\Norvik\\Galdervin.bin"), L"Galdervin.bin");
    EXPECT_EQ(ImageFileName(L"C:/Games\\Norvik/Galdervin.bin"), L"Galdervin.bin");
    EXPECT_EQ(ImageFileName(L"Galdervin.bin"), L"Galdervin.bin");
    EXPECT_EQ(ImageFileName(L"C:\\Games\\"), L"");
    EXPECT_EQ(ImageFileName(L""), L"");
}
