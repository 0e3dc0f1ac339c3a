#include "update/PartFiles.h"

#include "base/TextEncoding.h"
#include "base/UniqueHandle.h"
#include "update/formats/SafePath.h"

#include <windows.h>

#include <fstream>
#include <mutex>
#include <spdlog/spdlog.h>

namespace
{
std::mutex journalMutex;
// Under journalMutex: the pass's open journal, and whether a part file stayed.
UniqueHandle passJournal;
bool partFileLeft = false;

bool EndsWithSuffix(const std::wstring& path)
{
    const std::wstring suffix = kPartFileSuffix;
    return path.size() > suffix.size() &&
           path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Appends land whole at the end even with several workers; a kill keeps
// what WriteFile handed to the system.
UniqueHandle OpenJournal()
{
    UniqueHandle journal(CreateFileW(kPartFileJournal, FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!journal)
        spdlog::warn("Could not open {} (error {})", ToUtf8(kPartFileJournal), GetLastError());
    return journal;
}

int RemoveNamedPartFiles()
{
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
} // namespace

std::wstring PartPathFor(const std::wstring& target)
{
    return target + kPartFileSuffix;
}

void NotePartFile(const std::wstring& partPath)
{
    const std::string line = ToUtf8(partPath) + "\n";
    std::lock_guard lock(journalMutex);
    // Outside a pass (a single file written on its own) the journal is opened for this one line.
    UniqueHandle once;
    if (!passJournal)
        once = OpenJournal();
    const UniqueHandle& journal = passJournal ? passJournal : once;
    DWORD written = 0;
    if (!journal ||
        !WriteFile(journal.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        spdlog::warn("Could not note {} in {} (error {})", ToUtf8(partPath),
                     ToUtf8(kPartFileJournal), GetLastError());
}

void NotePartFileLeft()
{
    std::lock_guard lock(journalMutex);
    partFileLeft = true;
}

int RemoveLeftoverPartFiles()
{
    std::lock_guard lock(journalMutex);
    return RemoveNamedPartFiles();
}

PartJournalPass::PartJournalPass()
{
    std::lock_guard lock(journalMutex);
    passJournal = OpenJournal();
    partFileLeft = false;
}

PartJournalPass::~PartJournalPass()
{
    std::lock_guard lock(journalMutex);
    passJournal.Reset();
    if (partFileLeft)
        RemoveNamedPartFiles();
    else
        DeleteFileW(kPartFileJournal);
    partFileLeft = false;
}
