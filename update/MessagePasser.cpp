#include "update/MessagePasser.h"

namespace msg
{
void MessagePasser::Post(const Message& message)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(message);
    posted_.notify_all();
}

Message MessagePasser::TryPop()
{
    std::lock_guard lock(mutex_);
    if (queue_.empty())
        return {};
    const Message front = queue_.front();
    queue_.pop_front();
    return front;
}

void MessagePasser::WaitForMessage()
{
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [this] { return !queue_.empty(); });
}
} // namespace msg
