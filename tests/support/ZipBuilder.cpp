#include "support/ZipBuilder.h"

#include <cstring>
#include <minizip/zip.h>
#include <random>
#include <stdexcept>
#include <zlib.h>

namespace
{
// minizip's writer over a std::string it may seek back into.
struct Sink
{
    std::string bytes;
    uint64_t position = 0;
};

voidpf ZCALLBACK SinkOpen(voidpf opaque, const char*, int)
{
    return opaque;
}

uLong ZCALLBACK SinkRead(voidpf, voidpf stream, void* buffer, uLong size)
{
    auto* sink = static_cast<Sink*>(stream);
    const uLong count =
        static_cast<uLong>(std::min<uint64_t>(size, sink->bytes.size() - sink->position));
    std::memcpy(buffer, sink->bytes.data() + sink->position, count);
    sink->position += count;
    return count;
}

uLong ZCALLBACK SinkWrite(voidpf, voidpf stream, const void* buffer, uLong size)
{
    auto* sink = static_cast<Sink*>(stream);
    if (sink->bytes.size() < sink->position + size)
        sink->bytes.resize(sink->position + size);
    std::memcpy(sink->bytes.data() + sink->position, buffer, size);
    sink->position += size;
    return size;
}

long ZCALLBACK SinkTell(voidpf, voidpf stream)
{
    return static_cast<long>(static_cast<Sink*>(stream)->position);
}

long ZCALLBACK SinkSeek(voidpf, voidpf stream, uLong offset, int origin)
{
    auto* sink = static_cast<Sink*>(stream);
    const uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                          : origin == ZLIB_FILEFUNC_SEEK_CUR ? sink->position
                                                             : sink->bytes.size();
    if (base + offset > sink->bytes.size())
        return -1;
    sink->position = base + offset;
    return 0;
}

int ZCALLBACK SinkClose(voidpf, voidpf)
{
    return 0;
}

int ZCALLBACK SinkError(voidpf, voidpf)
{
    return 0;
}

uint16_t Get16(const std::string& bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                 static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

uint32_t Get32(const std::string& bytes, size_t at)
{
    return Get16(bytes, at) | static_cast<uint32_t>(Get16(bytes, at + 2)) << 16;
}

void Put16(std::string& bytes, size_t at, uint16_t value)
{
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    Put16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

void Append16(std::string& bytes, uint16_t value)
{
    bytes.append(2, '\0');
    Put16(bytes, bytes.size() - 2, value);
}

void Append32(std::string& bytes, uint32_t value)
{
    bytes.append(4, '\0');
    Put32(bytes, bytes.size() - 4, value);
}

void Append64(std::string& bytes, uint64_t value)
{
    Append32(bytes, static_cast<uint32_t>(value));
    Append32(bytes, static_cast<uint32_t>(value >> 32));
}

// Offsets of the first entry's central directory record and local header.
struct FirstEntryOffsets
{
    size_t central;
    size_t local;
};

FirstEntryOffsets LocateFirstEntry(const std::string& zip)
{
    const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos)
        throw std::logic_error("no end of central directory record");
    const size_t central = Get32(zip, end + 16);
    if (zip.compare(central, 4, std::string("PK\x01\x02", 4)) != 0)
        throw std::logic_error("no central directory record for the first entry");
    return {central, Get32(zip, central + 42)};
}
} // namespace

std::string BuildZip(const std::vector<ZipBuildEntry>& entries)
{
    Sink sink;
    zlib_filefunc_def functions{};
    functions.zopen_file = &SinkOpen;
    functions.zread_file = &SinkRead;
    functions.zwrite_file = &SinkWrite;
    functions.ztell_file = &SinkTell;
    functions.zseek_file = &SinkSeek;
    functions.zclose_file = &SinkClose;
    functions.zerror_file = &SinkError;
    functions.opaque = &sink;

    zipFile zip = zipOpen2("", APPEND_STATUS_CREATE, nullptr, &functions);
    if (!zip)
        throw std::runtime_error("zipOpen2 failed");
    for (const ZipBuildEntry& entry : entries)
    {
        zip_fileinfo info{};
        info.tmz_date.tm_year = 2024;
        info.tmz_date.tm_mday = 1;
        const int method = entry.deflate ? Z_DEFLATED : 0;
        const int level = entry.deflate ? Z_BEST_COMPRESSION : 0;
        if (zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                method, level) != ZIP_OK ||
            zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) !=
                ZIP_OK ||
            zipCloseFileInZip(zip) != ZIP_OK)
        {
            zipClose(zip, nullptr);
            throw std::runtime_error("writing a zip entry failed");
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        throw std::runtime_error("zipClose failed");
    return sink.bytes;
}

std::string StoredPackage(std::string_view data, std::string_view name)
{
    return BuildZip({{std::string(name), std::string(data), false}});
}

std::string DeflatedPackage(std::string_view data, std::string_view name)
{
    return BuildZip({{std::string(name), std::string(data), true}});
}

std::string TwoEntryPackage(std::string_view first, std::string_view second)
{
    return BuildZip(
        {{"first.dat", std::string(first), true}, {"second.dat", std::string(second), true}});
}

std::string EmptyArchive()
{
    return BuildZip({});
}

std::string ArchiveWithoutEntries()
{
    return "stub before the archive" + EmptyArchive();
}

std::string RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

ZipEntryFields FirstEntryFields(const std::string& zip)
{
    const FirstEntryOffsets at = LocateFirstEntry(zip);
    return {Get16(zip, at.central + 10), Get32(zip, at.central + 16), Get32(zip, at.central + 20),
            Get32(zip, at.central + 24)};
}

void SetFirstEntryMethod(std::string& zip, uint16_t method)
{
    const FirstEntryOffsets at = LocateFirstEntry(zip);
    Put16(zip, at.central + 10, method);
    Put16(zip, at.local + 8, method);
}

void SetFirstEntryCrc(std::string& zip, uint32_t crc)
{
    const FirstEntryOffsets at = LocateFirstEntry(zip);
    Put32(zip, at.central + 16, crc);
    Put32(zip, at.local + 14, crc);
}

void SetFirstEntryUncompressedSize(std::string& zip, uint32_t size)
{
    const FirstEntryOffsets at = LocateFirstEntry(zip);
    Put32(zip, at.central + 24, size);
    Put32(zip, at.local + 22, size);
}

std::string PackageWithMethod12(std::string_view data)
{
    std::string zip = DeflatedPackage(data);
    SetFirstEntryMethod(zip, 12);
    return zip;
}

std::string PackageWithWrongCrc(std::string_view data)
{
    std::string zip = DeflatedPackage(data);
    SetFirstEntryCrc(zip, ~FirstEntryFields(zip).crc);
    return zip;
}

std::string PackageClaimingSize(std::string_view data, uint32_t claimed, bool deflate)
{
    std::string zip = deflate ? DeflatedPackage(data) : StoredPackage(data);
    SetFirstEntryUncompressedSize(zip, claimed);
    return zip;
}

std::string PackageWithOverlongNameInDirectory(std::string_view data)
{
    std::string zip = DeflatedPackage(data);
    Put16(zip, LocateFirstEntry(zip).central + 28, 0xFFFF);
    return zip;
}

std::string PackageClaiming64BitSize(std::string_view data, uint64_t claimed)
{
    // minizip's writer adds the ZIP64 sizes to the directory only for real
    // large entries, so this one is laid out by hand: one stored entry whose
    // 32-bit sizes say "see the ZIP64 field", which claims `claimed`.
    const std::string name = "file.dat";
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const auto header = [&](std::string& out, bool central)
    {
        Append32(out, central ? 0x02014b50 : 0x04034b50);
        if (central)
            Append16(out, 45); // made by
        Append16(out, 45);     // needed to extract: ZIP64
        Append16(out, 0);      // flags
        Append16(out, 0);      // stored
        Append16(out, 0);      // time
        Append16(out, 0x21);   // 1980-01-01
        Append32(out, crc);
        Append32(out, 0xFFFFFFFF);
        Append32(out, 0xFFFFFFFF);
        Append16(out, static_cast<uint16_t>(name.size()));
        Append16(out, 20); // extra field length
        if (central)
        {
            Append16(out, 0); // comment
            Append16(out, 0); // disk
            Append16(out, 0); // internal attributes
            Append32(out, 0); // external attributes
            Append32(out, 0); // local header offset
        }
        out += name;
        Append16(out, 0x0001);
        Append16(out, 16);
        Append64(out, claimed);
        Append64(out, data.size());
    };
    std::string zip;
    header(zip, false);
    zip += data;
    const size_t directory = zip.size();
    header(zip, true);
    const size_t directorySize = zip.size() - directory;
    Append32(zip, 0x06054b50);
    Append16(zip, 0);
    Append16(zip, 0);
    Append16(zip, 1);
    Append16(zip, 1);
    Append32(zip, static_cast<uint32_t>(directorySize));
    Append32(zip, static_cast<uint32_t>(directory));
    Append16(zip, 0);
    return zip;
}
