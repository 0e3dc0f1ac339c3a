// Carries calls from other threads over to the thread that owns a window, in
// the order they were made: fire-and-forget calls ride on a posted message,
// waiting calls (message boxes) on a sent one that first runs every call
// queued before it. Any thread may call; the owner thread runs the calls.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

class WindowThreadCalls
{
  public:
    // The owner window's procedure passes these messages to Dispatch.
    static constexpr UINT kRunQueued = WM_APP + 1;
    static constexpr UINT kRunWaiting = WM_APP + 2;

    // From now on calls go to `window`, whose thread must be the caller's.
    void Attach(HWND window);

    // On the owner thread the call runs at once (after any still queued);
    // elsewhere it is queued. Before Attach, or once the window is gone, it is
    // dropped: it had only window-thread objects to act on.
    void Run(std::function<void()> call);

    // Runs `call` on the owner thread and returns when it has run. False when
    // it could not run there (no window yet, or the window is gone).
    bool RunAndWait(const std::function<void()>& call);

    // True when `message` was one of ours and has been handled.
    bool Dispatch(UINT message, LPARAM lParam);

  private:
    bool OnOwnerThread() const;
    void RunQueued();

    HWND window_ = nullptr;
    DWORD ownerThread_ = 0;
    std::mutex mutex_;
    std::deque<std::function<void()>> queued_;
};
