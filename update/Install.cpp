#include "settings/Localization.h"
#include "update/PartFiles.h"
#include "update/UpdateManager.h"
#include "update/UpdateWindow.h"

#include <spdlog/spdlog.h>

bool UpdateManager::Install()
{
    window->HideButtons();
    remoteFiles.clear();
    {
        std::lock_guard lock(queueMutex);
        downloadQueue.clear();
    }
    SetStatus(LocalizedText("updating_filelist"));

    if (!FetchFileList())
    {
        SetStatus(L"Could not obtain the latest file list from the server.");
        return false;
    }
    if (!versionInfo.overlayFileList.empty())
    {
        spdlog::info("Parsing overlay filelist...");
        if (!FetchOverlayFileList())
        {
            SetStatus(L"Could not obtain the overlay file list from the server.");
            return false;
        }
    }

    // What a killed pass was writing is no game file; it goes before anything is compared.
    RemoveLeftoverPartFiles();
    spdlog::error("Install - make local file list");
    MakeLocalFileList();
    SetStatus(LocalizedText("starting_update"));

    size_t count = 0;
    {
        std::lock_guard lock(queueMutex);
        count = downloadQueue.size();
    }
    spdlog::info("Install - download count: {}, remote file list count: {}", count,
                 remoteFiles.size());

    filesTotal = static_cast<int32_t>(count);
    filesDone = 0;
    updateFailed = false;
    stopRequested = false;
    launcherUpdated = false;
    lockersTerminated = false;
    {
        std::lock_guard lock(lockPromptMutex);
        lockBoxesShown.clear();
    }
    {
        std::lock_guard lock(statusMutex);
        upperProgress = lowerProgress = 0.0;
    }
    window->Invalidate(kInvalidateUpperBar | kInvalidateLowerBar);

    if (count == 0)
    {
        window->ShowButtons();
        window->ShowSettingsLink();
        {
            std::lock_guard lock(statusMutex);
            upperProgress = lowerProgress = 1.0;
        }
        window->Invalidate(kInvalidateUpperBar | kInvalidateLowerBar);
        spdlog::trace("Install - no files to download");
        return true;
    }

    {
        std::lock_guard lock(statusMutex);
        workerSlots.assign(static_cast<size_t>(maxConnections), WorkerSlot{});
    }
    StopWorkers();
    speedLimit =
        maxSpeedKB == 0 ? nullptr : std::make_unique<SpeedLimit>(uint64_t{maxSpeedKB} * 1024);
    {
        const PartJournalPass journal;
        for (int index = 0; index < maxConnections; ++index)
            workers.emplace_back(&UpdateManager::DownloadWorker, this, index);
        for (std::thread& worker : workers)
            worker.join();
        workers.clear();
    }

    if (updateFailed)
    {
        window->ShowSettingsLink();
        return false;
    }
    if (filesDone < static_cast<int32_t>(count))
    {
        window->ShowSettingsLink();
        ReportError(LocalizedText("update_process_failed"));
        return false;
    }
    window->ShowButtons();
    window->ShowSettingsLink();
    {
        std::lock_guard lock(statusMutex);
        upperProgress = lowerProgress = 1.0;
        speedText.clear();
    }
    window->Invalidate(kInvalidateUpperBar | kInvalidateLowerBar | kInvalidateStatusText |
                       kInvalidateSpeedText);
    spdlog::trace("Install - success");
    return true;
}
