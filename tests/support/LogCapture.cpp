#include "support/LogCapture.h"

#include <spdlog/sinks/ostream_sink.h>

LogCapture::LogCapture()
    : previous_(spdlog::default_logger()), stream_(std::make_shared<std::ostringstream>())
{
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(*stream_, true);
    sink->set_pattern("%v");
    logger_ = std::make_shared<spdlog::logger>("capture", sink);
    logger_->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger_);
}

LogCapture::~LogCapture()
{
    spdlog::set_default_logger(previous_);
}

std::string LogCapture::Text() const
{
    logger_->flush();
    return stream_->str();
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
