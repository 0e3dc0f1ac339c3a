// A file list that carries the launcher itself: the real splash.exe, started
// as a child process, writes it, tells the user and ends; the same name in a
// sub-folder is an ordinary file.
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/LauncherProcess.h"
#include "support/MessageBoxAnswerer.h"
#include "support/PatchServer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"

#include <gtest/gtest.h>

namespace
{
class LauncherSelfUpdate : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        // No first-launch settings dialog in these runs.
        WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
    }

    std::wstring StoredVersion()
    {
        std::wstring value;
        return ReadRegistryString(value, kLauncherRegistryKey, L"UpdateVersion") ? value : L"";
    }

    TempFolder game_{L"self-update"};
    PatchServer server_{"self-update"};
    MessageBoxAnswerer answerer_;
};
} // namespace

TEST_F(LauncherSelfUpdate, TheLauncherAtTheTopLevelInAnyCaseEndsTheProcessAfterTheMessage)
{
    server_.AddFile({"SpLaSh.ExE", "the next launcher", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");
    // Started from its relaunch copy, as players run it, so the image is free.
    LauncherProcess launcher(game_.Path(), L"splash.dmy");
    ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
    answerer_.Watch(launcher.Id());

    EXPECT_EQ(launcher.WaitForExit(60000), 0u);
    const auto boxes = answerer_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LocalizedText("launcher_has_updated_message"));
    EXPECT_EQ(ReadWholeFile(game_ / "SpLaSh.ExE"), "the next launcher");
    // The process ended before the version could be recorded.
    EXPECT_EQ(StoredVersion(), L"First Version.");
}

TEST_F(LauncherSelfUpdate, TheSameNameInASubFolderIsAnOrdinaryFile)
{
    server_.AddFile({"tools/splash.exe", "a tool", ListClock(2024, 1, 1, 0, 0, 0)});
    server_.Publish("B");
    LauncherProcess launcher(game_.Path(), L"splash.dmy");
    ASSERT_TRUE(launcher.StartWithoutFollowing(game_.Path()));
    answerer_.Watch(launcher.Id());

    ASSERT_TRUE(PumpUntil([&] { return StoredVersion() == L"B"; }, 60000));
    EXPECT_FALSE(launcher.WaitForExit(500).has_value());
    EXPECT_EQ(ReadWholeFile(game_ / "tools/splash.exe"), "a tool");
    EXPECT_TRUE(answerer_.Boxes().empty());
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(30000), 0u);
}
