// Starts a program under this process as its debugger, on a thread of its own
// that answers the debug events until the program ends, so a test can see how
// the program behaves when a debugger is present.
#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <thread>

class DebuggedProcess
{
  public:
    // Starts `exe` with `workingFolder` as its current directory.
    DebuggedProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder);
    // Ends the program if it still runs and waits for the debug loop.
    ~DebuggedProcess();
    DebuggedProcess(const DebuggedProcess&) = delete;
    DebuggedProcess& operator=(const DebuggedProcess&) = delete;

    // 0 when the program could not be started.
    DWORD Id() const { return processId_; }
    bool Ended() const { return ended_; }

  private:
    void Loop(std::filesystem::path exe, std::filesystem::path workingFolder);

    std::atomic<DWORD> processId_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
