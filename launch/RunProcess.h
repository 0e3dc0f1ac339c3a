// Starting the game client and the game's setup program from the launcher's
// folder (the Game Start and Option buttons). Window thread: the failure boxes
// are modal on it. A started game ends the launcher process.
#pragma once

#include <windows.h>

#include <string>

// What differs between the two starts.
struct ProcessStart
{
    std::wstring commandLine;
    const char* logPrefix;     // "GAMESTART - RunProcess() - "
    const char* successMarker; // "<<<GAME EXECUTE SUCCESS!>>>"
    const char* failureMarker; // "<<<GAME EXECUTE FAIL!>>>"
};

extern const ProcessStart kGameClientStart;
extern const ProcessStart kSetupProgramStart;

// The help page opened after a failed game start, under the build's web site.
extern const std::wstring kFailedProcessStartPage;

// CreateProcessW with the command line exactly as given (no arguments added),
// the launcher's environment and current directory; the new process is not
// waited for. Logs the start's lines at trace level. True when it started.
bool RunProcess(const ProcessStart& start);

// Game Start: on success ends the launcher with exit code 0; on failure shows
// the error box owned by `owner`, then opens the help page, and returns.
void StartGameClient(HWND owner);
// Option: shows the error box owned by `owner` on failure; the launcher goes on.
void StartSetupProgram(HWND owner);
