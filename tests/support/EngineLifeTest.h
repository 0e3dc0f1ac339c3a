// A fixture running one update engine life against a TestWindow instead of
// the real window, from a game folder of the test's own (with ".nobrowser")
// and a clean registry key. The update thread does what a real one does
// (version check against the test build's mirror) and then serves the queue.
#pragma once

#include "support/LogCapture.h"
#include "support/TempFolder.h"
#include "support/TestWindow.h"
#include "update/UpdateManager.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

class EngineLifeTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;

    // A new engine whose update thread has finished its start-up work; the
    // first one uses window_ as the test left it, later ones a new window.
    UpdateManager& Open(int milliseconds = 60000);
    // Waits until the update thread has carried out every request posted before.
    bool Settle(int milliseconds = 60000);
    // Asks the update thread to quit and joins it; false when it did not stop in time.
    bool Quit(int milliseconds = 60000);

    UpdateManager& Manager() { return *manager_.load(); }
    const std::filesystem::path& Game() const { return game_.Path(); }

    LogCapture log_;
    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"engine"};
    std::unique_ptr<TestWindow> window_ = std::make_unique<TestWindow>();
    // Never deleted, as in the launcher; each life leaves its engine behind.
    // Set as soon as the constructor returns, which may be after the update
    // thread has started calling the window.
    std::atomic<UpdateManager*> manager_{nullptr};
};
