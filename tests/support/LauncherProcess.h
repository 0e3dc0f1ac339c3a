// Runs the real splash.exe (the build of this tree) as a child process from a
// game folder of the test's own, and finds its windows.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

class LauncherProcess
{
  public:
    // Copies splash.exe into `gameFolder` under `exeName`.
    LauncherProcess(const std::filesystem::path& gameFolder,
                    const std::wstring& exeName = L"splash.exe");
    ~LauncherProcess();

    // Starts it with `workingFolder` as its current directory.
    bool Start(const std::filesystem::path& workingFolder);
    // The launcher's main window, once it exists (waits up to `milliseconds`).
    HWND WaitForMainWindow(int milliseconds = 20000, HWND otherThan = nullptr);
    std::optional<DWORD> WaitForExit(int milliseconds = 20000);
    DWORD Id() const { return processId_; }

  private:
    std::filesystem::path exe_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};
