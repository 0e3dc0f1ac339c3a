// The hand-over of calls to the window thread: what other threads and other
// programs can make the window run, and what happens once the window is gone.
#include "ui/LauncherWindow.h"
#include "ui/WindowThreadCalls.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace
{
// A plain window of the test thread whose procedure serves one hand-over.
class HandOverWindow
{
  public:
    HandOverWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &HandOverWindow::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"NorvikHandOverTest";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(L"NorvikHandOverTest", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        served = &calls;
        calls.Attach(window_);
    }
    ~HandOverWindow()
    {
        if (IsWindow(window_))
            DestroyWindow(window_);
        served = nullptr;
    }

    HWND Window() const { return window_; }
    WindowThreadCalls calls;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (served && served->Dispatch(message))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline WindowThreadCalls* served = nullptr;
    HWND window_ = nullptr;
};

class WindowThreadHandOver : public LauncherWindowTest
{
};
} // namespace

TEST_F(WindowThreadHandOver, MessagesFromOutsideCarryNothingTheWindowTrusts)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    // Any program on the desktop can send the window these, with any values;
    // here the values even point at code, which the window must not run.
    std::atomic<bool> planted{false};
    std::function<void()> plantedCall = [&] { planted = true; };
    std::atomic<bool> sent{false};
    std::thread outsider(
        [&]
        {
            for (UINT message = WM_APP; message <= WM_APP + 4; ++message)
            {
                SendMessageW(window, message, reinterpret_cast<WPARAM>(&plantedCall),
                             reinterpret_cast<LPARAM>(&plantedCall));
                SendMessageW(window, message, 0, 0);
            }
            sent = true;
        });
    EXPECT_TRUE(PumpUntil([&] { return sent.load(); }, 20000));
    outsider.join();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(planted) << "a message from outside made the window run what it pointed at";

    // The hand-over still serves the update thread's requests.
    std::atomic<int> result{0};
    std::thread caller([&] { result = dialog.ShowMessage(L"still served"); });
    EXPECT_TRUE(PumpUntil([&] { return result.load() != 0; }, 20000));
    caller.join();
    EXPECT_EQ(result.load(), IDOK);
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, L"still served");
    EXPECT_EQ(boxes.back().owner, window);
}

TEST(WindowThreadCalls, CallsForAWindowThatIsGoneAreDroppedNotKept)
{
    HandOverWindow host;
    auto token = std::make_shared<int>(0);
    std::atomic<int> ran{0};
    std::thread before([&] { host.calls.Run([token, &ran] { ++ran; }); });
    before.join();
    DestroyWindow(host.Window());

    std::thread after(
        [&]
        {
            host.calls.Run([token, &ran] { ++ran; });
            EXPECT_FALSE(host.calls.RunAndWait([&ran] { ++ran; }));
        });
    after.join();
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ran.load(), 0);
    // Queued before the window went or after: never run, and released, not kept.
    EXPECT_EQ(token.use_count(), 1);
}

TEST(WindowThreadCalls, WaitingCallRunsAfterEveryCallQueuedBeforeIt)
{
    HandOverWindow host;
    std::vector<int> order;
    std::atomic<bool> finished{false};
    std::thread caller(
        [&]
        {
            host.calls.Run([&] { order.push_back(1); });
            host.calls.Run([&] { order.push_back(2); });
            EXPECT_TRUE(host.calls.RunAndWait([&] { order.push_back(3); }));
            finished = true;
        });
    EXPECT_TRUE(PumpUntil([&] { return finished.load(); }, 20000));
    caller.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}
