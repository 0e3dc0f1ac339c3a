#include "support/EngineLifeTest.h"

#include "support/Registry.h"

#include <chrono>
#include <functional>
#include <thread>

namespace
{
constexpr uint8_t kProbe = 127;

bool WaitUntil(const std::function<bool()>& done, int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
} // namespace

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
    const std::string probeLine = "unknown msgtype " + std::to_string(kProbe);
    const int before = log_.Count(probeLine);
    window_->GetMessagePasser()->Post({kProbe, 0});
    return WaitUntil([&] { return log_.Count(probeLine) > before; }, milliseconds);
}

bool EngineLifeTest::Quit(int milliseconds)
{
    UpdateManager* manager = manager_;
    if (!manager || !manager->updateThread.joinable())
        return true;
    window_->GetMessagePasser()->Post({::Quit, 0});
    if (!WaitUntil([&] { return manager->stopRequested.load(); }, milliseconds))
        return false;
    manager->updateThread.join();
    return true;
}
