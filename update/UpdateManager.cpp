#include "update/UpdateManager.h"

#include "base/TextEncoding.h"
#include "http/HttpClient.h"
#include "launch/AdapterReport.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "settings/SpeedLimitSetting.h"
#include "update/MessagePasser.h"
#include "update/UpdateWindow.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <spdlog/spdlog.h>

namespace
{
constexpr wchar_t kMessageBoxTitle[] = L"Norvik Launcher";
} // namespace

int32_t ClampMaxConnections(uint32_t stored)
{
    if (stored == 0)
        return 2;
    return stored > 4 ? 4 : static_cast<int32_t>(stored);
}

UpdateManager::UpdateManager(IUpdateWindow* window) : window(window)
{
    statusText = LocalizedText("initializing");

    uint32_t ech = 0;
    ReadRegistryDword(ech, L"NRK_LauncherEchEnabled");
    echEnabled = ech != 0;

    uint32_t connections = 2;
    ReadRegistryDword(connections, L"NRK_LauncherMaxConnections");
    maxConnections = ClampMaxConnections(connections);
    maxSpeedKB = StoredSpeedLimitKB();

    updateThread = std::thread(&UpdateManager::ThreadMain, this);
}

UpdateManager::~UpdateManager()
{
    StopWorkers();
    if (updateThread.joinable())
        updateThread.detach();
    if (adapterThread.joinable())
        adapterThread.detach();
}

void UpdateManager::SetStatus(const std::wstring& text)
{
    {
        std::lock_guard lock(statusMutex);
        statusText = text;
    }
    window->Invalidate(kInvalidateStatusText);
}

int UpdateManager::ReportError(const std::wstring& message)
{
    SetStatus(LocalizedText("error_occurred"));
    window->ShowSettingsLink();
    spdlog::error("{}", ToUtf8(message));
    spdlog::default_logger()->flush();
    return window->ShowMessage(message);
}

std::wstring UpdateManager::StatusText()
{
    std::lock_guard lock(statusMutex);
    return statusText;
}

std::wstring UpdateManager::VersionText()
{
    std::lock_guard lock(statusMutex);
    return versionText;
}

std::wstring UpdateManager::SpeedText()
{
    std::lock_guard lock(statusMutex);
    return speedText;
}

double UpdateManager::UpperProgress()
{
    std::lock_guard lock(statusMutex);
    return upperProgress;
}

double UpdateManager::LowerProgress()
{
    std::lock_guard lock(statusMutex);
    return lowerProgress;
}

std::optional<std::wstring> UpdateManager::AdapterText()
{
    std::lock_guard lock(statusMutex);
    if (!adapterCheck)
        return std::nullopt;
    return adapterCheck->text;
}

void UpdateManager::ReportGraphicsAdapter()
{
    std::error_code error;
    if (std::filesystem::exists(localDir + L"/.nobrowser", error))
        return;
    // Direct3D loads the display driver, which can take longer than the
    // whole version check; the update goes on meanwhile.
    adapterThread = std::thread(
        [this]
        {
            auto report = std::make_unique<AdapterReport>();
            {
                std::lock_guard lock(statusMutex);
                adapterCheck = std::move(report);
            }
            window->Invalidate(kInvalidateAdapterText);
        });
}

bool UpdateManager::ReadWorkingDirectory()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH)
        return false;
    localDir.assign(buffer, length);
    return true;
}

void UpdateManager::ThreadMain()
{
    // They outlive the first check: Check Files records the same versions.
    std::wstring serverVersion;
    std::wstring serverOverlayVersion;

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    SetStatus(LocalizedText("initializing_update_process"));

    if (!ReadWorkingDirectory())
    {
        ReportError(LocalizedText("working_directory_error"));
    }
    else
    {
        ReportGraphicsAdapter();
        if (PrepareTransport() && CheckVersion())
            InstallIfOutdated(serverVersion, serverOverlayVersion);
    }

    ServeRequests(serverVersion, serverOverlayVersion);
}

bool UpdateManager::PrepareTransport()
{
    try
    {
        const HttpBackend kind = SelectHttpBackend();
        httpClient = CreateHttpClient(kind);
        httpClient->SetUserAgent(kNetworkUserAgent);
        httpClient->SetEch(echEnabled);
        spdlog::info("HTTP backend initialized: {}", HttpBackendName(kind));
        return true;
    }
    catch (const std::exception&)
    {
        ReportError(LocalizedText("network_init_failure"));
        return false;
    }
}

void UpdateManager::InstallIfOutdated(std::wstring& serverVersion,
                                      std::wstring& serverOverlayVersion)
{
    serverVersion = ToWide(versionInfo.version);
    serverOverlayVersion = ToWide(versionInfo.overlayVersion);

    // Any difference counts, higher or lower: versions have no order.
    const bool versionMismatch = serverVersion != localVersion;
    bool overlayMismatch = false;
    if (!versionInfo.overlayVersion.empty())
    {
        overlayMismatch = serverOverlayVersion != localOverlayVersion;
        spdlog::info("Overlay version check: server={}, local={}, mismatch={}",
                     versionInfo.overlayVersion, ToUtf8(localOverlayVersion), overlayMismatch);
    }
    if (!versionMismatch && !overlayMismatch)
    {
        SetStatus(LocalizedText("already_up_to_date"));
        window->ShowButtons();
        window->ShowSettingsLink();
        return;
    }
    RunGuardedInstall(serverVersion, serverOverlayVersion);
}

void UpdateManager::ServeRequests(const std::wstring& serverVersion,
                                  const std::wstring& serverOverlayVersion)
{
    msg::MessagePasser* queue = window->GetMessagePasser();
    for (;;)
    {
        queue->WaitForMessage();
        for (Message message = queue->TryPop(); message.type != kNoMessage;
             message = queue->TryPop())
        {
            switch (message.type)
            {
            case CheckFiles:
                window->HideButtons();
                RunGuardedInstall(serverVersion, serverOverlayVersion);
                break;
            case Quit:
                stopRequested = true;
                StopWorkers();
                // The report draws into the window, which goes once this is answered.
                if (adapterThread.joinable())
                    adapterThread.join();
                PostMessageW(window->GetHwnd(), kQuitDoneMessage, 0, 0);
                return;
            default:
                spdlog::trace("unknown msgtype {}", message.type);
                break;
            }
        }
    }
}

void UpdateManager::RunGuardedInstall(const std::wstring& serverVersion,
                                      const std::wstring& serverOverlayVersion)
{
    try
    {
        if (Install())
            RecordInstalledVersion(serverVersion, serverOverlayVersion);
    }
    catch (const std::exception& error)
    {
        ReportError(ToWide(error.what()));
    }
}

void UpdateManager::StopWorkers()
{
    for (std::thread& worker : workers)
    {
        if (worker.joinable())
            worker.join();
    }
    workers.clear();
}

void UpdateManager::RecordInstalledVersion(const std::wstring& serverVersion,
                                           const std::wstring& serverOverlayVersion)
{
    if (!WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", serverVersion))
        spdlog::error("[ERROR] Can't set VersionKey.");

    if (!versionInfo.overlayVersion.empty())
    {
        if (WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion_Overlay_" + CurrentLanguage(),
                                serverOverlayVersion))
            spdlog::info("Saved overlay version to registry: {}", ToUtf8(serverOverlayVersion));
        else
            spdlog::error("[ERROR] Can't set overlay VersionKey.");
    }

    SetStatus(LocalizedText("update_success"));
    {
        std::lock_guard lock(statusMutex);
        versionText = L"Ver " + serverVersion;
    }
    window->ShowButtons();
    window->Invalidate(kInvalidateUpperBar | kInvalidateLowerBar | kInvalidateVersionText);
    window->ShowSettingsLink();
    spdlog::default_logger()->flush();
}
