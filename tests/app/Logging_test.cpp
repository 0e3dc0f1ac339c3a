#include "app/Logging.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <spdlog/sinks/base_sink.h>
#include <thread>

namespace
{
// A logger made the way start-up makes it, installed as the default for one test.
class MainLoggerFixture : public ::testing::Test
{
  protected:
    void Open()
    {
        spdlog::set_default_logger(MakeMainLogger(log_));
        ApplyLogLineFormat();
    }
    void TearDown() override
    {
        spdlog::default_logger()->flush();
        spdlog::set_default_logger(previous_);
    }

    TempFolder folder_{L"log"};
    std::filesystem::path log_ = folder_ / "update.log";
    std::shared_ptr<spdlog::logger> previous_ = spdlog::default_logger();
};
} // namespace

TEST_F(MainLoggerFixture, LinesCarryTheStampAndEndInCrLf)
{
    Open();
    spdlog::info("first line");
    spdlog::trace("trace {}", 0);
    spdlog::default_logger()->flush();

    const std::string text = ReadWholeFile(log_);
    const std::regex layout("\\d{8}-\\d{2}:\\d{2}:\\d{2} first line\r\n"
                            "\\d{8}-\\d{2}:\\d{2}:\\d{2} trace 0\r\n");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST_F(MainLoggerFixture, JapaneseTextArrivesAsUtf8)
{
    Open();
    spdlog::info("{}", "言語: 日本語");
    spdlog::default_logger()->flush();
    const std::string text = ReadWholeFile(log_);
    EXPECT_NE(text.find("\xE8\xA8\x80\xE8\xAA\x9E: \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\n"),
              std::string::npos)
        << text;
}

TEST_F(MainLoggerFixture, ErrorLineIsOnDiskWhenTheCallReturns)
{
    Open();
    spdlog::info("queued");
    spdlog::error("[ERROR] something failed");
    // No explicit flush: the error level itself must have written both lines.
    const std::string text = ReadWholeFile(log_);
    EXPECT_NE(text.find("queued\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[ERROR] something failed\r\n"), std::string::npos) << text;
}

TEST_F(MainLoggerFixture, EachStartBeginsAnEmptyFile)
{
    Open();
    spdlog::info("from the first start");
    spdlog::default_logger()->flush();
    Open();
    spdlog::info("from the second start");
    spdlog::default_logger()->flush();

    const std::string text = ReadWholeFile(log_);
    EXPECT_EQ(text.find("first start"), std::string::npos) << text;
    EXPECT_NE(text.find("from the second start\r\n"), std::string::npos) << text;
}

TEST(MainLogger, UnwritableLogStillGivesAWorkingLogger)
{
    TempFolder folder(L"log");
    // A folder where the file should be: the file cannot be created.
    std::filesystem::create_directory(folder / "update.log");
    std::shared_ptr<spdlog::logger> logger;
    ASSERT_NO_THROW(logger = MakeMainLogger(folder / "update.log"));
    ASSERT_NE(logger, nullptr);
    EXPECT_NO_THROW(logger->error("nowhere to go"));
}

namespace
{
// Remembers what reached it, pausing as long as `pauseFor(line's index)` says.
class RecordingSink final : public spdlog::sinks::base_sink<std::mutex>
{
  public:
    explicit RecordingSink(std::function<DWORD(int)> pauseFor) : pauseFor_(std::move(pauseFor)) {}

    std::vector<std::string> Lines()
    {
        std::lock_guard lock(linesMutex_);
        return lines_;
    }
    int Started() const { return started_; }

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        if (const DWORD pause = pauseFor_(started_++))
            Sleep(pause);
        std::lock_guard lock(linesMutex_);
        lines_.emplace_back(message.payload.data(), message.payload.size());
    }
    void flush_() override {}

  private:
    std::function<DWORD(int)> pauseFor_;
    std::atomic<int> started_{0};
    std::mutex linesMutex_;
    std::vector<std::string> lines_;
};
} // namespace

TEST(MainLogger, AFlushWaitsForItsOwnLinesNotForAnEarlierFlush)
{
    // Takes its time over every line.
    auto sink = std::make_shared<RecordingSink>([](int) { return 150; });
    const std::shared_ptr<spdlog::logger> logger = MakeMainLogger(sink);

    // Another thread's flush is queued first, behind a slow line of its own.
    std::thread other(
        [&]
        {
            logger->info("the other thread's line");
            logger->flush();
        });
    while (sink->Started() == 0)
        Sleep(1);
    // The other thread's flush is queued while its line is being written;
    // this thread's error line and flush queue up behind that flush.
    Sleep(50);
    logger->error("this thread's error");
    const std::vector<std::string> lines = sink->Lines();
    other.join();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "this thread's error"), lines.end())
        << "the error call returned before its line was written";
}

TEST(MainLogger, StreamsFromSeveralThreadsArriveWholeAndInOrder)
{
    // Stalls once, early, so the queue fills up behind it.
    auto sink = std::make_shared<RecordingSink>([](int line) { return line == 100 ? 200 : 0; });
    const std::shared_ptr<spdlog::logger> logger = MakeMainLogger(sink);
    logger->set_level(spdlog::level::trace);

    // More lines than the queue holds, in bursts and trickles, so the worker
    // both drains a full queue and finds it empty between lines.
    constexpr int kThreads = 4;
    constexpr int kLines = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kLines; ++i)
                {
                    logger->trace("{} {}", t, i);
                    if (t == 0 && i % 500 == 0)
                        Sleep(5);
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    logger->flush();

    const std::vector<std::string> lines = sink->Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines)
    {
        int thread = -1;
        int index = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d %d", &thread, &index), 2) << line;
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << line;
        ASSERT_EQ(index, next[thread]) << "thread " << thread << " lost or reordered a line";
        ++next[thread];
    }
}
