#include "app/Logging.h"

#include <condition_variable>
#include <mutex>
#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <thread>

namespace
{
constexpr size_t kLogQueueSize = 8192;
constexpr auto kPeriodicFlush = std::chrono::seconds(3);
// Bounds a flush wait so a wedged disk cannot freeze the caller for ever.
constexpr auto kFlushWaitLimit = std::chrono::seconds(5);
// How long the worker lets lines gather once it has emptied the queue.
constexpr auto kGatherPause = std::chrono::milliseconds(2);

// Counts completed flushes of the file sink, so a caller can wait for one.
// Runs on the pool's worker.
class FlushCountingSink final : public spdlog::sinks::sink
{
  public:
    FlushCountingSink(std::shared_ptr<spdlog::sinks::sink> inner,
                      std::weak_ptr<spdlog::details::thread_pool> pool)
        : inner_(std::move(inner)), pool_(std::move(pool))
    {
    }

    void log(const spdlog::details::log_msg& message) override
    {
        inner_->log(message);
        // A worker that waits on an empty queue must be woken for the next
        // line, and under Wine that wake-up is a server round trip paid by the
        // thread that logs, line by line. Pausing before the wait lets a
        // stream of lines queue up and be written in batches, woken rarely.
        // Error lines are followed by a flush someone waits for: no pause.
        if (message.level >= spdlog::level::err)
            return;
        if (const auto pool = pool_.lock(); pool && pool->queue_size() == 0)
            std::this_thread::sleep_for(kGatherPause);
    }

    void flush() override
    {
        inner_->flush();
        {
            std::lock_guard lock(mutex_);
            ++flushes_;
        }
        flushed_.notify_all();
    }

    void set_pattern(const std::string& pattern) override { inner_->set_pattern(pattern); }
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override
    {
        inner_->set_formatter(std::move(formatter));
    }

    // Flushes reach the sink in the order they were asked for: waits until
    // the `ticket`-th one has.
    void WaitFor(uint64_t ticket)
    {
        std::unique_lock lock(mutex_);
        flushed_.wait_for(lock, kFlushWaitLimit, [&] { return flushes_ >= ticket; });
    }

  private:
    std::shared_ptr<spdlog::sinks::sink> inner_;
    std::weak_ptr<spdlog::details::thread_pool> pool_;
    std::mutex mutex_;
    std::condition_variable flushed_;
    uint64_t flushes_ = 0;
};

// The asynchronous logger "main", with one difference: spdlog's asynchronous
// flush only queues the request, while this one waits until the worker has
// written everything queued before it, so an error line survives a process
// that ends right after logging it.
class MainLogger final : public spdlog::logger
{
  public:
    explicit MainLogger(std::shared_ptr<FlushCountingSink> sink)
        : spdlog::logger("main", sink),
          async_(std::make_shared<spdlog::async_logger>("main", sink, spdlog::thread_pool(),
                                                        spdlog::async_overflow_policy::block)),
          counter_(std::move(sink))
    {
        async_->set_level(spdlog::level::trace);
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        async_->log(message.time, message.source, message.level, message.payload);
        if (should_flush_(message))
            flush_();
    }

    void flush_() override
    {
        // Another thread's flush, queued earlier, may finish while this
        // caller's lines still wait behind it: wait for this one's own.
        uint64_t ticket = 0;
        {
            std::lock_guard lock(requestMutex_);
            ticket = ++requested_;
            async_->flush();
        }
        counter_->WaitFor(ticket);
    }

  private:
    std::shared_ptr<spdlog::async_logger> async_;
    std::shared_ptr<FlushCountingSink> counter_;
    // Ticket order is queue order: both are taken under this lock.
    std::mutex requestMutex_;
    uint64_t requested_ = 0;
};

std::shared_ptr<spdlog::sinks::sink> OpenLogFile(const std::filesystem::path& file)
{
    try
    {
        return std::make_shared<spdlog::sinks::basic_file_sink_mt>(file.string(), true);
    }
    catch (const spdlog::spdlog_ex&)
    {
        return std::make_shared<spdlog::sinks::null_sink_mt>();
    }
}
} // namespace

std::shared_ptr<spdlog::logger> MakeMainLogger(std::shared_ptr<spdlog::sinks::sink> sink)
{
    if (!spdlog::thread_pool())
        spdlog::init_thread_pool(kLogQueueSize, 1);
    auto counted = std::make_shared<FlushCountingSink>(std::move(sink), spdlog::thread_pool());
    auto logger = std::make_shared<MainLogger>(std::move(counted));
    logger->flush_on(spdlog::level::err);
    return logger;
}

std::shared_ptr<spdlog::logger> MakeMainLogger(const std::filesystem::path& file)
{
    return MakeMainLogger(OpenLogFile(file));
}

void ApplyLogLineFormat()
{
    spdlog::set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%Y%m%d-%H:%M:%S %v", spdlog::pattern_time_type::local, "\r\n"));
    spdlog::set_level(spdlog::level::trace);
}

void InitLogging()
{
    spdlog::init_thread_pool(kLogQueueSize, 1);
    spdlog::set_default_logger(MakeMainLogger("update.log"));
    ApplyLogLineFormat();
    spdlog::flush_every(kPeriodicFlush);
}
