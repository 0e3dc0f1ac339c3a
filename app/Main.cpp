// Process entry of splash.exe. The command line is ignored.
#include "app/StartUp.h"

#include <windows.h>

#include <spdlog/spdlog.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    const int code = RunLauncher(instance);
    // The update thread and workers may still be running and logging; end the
    // process here rather than let static destructors pull the logger away.
    spdlog::default_logger()->flush();
    ExitProcess(static_cast<UINT>(code));
}
