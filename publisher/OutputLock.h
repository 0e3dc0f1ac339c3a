// One run at a time in an output folder: two runs would share temporary
// names and the publish state. Held until destroyed (and released by the
// kernel when the process dies, so a killed run leaves no stale lock).
#pragma once

#include <filesystem>

class OutputLock
{
  public:
    // Creates the folder when missing. Throws std::runtime_error
    // "... is locked by PID N" while another run holds it.
    explicit OutputLock(const std::filesystem::path& outputFolder);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

  private:
    int fd_ = -1;
};
