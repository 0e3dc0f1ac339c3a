#include "base/AsciiLower.h"
#include "base/TextEncoding.h"
#include "settings/Localization.h"
#include "settings/SpeedLimitSetting.h"
#include "update/PackageBuffer.h"
#include "update/PartFiles.h"
#include "update/UpdateManager.h"
#include "update/UpdateWindow.h"

#include <windows.h>

#include <chrono>
#include <fmt/xchar.h>
#include <optional>
#include <spdlog/spdlog.h>

namespace
{
constexpr int kMaxAttempts = 3;
constexpr int64_t kSpeedSampleNanoseconds = 250000000;
constexpr wchar_t kLauncherExecutableName[] = L"splash.exe";

int64_t SteadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string WithoutLeadingDotSlash(const std::string& path)
{
    return path.size() > 2 && path.compare(0, 2, "./") == 0 ? path.substr(2) : path;
}

// In the game folder, so it is on the disk the game is written to.
std::wstring SpillPathFor(int workerIndex)
{
    return L"update-download-" + std::to_wstring(workerIndex) + kPartFileSuffix;
}

// A transfer that broke off after some bytes of a body the server described
// well enough to be asked for the rest; an error status starts afresh.
std::optional<ResumePoint> ResumeAfter(const HttpResponse& response, const PackageBuffer& package)
{
    if (response.error.empty() || response.statusCode != -1 || response.validator.empty() ||
        response.bodyLength <= 0 || package.Size() == 0 ||
        package.Size() >= static_cast<uint64_t>(response.bodyLength))
        return std::nullopt;
    return ResumePoint{package.Size(), response.bodyLength, response.validator};
}

bool IsLauncherExecutable(const std::string& name)
{
    return AsciiLower(ToWide(name)) == kLauncherExecutableName;
}
} // namespace

void UpdateManager::DownloadWorker(int workerIndex)
{
    const auto stopping = [this] { return stopRequested || launcherUpdated; };

    std::unique_ptr<IHttpClient> client;
    try
    {
        client = CreateHttpClient(SelectHttpBackend());
        client->SetUserAgent(kNetworkUserAgent);
        client->SetEch(echEnabled);
        client->SetSpeedLimit(speedLimit.get());
    }
    catch (const std::exception& error)
    {
        // Without a transport this worker can fetch nothing; fail the pass
        // rather than let the exception end the process.
        spdlog::error("Download thread {} - could not start its HTTP client: {}", workerIndex,
                      error.what());
        updateFailed = true;
        stopRequested = true;
        return;
    }

    PackageBuffer package(SpillPathFor(workerIndex));

    // Anything else that fails in a job (memory for the slot texts or the
    // status line, ...) fails the pass like a file that could not be fetched.
    try
    {
        for (;;)
        {
            if (stopping())
                return;
            std::optional<FileEntry> entry;
            {
                std::lock_guard lock(queueMutex);
                if (!downloadQueue.empty() && !stopping())
                {
                    entry = std::move(downloadQueue.front());
                    downloadQueue.pop_front();
                }
            }
            if (!entry)
                return;

            const std::string path = WithoutLeadingDotSlash(entry->packagePath);
            const std::string name8 = WithoutLeadingDotSlash(entry->name);
            {
                std::lock_guard lock(statusMutex);
                WorkerSlot& slot = workerSlots[workerIndex];
                slot = WorkerSlot{};
                slot.fileName = ToWide(name8);
                slot.lastSampleTime = SteadyNanoseconds();
            }

            bool fetched = false;
            // Where the last attempt broke off, when the next one may ask for the rest.
            std::optional<ResumePoint> resume;
            for (int attempt = 0; attempt < kMaxAttempts && !stopping(); ++attempt)
            {
                try
                {
                    const std::string url = entry->fromOverlay
                                                ? fmt::format("{}/{}{}", versionInfo.basePath,
                                                              versionInfo.overlayBasePath, path)
                                                : fmt::format("{}/{}", versionInfo.basePath, path);
                    if (entry->fromOverlay)
                        spdlog::debug("Download thread {} - downloading overlay file from: {}",
                                      workerIndex, url);
                    // A failed attempt's bytes never mix with the next one's: they are
                    // kept only for a server that sends exactly the rest of the same body.
                    if (resume)
                        spdlog::info("Download thread {} - resuming {} after {} of {} bytes",
                                     workerIndex, path, resume->offset, resume->bodyLength);
                    else
                        package.Clear();
                    const HttpResponse response = client->Download(
                        url,
                        [this, workerIndex](double total, double now)
                        { return OnDownloadProgress(workerIndex, total, now); },
                        package, resume ? &*resume : nullptr);
                    if (package.DiskFull())
                    {
                        StopPassWith("disk_full", ToWide(name8));
                        return;
                    }
                    resume = ResumeAfter(response, package);
                    if (!response.error.empty())
                        throw http_error(response.error);
                    fetched = true;
                    break;
                }
                catch (const std::exception& error)
                {
                    spdlog::error("Download thread {} - http error: {}", workerIndex, error.what());
                }
            }
            if (!fetched)
            {
                if (stopping())
                    return;
                spdlog::error("Download thread {} - failed to download {}", workerIndex, path);
                updateFailed = true;
                stopRequested = true;
                return;
            }
            if (stopping())
                return;

            bool written = false;
            for (int attempt = 0; attempt < kMaxAttempts && !stopping() && !written; ++attempt)
            {
                try
                {
                    const int64_t fileTime = static_cast<int64_t>(entry->time);
                    written = ExtractPackage(package, ToWide(name8), &fileTime);
                }
                catch (const std::exception& error)
                {
                    spdlog::error("Download thread {} - unzip error for {}: {}", workerIndex, name8,
                                  error.what());
                }
            }
            if (!written)
            {
                if (stopping())
                    return;
                spdlog::error("Download thread {} - failed to extract {}", workerIndex, path);
                updateFailed = true;
                stopRequested = true;
                return;
            }

            package.Clear();

            if (IsLauncherExecutable(name8))
            {
                stopRequested = true;
                launcherUpdated = true;
                SetStatus(LocalizedText("launcher_has_updated"));
                window->ShowMessage(LocalizedText("launcher_has_updated_message"));
                spdlog::default_logger()->flush();
                ExitProcess(0);
            }

            ++filesDone;
            {
                std::lock_guard lock(statusMutex);
                WorkerSlot& slot = workerSlots[workerIndex];
                slot.fileName.clear();
                slot.fraction = slot.speed = 0.0;
                slot.doneKB = slot.totalKB = 0;
            }
            UpdateDownloadProgress();
        }
    }
    catch (const std::exception& error)
    {
        spdlog::error("Download thread {} - stopped by an error: {}", workerIndex, error.what());
        updateFailed = true;
        stopRequested = true;
    }
}

int UpdateManager::OnDownloadProgress(int workerIndex, double total, double now)
{
    if (stopRequested || launcherUpdated)
        return 1;
    {
        std::lock_guard lock(statusMutex);
        WorkerSlot& slot = workerSlots[workerIndex];
        slot.fraction = total > 0 ? now / total : 0.0;
        slot.doneKB = static_cast<int32_t>(now * (1.0 / 1024));
        slot.totalKB = static_cast<int32_t>(total * (1.0 / 1024));
        const int64_t sampleTime = SteadyNanoseconds();
        const int64_t elapsed = sampleTime - slot.lastSampleTime;
        if (elapsed >= kSpeedSampleNanoseconds && now > slot.lastSampleBytes)
        {
            const double seconds = static_cast<double>(elapsed / 1000000) / 1000.0;
            slot.speed = (now - slot.lastSampleBytes) / seconds;
            slot.lastSampleTime = sampleTime;
            slot.lastSampleBytes = now;
        }
    }
    // The last bytes of a transfer are shown even between paced redraws.
    if (progressPacer.Due() || (total > 0 && now >= total))
        UpdateDownloadProgress();
    return 0;
}

void UpdateManager::UpdateDownloadProgress()
{
    const int32_t total = filesTotal;
    const int32_t done = filesDone;
    const double overall = total > 0 ? static_cast<double>(done) / total : 0.0;
    {
        std::lock_guard lock(statusMutex);
        double totalSpeed = 0.0;
        double busyFraction = 0.0;
        std::wstring parts;
        for (const WorkerSlot& slot : workerSlots)
        {
            totalSpeed += slot.speed;
            if (slot.fileName.empty())
                continue;
            busyFraction += slot.fraction;
            if (!parts.empty())
                parts += L", ";
            parts += fmt::format(L"{} ({} KB/{} KB)", slot.fileName, slot.doneKB, slot.totalKB);
        }
        if (total > 0)
            lowerProgress = (done + busyFraction) / total;
        upperProgress = overall;
        if (maxSpeedKB != 0 && totalSpeed > 0)
            speedText = FormatLimitedSpeed(totalSpeed, maxSpeedKB);
        else if (totalSpeed > 1048576)
            speedText = fmt::format(L"{:.1f} MB/s", totalSpeed / 1048576);
        else if (totalSpeed > 1024)
            speedText = fmt::format(L"{:.0f} KB/s", totalSpeed / 1024);
        else if (totalSpeed > 0)
            speedText = fmt::format(L"{:.0f} B/s", totalSpeed);
        if (!parts.empty())
            statusText = fmt::format(L"[{}/{}] ", done, total) + parts;
    }
    window->Invalidate(kInvalidateUpperBar | kInvalidateLowerBar | kInvalidateStatusText |
                       kInvalidateSpeedText);
}
