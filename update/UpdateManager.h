// The update engine's controller, one per window life: reads the transfer
// settings, runs the update thread (version check, install pass, then the
// window's requests) and holds the display state the window paints.
// Never deleted while the process runs; the window keeps a plain pointer.
// Shows everything through IUpdateWindow, never through the window class.
#pragma once

#include "http/HttpClient.h"
#include "update/FileEntry.h"
#include "update/RedrawPacer.h"
#include "update/VersionInfo.h"
#include "update/WorkerSlot.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class IUpdateWindow;
class AdapterReport;
struct ScanContext;
class PackageBuffer;
class ZipArchive;

class UpdateManager
{
  public:
    explicit UpdateManager(IUpdateWindow* window);
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

    // Version check (update thread).
    bool CheckVersion();
    bool ParseVersionInfo(const std::string& body, const std::string& mirrorHost);
    std::string FetchText(const std::string& url);

    // File lists (update thread, no worker running).
    bool FetchFileList();
    bool FetchOverlayFileList();
    void MergeOverlay(const std::vector<FileEntry>& overlayEntries);

    // Local comparison: fills downloadQueue.
    void MakeLocalFileList();
    void CheckLocalFile(ScanContext& context, const FileEntry& entry);
    void ScanProgressReporter(const std::atomic<int32_t>* counter);

    // Download workers.
    void DownloadWorker(int workerIndex);
    int OnDownloadProgress(int workerIndex, double total, double now);
    void UpdateDownloadProgress();

    // Writes one package's file; false when every attempt failed.
    bool ExtractPackage(const std::string& packageBytes, const std::wstring& targetPath,
                        const int64_t* fileTime);
    bool ExtractPackage(const PackageBuffer& package, const std::wstring& targetPath,
                        const int64_t* fileTime);
    // Called on a sharing violation; true when it already waited before the next attempt.
    bool ResolveLockedFile(const std::wstring& targetPath, int attempt);

    // Copies of the painted values, one lock each, for the window thread.
    std::wstring StatusText();
    std::wstring VersionText();
    std::wstring SpeedText();
    double UpperProgress();
    double LowerProgress();
    // The adapter report's text once the report is complete; empty before.
    std::optional<std::wstring> AdapterText();

    IUpdateWindow* window;
    // Published once, under statusMutex, when the report is complete.
    std::unique_ptr<AdapterReport> adapterCheck;
    std::unique_ptr<IHttpClient> httpClient;
    std::thread updateThread;
    // Builds the adapter report beside the update; joined before a quit is answered.
    std::thread adapterThread;
    std::vector<std::thread> workers;
    std::atomic<bool> stopRequested{false};
    int32_t maxConnections = 2;
    // "NRK_LauncherMaxSpeedKB": 0 for none. The workers of a pass share one
    // limit, made afresh for each pass.
    uint32_t maxSpeedKB = 0;
    std::unique_ptr<SpeedLimit> speedLimit;

    double upperProgress = 0.0;
    double lowerProgress = 0.0;
    std::wstring statusText;
    std::wstring versionText;
    std::wstring speedText;

    std::wstring localVersion;
    std::wstring localOverlayVersion;
    VersionInfo versionInfo;
    std::wstring localDir;

    std::vector<FileEntry> remoteFiles;
    std::mutex queueMutex;
    std::deque<FileEntry> downloadQueue;
    std::mutex lockPromptMutex;
    std::atomic<bool> lockersTerminated{false};
    // Under lockPromptMutex: the locked-file boxes shown in this pass, by file and kind.
    std::set<std::wstring> lockBoxesShown;
    std::vector<WorkerSlot> workerSlots;
    // Paces the display rebuilds of progress callbacks; a finished file always rebuilds.
    RedrawPacer progressPacer{std::chrono::milliseconds(50)};
    std::mutex statusMutex;
    std::atomic<bool> scanRunning{false};
    // Wakes the scan reporter from its pause when the scan ends, so the
    // comparison does not wait out the reporter's interval.
    std::mutex scanWakeMutex;
    std::condition_variable scanWake;
    bool echEnabled = false;
    std::atomic<int32_t> filesTotal{0};
    std::atomic<int32_t> filesDone{0};
    std::atomic<bool> updateFailed{false};
    std::atomic<bool> launcherUpdated{false};

  private:
    bool ReadWorkingDirectory();
    // Starts the report on `adapterThread`; skipped when ".nobrowser" is
    // present in the working directory.
    void ReportGraphicsAdapter();
    // Makes `httpClient`; false (already reported) when no transport could start.
    bool PrepareTransport();
    void InstallIfOutdated(std::wstring& serverVersion, std::wstring& serverOverlayVersion);
    void ServeRequests(const std::wstring& serverVersion, const std::wstring& serverOverlayVersion);
    void RunGuardedInstall(const std::wstring& serverVersion,
                           const std::wstring& serverOverlayVersion);
    void StopWorkers();

    // Stops the pass and reports the text `textKey` about `targetPath` (a
    // full disk, a file too large): no attempt can help.
    void StopPassWith(const char* textKey, const std::wstring& targetPath);

    // Opens the package being extracted, once for each read of it.
    using ArchiveOpener = std::function<std::unique_ptr<ZipArchive>()>;
    // `inMemory`: small content may then be inflated whole in one go.
    bool ExtractFrom(const ArchiveOpener& open, bool inMemory, uint64_t packageSize,
                     const std::wstring& targetPath, const int64_t* fileTime);

    // Writes the new content to `file`: ERROR_SUCCESS, or the code a write failed with.
    using ContentWriter = std::function<DWORD(HANDLE file)>;

    enum class WriteOutcome
    {
        Written,
        Failed,
        // Reported to the user and the update stopped: no attempt can help.
        DiskFull,
    };
    // One attempt of ExtractPackage: the new bytes go to a part file beside the
    // target, which then replaces the target whole. `waited` as ResolveLockedFile says.
    WriteOutcome WriteAttempt(const ContentWriter& content, const std::wstring& targetPath,
                              const int64_t* fileTime, int attempt, bool& waited);
};

// "NRK_LauncherMaxConnections" as the workers use it: 0 means the default 2,
// anything above 4 is 4.
int32_t ClampMaxConnections(uint32_t stored);
