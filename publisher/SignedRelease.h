// The signed release record of one publish run: built from the run's
// packages and lists, numbered with the next serial of the output (kept in
// --out/.norvik-publish-serial, only ever going up), signed, and written
// before the version file it names.
#pragma once

#include "publisher/Ed25519Key.h"
#include "publisher/PackageChanges.h"
#include "publisher/ServerTree.h"
#include "update/formats/ReleaseRecord.h"

#include <cstdint>
#include <filesystem>
#include <vector>

// `files` and `lists` as the run wrote or kept them; every file a player
// ends with per language: "-" the game folder's alone, CODE with overlay
// CODE merged in by name, as the launcher merges.
ReleaseRecord BuildReleaseRecord(const std::vector<Package>& files,
                                 const std::vector<Package>& lists,
                                 const std::string& versionFileText);

// The highest serial this output has used, from its serial file and from
// the records it serves; throws std::runtime_error when the serial file
// cannot be read (a serial must never start again from 1).
uint64_t LastReleaseSerial(const std::filesystem::path& outputFolder);

// Takes the next serial (saved first, so a failed run never reuses it),
// signs and writes the record; returns its path under the output.
std::filesystem::path WriteSignedRelease(const std::filesystem::path& outputFolder,
                                         const Ed25519Key& key, ReleaseRecord record,
                                         unsigned validDays);
