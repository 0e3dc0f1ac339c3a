// The status line, the bars and the speed text rebuilt from the workers'
// slots, as the window shows them during a pass.
#include "support/EngineLifeTest.h"
#include "support/WindowLifeTest.h"
#include "update/UpdateManager.h"
#include "update/UpdateWindow.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

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

class PacedProgress : public EngineLifeTest
{
  protected:
    void SetUp() override
    {
        EngineLifeTest::SetUp();
        Open();
        Manager().workerSlots.assign(1, WorkerSlot{});
    }
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

TEST_F(PacedProgress, ATransferRedrawsAtLeastTenTimesASecondNotOnEveryCallback)
{
    using namespace std::chrono;
    constexpr uint8_t kProgressRedraw =
        kInvalidateUpperBar | kInvalidateLowerBar | kInvalidateStatusText | kInvalidateSpeedText;
    UpdateManager& manager = Manager();
    manager.filesTotal = 1;
    manager.workerSlots[0].fileName = L"big.pak";
    std::atomic<int> redraws{0};
    window_->OnInvalidate(
        [&](uint8_t flags)
        {
            if (flags == kProgressRedraw)
                ++redraws;
        });

    const double total = 64.0 * 1024 * 1024;
    double now = 0;
    int callbacks = 0;
    const auto start = steady_clock::now();
    while (steady_clock::now() - start < seconds(1))
    {
        now += 16 * 1024;
        ASSERT_EQ(manager.OnDownloadProgress(0, total, now), 0);
        ++callbacks;
        std::this_thread::sleep_for(milliseconds(1));
    }
    const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
    const int during = redraws;
    EXPECT_GE(during, elapsed / 100) << callbacks << " callbacks in " << elapsed << " ms";
    EXPECT_LE(during, elapsed / 50 + 1) << callbacks << " callbacks in " << elapsed << " ms";

    // The end of a transfer shows at once, between paced redraws too.
    ASSERT_EQ(manager.OnDownloadProgress(0, total, total), 0);
    EXPECT_EQ(redraws, during + 1);
    EXPECT_EQ(manager.StatusText(), L"[0/1] big.pak (65536 KB/65536 KB)");
}
