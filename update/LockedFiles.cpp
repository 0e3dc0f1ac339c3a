#include "update/LockedFiles.h"

#include "base/AsciiLower.h"
#include "base/UniqueHandle.h"
#include "settings/Localization.h"
#include "update/UpdateManager.h"

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fmt/xchar.h>
#include <mutex>
#include <spdlog/spdlog.h>

namespace
{
constexpr wchar_t kMessageBoxTitle[] = L"Norvik Launcher";
// Time for a terminated process to let go of its handles before the next attempt.
constexpr DWORD kAfterTerminatePauseMs = 500;

std::mutex listOverrideMutex;
RestartManagerListFunction listOverride;

DWORD ListAffectedProcesses(const std::wstring& file, DWORD session, UINT* needed, UINT* count,
                            RM_PROCESS_INFO* records, DWORD* rebootReasons)
{
    RestartManagerListFunction list;
    {
        std::lock_guard lock(listOverrideMutex);
        list = listOverride;
    }
    if (list)
        return list(file, session, needed, count, records, rebootReasons);
    return RmGetList(session, needed, count, records, rebootReasons);
}

// One Restart Manager session, ended on every way out.
class RestartManagerSession
{
  public:
    RestartManagerSession()
    {
        wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
        error_ = RmStartSession(&handle_, 0, key);
    }
    ~RestartManagerSession()
    {
        if (error_ == ERROR_SUCCESS)
            RmEndSession(handle_);
    }
    RestartManagerSession(const RestartManagerSession&) = delete;
    RestartManagerSession& operator=(const RestartManagerSession&) = delete;

    DWORD StartError() const { return error_; }
    DWORD Handle() const { return handle_; }

  private:
    DWORD handle_ = 0;
    DWORD error_ = ERROR_SUCCESS;
};

// Empty when the process cannot be opened or its image path not read.
std::wstring ProcessImageFileName(DWORD processId)
{
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return {};
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    const BOOL read = QueryFullProcessImageNameW(process.Get(), 0, path, &length);
    return read ? ImageFileName(std::wstring(path, length)) : std::wstring();
}

FileLocker DescribeLocker(const RM_PROCESS_INFO& record)
{
    FileLocker locker;
    locker.processId = record.Process.dwProcessId;
    locker.appName.assign(record.strAppName,
                          wcsnlen(record.strAppName, std::size(record.strAppName)));
    locker.isService = record.ApplicationType == RmService;
    locker.exeName = ProcessImageFileName(locker.processId);
    return locker;
}

bool IsGameClientImage(const std::wstring& exeName)
{
    return AsciiLower(exeName) == kGameClientImageName;
}

int ShowLockBox(const std::wstring& text, UINT style)
{
    // No owner: the launcher window's thread keeps running while the box is open.
    return MessageBoxW(nullptr, text.c_str(), kMessageBoxTitle, style);
}

std::wstring GamePrompt(const std::wstring& fileName, const std::vector<FileLocker>& games)
{
    const std::wstring& language = CurrentLanguage();
    if (games.size() == 1)
        return fmt::format(fmt::runtime(LookupText(language, "file_locked_by_game")), fileName,
                           games.front().appName, games.front().processId);
    std::wstring ids;
    for (const FileLocker& game : games)
    {
        if (!ids.empty())
            ids += L", ";
        ids += std::to_wstring(game.processId);
    }
    return fmt::format(fmt::runtime(LookupText(language, "file_locked_by_game_plural")), fileName,
                       games.size(), ids);
}
} // namespace

std::wstring ImageFileName(const std::wstring& imagePath)
{
    const size_t slash = imagePath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? imagePath : imagePath.substr(slash + 1);
}

void SetRestartManagerListForTesting(RestartManagerListFunction list)
{
    std::lock_guard lock(listOverrideMutex);
    listOverride = std::move(list);
}

std::vector<FileLocker> GetFileLockers(const std::wstring& path)
{
    RestartManagerSession session;
    if (session.StartError() != ERROR_SUCCESS)
    {
        spdlog::error("RmStartSession failed with error {}", session.StartError());
        return {};
    }
    LPCWSTR files[] = {path.c_str()};
    const DWORD registered =
        RmRegisterResources(session.Handle(), 1, files, 0, nullptr, 0, nullptr);
    if (registered != ERROR_SUCCESS)
    {
        spdlog::error("RmRegisterResources failed with error {}", registered);
        return {};
    }

    UINT needed = 0;
    UINT count = 0;
    DWORD reasons = 0;
    const DWORD probe =
        ListAffectedProcesses(path, session.Handle(), &needed, &count, nullptr, &reasons);
    if (probe != ERROR_MORE_DATA || needed == 0)
        return {};

    std::vector<RM_PROCESS_INFO> records(needed);
    count = needed;
    const DWORD listed =
        ListAffectedProcesses(path, session.Handle(), &needed, &count, records.data(), &reasons);
    if (listed != ERROR_SUCCESS)
    {
        spdlog::error("RmGetList failed with error {}", listed);
        return {};
    }

    std::vector<FileLocker> lockers;
    const size_t filled = std::min<size_t>(count, records.size());
    for (size_t index = 0; index < filled; ++index)
        lockers.push_back(DescribeLocker(records[index]));
    return lockers;
}

bool TerminateProcessById(DWORD processId)
{
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process)
    {
        spdlog::error("OpenProcess failed for PID {} with error {}", processId, GetLastError());
        return false;
    }
    const bool terminated = TerminateProcess(process.Get(), 1) != FALSE;
    if (!terminated)
        spdlog::error("TerminateProcess failed for PID {} with error {}", processId,
                      GetLastError());
    return terminated;
}

LockerGroups SortLockers(const std::vector<FileLocker>& lockers)
{
    LockerGroups groups;
    for (const FileLocker& locker : lockers)
    {
        if (IsGameClientImage(locker.exeName))
            groups.games.push_back(locker);
        else if (locker.isService)
            groups.services.push_back(locker);
        else
            groups.others.push_back(locker);
    }
    return groups;
}

bool UpdateManager::ResolveLockedFile(const std::wstring& targetPath, int attempt)
{
    // Held while the boxes are open too: one query and one prompt at a time.
    std::lock_guard lock(lockPromptMutex);
    if (lockersTerminated || stopRequested)
        return false;

    // The extraction names the file relative to the game folder.
    const std::wstring fullPath =
        (std::filesystem::path(localDir) / targetPath).make_preferred().wstring();
    const LockerGroups groups = SortLockers(GetFileLockers(fullPath));
    const std::wstring fileName = std::filesystem::path(targetPath).filename().wstring();
    // One box of each kind per file and pass: the worker extracts a file up
    // to three times, each time from attempt 0.
    const auto firstBox = [&](const wchar_t* kind)
    { return attempt == 0 && lockBoxesShown.insert(fullPath + L"|" + kind).second; };
    const std::wstring& language = CurrentLanguage();

    if (!groups.games.empty())
    {
        if (ShowLockBox(GamePrompt(fileName, groups.games), MB_YESNO | MB_ICONWARNING) != IDYES)
        {
            updateFailed = true;
            stopRequested = true;
            return false;
        }
        for (const FileLocker& game : groups.games)
            TerminateProcessById(game.processId);
        lockersTerminated = true;
        Sleep(kAfterTerminatePauseMs);
        return true;
    }

    if (!groups.services.empty() && firstBox(L"service"))
    {
        const FileLocker& service = groups.services.front();
        ShowLockBox(fmt::format(fmt::runtime(LookupText(language, "file_locked_by_service")),
                                fileName, service.appName),
                    MB_ICONINFORMATION);
    }
    if (!groups.others.empty())
    {
        if (firstBox(L"other"))
        {
            const FileLocker& other = groups.others.front();
            ShowLockBox(fmt::format(fmt::runtime(LookupText(language, "file_locked_by_other")),
                                    fileName, other.appName, other.processId),
                        MB_ICONWARNING);
        }
        updateFailed = true;
        stopRequested = true;
    }
    return false;
}
