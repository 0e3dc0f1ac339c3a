#include "update/PackageExtraction.h"

#include "app/TextEncoding.h"
#include "app/UniqueHandle.h"
#include "update/UpdateManager.h"
#include "update/formats/ZipPackage.h"

#include <filesystem>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <system_error>

namespace
{
constexpr int kWriteAttempts = 3;
constexpr DWORD kAttemptPauseMs = 500;
constexpr int64_t kTicksPerMinute = 600000000;
constexpr int64_t kUtcPlus9Ticks = 324000000000; // 540 minutes

// The target of one attempt, made anew (any old content is gone).
UniqueHandle OpenTarget(const std::wstring& path)
{
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

FILETIME ToFileTime(int64_t value)
{
    const uint64_t bits = static_cast<uint64_t>(value);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

bool WriteWhole(HANDLE file, const InflatedEntry& data)
{
    const DWORD wanted = static_cast<DWORD>(data.size);
    DWORD written = 0;
    if (!WriteFile(file, data.data.get(), wanted, &written, nullptr))
    {
        spdlog::error("Unzip - WriteFile failed with error {}", GetLastError());
        return false;
    }
    if (written != wanted)
    {
        spdlog::error("Unzip - WriteFile failed because dwBytesWritten ({}) != dwBytesToWrite ({}) "
                      "with error {}",
                      written, wanted, GetLastError());
        return false;
    }
    return true;
}

bool CreateParentFolders(const std::wstring& targetPath)
{
    const std::filesystem::path parent = std::filesystem::path(targetPath).parent_path();
    if (parent.empty())
        return true;
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error)
    {
        spdlog::error("Unzip - Failed to create directory {} because {}", ToUtf8(parent.wstring()),
                      error.message());
        return false;
    }
    return true;
}
} // namespace

std::optional<int64_t> LocalStampFor(int64_t listTime, DWORD timeZoneId,
                                     const TIME_ZONE_INFORMATION& zone)
{
    const int64_t minutes = listTime / kTicksPerMinute;
    const int64_t daylight = timeZoneId == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0;
    const int64_t local = (minutes - zone.Bias - daylight) * kTicksPerMinute - kUtcPlus9Ticks;
    if (local < 0)
        return std::nullopt;
    return local;
}

std::optional<FILETIME> DiskStampFor(int64_t local)
{
    const FILETIME localTime = ToFileTime(local);
    FILETIME stamp{};
    LocalFileTimeToFileTime(&localTime, &stamp);
    if (stamp.dwHighDateTime & 0x80000000u)
        return std::nullopt;
    return stamp;
}

bool UpdateManager::ExtractPackage(const std::string& packageBytes, const std::wstring& targetPath,
                                   const int64_t* fileTime)
{
    const InflatedEntry data = ReadPackageData(packageBytes);
    spdlog::trace("Unzip - extracting data to {}", ToUtf8(targetPath));

    bool anyAttemptFailed = false;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt)
    {
        if (stopRequested)
            break;
        bool waited = false;
        {
            if (!CreateParentFolders(targetPath))
            {
                anyAttemptFailed = true;
                Sleep(kAttemptPauseMs);
                continue;
            }
            const UniqueHandle file = OpenTarget(targetPath);
            if (!file)
            {
                const DWORD code = GetLastError();
                spdlog::error("Unzip - CreateFile failed with error {}", code);
                if (code == ERROR_SHARING_VIOLATION && !lockersTerminated)
                    waited = ResolveLockedFile(targetPath, attempt);
            }
            else if (WriteWhole(file.Get(), data))
            {
                TIME_ZONE_INFORMATION zone{};
                const DWORD zoneId = GetTimeZoneInformation(&zone);
                if (zoneId == TIME_ZONE_ID_INVALID)
                    throw std::runtime_error("tz error");
                const std::optional<int64_t> local = LocalStampFor(*fileTime, zoneId, zone);
                const std::optional<FILETIME> stamp = local ? DiskStampFor(*local) : std::nullopt;
                if (!stamp)
                {
                    spdlog::warn("Unzip - no valid file time for {}, keeping the time of the write",
                                 ToUtf8(targetPath));
                    return true;
                }
                if (SetFileTime(file.Get(), &*stamp, nullptr, &*stamp))
                    return true;
                spdlog::error("Unzip - SetFileTime failed with error {}", GetLastError());
            }
        }
        anyAttemptFailed = true;
        if (!waited)
            Sleep(kAttemptPauseMs);
    }
    // Reached without any attempt only when a stop came first: the update is ending anyway.
    if (anyAttemptFailed)
        spdlog::error("Unzip - Failed to unzip file (size {}) to {}", packageBytes.size(),
                      ToUtf8(targetPath));
    return false;
}
