// A launcher window on the test thread for the UI tests: made in a game
// folder of the test's own, its update thread's start-up (version check
// against the test mirror, whose box is answered) finished before the test
// goes on, and ended through the quit request so the update thread is gone
// before the window object is.
#pragma once

#include "settings/Localization.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"
#include "ui/LauncherDialog.h"
#include "update/UpdateManager.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

class LauncherWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        std::filesystem::current_path(game_.Path());
    }

    void TearDown() override
    {
        Close();
        SetCurrentLanguage(previousLanguage_);
        std::filesystem::current_path(previousFolder_);
    }

    // The window, once its update thread serves the queue (it has answered a
    // probe message). `language` is the display language for this life.
    LauncherDialog& Open(const std::wstring& language = L"en")
    {
        Close();
        SetCurrentLanguage(language);
        dialog_.emplace(GetModuleHandleW(nullptr));
        EXPECT_TRUE(PumpUntilQueueServed(*dialog_->GetMessagePasser(), log_, 30000));
        // The adapter report redraws its panel whenever it is done, which must
        // not land inside a test's look at what waits to be painted. Its text
        // comes first, so the join only waits for that redraw.
        UpdateManager& manager = *dialog_->Manager();
        if (manager.adapterThread.joinable())
        {
            const bool reported =
                PumpUntil([&] { return manager.AdapterText().has_value(); }, 20000);
            EXPECT_TRUE(reported) << "no adapter report";
            if (reported)
                manager.adapterThread.join();
        }
        return *dialog_;
    }

    // Ends the life the way the settings link does; the quit code, if any.
    std::optional<WPARAM> Close()
    {
        if (!dialog_)
            return std::nullopt;
        std::optional<WPARAM> code;
        if (IsWindow(dialog_->GetHwnd()))
        {
            dialog_->GetMessagePasser()->Post({Quit, 0});
            code = PumpUntilQuit(30000);
        }
        else
        {
            dialog_->GetMessagePasser()->Post({Quit, 0});
        }
        if (dialog_->Manager()->updateThread.joinable())
            dialog_->Manager()->updateThread.join();
        dialog_.reset();
        return code;
    }

    LogCapture log_;
    std::wstring previousLanguage_ = CurrentLanguage();
    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"launcher-window"};
    MessageBoxAnswerer answerer_;
    std::optional<LauncherDialog> dialog_;
};
