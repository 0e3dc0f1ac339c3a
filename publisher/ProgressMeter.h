// How far a long step of a run is (files and bytes): on a terminal one line
// redrawn in place, in a log a line every few seconds. Thread-safe: workers
// report into it while its own thread prints.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

enum class ProgressStyle
{
    Quiet,
    // One line, redrawn with "\r", about five times a second.
    Terminal,
    // A line each interval, for logs.
    Periodic,
};

// "deflating: 3/10 files, 1.5/4.0 MiB (37%)".
std::string FormatProgressLine(const std::string& step, uint64_t files, uint64_t totalFiles,
                               uint64_t bytes, uint64_t totalBytes);

class ProgressMeter
{
  public:
    ProgressMeter(std::string step, uint64_t totalFiles, uint64_t totalBytes, ProgressStyle style,
                  FILE* out = stderr,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(0));
    // Prints the final count when it has printed before: a step too short
    // for one line shows none.
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void AddBytes(uint64_t bytes) { bytes_ += bytes; }
    void FileDone() { ++files_; }

  private:
    void Print(bool last);

    std::string step_;
    uint64_t totalFiles_;
    uint64_t totalBytes_;
    ProgressStyle style_;
    FILE* out_;
    std::chrono::milliseconds interval_;
    std::atomic<uint64_t> files_{0};
    std::atomic<uint64_t> bytes_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool printed_ = false;
    std::thread printer_;
};
