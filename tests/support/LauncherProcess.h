// Runs the real splash.exe (the build of this tree) as a child process from a
// game folder of the test's own, and finds its windows. Started as ".exe" the
// launcher hands over to its ".dmy" copy; Start follows it there.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

// The visible main window of a launcher process, or null.
HWND LauncherWindowOf(DWORD processId, HWND otherThan = nullptr);

class LauncherProcess
{
  public:
    // Copies splash.exe into `gameFolder` under `exeName`.
    LauncherProcess(const std::filesystem::path& gameFolder,
                    const std::wstring& exeName = L"splash.exe");
    // Ends whatever still runs of it: the copy followed, the started file, and
    // any copy that file started.
    ~LauncherProcess();
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    // Starts it with `workingFolder` as its current directory; a ".exe" start
    // is followed to the copy it hands over to (see FollowRelaunch).
    bool Start(const std::filesystem::path& workingFolder);
    // Starts the file and stays with that process.
    bool StartWithoutFollowing(const std::filesystem::path& workingFolder);
    // Waits for the started process to end with 0 and takes over the ".dmy"
    // copy it started; false when it did not hand over.
    bool FollowRelaunch(int milliseconds = 20000);

    // The launcher's main window, once it exists (waits up to `milliseconds`).
    HWND WaitForMainWindow(int milliseconds = 20000, HWND otherThan = nullptr);
    // The settings dialog, once it shows (waits up to `milliseconds`).
    HWND WaitForSettingsDialog(int milliseconds = 20000);
    std::optional<DWORD> WaitForExit(int milliseconds = 20000);
    DWORD Id() const { return processId_; }
    const std::filesystem::path& Exe() const { return exe_; }
    // The ".dmy" beside the started file.
    std::filesystem::path CopyPath() const;

  private:
    std::filesystem::path exe_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    // The process first started, when a copy of it was followed.
    HANDLE starter_ = nullptr;
    DWORD starterId_ = 0;
};
