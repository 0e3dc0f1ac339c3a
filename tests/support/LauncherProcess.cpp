#include "support/LauncherProcess.h"

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
} // namespace

LauncherProcess::LauncherProcess(const std::filesystem::path& gameFolder,
                                 const std::wstring& exeName)
    : exe_(gameFolder / exeName)
{
    std::filesystem::copy_file(NORVIK_SPLASH_EXE, exe_,
                               std::filesystem::copy_options::overwrite_existing);
}

LauncherProcess::~LauncherProcess()
{
    if (process_)
    {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
}

bool LauncherProcess::Start(const std::filesystem::path& workingFolder)
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
        WindowSearch search{processId_, otherThan, nullptr};
        EnumWindows(&FindLauncherWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (WaitForSingleObject(process_, 50) != WAIT_TIMEOUT)
            return nullptr;
    }
    return nullptr;
}

std::optional<DWORD> LauncherProcess::WaitForExit(int milliseconds)
{
    if (WaitForSingleObject(process_, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}
