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

// Deletes every file the journal names that still exists, then the journal.
// Only relative paths that stay inside the game folder and carry the suffix
// are touched, whatever the journal holds. Returns how many were deleted.
int RemoveLeftoverPartFiles();
