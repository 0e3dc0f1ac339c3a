// Another process that really holds a file open without sharing: a copy of the
// small holder program under a chosen image name (the game client's, say),
// started by the test and ended when the object goes.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

class LockHolder
{
  public:
    // Copies the holder program into `folder` as `imageName`.
    LockHolder(const std::filesystem::path& folder, const std::wstring& imageName);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // Starts it on `file` and waits until it holds the file.
    bool Hold(const std::filesystem::path& file);
    DWORD Id() const { return processId_; }
    bool Running() const;
    // Waits up to `milliseconds` for the process to end; its exit code, or
    // STILL_ACTIVE when it is still running.
    DWORD WaitForExit(int milliseconds) const;

  private:
    std::filesystem::path exe_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};
