#include "launch/RunProcess.h"

#include "base/UniqueHandle.h"
#include "settings/Deployment.h"
#include "settings/Localization.h"

#include <shellapi.h>
#include <spdlog/spdlog.h>
#include <vector>

const ProcessStart kGameClientStart{L"Galdervin.bin", "GAMESTART - RunProcess() - ",
                                    "<<<GAME EXECUTE SUCCESS!>>>", "<<<GAME EXECUTE FAIL!>>>"};
const ProcessStart kSetupProgramStart{L"Setup.exe", "SETTINGS - RunProcess() - ",
                                      "<<<SETTINGS EXECUTE SUCCESS!>>>",
                                      "<<<SETTINGS EXECUTE FAIL!>>>"};

const std::wstring kFailedProcessStartPage =
    std::wstring(kHelpSite) + L"/errors/failed-process-start";

namespace
{
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
    const bool created = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process) != FALSE;
    {
        const UniqueHandle processHandle(process.hProcess);
        const UniqueHandle threadHandle(process.hThread);
        if (!created)
        {
            spdlog::trace("{}", start.failureMarker);
            return false;
        }
        spdlog::trace("{}", start.successMarker);
        spdlog::trace("{}process creation done.", start.logPrefix);
    }
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
    OpenInBrowser(kFailedProcessStartPage.c_str());
}

void StartSetupProgram(HWND owner)
{
    if (!RunProcess(kSetupProgramStart))
        ShowStartError(owner, "settings_start_error");
}
