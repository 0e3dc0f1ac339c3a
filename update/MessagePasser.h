// Requests from the window thread to the update thread: a FIFO of small
// records under one mutex and one condition variable. The window thread only
// posts; the update thread only waits and takes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct Message
{
    uint8_t type = 0; // 0 means "no message"
    int32_t value = 0;
};
static_assert(sizeof(Message) == 8);

enum MessageType : uint8_t
{
    kNoMessage = 0,
    CheckFiles = 2,
    Quit = 3,
};

namespace msg
{
class MessagePasser
{
  public:
    virtual ~MessagePasser() = default;

    // Never waits for the consumer; the queue has no size limit.
    void Post(const Message& message);
    // {0, 0} when the queue is empty.
    Message TryPop();
    // Returns once at least one message is queued. The emptiness test runs
    // under the mutex, so a post made after the last TryPop is never missed.
    void WaitForMessage();

  private:
    std::condition_variable posted_;
    std::mutex mutex_;
    std::deque<Message> queue_;
};
} // namespace msg
