#include "support/EngineLifeTest.h"

#include "support/Registry.h"
#include "support/WindowPump.h"

void EngineLifeTest::SetUp()
{
    DeleteLauncherKey();
    std::filesystem::current_path(game_.Path());
    WriteWholeFile(game_ / ".nobrowser", "");
}

void EngineLifeTest::TearDown()
{
    EXPECT_TRUE(Quit());
    std::filesystem::current_path(previousFolder_);
}

UpdateManager& EngineLifeTest::Open(int milliseconds)
{
    // A later life gets a window of its own; the first one keeps the
    // fixture's, so a test can hook into it before the engine starts.
    if (manager_)
    {
        EXPECT_TRUE(Quit());
        window_ = std::make_unique<TestWindow>();
    }
    manager_ = new UpdateManager(window_.get());
    EXPECT_TRUE(Settle(milliseconds)) << log_.Text();
    return *manager_.load();
}

bool EngineLifeTest::Settle(int milliseconds)
{
    return PumpUntilQueueServed(*window_->GetMessagePasser(), log_, milliseconds);
}

bool EngineLifeTest::Quit(int milliseconds)
{
    UpdateManager* manager = manager_;
    if (!manager || !manager->updateThread.joinable())
        return true;
    window_->GetMessagePasser()->Post({::Quit, 0});
    if (!PumpUntil([&] { return manager->stopRequested.load(); }, milliseconds))
        return false;
    manager->updateThread.join();
    return true;
}
