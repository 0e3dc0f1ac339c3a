#include "ui/WindowThreadCalls.h"

#include <atomic>
#include <utility>

void WindowThreadCalls::Attach(HWND window)
{
    std::lock_guard lock(mutex_);
    window_ = window;
    ownerThread_ = GetCurrentThreadId();
}

bool WindowThreadCalls::OnOwnerThread() const
{
    return GetCurrentThreadId() == ownerThread_;
}

void WindowThreadCalls::Run(std::function<void()> call)
{
    HWND window = nullptr;
    bool onOwner = false;
    {
        std::lock_guard lock(mutex_);
        window = window_;
        onOwner = window && OnOwnerThread();
        if (window && !onOwner)
            queued_.push_back(std::move(call));
    }
    if (!window)
        return;
    if (onOwner)
    {
        RunQueued();
        call();
        return;
    }
    PostMessageW(window, kRunQueued, 0, 0);
}

bool WindowThreadCalls::RunAndWait(const std::function<void()>& call)
{
    HWND window = nullptr;
    {
        std::lock_guard lock(mutex_);
        window = window_;
    }
    if (!window)
        return false;
    if (OnOwnerThread())
    {
        RunQueued();
        call();
        return true;
    }
    std::atomic<bool> ran{false};
    std::function<void()> marked = [&]
    {
        call();
        ran = true;
    };
    // Sent messages overtake posted ones; kRunWaiting runs the queue first.
    SendMessageW(window, kRunWaiting, 0, reinterpret_cast<LPARAM>(&marked));
    return ran;
}

bool WindowThreadCalls::Dispatch(UINT message, LPARAM lParam)
{
    if (message == kRunQueued)
    {
        RunQueued();
        return true;
    }
    if (message == kRunWaiting)
    {
        RunQueued();
        (*reinterpret_cast<std::function<void()>*>(lParam))();
        return true;
    }
    return false;
}

void WindowThreadCalls::RunQueued()
{
    for (;;)
    {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (queued_.empty())
                return;
            next = std::move(queued_.front());
            queued_.pop_front();
        }
        next();
    }
}
