// Who holds a file open, asked of the Restart Manager, and ending such a process.
// Called on download worker threads; every failure is logged and reads as
// "nobody holds the file". The prompts live in UpdateManager::ResolveLockedFile.
#pragma once

#include <windows.h>

#include <functional>
#include <restartmanager.h>
#include <string>
#include <vector>

struct FileLocker
{
    DWORD processId = 0;
    std::wstring appName;
    // File name of the process image; empty when it could not be read.
    std::wstring exeName;
    bool isService = false;
};

// The game client's image name in lower case.
inline constexpr wchar_t kGameClientImageName[] = L"galdervin.bin";

// Restart Manager's order; empty when nobody holds the file or the query failed.
// `path` must be a full path: Restart Manager matches registered names against
// the full names of open files.
std::vector<FileLocker> GetFileLockers(const std::wstring& path);

// Does not wait for the process to end.
bool TerminateProcessById(DWORD processId);

struct LockerGroups
{
    std::vector<FileLocker> games;
    std::vector<FileLocker> services;
    std::vector<FileLocker> others;
};

// Games by image name (A-Z folded only), then services, then the rest; list order kept.
LockerGroups SortLockers(const std::vector<FileLocker>& lockers);

// The text after the last backslash or forward slash; the whole path when it has neither.
std::wstring ImageFileName(const std::wstring& imagePath);

// RmGetList's signature, after the file the session registered. Wine's Restart
// Manager names no process at all, so tests put a listing of their own in its
// place; an empty function restores the real call.
using RestartManagerListFunction =
    std::function<DWORD(const std::wstring& registeredFile, DWORD session, UINT* needed,
                        UINT* count, RM_PROCESS_INFO* records, DWORD* rebootReasons)>;
void SetRestartManagerListForTesting(RestartManagerListFunction list);
