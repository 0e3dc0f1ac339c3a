// The launcher's hand-over to its ".dmy" copy, with the real splash.exe in
// folders of the test's own. Every test ends whatever it left running there.
#include "app/Relaunch.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/DebuggedProcess.h"
#include "support/LauncherProcess.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ProcessList.h"
#include "support/Registry.h"
#include "support/TempFolder.h"

#include <windows.h>

#include <chrono>
#include <gtest/gtest.h>

namespace
{
class Relaunch : public ::testing::Test
{
  protected:
    // Saved settings keep the first-launch dialog out of the way.
    void SetUp() override
    {
        DeleteLauncherKey();
        WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
    }
    void TearDown() override { DeleteLauncherKey(); }

    // Closes the launcher's window the way a player does and expects a clean end.
    static void CloseNormally(LauncherProcess& launcher, HWND window)
    {
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(launcher.WaitForExit(), 0u);
    }

    TempFolder game_{L"relaunch"};
    ProcessesInFolderGuard leftovers_{game_.Path()};
};

HWND WaitForWindowOf(DWORD processId, int milliseconds = 20000)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (const HWND window = LauncherWindowOf(processId))
            return window;
        Sleep(50);
    }
    return nullptr;
}
} // namespace

TEST(RelaunchNames, OnlyAnExactExeExtensionAsksForTheCopy)
{
    EXPECT_TRUE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.exe"));
    EXPECT_TRUE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.v2.exe"));
    EXPECT_TRUE(RunsFromExeFile(L"C:\\Program Files\\Norvik Game\\splash.exe"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.EXE"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.Exe"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.dmy"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash.exe.dmy"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\splash"));
    // A name whose only dot leads has no extension.
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik\\.exe"));
    EXPECT_FALSE(RunsFromExeFile(L"C:\\Games\\Norvik.exe\\splash"));
}

TEST(RelaunchNames, TheCopyLiesBesideTheExeAndIsStartedQuoted)
{
    EXPECT_EQ(CopyPathFor(L"C:\\Games\\Norvik\\splash.exe"),
              std::filesystem::path(L"C:\\Games\\Norvik\\splash.dmy"));
    EXPECT_EQ(CopyPathFor(L"C:\\Games\\Norvik\\splash.v2.exe"),
              std::filesystem::path(L"C:\\Games\\Norvik\\splash.v2.dmy"));
    EXPECT_EQ(CopyCommandLine(L"C:\\Program Files\\Norvik Game\\splash.dmy"),
              L"\"C:\\Program Files\\Norvik Game\\splash.dmy\"");
}

TEST_F(Relaunch, StartedAsExeItLeavesOneProcessRunningFromTheCopy)
{
    // A copy from an earlier start is overwritten.
    WriteWholeFile(game_ / "splash.dmy", "stale copy");
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
    const DWORD starter = launcher.Id();
    ASSERT_TRUE(launcher.FollowRelaunch());
    EXPECT_NE(launcher.Id(), starter);

    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ProcessesRunningFrom(game_ / "splash.dmy"), std::vector<DWORD>{launcher.Id()});
    EXPECT_TRUE(ProcessesRunningFrom(game_ / "splash.exe").empty());
    EXPECT_EQ(ReadWholeFile(game_ / "splash.dmy"), ReadWholeFile(game_ / "splash.exe"));

    CloseNormally(launcher, window);
    // The copy stays for the next start to overwrite.
    EXPECT_TRUE(std::filesystem::exists(game_ / "splash.dmy"));
}

TEST_F(Relaunch, TheCopyStartedDirectlyRunsItself)
{
    LauncherProcess launcher(game_.Path(), L"splash.dmy");
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ProcessesRunningFrom(game_ / "splash.dmy"), std::vector<DWORD>{launcher.Id()});
    CloseNormally(launcher, window);
    EXPECT_FALSE(std::filesystem::exists(game_ / "splash.exe"));
}

TEST_F(Relaunch, AnUpperCaseExtensionRunsWithoutCopying)
{
    LauncherProcess launcher(game_.Path(), L"SPLASH.EXE");
    ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(game_.Path()))
        EXPECT_NE(entry.path().extension(), L".dmy") << entry.path();
    CloseNormally(launcher, window);
}

TEST_F(Relaunch, ARunningCopyMakesTheNextStartFailWithABox)
{
    LauncherProcess first(game_.Path());
    ASSERT_TRUE(first.Start(game_.Path()));
    const HWND window = first.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    // The same ".exe" again, while its ".dmy" runs.
    LauncherProcess second(game_.Path());
    ASSERT_TRUE(second.StartWithoutFollowing(game_.Path()));
    MessageBoxAnswerer answerer(IDOK, second.Id());
    ASSERT_TRUE(answerer.WaitForBoxes(1, 20000));
    EXPECT_EQ(second.WaitForExit(), 1u);
    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Norvik Launcher");
    EXPECT_EQ(boxes[0].text, LookupText(L"en", "unable_to_copy_launcher_error"));
    // Nothing but the first launcher's copy runs, and it runs on.
    EXPECT_EQ(ProcessesRunningFrom(game_ / "splash.dmy"), std::vector<DWORD>{first.Id()});
    EXPECT_TRUE(IsWindow(window));
    CloseNormally(first, window);
}

TEST_F(Relaunch, AFolderWithSpacesStartsTheCopyItself)
{
    // Unquoted, "...\Norvik game\splash.dmy" would first be tried as "...\Norvik" + ".exe".
    const std::filesystem::path folder = game_ / "Norvik game";
    std::filesystem::create_directories(folder);
    ProcessesInFolderGuard leftoversInside{folder};
    LauncherProcess decoy(game_.Path(), L"Norvik.exe");

    LauncherProcess launcher(folder);
    ASSERT_TRUE(launcher.Start(folder));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ProcessesRunningFrom(folder / "splash.dmy"), std::vector<DWORD>{launcher.Id()});
    EXPECT_TRUE(ProcessesRunningFrom(decoy.Exe()).empty());
    EXPECT_FALSE(std::filesystem::exists(game_ / "Norvik.dmy"));
    EXPECT_TRUE(std::filesystem::exists(folder / "update.log"));
    CloseNormally(launcher, window);
}

TEST_F(Relaunch, UnderADebuggerNothingIsCopied)
{
    LauncherProcess installed(game_.Path());
    DebuggedProcess debugged(installed.Exe(), game_.Path());
    ASSERT_NE(debugged.Id(), 0u);
    const HWND window = WaitForWindowOf(debugged.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(std::filesystem::exists(game_ / "splash.dmy"));
    PostMessageW(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 1000 && !debugged.Ended(); ++i)
        Sleep(20);
    EXPECT_TRUE(debugged.Ended());
}
