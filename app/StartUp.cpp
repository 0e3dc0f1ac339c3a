#include "app/StartUp.h"

#include "app/Logging.h"
#include "app/Relaunch.h"
#include "base/ModuleDirectory.h"
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "settings/SettingsDialog.h"
#include "ui/LauncherDialog.h"

#include <commctrl.h>
#include <exception>
#include <filesystem>
#include <system_error>

namespace
{
constexpr int kAcceleratorTable = 109;

// Runs the settings dialog with its record made active for the run only.
bool RunSettingsDialog(HINSTANCE instance)
{
    SettingsDialog record;
    record.instance = instance;
    activeSettingsDialog = &record;
    const bool accepted = ShowSettingsDialog(record);
    activeSettingsDialog = nullptr;
    return accepted;
}

bool LauncherSettingsSaved()
{
    uint32_t settingsSet = 0;
    return ReadRegistryDword(settingsSet, L"NRK_LauncherSettingsSet") && settingsSet != 0;
}

WPARAM PumpMessages()
{
    const HACCEL accelerators =
        LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAcceleratorTable));
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return message.wParam;
}
} // namespace

void EnsureLauncherSettings(HINSTANCE instance)
{
    if (LauncherSettingsSaved())
        return;
    spdlog::info("Showing first launch dialog");
    if (RunSettingsDialog(instance))
        return;
    spdlog::warn("User cancelled first launch dialog, writing default settings");
    WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
    WriteRegistryDword(L"NRK_LauncherMirrorIndex", 0);
    WriteRegistryDword(L"NRK_LauncherEchEnabled", 0);
    WriteRegistryDword(L"NRK_LauncherMaxConnections", 2);
    spdlog::info("Wrote default first launch settings: Mirror=0, ECH=false, MaxConnections=2");
}

int RunWindowLives(HINSTANCE instance)
{
    for (;;)
    {
        EnsureLauncherSettings(instance);
        // Never deleted: a life that ends any other way than through the
        // restart leaves its update thread and workers running, still using
        // the window object, until the process ends. The restart code comes
        // only after the update thread has stopped.
        auto* window = new LauncherDialog(instance);
        const WPARAM code = PumpMessages();
        if (code != kRestartExitCode)
            return static_cast<int>(code);
        delete window;
        if (!RunSettingsDialog(instance))
            spdlog::warn("User cancelled settings dialog, continuing");
    }
}

int RunLauncher(HINSTANCE instance)
{
    std::error_code error;
    std::filesystem::current_path(ModuleDirectory(), error);
    if (error)
    {
        // Nothing is logged yet: the log belongs in the folder we could not enter.
        MessageBoxW(nullptr, LocalizedCStr("working_directory_error"), L"Norvik Launcher", MB_OK);
        return 1;
    }
    RelaunchAsCopy();
    InitLogging();
    InitCommonControls();
    try
    {
        return RunWindowLives(instance);
    }
    catch (const std::exception& failure)
    {
        spdlog::error("{}", failure.what());
        MessageBoxW(nullptr, ToWide(failure.what()).c_str(), L"Norvik Launcher", MB_OK);
        return 1;
    }
}
