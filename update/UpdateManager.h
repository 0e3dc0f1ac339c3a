// The update engine's controller, one per window life: reads the transfer
// settings, runs the update thread (version check, install pass, then the
// window's requests) and holds the display state the window paints.
// Never deleted while the process runs; the window keeps a plain pointer.
#pragma once

#include "update/VersionInfo.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LauncherDialog;

class UpdateManager
{
  public:
    explicit UpdateManager(LauncherDialog* dialog);
    virtual ~UpdateManager();

    UpdateManager(const UpdateManager&) = delete;
    UpdateManager& operator=(const UpdateManager&) = delete;

    // Any thread. Redraws the status line after releasing the lock.
    void SetStatus(const std::wstring& text);
    // The one way the engine tells the user about a failure; blocks the calling
    // thread in a message box and returns its result.
    int ReportError(const std::wstring& message);

    void ThreadMain();
    void RecordInstalledVersion(const std::wstring& serverVersion,
                                const std::wstring& serverOverlayVersion);
    bool Install();

    // Copies of the painted values, one lock each, for the window thread.
    std::wstring StatusText();
    std::wstring VersionText();
    std::wstring SpeedText();
    double UpperProgress();
    double LowerProgress();

    LauncherDialog* dialog;
    std::thread updateThread;
    std::vector<std::thread> workers;
    std::atomic<bool> stopRequested{false};
    int32_t maxConnections = 2;

    double upperProgress = 0.0;
    double lowerProgress = 0.0;
    std::wstring statusText;
    std::wstring versionText;
    std::wstring speedText;

    std::wstring localVersion;
    std::wstring localOverlayVersion;
    VersionInfo versionInfo;
    std::wstring localDir;

    std::mutex statusMutex;
    bool echEnabled = false;

  private:
    bool ReadWorkingDirectory();
    void ServeRequests(const std::wstring& serverVersion, const std::wstring& serverOverlayVersion);
    void RunGuardedInstall(const std::wstring& serverVersion,
                           const std::wstring& serverOverlayVersion);
    void StopWorkers();
};

// "NRK_LauncherMaxConnections" as the workers use it: 0 means the default 2,
// anything above 4 is 4.
int32_t ClampMaxConnections(uint32_t stored);
