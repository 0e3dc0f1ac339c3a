#include "support/WindowLifeTest.h"

#include "support/Registry.h"
#include "support/WindowPump.h"
#include "update/UpdateManager.h"

void WindowLifeTest::SetUp()
{
    DeleteLauncherKey();
    std::filesystem::current_path(game_.Path());
    // These lives are about the engine; the news browser and the adapter
    // report have suites of their own. Wine's browser control, which runs here
    // without its HTML engine, is kept out of them.
    WriteWholeFile(game_ / ".nobrowser", "");
}

void WindowLifeTest::TearDown()
{
    if (dialog_ && !quitDone_)
        QuitAndPump();
    dialog_.reset();
    std::filesystem::current_path(previousFolder_);
}

LauncherDialog& WindowLifeTest::Open(int milliseconds)
{
    if (dialog_ && !quitDone_)
        QuitAndPump();
    dialog_.reset();
    quitDone_ = false;
    dialog_.emplace(GetModuleHandleW(nullptr));
    EXPECT_TRUE(Settle(milliseconds)) << log_.Text();
    return *dialog_;
}

bool WindowLifeTest::Settle(int milliseconds)
{
    return PumpUntilQueueServed(*dialog_->GetMessagePasser(), log_, milliseconds);
}

std::optional<WPARAM> WindowLifeTest::QuitAndPump()
{
    dialog_->GetMessagePasser()->Post({Quit, 0});
    const auto code = PumpUntilQuit(60000);
    if (code && dialog_->Manager()->updateThread.joinable())
        dialog_->Manager()->updateThread.join();
    quitDone_ = code.has_value();
    return code;
}
