// The temporary files a new game file is written to before it replaces the
// old one, so that a killed launcher, a full disk or a power cut never leaves
// a file half old and half new. Each is named after its target (".nrkpart"
// appended) in the target's folder, and noted in "update.nrkpart" in the game
// folder before it is made, so the next pass can remove what a killed run
// left behind without searching the whole game folder.
#pragma once

#include <string>

inline constexpr wchar_t kPartFileSuffix[] = L".nrkpart";
inline constexpr wchar_t kPartFileJournal[] = L"update.nrkpart";

// `target` with the suffix appended.
std::wstring PartPathFor(const std::wstring& target);

// Appends `partPath` (relative to the game folder) to the journal; any thread.
void NotePartFile(const std::wstring& partPath);

// A part file that could not be deleted on its way out; the end of the pass
// then looks through the journal instead of only deleting it.
void NotePartFileLeft();

// Deletes every file the journal names that still exists, then the journal.
// Only relative paths that stay inside the game folder and carry the suffix
// are touched, whatever the journal holds. Returns how many were deleted.
int RemoveLeftoverPartFiles();

// Holds the journal open while a pass's workers run, so each part file costs
// one write instead of an open, a write and a close. On destruction the
// journal goes; what it names goes first only when a part file was left.
class PartJournalPass
{
  public:
    PartJournalPass();
    ~PartJournalPass();
    PartJournalPass(const PartJournalPass&) = delete;
    PartJournalPass& operator=(const PartJournalPass&) = delete;
};
