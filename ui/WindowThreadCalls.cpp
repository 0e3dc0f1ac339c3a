#include "ui/WindowThreadCalls.h"

#include <condition_variable>
#include <memory>
#include <utility>

namespace
{
// One waiting call's progress, shared by the waiting thread and its queue entry.
struct WaitingCall
{
    enum class Stage
    {
        Queued,
        Running,
        Done,
        Abandoned
    };
    std::mutex mutex;
    std::condition_variable finished;
    Stage stage = Stage::Queued;
};
} // namespace

void WindowThreadCalls::Attach(HWND window)
{
    std::lock_guard lock(mutex_);
    window_ = window;
    ownerThread_ = GetCurrentThreadId();
}

void WindowThreadCalls::Detach()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        window_ = nullptr;
        dropped.swap(queued_);
    }
}

void WindowThreadCalls::Run(std::function<void()> call)
{
    HWND window = nullptr;
    bool onOwner = false;
    {
        std::lock_guard lock(mutex_);
        window = window_;
        onOwner = window && GetCurrentThreadId() == ownerThread_;
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
    // A window destroyed without Detach: nothing will ever run the queue.
    if (!PostMessageW(window, kRunQueued, 0, 0) && !IsWindow(window))
        Detach();
}

bool WindowThreadCalls::RunAndWait(const std::function<void()>& call)
{
    const auto waiting = std::make_shared<WaitingCall>();
    HWND window = nullptr;
    {
        std::lock_guard lock(mutex_);
        window = window_;
        if (!window)
            return false;
        if (GetCurrentThreadId() == ownerThread_)
            window = nullptr;
        else
            queued_.push_back(
                [waiting, &call]
                {
                    {
                        std::lock_guard stageLock(waiting->mutex);
                        if (waiting->stage != WaitingCall::Stage::Queued)
                            return;
                        waiting->stage = WaitingCall::Stage::Running;
                    }
                    call();
                    {
                        std::lock_guard stageLock(waiting->mutex);
                        waiting->stage = WaitingCall::Stage::Done;
                    }
                    waiting->finished.notify_all();
                });
    }
    if (!window)
    {
        RunQueued();
        call();
        return true;
    }
    // A sent message overtakes posted ones, and running the queue reaches
    // this call after every call queued before it.
    SendMessageW(window, kRunQueued, 0, 0);
    std::unique_lock stageLock(waiting->mutex);
    if (waiting->stage == WaitingCall::Stage::Queued)
    {
        // Never reached (the window went first): it must not run later, when
        // `call` and what it refers to are gone.
        waiting->stage = WaitingCall::Stage::Abandoned;
        return false;
    }
    waiting->finished.wait(stageLock, [&] { return waiting->stage == WaitingCall::Stage::Done; });
    return true;
}

bool WindowThreadCalls::Dispatch(UINT message)
{
    if (message != kRunQueued)
        return false;
    RunQueued();
    return true;
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
