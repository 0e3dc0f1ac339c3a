#include "publisher/ProgressMeter.h"

#include <fmt/format.h>

std::string FormatProgressLine(const std::string& step, uint64_t files, uint64_t totalFiles,
                               uint64_t bytes, uint64_t totalBytes)
{
    constexpr double kMiB = 1024.0 * 1024.0;
    const double fraction = totalBytes != 0   ? static_cast<double>(bytes) / totalBytes
                            : totalFiles != 0 ? static_cast<double>(files) / totalFiles
                                              : 1.0;
    return fmt::format("{}: {}/{} files, {:.1f}/{:.1f} MiB ({:.0f}%)", step, files, totalFiles,
                       bytes / kMiB, totalBytes / kMiB, fraction * 100);
}

ProgressMeter::ProgressMeter(std::string step, uint64_t totalFiles, uint64_t totalBytes,
                             ProgressStyle style, FILE* out, std::chrono::milliseconds interval)
    : step_(std::move(step)), totalFiles_(totalFiles), totalBytes_(totalBytes), style_(style),
      out_(out), interval_(interval)
{
    // Nothing to count is nothing to show.
    if (totalFiles_ == 0)
        style_ = ProgressStyle::Quiet;
    if (interval_.count() == 0)
        interval_ = std::chrono::milliseconds(style_ == ProgressStyle::Terminal ? 200 : 10'000);
    if (style_ == ProgressStyle::Quiet)
        return;
    printer_ = std::thread(
        [this]
        {
            std::unique_lock lock(mutex_);
            while (!wake_.wait_for(lock, interval_, [this] { return stopping_; }))
                Print(false);
        });
}

ProgressMeter::~ProgressMeter()
{
    if (style_ == ProgressStyle::Quiet)
        return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    printer_.join();
    if (printed_)
        Print(true);
}

void ProgressMeter::Print(bool last)
{
    const std::string line = FormatProgressLine(step_, files_, totalFiles_, bytes_, totalBytes_);
    if (style_ == ProgressStyle::Terminal)
        fmt::print(out_, "\r{}\x1b[K{}", line, last ? "\n" : "");
    else
        fmt::print(out_, "{}\n", line);
    std::fflush(out_);
    printed_ = true;
}
