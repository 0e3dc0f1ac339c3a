// Lets progress reports from several worker threads ask for a redraw at most
// once per interval. Under Wine every cross-thread redraw request and the
// display rebuild before it cost more than the few kilobytes a callback
// reports; twenty a second still move the bars smoothly.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class RedrawPacer
{
  public:
    explicit RedrawPacer(std::chrono::milliseconds interval) : interval_(interval) {}

    // True for exactly one caller once the interval has passed since the last true.
    bool Due()
    {
        const int64_t now = Clock::now().time_since_epoch().count();
        int64_t last = last_.load(std::memory_order_relaxed);
        if (now - last < Ticks())
            return false;
        return last_.compare_exchange_strong(last, now, std::memory_order_relaxed);
    }

  private:
    using Clock = std::chrono::steady_clock;

    int64_t Ticks() const { return std::chrono::duration_cast<Clock::duration>(interval_).count(); }

    const std::chrono::milliseconds interval_;
    std::atomic<int64_t> last_{0};
};
