// One download speed limit shared by every transfer that is handed it: each
// piece received takes its share of the allowance, and a transfer that runs
// ahead waits, so the sum stays under the limit however many connections run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

class SpeedLimit
{
  public:
    // The slowest limit kept: below it one piece would hold a transfer for seconds.
    static constexpr uint64_t kSlowestBytesPerSecond = 32 * 1024;

    explicit SpeedLimit(uint64_t bytesPerSecond);

    uint64_t BytesPerSecond() const { return bytesPerSecond_; }

    // Waits until `bytes` more keep the sum of all transfers under the limit.
    void Take(size_t bytes);

  private:
    using Clock = std::chrono::steady_clock;

    const uint64_t bytesPerSecond_;
    std::mutex mutex_;
    // When everything taken so far is paid for at the limit.
    Clock::time_point paidUntil_{};
};
