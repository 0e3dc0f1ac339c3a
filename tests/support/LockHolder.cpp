#include "support/LockHolder.h"

#include <string>

namespace
{
// The build tree's path is a Unix one; Wine reaches it through drive Z:.
std::filesystem::path HolderProgram()
{
    return std::filesystem::path(L"Z:" + std::filesystem::path(NORVIK_LOCK_HOLDER_EXE).wstring());
}
} // namespace

LockHolder::LockHolder(const std::filesystem::path& folder, const std::wstring& imageName)
    : exe_(folder / imageName)
{
    std::filesystem::copy_file(HolderProgram(), exe_,
                               std::filesystem::copy_options::overwrite_existing);
}

LockHolder::~LockHolder()
{
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
    {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

bool LockHolder::Hold(const std::filesystem::path& file)
{
    const std::wstring eventName = L"norvik-lock-holder-" + std::to_wstring(GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(GetTickCount64());
    const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    if (!held)
        return false;
    std::wstring commandLine =
        L"\"" + exe_.wstring() + L"\" \"" + file.wstring() + L"\" " + eventName;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
    {
        CloseHandle(held);
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    // Either the file is held or the holder gave up.
    const HANDLE waits[] = {held, process_};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, 20000);
    CloseHandle(held);
    return woken == WAIT_OBJECT_0;
}

bool LockHolder::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD LockHolder::WaitForExit(int milliseconds) const
{
    if (!process_)
        return 0;
    WaitForSingleObject(process_, static_cast<DWORD>(milliseconds));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}
