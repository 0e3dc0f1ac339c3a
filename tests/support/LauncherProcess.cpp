#include "support/LauncherProcess.h"

#include "support/ProcessList.h"
#include "support/SettingsDialogWindow.h"

#include <chrono>

namespace
{
struct WindowSearch
{
    DWORD process;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK FindLauncherWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (process == search->process && window != search->exclude &&
        std::wstring(className) == L"GALDERVINLAUNCHER" && IsWindowVisible(window))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void EndAndClose(HANDLE process)
{
    if (!process)
        return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}
} // namespace

HWND LauncherWindowOf(DWORD processId, HWND otherThan)
{
    WindowSearch search{processId, otherThan, nullptr};
    EnumWindows(&FindLauncherWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LauncherProcess::LauncherProcess(const std::filesystem::path& gameFolder,
                                 const std::wstring& exeName)
    : exe_(gameFolder / exeName)
{
    std::filesystem::copy_file(NORVIK_SPLASH_EXE, exe_,
                               std::filesystem::copy_options::overwrite_existing);
}

LauncherProcess::~LauncherProcess()
{
    EndAndClose(process_);
    EndAndClose(starter_);
    // A copy that was started but never followed.
    const DWORD starter = starterId_ ? starterId_ : processId_;
    if (!starter)
        return;
    for (const DWORD copy : ChildrenRunningFrom(starter, CopyPath()))
    {
        if (const HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, copy))
            EndAndClose(handle);
    }
}

std::filesystem::path LauncherProcess::CopyPath() const
{
    return std::filesystem::path(exe_).replace_extension(L".dmy");
}

bool LauncherProcess::Start(const std::filesystem::path& workingFolder)
{
    if (!StartWithoutFollowing(workingFolder))
        return false;
    return exe_.extension() != L".exe" || FollowRelaunch();
}

bool LauncherProcess::FollowRelaunch(int milliseconds)
{
    if (WaitForExit(milliseconds) != 0u)
        return false;
    const auto copies = ChildrenRunningFrom(processId_, CopyPath());
    if (copies.size() != 1)
        return false;
    const HANDLE copy = OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, copies.front());
    if (!copy)
        return false;
    starter_ = process_;
    starterId_ = processId_;
    process_ = copy;
    processId_ = copies.front();
    return true;
}

bool LauncherProcess::StartWithoutFollowing(const std::filesystem::path& workingFolder)
{
    std::wstring commandLine = L"\"" + exe_.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    return true;
}

HWND LauncherProcess::WaitForMainWindow(int milliseconds, HWND otherThan)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (const HWND window = LauncherWindowOf(processId_, otherThan))
            return window;
        if (WaitForSingleObject(process_, 50) != WAIT_TIMEOUT)
            return nullptr;
    }
    return nullptr;
}

HWND LauncherProcess::WaitForSettingsDialog(int milliseconds)
{
    return ::WaitForSettingsDialog(processId_, milliseconds, process_);
}

std::optional<DWORD> LauncherProcess::WaitForExit(int milliseconds)
{
    if (WaitForSingleObject(process_, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}
