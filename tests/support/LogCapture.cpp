#include "support/LogCapture.h"

#include <regex>
#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

// The text is read by the test thread while the update thread and the workers
// still log, so reading takes the sink's own lock.
class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex>
{
  public:
    std::string Text()
    {
        std::lock_guard lock(mutex_);
        return text_;
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        text_.append(formatted.data(), formatted.size());
    }
    void flush_() override {}

  private:
    std::string text_;
};

LogCapture::LogCapture() : previous_(spdlog::default_logger()), sink_(std::make_shared<Sink>())
{
    sink_->set_pattern("%v");
    logger_ = std::make_shared<spdlog::logger>("capture", sink_);
    logger_->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger_);
}

LogCapture::~LogCapture()
{
    spdlog::set_default_logger(previous_);
}

std::string LogCapture::Text() const
{
    return sink_->Text();
}

bool LogCapture::Contains(const std::string& line) const
{
    return Count(line) > 0;
}

int LogCapture::Count(const std::string& line) const
{
    std::istringstream lines(Text());
    int count = 0;
    for (std::string current; std::getline(lines, current);)
    {
        if (!current.empty() && current.back() == '\r')
            current.pop_back();
        count += current == line;
    }
    return count;
}

std::vector<std::string> LogFileMessages(const std::string& logFile)
{
    std::vector<std::string> lines;
    const std::regex line("\\d{8}-\\d{2}:\\d{2}:\\d{2} ([^\r]*)\r\n");
    for (auto it = std::sregex_iterator(logFile.begin(), logFile.end(), line);
         it != std::sregex_iterator(); ++it)
        lines.push_back((*it)[1]);
    return lines;
}
