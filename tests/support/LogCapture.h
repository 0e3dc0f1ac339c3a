// Captures what the code under test logs through spdlog's default logger, one
// message per line without a time stamp; restores the previous logger after.
// Safe to read while other threads log.
#pragma once

#include <memory>
#include <spdlog/spdlog.h>
#include <sstream>
#include <string>
#include <vector>

class LogCapture
{
  public:
    LogCapture();
    ~LogCapture();

    std::string Text() const;
    bool Contains(const std::string& line) const;
    // Lines equal to `line`.
    int Count(const std::string& line) const;

  private:
    class Sink;

    std::shared_ptr<spdlog::logger> previous_;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<spdlog::logger> logger_;
};

// The message lines of an update.log file's text, without their time stamps.
std::vector<std::string> LogFileMessages(const std::string& logFile);
