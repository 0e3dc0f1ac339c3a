// The running processes of the test prefix, found by the file they run from,
// so tests of the launcher's relaunch can find the copy it started and make
// sure nothing they started outlives them.
#pragma once

#include <windows.h>

#include <filesystem>
#include <vector>

// Processes whose executable is `image` (compared as the same file name, case-insensitively).
std::vector<DWORD> ProcessesRunningFrom(const std::filesystem::path& image);
// Of those, the ones started by `parent`.
std::vector<DWORD> ChildrenRunningFrom(DWORD parent, const std::filesystem::path& image);
// Ends every process whose executable lies in `folder`; returns how many it ended.
int EndProcessesIn(const std::filesystem::path& folder);

// Ends, when it goes out of scope, whatever still runs from a test's folder.
class ProcessesInFolderGuard
{
  public:
    explicit ProcessesInFolderGuard(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~ProcessesInFolderGuard() { EndProcessesIn(folder_); }
    ProcessesInFolderGuard(const ProcessesInFolderGuard&) = delete;
    ProcessesInFolderGuard& operator=(const ProcessesInFolderGuard&) = delete;

  private:
    std::filesystem::path folder_;
};
