// Carries calls from other threads over to the thread that owns a window, in
// the order they were made. Every call waits in this object's own queue; the
// window message that asks the owner to run the queue carries nothing, so a
// message posted by another program can at most run what is already queued.
// Any thread may call; the owner thread runs the calls.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

class WindowThreadCalls
{
  public:
    // The owner window's procedure passes this message to Dispatch.
    static constexpr UINT kRunQueued = WM_APP + 1;

    // From now on calls go to `window`, whose thread must be the caller's.
    void Attach(HWND window);
    // The window is going: what is queued is dropped, and so is every later call.
    void Detach();

    // On the owner thread the call runs at once (after any still queued);
    // elsewhere it is queued. Before Attach, or once the window is gone, it is
    // dropped: it had only window-thread objects to act on.
    void Run(std::function<void()> call);

    // Runs `call` on the owner thread and returns when it has run. False when
    // it did not run there (no window yet, or the window went first).
    bool RunAndWait(const std::function<void()>& call);

    // True when `message` was ours; the queue has then been run.
    bool Dispatch(UINT message);

  private:
    void RunQueued();

    HWND window_ = nullptr;
    DWORD ownerThread_ = 0;
    std::mutex mutex_;
    std::deque<std::function<void()>> queued_;
};
