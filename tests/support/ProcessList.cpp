#include "support/ProcessList.h"

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <tlhelp32.h>

namespace
{
struct ProcessEntry
{
    DWORD id;
    DWORD parent;
};

std::vector<ProcessEntry> Snapshot()
{
    std::vector<ProcessEntry> entries;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return entries;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    CloseHandle(snapshot);
    return entries;
}

std::optional<std::filesystem::path> ImageOf(DWORD process)
{
    const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle)
        return std::nullopt;
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const bool found = QueryFullProcessImageNameW(handle, 0, buffer, &size) != 0;
    CloseHandle(handle);
    if (!found)
        return std::nullopt;
    return std::filesystem::path(buffer);
}

std::wstring Folded(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    return Folded(a.lexically_normal().wstring()) == Folded(b.lexically_normal().wstring());
}

bool InFolder(const std::filesystem::path& file, const std::filesystem::path& folder)
{
    return SameFile(file.parent_path(), folder);
}
} // namespace

std::vector<DWORD> ProcessesRunningFrom(const std::filesystem::path& image)
{
    std::vector<DWORD> found;
    for (const ProcessEntry& entry : Snapshot())
    {
        const auto running = ImageOf(entry.id);
        if (running && SameFile(*running, image))
            found.push_back(entry.id);
    }
    return found;
}

std::vector<DWORD> ChildrenRunningFrom(DWORD parent, const std::filesystem::path& image)
{
    std::vector<DWORD> found;
    for (const ProcessEntry& entry : Snapshot())
    {
        if (entry.parent != parent)
            continue;
        const auto running = ImageOf(entry.id);
        if (running && SameFile(*running, image))
            found.push_back(entry.id);
    }
    return found;
}

int EndProcessesIn(const std::filesystem::path& folder)
{
    int ended = 0;
    for (const ProcessEntry& entry : Snapshot())
    {
        const auto running = ImageOf(entry.id);
        if (!running || !InFolder(*running, folder))
            continue;
        const HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.id);
        if (!handle)
            continue;
        if (TerminateProcess(handle, 99))
        {
            WaitForSingleObject(handle, 5000);
            ++ended;
        }
        CloseHandle(handle);
    }
    return ended;
}
