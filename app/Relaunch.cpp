#include "app/Relaunch.h"

#include "settings/Localization.h"

#include <windows.h>

namespace
{
std::filesystem::path RunningExecutablePath()
{
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return buffer;
}

// An older copy is overwritten; a running one cannot be, and that fails here.
bool CopyExecutable(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

// The copy gets no arguments and inherits this process's folder and environment.
bool StartCopy(const std::filesystem::path& copy)
{
    std::wstring commandLine = CopyCommandLine(copy);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

[[noreturn]] void FailStart(const char* messageKey)
{
    MessageBoxW(nullptr, LocalizedCStr(messageKey), L"Norvik Launcher", MB_OK);
    ExitProcess(1);
}
} // namespace

bool RunsFromExeFile(const std::filesystem::path& image)
{
    return image.extension() == std::filesystem::path(L".exe");
}

std::filesystem::path CopyPathFor(const std::filesystem::path& image)
{
    return std::filesystem::path(image).replace_extension(L".dmy");
}

std::wstring CopyCommandLine(const std::filesystem::path& copy)
{
    // A Windows path cannot hold a quote, so plain quoting is enough.
    return L"\"" + copy.wstring() + L"\"";
}

void RelaunchAsCopy()
{
    // Under a debugger the launcher keeps running from the file it was started from.
    if (IsDebuggerPresent())
        return;
    const std::filesystem::path image = RunningExecutablePath();
    if (!RunsFromExeFile(image))
        return;
    const std::filesystem::path copy = CopyPathFor(image);
    if (!CopyExecutable(image, copy))
        FailStart("unable_to_copy_launcher_error");
    if (!StartCopy(copy))
        FailStart("unable_to_run_copied_launcher_error");
    ExitProcess(0);
}
