#include "launch/RunProcess.h"

#include "BuildConfig.h"
#include "settings/Localization.h"

#include <shellapi.h>
#include <spdlog/spdlog.h>
#include <vector>

const ProcessStart kGameClientStart{L"Galdervin.bin", "GAMESTART - RunProcess() - ",
                                    "<<<GAME EXECUTE SUCCESS!>>>", "<<<GAME EXECUTE FAIL!>>>"};
const ProcessStart kSetupProgramStart{L"Setup.exe", "SETTINGS - RunProcess() - ",
                                      "<<<SETTINGS EXECUTE SUCCESS!>>>",
                                      "<<<SETTINGS EXECUTE FAIL!>>>"};

#define NORVIK_WIDEN_(text) L##text
#define NORVIK_WIDEN(text) NORVIK_WIDEN_(text)
const wchar_t kFailedProcessStartPage[] =
    NORVIK_WIDEN(NORVIK_HELP_SITE) L"/errors/failed-process-start";

namespace
{
void CloseIfOpen(HANDLE handle)
{
    if (handle)
        CloseHandle(handle);
}

void ShowStartError(HWND owner, const char* textKey)
{
    const std::wstring& language = CurrentLanguage();
    MessageBoxW(owner, LookupText(language, textKey).c_str(),
                LookupText(language, "start_error_title").c_str(), MB_OK);
}

void OpenInBrowser(const wchar_t* address)
{
    ShellExecuteW(nullptr, nullptr, address, nullptr, nullptr, SW_SHOW);
}
} // namespace

bool RunProcess(const ProcessStart& start)
{
    // CreateProcessW may write into its command line: give it a copy of its own.
    std::vector<wchar_t> buffer(start.commandLine.begin(), start.commandLine.end());
    buffer.push_back(L'\0');
    spdlog::trace("{}Buffer copy done.", start.logPrefix);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        spdlog::trace("{}", start.failureMarker);
        CloseIfOpen(process.hProcess);
        CloseIfOpen(process.hThread);
        return false;
    }
    spdlog::trace("{}", start.successMarker);
    spdlog::trace("{}process creation done.", start.logPrefix);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    spdlog::trace("{}process handles closed.", start.logPrefix);
    return true;
}

void StartGameClient(HWND owner)
{
    if (RunProcess(kGameClientStart))
    {
        // The log is asynchronous; its last lines must reach the disk first.
        spdlog::default_logger()->flush();
        ExitProcess(0);
    }
    ShowStartError(owner, "game_start_error");
    OpenInBrowser(kFailedProcessStartPage);
}

void StartSetupProgram(HWND owner)
{
    if (!RunProcess(kSetupProgramStart))
        ShowStartError(owner, "settings_start_error");
}
