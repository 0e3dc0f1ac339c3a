// Zip archives made in memory for the package readers' tests, through
// minizip's own writer, and the damaged variants the readers must refuse,
// each named for what is wrong with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ZipBuildEntry
{
    std::string name;
    std::string data;
    bool deflate = true;
};

// A well-formed archive holding `entries` in order (an empty list gives an
// archive with no entry).
std::string BuildZip(const std::vector<ZipBuildEntry>& entries);

std::string StoredPackage(std::string_view data, std::string_view name = "file.dat");
std::string DeflatedPackage(std::string_view data, std::string_view name = "file.dat");
std::string TwoEntryPackage(std::string_view first, std::string_view second);
// The bare end record, 22 bytes, which minizip cannot open (it sits at
// offset 0).
std::string EmptyArchive();
// No entry, and an end record minizip finds: the same record after a stub.
std::string ArchiveWithoutEntries();
// Not an archive at all; the same seed gives the same bytes.
std::string RandomBytes(size_t count, uint32_t seed);

// The first entry as both headers describe it; the patchers keep the local
// header and the central directory in agreement, as minizip checks they are.
struct ZipEntryFields
{
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
};
ZipEntryFields FirstEntryFields(const std::string& zip);
void SetFirstEntryMethod(std::string& zip, uint16_t method);
void SetFirstEntryCrc(std::string& zip, uint32_t crc);
void SetFirstEntryUncompressedSize(std::string& zip, uint32_t size);

// Deflated data whose headers name method 12 (bzip2, which the readers do
// not take).
std::string PackageWithMethod12(std::string_view data);
std::string PackageWithWrongCrc(std::string_view data);
// Both headers claim `claimed` uncompressed bytes; the data stay as they are.
std::string PackageClaimingSize(std::string_view data, uint32_t claimed, bool deflate = true);
// A stored entry whose ZIP64 field claims `claimed` uncompressed bytes.
std::string PackageClaiming64BitSize(std::string_view data, uint64_t claimed);
// The directory record claims a 65535-byte name, which runs past the end.
std::string PackageWithOverlongNameInDirectory(std::string_view data);
