#include "support/DebuggedProcess.h"

DebuggedProcess::DebuggedProcess(const std::filesystem::path& exe,
                                 const std::filesystem::path& workingFolder)
    : thread_([this, exe, workingFolder] { Loop(exe, workingFolder); })
{
    while (!started_)
        Sleep(10);
}

DebuggedProcess::~DebuggedProcess()
{
    stop_ = true;
    thread_.join();
}

// The debugger is the thread that started the program: only it receives the events.
void DebuggedProcess::Loop(std::filesystem::path exe, std::filesystem::path workingFolder)
{
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const bool created =
        CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                       DEBUG_ONLY_THIS_PROCESS, nullptr, workingFolder.c_str(), &startup, &info);
    if (!created)
    {
        ended_ = true;
        started_ = true;
        return;
    }
    processId_ = info.dwProcessId;
    started_ = true;
    CloseHandle(info.hThread);

    bool terminated = false;
    while (!ended_)
    {
        if (stop_ && !terminated)
        {
            TerminateProcess(info.hProcess, 99);
            terminated = true;
        }
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 100))
            continue;
        DWORD answer = DBG_CONTINUE;
        switch (event.dwDebugEventCode)
        {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The program's own handlers deal with its exceptions; only the
            // debugger's breakpoints are ours.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                answer = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            ended_ = true;
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    CloseHandle(info.hProcess);
}
