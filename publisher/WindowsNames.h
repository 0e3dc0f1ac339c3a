// How Windows sees the names of published files, beyond the launcher's own
// safety rule: which names it cannot hold at all, and which two names it
// takes for one file (letter case compared by Unicode simple case folding,
// as NTFS compares names, so "É.dat" and "é.dat" are one file).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Why Windows could not hold `name` ("/"-separated, UTF-8) beyond what the
// launcher's own rule refuses, or empty.
std::string WindowsNameProblem(std::string_view name);

// `name` with every code point case-folded; `name` must be valid UTF-8.
std::string WindowsFoldedName(std::string_view name);

// The files (and so the folders) of one game as Windows would create them.
class WindowsNameSet
{
  public:
    // The name already added that Windows would take for the same file as
    // `name`, for one of its folders, or for a file inside `name` taken as a
    // folder; nothing otherwise. The very same name is no conflict (an
    // overlay's file replaces the game's file of that name).
    std::optional<std::string> Conflict(std::string_view name) const;
    void Add(std::string_view name);

  private:
    // Folded name to the name as published.
    std::map<std::string, std::string> files_;
    // Folded folder path to the first file published under it.
    std::map<std::string, std::string> folders_;
};
