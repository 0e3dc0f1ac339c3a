// A window life that ends with a plain close while the update thread still
// works: the threads that keep running must still find the window object.
#include "app/StartUp.h"
#include "settings/Registry.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "ui/LauncherDialog.h"
#include "update/MessagePasser.h"
#include "update/UpdateManager.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

TEST(WindowLifeEnd, PlainCloseLeavesTheWindowObjectToTheThreadsStillUsingIt)
{
    DeleteLauncherKey();
    ASSERT_TRUE(WriteRegistryDword(L"NRK_LauncherSettingsSet", 1));
    TempFolder game(L"life-end");
    const std::filesystem::path previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(game.Path());
    MessageBoxAnswerer answerer;
    LogCapture log;

    // Closes the window as a player does, once the update thread has begun.
    std::atomic<bool> stop{false};
    std::thread player(
        [&]
        {
            while (!stop)
            {
                LauncherDialog* dialog = LauncherDialog::Current();
                if (dialog && dialog->GetHwnd() &&
                    log.Contains("HTTP backend initialized: libcurl"))
                {
                    PostMessageW(dialog->GetHwnd(), WM_CLOSE, 0, 0);
                    return;
                }
                Sleep(20);
            }
        });
    const int code = RunWindowLives(GetModuleHandleW(nullptr));
    stop = true;
    player.join();
    EXPECT_EQ(code, 0);

    LauncherDialog* kept = LauncherDialog::Current();
    ASSERT_NE(kept, nullptr) << "the window object went with its window";
    UpdateManager* manager = kept->Manager();
    ASSERT_NE(manager, nullptr);

    // The update thread ends first: its own status texts would race with the
    // ones set here.
    kept->GetMessagePasser()->Post({Quit, 0});
    if (manager->updateThread.joinable())
        manager->updateThread.join();

    // What the update thread and the workers go on calling.
    std::atomic<int> result{0};
    std::thread worker(
        [&]
        {
            manager->SetStatus(L"after the window");
            kept->Invalidate(0);
            kept->SetNoticeUrl(L"about:blank");
            kept->ShowSettingsLink();
            result = kept->ShowMessage(L"after the window");
        });
    worker.join();
    EXPECT_EQ(result.load(), IDOK);
    EXPECT_EQ(manager->StatusText(), L"after the window");
    const std::vector<AnsweredBox> boxes = answerer.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, L"after the window");
    EXPECT_EQ(boxes.back().owner, nullptr) << "a box owned by a window that is gone";

    delete kept;
    std::filesystem::current_path(previousFolder);
    DeleteLauncherKey();
}
