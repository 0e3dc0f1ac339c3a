// The status line, the bars and the speed text rebuilt from the workers'
// slots, as the window shows them during a pass.
#include "support/WindowLifeTest.h"
#include "update/UpdateManager.h"

#include <gtest/gtest.h>

namespace
{
class DownloadProgress : public WindowLifeTest
{
  protected:
    void SetUp() override
    {
        WindowLifeTest::SetUp();
        Open();
        Manager().workerSlots.assign(2, WorkerSlot{});
    }

    WorkerSlot& Slot(int index) { return Manager().workerSlots[index]; }
};
} // namespace

TEST_F(DownloadProgress, TwoBusyWorkersMakeOneLineAndTheBarsCountTheirShares)
{
    UpdateManager& manager = Manager();
    manager.filesTotal = 10;
    manager.filesDone = 3;
    Slot(0) = {L"a.dat", 0.5, 0.0, 100, 200};
    Slot(1) = {L"b.dat", 0.0, 0.0, 5, 0};
    manager.UpdateDownloadProgress();
    EXPECT_EQ(manager.StatusText(), L"[3/10] a.dat (100 KB/200 KB), b.dat (5 KB/0 KB)");
    EXPECT_DOUBLE_EQ(manager.UpperProgress(), 0.3);
    EXPECT_DOUBLE_EQ(manager.LowerProgress(), 0.35);

    // No busy worker: the line keeps its last text.
    Slot(0).fileName.clear();
    Slot(1).fileName.clear();
    manager.filesDone = 4;
    manager.UpdateDownloadProgress();
    EXPECT_EQ(manager.StatusText(), L"[3/10] a.dat (100 KB/200 KB), b.dat (5 KB/0 KB)");
    EXPECT_DOUBLE_EQ(manager.UpperProgress(), 0.4);
}

TEST_F(DownloadProgress, SpeedIsTheSumOfTheSlotsInTheUnitThatFits)
{
    UpdateManager& manager = Manager();
    manager.filesTotal = 1;
    const auto speedFor = [&](double first, double second)
    {
        Slot(0).speed = first;
        Slot(1).speed = second;
        manager.UpdateDownloadProgress();
        return manager.SpeedText();
    };
    EXPECT_EQ(speedFor(1048576, 0), L"1024 KB/s");
    EXPECT_EQ(speedFor(1048576, 1), L"1.0 MB/s");
    EXPECT_EQ(speedFor(3 * 1048576, 1048576 / 2), L"3.5 MB/s");
    EXPECT_EQ(speedFor(1024, 0), L"1024 B/s");
    EXPECT_EQ(speedFor(1024, 512), L"2 KB/s");
    EXPECT_EQ(speedFor(7, 0), L"7 B/s");
    // Nothing measured: the last text stays.
    EXPECT_EQ(speedFor(0, 0), L"7 B/s");
}

TEST_F(DownloadProgress, ProgressCallbacksFillTheSlotAndStopAsksForAnAbort)
{
    UpdateManager& manager = Manager();
    manager.filesTotal = 2;
    Slot(1).fileName = L"big.pak";
    EXPECT_EQ(manager.OnDownloadProgress(1, 4096.0 * 1024, 1536.0 * 1024), 0);
    EXPECT_EQ(Slot(1).doneKB, 1536);
    EXPECT_EQ(Slot(1).totalKB, 4096);
    EXPECT_DOUBLE_EQ(Slot(1).fraction, 0.375);
    EXPECT_EQ(manager.StatusText(), L"[0/2] big.pak (1536 KB/4096 KB)");
    // Unknown size: no share yet.
    EXPECT_EQ(manager.OnDownloadProgress(1, 0, 2047), 0);
    EXPECT_EQ(Slot(1).fraction, 0.0);
    EXPECT_EQ(Slot(1).doneKB, 1);

    manager.stopRequested = true;
    EXPECT_EQ(manager.OnDownloadProgress(1, 100, 50), 1);
    manager.stopRequested = false;
}
