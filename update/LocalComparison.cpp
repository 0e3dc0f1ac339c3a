#include "update/LocalComparison.h"

#include "base/TextEncoding.h"
#include "base/UniqueHandle.h"
#include "settings/Localization.h"
#include "update/SameFileOnDisk.h"
#include "update/UpdateManager.h"
#include "update/UpdateWindow.h"

#include <chrono>
#include <fmt/xchar.h>
#include <shlwapi.h>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <string_view>

namespace
{
constexpr char kPathTooLong[] = "Application path too long. Please shorten the path name.";
constexpr auto kReporterInterval = std::chrono::milliseconds(250);

SYSTEMTIME MinutesToSystemTime(int64_t minutes)
{
    const uint64_t ticks = static_cast<uint64_t>(minutes * kTicksPerMinute);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME out{};
    FileTimeToSystemTime(&time, &out);
    return out;
}

bool SameMinute(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute;
}

// One trace line per check: which test decided, the compared minute and the published one.
void LogTimeTest(std::string_view test, std::string_view clock, const std::string& name,
                 const SYSTEMTIME& t, const SYSTEMTIME& p, std::string_view verdict)
{
    spdlog::trace("{} {:50} [{}:{:04d}/{:02d}/{:02d}/{:02d}:{:02d}], "
                  "[PATCH FILE:{:04d}/{:02d}/{:02d}/{:02d}:{:02d}] <-> {}",
                  test, name, clock, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, p.wYear,
                  p.wMonth, p.wDay, p.wHour, p.wMinute, verdict);
}

HANDLE OpenForSharedReading(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs `check(i)` for i in [0, count) on the system thread pool with the calling
// thread taking part; stops handing out indexes once one check has thrown.
template <typename Check> class PoolLoop
{
  public:
    PoolLoop(size_t count, Check& check) : count_(count), check_(check) {}

    void Run()
    {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        if (system.dwNumberOfProcessors <= 1 || count_ < 2)
        {
            Work();
        }
        else
        {
            PTP_WORK work = CreateThreadpoolWork(&PoolLoop::Callback, this, nullptr);
            if (!work)
                throw std::runtime_error("could not create the scan's thread-pool work");
            const DWORD helpers = system.dwNumberOfProcessors;
            for (DWORD i = 0; i < helpers; ++i)
                SubmitThreadpoolWork(work);
            Work();
            WaitForThreadpoolWorkCallbacks(work, FALSE);
            CloseThreadpoolWork(work);
        }
        if (failure_)
            std::rethrow_exception(failure_);
    }

  private:
    static void CALLBACK Callback(PTP_CALLBACK_INSTANCE, void* self, PTP_WORK)
    {
        static_cast<PoolLoop*>(self)->Work();
    }

    void Work()
    {
        for (size_t i = next_++; i < count_ && !failed_; i = next_++)
        {
            try
            {
                check_(i);
            }
            catch (...)
            {
                std::lock_guard lock(failureMutex_);
                if (!failure_)
                    failure_ = std::current_exception();
                failed_ = true;
            }
        }
    }

    size_t count_;
    Check& check_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};
} // namespace

TimeTestResult CompareWithPublishedTime(int64_t localMinutes, const SYSTEMTIME& published,
                                        DWORD timeZoneId, const TIME_ZONE_INFORMATION& zone)
{
    const int64_t daylight = timeZoneId == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0;
    const SYSTEMTIME utcPlus9 =
        MinutesToSystemTime(localMinutes + zone.Bias + daylight + kPatchTimeZoneOffsetMinutes);
    if (SameMinute(utcPlus9, published))
        return {TimeMatch::SameUtcPlus9, utcPlus9};
    const SYSTEMTIME minus = MinutesToSystemTime(localMinutes + zone.DaylightBias);
    if (SameMinute(minus, published))
        return {TimeMatch::MinusDaylight, minus};
    const SYSTEMTIME plus = MinutesToSystemTime(localMinutes - zone.DaylightBias);
    if (SameMinute(plus, published))
        return {TimeMatch::PlusDaylight, plus};
    return {TimeMatch::None, utcPlus9};
}

void UpdateManager::MakeLocalFileList()
{
    ScanContext context;
    context.manager = this;
    scanRunning = true;
    std::thread reporter(&UpdateManager::ScanProgressReporter, this, &context.scannedCount);
    // The reporter reads the context's counter: it must end before the context does.
    struct StopReporter
    {
        UpdateManager& manager;
        std::thread& thread;
        ~StopReporter()
        {
            {
                std::lock_guard lock(manager.scanWakeMutex);
                manager.scanRunning = false;
            }
            manager.scanWake.notify_all();
            thread.join();
        }
    } stopReporter{*this, reporter};

    context.timeZoneId = GetTimeZoneInformation(&context.timeZone);
    if (context.timeZoneId == TIME_ZONE_ID_INVALID)
        throw std::runtime_error("tz error");

    // Two entries for one file on disk would have two workers write it at once.
    const std::vector<bool> shadowed = EntriesShadowedByLaterOnes(remoteFiles);
    auto check = [&](size_t index)
    {
        if (shadowed[index])
            ++context.scannedCount;
        else
            CheckLocalFile(context, remoteFiles[index]);
    };
    PoolLoop<decltype(check)>(remoteFiles.size(), check).Run();
    spdlog::default_logger()->flush();
}

void UpdateManager::CheckLocalFile(ScanContext& context, const FileEntry& entry)
{
    std::wstring path = localDir.substr(0, MAX_PATH - 1);
    const std::wstring name = ToWide(entry.name);
    if (name.size() + path.size() + 1 >= MAX_PATH)
    {
        spdlog::error("AppendPath failed because the size was greater than the max path size");
        throw std::runtime_error(kPathTooLong);
    }
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, path.size());
    if (!PathAppendW(buffer, name.c_str()))
        throw std::runtime_error(kPathTooLong);
    ++context.scannedCount;

    const UniqueHandle file(OpenForSharedReading(buffer));
    if (file)
    {
        const FILETIME publishedTime{static_cast<DWORD>(entry.time),
                                     static_cast<DWORD>(entry.time >> 32)};
        SYSTEMTIME published{};
        FileTimeToSystemTime(&publishedTime, &published);

        FILETIME lastWrite{};
        if (!GetFileTime(file.Get(), nullptr, nullptr, &lastWrite))
        {
            spdlog::trace("could not get file time, hFile={:x}",
                          reinterpret_cast<uintptr_t>(file.Get()));
        }
        else
        {
            FILETIME local{};
            FileTimeToLocalFileTime(&lastWrite, &local);
            const uint64_t localTicks =
                (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
            const auto result =
                CompareWithPublishedTime(static_cast<int64_t>(localTicks / kTicksPerMinute),
                                         published, context.timeZoneId, context.timeZone);
            switch (result.match)
            {
            case TimeMatch::SameUtcPlus9:
                LogTimeTest("[+GMT DIFF]", "GMT", entry.name, result.tested, published,
                            "Same Time");
                return;
            case TimeMatch::MinusDaylight:
                LogTimeTest("[-DayLight Bias Check]", "Local", entry.name, result.tested, published,
                            "Same Time");
                return;
            case TimeMatch::PlusDaylight:
                LogTimeTest("[+DayLight Bias Check]", "Local", entry.name, result.tested, published,
                            "Same Time");
                return;
            case TimeMatch::None:
                LogTimeTest("[DIFF]", "GMT", entry.name, result.tested, published,
                            "Different Time");
                break;
            }
        }
    }
    std::lock_guard lock(queueMutex);
    downloadQueue.push_back(entry);
}

void UpdateManager::ScanProgressReporter(const std::atomic<int32_t>* counter)
{
    while (scanRunning)
    {
        const size_t total = remoteFiles.size();
        if (total == 0)
            return;
        const int32_t scanned = counter->load();
        SetStatus(fmt::format(fmt::runtime(LocalizedText("making_filelist")), scanned, total));
        {
            std::lock_guard lock(statusMutex);
            lowerProgress = static_cast<double>(scanned) / static_cast<double>(total);
        }
        window->Invalidate(0);
        std::unique_lock lock(scanWakeMutex);
        scanWake.wait_for(lock, kReporterInterval, [this] { return !scanRunning; });
    }
}
