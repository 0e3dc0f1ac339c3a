#include "http/SpeedLimit.h"

#include <algorithm>
#include <thread>

namespace
{
// Unused allowance kept for a burst: a connection that paused may catch up
// this much, no more.
constexpr std::chrono::milliseconds kBurst{100};
} // namespace

SpeedLimit::SpeedLimit(uint64_t bytesPerSecond)
    : bytesPerSecond_(std::max(bytesPerSecond, kSlowestBytesPerSecond))
{
}

void SpeedLimit::Take(size_t bytes)
{
    Clock::time_point wakeAt;
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        paidUntil_ =
            std::max(paidUntil_, now - std::chrono::duration_cast<Clock::duration>(kBurst));
        paidUntil_ += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(bytes) / bytesPerSecond_));
        wakeAt = paidUntil_ - std::chrono::duration_cast<Clock::duration>(kBurst);
    }
    std::this_thread::sleep_until(wakeAt);
}
