#include "settings/Localization.h"
#include "settings/Registry.h"
#include "support/EngineLifeTest.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowLifeTest.h"
#include "support/WindowPump.h"
#include "ui/LauncherDialog.h"
#include "update/UpdateManager.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace
{
// Window lives whose version check meets no version file on the test server.
class WindowLife : public WindowLifeTest
{
};

// The same lives against a stand-in window, for what concerns the engine alone.
class EngineLife : public EngineLifeTest
{
};
} // namespace

TEST_F(EngineLife, ConnectionCountIsClampedToOneToFour)
{
    const std::pair<std::optional<uint32_t>, int32_t> cases[] = {
        {std::nullopt, 2}, {0u, 2}, {1u, 1}, {4u, 4}, {7u, 4}, {0xFFFFFFFFu, 4}};
    for (const auto& [stored, expected] : cases)
    {
        DeleteLauncherKey();
        if (stored)
            WriteRegistryDword(L"NRK_LauncherMaxConnections", *stored);
        EXPECT_EQ(Open().maxConnections, expected) << (stored ? *stored : 99u);
        EXPECT_TRUE(Quit());
    }
}

TEST_F(EngineLife, EchSettingIsReadAtConstruction)
{
    WriteRegistryDword(L"NRK_LauncherEchEnabled", 5);
    EXPECT_TRUE(Open().echEnabled);
}

TEST_F(EngineLife, UnknownMessageTypeIsLoggedAndSkipped)
{
    Open();
    window_->GetMessagePasser()->Post({1, 0});
    ASSERT_TRUE(Quit());
    EXPECT_EQ(log_.Count("unknown msgtype 1"), 1) << log_.Text();
}

TEST_F(WindowLife, QuitEndsTheLifeWithCode100OnlyAfterTheUpdateThreadAnswers)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    ASSERT_NE(window, nullptr);

    // Hidden link (as during an install pass): a press there starts a drag,
    // nothing is asked of the update thread.
    dialog.HideButtons();
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
    quitDone_ = true;
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
    quitDone_ = true;
}

TEST_F(WindowLife, ReportErrorShowsTheBoxAndOffersTheSettingsLink)
{
    LauncherDialog& dialog = Open();

    const int result = dialog.Manager()->ReportError(L"Something went wrong: 失敗");
    EXPECT_EQ(result, IDOK);
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_FALSE(boxes.empty());
    const auto ours = std::find_if(boxes.begin(), boxes.end(),
                                   [](const AnsweredBox& box)
                                   { return box.text == L"Something went wrong: 失敗"; });
    ASSERT_NE(ours, boxes.end());
    EXPECT_EQ(ours->title, L"Norvik Launcher");
    EXPECT_TRUE(dialog.LinkVisible());
    EXPECT_EQ(dialog.Manager()->StatusText(), LocalizedText("error_occurred"));
    EXPECT_TRUE(log_.Contains("Something went wrong: \xE5\xA4\xB1\xE6\x95\x97")) << log_.Text();
    EXPECT_EQ(QuitAndPump(), kRestartExitCode);
}

TEST_F(EngineLife, ReportErrorAsksTheWindowOnceAndRedrawsTheStatusFirst)
{
    UpdateManager& manager = Open();
    const size_t shownBefore = window_->Messages().size();
    std::wstring statusAtRedraw;
    window_->OnInvalidate(
        [&](uint8_t flags)
        {
            if (flags == kInvalidateStatusText)
                statusAtRedraw = manager.StatusText();
        });
    EXPECT_EQ(manager.ReportError(L"Disk on fire"), IDOK);
    const std::vector<std::wstring> shown = window_->Messages();
    ASSERT_EQ(shown.size(), shownBefore + 1);
    EXPECT_EQ(shown.back(), L"Disk on fire");
    // The painted status already says so when the box comes up.
    EXPECT_EQ(statusAtRedraw, LocalizedText("error_occurred"));
    EXPECT_TRUE(window_->LinkVisible());
}

TEST_F(EngineLife, RecordInstalledVersionStoresVersionsAndShowsSuccess)
{
    UpdateManager& manager = Open();
    manager.versionInfo.overlayVersion = "ov-3";
    manager.RecordInstalledVersion(L"1.10", L"ov-3");

    std::wstring stored;
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey, L"UpdateVersion"));
    EXPECT_EQ(stored, L"1.10");
    ASSERT_TRUE(ReadRegistryString(stored, kLauncherRegistryKey,
                                   L"UpdateVersion_Overlay_" + CurrentLanguage()));
    EXPECT_EQ(stored, L"ov-3");
    EXPECT_TRUE(log_.Contains("Saved overlay version to registry: ov-3")) << log_.Text();
    EXPECT_EQ(manager.VersionText(), L"Ver 1.10");
    EXPECT_EQ(manager.StatusText(), LocalizedText("update_success"));
    EXPECT_TRUE(window_->LinkVisible());
    EXPECT_TRUE(window_->ButtonsVisible());
}

TEST_F(EngineLife, NoOverlayVersionWritesNoOverlayValue)
{
    Open().RecordInstalledVersion(L"7", L"");
    std::wstring stored = L"untouched";
    EXPECT_FALSE(ReadRegistryString(stored, kLauncherRegistryKey,
                                    L"UpdateVersion_Overlay_" + CurrentLanguage()));
    EXPECT_EQ(stored, L"untouched");
}

TEST_F(EngineLife, AdapterReportIsPublishedBeforeThePanelIsRedrawn)
{
    std::filesystem::remove(Game() / ".nobrowser");
    std::vector<bool> publishedAtRedraw;
    window_->OnInvalidate(
        [&](uint8_t flags)
        {
            if (flags != kInvalidateAdapterText)
                return;
            // The update thread may get here before Open() has the engine.
            while (!manager_)
                std::this_thread::yield();
            publishedAtRedraw.push_back(manager_.load()->AdapterText().has_value());
        });
    Open();
    ASSERT_TRUE(Quit());
    // Exactly one request, made once the text can be painted.
    EXPECT_EQ(publishedAtRedraw, std::vector<bool>{true});
}
