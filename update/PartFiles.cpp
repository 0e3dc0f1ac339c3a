#include "update/PartFiles.h"

#include "app/TextEncoding.h"
#include "update/formats/SafePath.h"

#include <windows.h>

#include <fstream>
#include <mutex>
#include <spdlog/spdlog.h>
#include <sstream>

namespace
{
std::mutex journalMutex;

bool EndsWithSuffix(const std::wstring& path)
{
    const std::wstring suffix = kPartFileSuffix;
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}
} // namespace

std::wstring PartPathFor(const std::wstring& target)
{
    return target + kPartFileSuffix;
}

void NotePartFile(const std::wstring& partPath)
{
    const std::string line = ToUtf8(partPath) + "\n";
    std::lock_guard lock(journalMutex);
    // Appends land whole at the end even with several workers; a kill keeps
    // what WriteFile handed to the system.
    HANDLE journal = CreateFileW(kPartFileJournal, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (journal == INVALID_HANDLE_VALUE)
    {
        spdlog::warn("Could not note {} in {} (error {})", ToUtf8(partPath),
                     ToUtf8(kPartFileJournal), GetLastError());
        return;
    }
    DWORD written = 0;
    WriteFile(journal, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(journal);
}

int RemoveLeftoverPartFiles()
{
    std::lock_guard lock(journalMutex);
    std::ifstream journal(kPartFileJournal, std::ios::binary);
    if (!journal)
        return 0;
    int removed = 0;
    std::string line;
    while (std::getline(journal, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::wstring path = ToWide(line);
        if (!IsSafeListName(line) || !EndsWithSuffix(path))
        {
            spdlog::warn("Ignoring {} in {}", line, ToUtf8(kPartFileJournal));
            continue;
        }
        if (DeleteFileW(path.c_str()))
        {
            spdlog::info("Removed the unfinished file {}", line);
            ++removed;
        }
    }
    journal.close();
    DeleteFileW(kPartFileJournal);
    return removed;
}
