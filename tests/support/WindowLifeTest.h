// A test fixture running one launcher window life on the test thread, from a
// game folder of the test's own (with ".nobrowser") and a clean registry key. Its update thread
// does what a real one does (version check against the test build's mirror,
// install pass); every message box it raises is answered and recorded.
#pragma once

#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/TempFolder.h"
#include "ui/LauncherDialog.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

class WindowLifeTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    // Ends a life the test left open, so no update thread outlives the test.
    void TearDown() override;

    // A new window whose update thread has finished its start-up work (version
    // check and any install pass) and serves the queue.
    LauncherDialog& Open(int milliseconds = 60000);
    // Waits until the update thread has carried out every request posted
    // before this call.
    bool Settle(int milliseconds = 60000);
    // Asks the update thread to quit and pumps until the life ends; its code.
    std::optional<WPARAM> QuitAndPump();

    UpdateManager& Manager() { return *dialog_->Manager(); }
    const std::filesystem::path& Game() const { return game_.Path(); }

    LogCapture log_;
    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"game"};
    MessageBoxAnswerer answerer_;
    std::optional<LauncherDialog> dialog_;
    bool quitDone_ = false;
};
