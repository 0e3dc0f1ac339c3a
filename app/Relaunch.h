// The launcher never runs from its own ".exe": started from it, it copies
// itself to a ".dmy" beside it, starts the copy and ends, so an update can
// replace the ".exe" while the launcher runs. Window thread, before logging.
#pragma once

#include <filesystem>
#include <string>

// Returns only when this process should go on starting: it is the copy, runs
// under another name or under a debugger. Otherwise ends the process: with 0
// once the copy runs, with 1 after a message box when copying or starting fails.
void RelaunchAsCopy();

// Only an exact, case-sensitive ".exe" extension asks for the copy.
bool RunsFromExeFile(const std::filesystem::path& image);
std::filesystem::path CopyPathFor(const std::filesystem::path& image);
// Quoted, so a folder with spaces cannot start a program named after a prefix of it.
std::wstring CopyCommandLine(const std::filesystem::path& copy);
