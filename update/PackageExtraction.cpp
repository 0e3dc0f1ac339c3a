#include "update/PackageExtraction.h"

#include "base/TextEncoding.h"
#include "base/UniqueHandle.h"
#include "settings/Localization.h"
#include "update/FileZipSource.h"
#include "update/PackageBuffer.h"
#include "update/PartFiles.h"
#include "update/UpdateManager.h"
#include "update/formats/ZipPackage.h"

#include <filesystem>
#include <fmt/xchar.h>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <system_error>

namespace
{
constexpr int kWriteAttempts = 3;
constexpr DWORD kAttemptPauseMs = 500;
constexpr int64_t kTicksPerMinute = 600000000;
constexpr int64_t kUtcPlus9Ticks = 324000000000; // 540 minutes
// Content up to this size is inflated whole in one go; larger content is
// inflated piece by piece, once to check it and once into the new file, so a
// worker never holds a large file whole.
constexpr uint64_t kWholeContentBytes = 4 << 20;

UniqueHandle OpenForWriting(const std::wstring& path, DWORD disposition)
{
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Windows gives a new file under a recently replaced name the old one's
// creation time (file-name tunnelling); the list's time is set again.
void RestampCreationTime(const std::wstring& path, const FILETIME& stamp)
{
    const UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !SetFileTime(file.Get(), &stamp, nullptr, &stamp))
        spdlog::warn("Unzip - could not stamp {} again after replacing it (error {})", ToUtf8(path),
                     GetLastError());
}

// Deletes the part file on every way out unless it became the target.
class PartFileGuard
{
  public:
    explicit PartFileGuard(std::wstring path) : path_(std::move(path)) {}
    ~PartFileGuard()
    {
        if (!kept_ && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            NotePartFileLeft();
    }
    PartFileGuard(const PartFileGuard&) = delete;
    PartFileGuard& operator=(const PartFileGuard&) = delete;

    void Keep() { kept_ = true; }

  private:
    std::wstring path_;
    bool kept_ = false;
};

FILETIME ToFileTime(int64_t value)
{
    const uint64_t bits = static_cast<uint64_t>(value);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

// ERROR_SUCCESS, or the code the write failed with.
DWORD WritePiece(HANDLE file, std::string_view piece)
{
    const DWORD wanted = static_cast<DWORD>(piece.size());
    DWORD written = 0;
    if (!WriteFile(file, piece.data(), wanted, &written, nullptr))
    {
        const DWORD code = GetLastError();
        spdlog::error("Unzip - WriteFile failed with error {}", code);
        return code == ERROR_SUCCESS ? ERROR_WRITE_FAULT : code;
    }
    if (written != wanted)
    {
        const DWORD code = GetLastError();
        spdlog::error("Unzip - WriteFile failed because dwBytesWritten ({}) != dwBytesToWrite ({}) "
                      "with error {}",
                      written, wanted, code);
        // A short write without a reason is the disk running out.
        return code == ERROR_SUCCESS ? ERROR_DISK_FULL : code;
    }
    return ERROR_SUCCESS;
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
    const std::string_view bytes = packageBytes;
    return ExtractFrom([bytes] { return std::make_unique<ZipArchive>(bytes); }, true, bytes.size(),
                       targetPath, fileTime);
}

bool UpdateManager::ExtractPackage(const PackageBuffer& package, const std::wstring& targetPath,
                                   const int64_t* fileTime)
{
    if (!package.InFile())
        return ExtractFrom([bytes = package.Bytes()]
                           { return std::make_unique<ZipArchive>(bytes); },
                           true, package.Size(), targetPath, fileTime);
    const std::wstring& path = package.SpillPath();
    const uint64_t size = package.Size();
    return ExtractFrom(
        [&path, size]
        {
            zlib_filefunc64_def functions = Win32ReadFunctions();
            return std::make_unique<ZipArchive>(&functions, path.c_str(), size);
        },
        false, size, targetPath, fileTime);
}

void UpdateManager::StopPassWith(const char* textKey, const std::wstring& targetPath)
{
    stopRequested = true;
    updateFailed = true;
    ReportError(fmt::format(fmt::runtime(LocalizedText(textKey)), targetPath));
}

bool UpdateManager::ExtractFrom(const ArchiveOpener& open, bool inMemory, uint64_t packageSize,
                                const std::wstring& targetPath, const int64_t* fileTime)
{
    // A damaged package fails here, before any attempt, whichever way it is read.
    std::optional<InflatedEntry> whole;
    try
    {
        const std::unique_ptr<ZipArchive> archive = open();
        const uint64_t size = PackageDataSize(*archive);
        if (inMemory && size <= kWholeContentBytes)
        {
            try
            {
                whole = ReadPackageData(*archive);
            }
            catch (const std::bad_alloc&)
            {
                // Pieces need far less memory than the whole.
            }
        }
        if (!whole)
            StreamPackageData(*archive, [](std::string_view) { return true; });
    }
    catch (const EntryTooLarge& error)
    {
        // Every attempt would be refused the same way: say so once and stop.
        spdlog::error("Unzip - {} for {}", error.what(), ToUtf8(targetPath));
        StopPassWith("file_too_large", targetPath);
        return false;
    }
    spdlog::trace("Unzip - extracting data to {}", ToUtf8(targetPath));

    const ContentWriter content = [&](HANDLE file) -> DWORD
    {
        if (whole)
            return WritePiece(file, whole->View());
        DWORD code = ERROR_SUCCESS;
        StreamPackageData(*open(),
                          [&](std::string_view piece)
                          {
                              code = WritePiece(file, piece);
                              return code == ERROR_SUCCESS;
                          });
        return code;
    };

    bool anyAttemptFailed = false;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt)
    {
        if (stopRequested)
            break;
        bool waited = false;
        const WriteOutcome outcome = WriteAttempt(content, targetPath, fileTime, attempt, waited);
        if (outcome == WriteOutcome::Written)
            return true;
        anyAttemptFailed = true;
        if (outcome == WriteOutcome::DiskFull)
            break;
        if (!waited)
            Sleep(kAttemptPauseMs);
    }
    // Reached without any attempt only when a stop came first: the update is ending anyway.
    if (anyAttemptFailed)
        spdlog::error("Unzip - Failed to unzip file (size {}) to {}", packageSize,
                      ToUtf8(targetPath));
    return false;
}

UpdateManager::WriteOutcome UpdateManager::WriteAttempt(const ContentWriter& content,
                                                        const std::wstring& targetPath,
                                                        const int64_t* fileTime, int attempt,
                                                        bool& waited)
{
    if (!CreateParentFolders(targetPath))
        return WriteOutcome::Failed;

    // The target is opened only to learn whether another process holds it;
    // its bytes stay as they are until the new file replaces it whole.
    const auto targetBusy = [&](DWORD code)
    {
        spdlog::error("Unzip - CreateFile failed with error {}", code);
        if (code == ERROR_SHARING_VIOLATION && !lockersTerminated)
            waited = ResolveLockedFile(targetPath, attempt);
    };
    bool replacing = true;
    if (const UniqueHandle probe = OpenForWriting(targetPath, OPEN_EXISTING); !probe)
    {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND)
        {
            targetBusy(code);
            return WriteOutcome::Failed;
        }
        replacing = false;
    }

    const std::wstring partPath = PartPathFor(targetPath);
    NotePartFile(partPath);
    PartFileGuard partGuard(partPath);
    UniqueHandle part = OpenForWriting(partPath, CREATE_ALWAYS);
    if (!part)
    {
        spdlog::error("Unzip - CreateFile failed with error {}", GetLastError());
        return WriteOutcome::Failed;
    }
    if (const DWORD code = content(part.Get()); code != ERROR_SUCCESS)
    {
        if (!IsDiskFull(code))
            return WriteOutcome::Failed;
        part.Reset();
        DeleteFileW(partPath.c_str());
        StopPassWith("disk_full", targetPath);
        return WriteOutcome::DiskFull;
    }

    TIME_ZONE_INFORMATION zone{};
    const DWORD zoneId = GetTimeZoneInformation(&zone);
    if (zoneId == TIME_ZONE_ID_INVALID)
        throw std::runtime_error("tz error");
    const std::optional<int64_t> local = LocalStampFor(*fileTime, zoneId, zone);
    const std::optional<FILETIME> stamp = local ? DiskStampFor(*local) : std::nullopt;
    if (!stamp)
        spdlog::warn("Unzip - no valid file time for {}, keeping the time of the write",
                     ToUtf8(targetPath));
    else if (!SetFileTime(part.Get(), &*stamp, nullptr, &*stamp))
    {
        spdlog::error("Unzip - SetFileTime failed with error {}", GetLastError());
        return WriteOutcome::Failed;
    }
    // On the disk before the name points at it: a power cut keeps the old file or the new one.
    FlushFileBuffers(part.Get());
    part.Reset();

    if (!MoveFileExW(partPath.c_str(), targetPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        const DWORD code = GetLastError();
        spdlog::error("Unzip - MoveFileEx failed with error {}", code);
        // Taken by another process since the look above: the same resolution.
        if (const UniqueHandle probe = OpenForWriting(targetPath, OPEN_EXISTING); !probe)
        {
            const DWORD probeCode = GetLastError();
            if (probeCode == ERROR_SHARING_VIOLATION)
                targetBusy(probeCode);
        }
        return WriteOutcome::Failed;
    }
    partGuard.Keep();
    if (stamp && replacing)
        RestampCreationTime(targetPath, *stamp);
    return WriteOutcome::Written;
}
