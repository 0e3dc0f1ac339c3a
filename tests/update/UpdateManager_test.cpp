#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/WindowPump.h"
#include "ui/LauncherDialog.h"
#include "update/UpdateManager.h"

#include <gtest/gtest.h>
#include <optional>

namespace
{
// One window life on the test thread, ended through the settings link's quit
// request so the update thread is gone before the window object is.
class WindowLife : public ::testing::Test
{
  protected:
    void SetUp() override { DeleteLauncherKey(); }

    LauncherDialog& Open()
    {
        dialog_.emplace(GetModuleHandleW(nullptr));
        return *dialog_;
    }

    std::optional<WPARAM> QuitAndPump()
    {
        dialog_->GetMessagePasser()->Post({Quit, 0});
        const auto code = PumpUntilQuit();
        if (code)
            dialog_->Manager()->updateThread.join();
        return code;
    }

    std::optional<LauncherDialog> dialog_;
};

int32_t ConnectionsFor(std::optional<uint32_t> stored)
{
    DeleteLauncherKey();
    if (stored)
        WriteRegistryDword(L"NRK_LauncherMaxConnections", *stored);
    LauncherDialog dialog(GetModuleHandleW(nullptr));
    const int32_t connections = dialog.Manager()->maxConnections;
    dialog.GetMessagePasser()->Post({Quit, 0});
    PumpUntilQuit();
    dialog.Manager()->updateThread.join();
    return connections;
}
} // namespace

TEST(UpdateManagerSettings, ConnectionCountIsClampedToOneToFour)
{
    EXPECT_EQ(ConnectionsFor(std::nullopt), 2);
    EXPECT_EQ(ConnectionsFor(0), 2);
    EXPECT_EQ(ConnectionsFor(1), 1);
    EXPECT_EQ(ConnectionsFor(4), 4);
    EXPECT_EQ(ConnectionsFor(7), 4);
    EXPECT_EQ(ConnectionsFor(0xFFFFFFFFu), 4);
}

TEST_F(WindowLife, EchSettingIsReadAtConstruction)
{
    WriteRegistryDword(L"NRK_LauncherEchEnabled", 5);
    EXPECT_TRUE(Open().Manager()->echEnabled);
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}

TEST_F(WindowLife, UpdateThreadReportsItsStatus)
{
    LauncherDialog& dialog = Open();
    EXPECT_TRUE(PumpUntil(
        [&] {
            return dialog.Manager()->StatusText() == LocalizedText("initializing_update_process");
        }));
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}

TEST_F(WindowLife, UnknownMessageTypeIsLoggedAndSkipped)
{
    LogCapture log;
    LauncherDialog& dialog = Open();
    dialog.GetMessagePasser()->Post({1, 0});
    ASSERT_EQ(QuitAndPump(), kRestartExitCode);
    EXPECT_EQ(log.Count("unknown msgtype 1"), 1) << log.Text();
}

TEST_F(WindowLife, QuitEndsTheLifeWithCode100OnlyAfterTheUpdateThreadAnswers)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    ASSERT_NE(window, nullptr);

    // Hidden link: a press there starts a drag, nothing is asked of the update thread.
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    EXPECT_FALSE(dialog.RestartRequested());

    dialog.ShowSettingsLink();
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_TRUE(dialog.RestartRequested());
    // The click itself destroys nothing: the window waits for the update thread.
    EXPECT_TRUE(IsWindow(window));

    const auto code = PumpUntilQuit();
    ASSERT_EQ(code, kRestartExitCode);
    EXPECT_FALSE(IsWindow(window));
    dialog.Manager()->updateThread.join();
    EXPECT_TRUE(dialog.Manager()->stopRequested);
}

TEST_F(WindowLife, ClosingTheWindowEndsTheLifeWithCodeZero)
{
    LauncherDialog& dialog = Open();
    PostMessageW(dialog.GetHwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(PumpUntilQuit(), 0u);
    // The update thread is not told on a plain close; stop it so the test ends cleanly.
    dialog.GetMessagePasser()->Post({Quit, 0});
    dialog.Manager()->updateThread.join();
}

TEST_F(WindowLife, ReportErrorShowsTheBoxAndOffersTheSettingsLink)
{
    LogCapture log;
    MessageBoxAnswerer answerer;
    LauncherDialog& dialog = Open();
    EXPECT_FALSE(dialog.LinkVisible());

    const int result = dialog.Manager()->ReportError(L"Something went wrong: 失敗");
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].title, L"Norvik Launcher");
    EXPECT_EQ(answerer.Boxes()[0].text, L"Something went wrong: 失敗");
    EXPECT_TRUE(dialog.LinkVisible());
    EXPECT_EQ(dialog.Manager()->StatusText(), LocalizedText("error_occurred"));
    EXPECT_TRUE(log.Contains("Something went wrong: \xE5\xA4\xB1\xE6\x95\x97")) << log.Text();
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}

TEST_F(WindowLife, RecordInstalledVersionStoresVersionsAndShowsSuccess)
{
    LogCapture log;
    LauncherDialog& dialog = Open();
    UpdateManager& manager = *dialog.Manager();
    manager.versionInfo.overlayVersion = "ov-3";
    manager.RecordInstalledVersion(L"1.10", L"ov-3");

    std::wstring stored;
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(stored, L"1.10");
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey,
                                   L"UpdateVersion_Overlay_" + CurrentLanguage()));
    EXPECT_EQ(stored, L"ov-3");
    EXPECT_TRUE(log.Contains("Saved overlay version to registry: ov-3")) << log.Text();
    EXPECT_EQ(manager.VersionText(), L"Ver 1.10");
    EXPECT_EQ(manager.StatusText(), LocalizedText("update_success"));
    EXPECT_TRUE(dialog.LinkVisible());
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}

TEST_F(WindowLife, NoOverlayVersionWritesNoOverlayValue)
{
    LauncherDialog& dialog = Open();
    dialog.Manager()->RecordInstalledVersion(L"7", L"");
    std::wstring stored = L"untouched";
    EXPECT_FALSE(ReadRegistryString(stored, kLauncherRegistryKey,
                                    L"UpdateVersion_Overlay_" + CurrentLanguage()));
    EXPECT_EQ(stored, L"untouched");
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}
