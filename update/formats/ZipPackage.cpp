#include "update/formats/ZipPackage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fmt/format.h>
#include <new>
#include <stdexcept>

namespace
{
// No deflate stream inflates to more than 1032 times its length.
constexpr uint64_t kMaxDeflateRatio = 1032;

struct MemoryStream
{
    uint64_t position = 0;
};

struct EntryMessages
{
    std::string archiveUnreadable;
    std::string infoUnreadable;
    std::string entryUnreadable;
    std::string crcMismatch;
    std::string shortRead;
    // Empty: EntryTooLarge.
    std::string tooLarge;
};

// The checks every reader makes before inflating the first entry; nothing
// when the archive has no entry. Leaves the first entry current.
std::optional<uint32_t> CheckFirstEntry(const ZipArchive& archive, const EntryMessages& messages,
                                        bool readName, uint64_t sizeLimit)
{
    if (!archive.IsOpen())
        throw std::runtime_error(messages.archiveUnreadable);
    if (unzGoToFirstFile(archive.Handle()) != UNZ_OK)
        return std::nullopt;

    // The 64-bit form reads the ZIP64 sizes, which the other cuts to 32 bits.
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive.Handle(), &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
        UNZ_OK)
        throw std::runtime_error(messages.infoUnreadable);
    if (readName)
    {
        std::string name(info.size_filename, '\0');
        if (unzGetCurrentFileInfo64(archive.Handle(), &info, name.data(), info.size_filename,
                                    nullptr, 0, nullptr, 0) != UNZ_OK)
            throw std::runtime_error(messages.infoUnreadable);
    }

    if (info.uncompressed_size > std::numeric_limits<uint32_t>::max())
    {
        if (messages.tooLarge.empty())
            throw EntryTooLarge(info.uncompressed_size);
        throw std::runtime_error(messages.tooLarge);
    }
    const uint32_t size = static_cast<uint32_t>(info.uncompressed_size);
    if (size > sizeLimit || uint64_t{size} + 1 > std::numeric_limits<size_t>::max())
        throw std::bad_alloc();
    // A claim the entry's own bytes cannot inflate to would only reserve
    // memory for a read that comes up short: say so before reserving it.
    if (info.compression_method == 0 || info.compression_method == Z_DEFLATED)
    {
        const uint64_t packed = std::min<uint64_t>(info.compressed_size, archive.Length());
        const uint64_t reachable =
            info.compression_method == 0 ? packed : packed * kMaxDeflateRatio + kMaxDeflateRatio;
        if (size > reachable)
            throw std::runtime_error(messages.shortRead);
    }
    return size;
}

// minizip would hand out method 12 (bzip2) entries raw, undecoded.
void OpenFirstEntry(const ZipArchive& archive, const EntryMessages& messages)
{
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(archive.Handle(), &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
            UNZ_OK ||
        (info.compression_method != 0 && info.compression_method != Z_DEFLATED))
        throw std::runtime_error(messages.entryUnreadable);
    if (unzOpenCurrentFile(archive.Handle()) != UNZ_OK)
        throw std::runtime_error(messages.entryUnreadable);
}

std::optional<InflatedEntry> ReadFirstEntry(const ZipArchive& archive,
                                            const EntryMessages& messages, bool readName,
                                            uint64_t sizeLimit)
{
    const std::optional<uint32_t> size = CheckFirstEntry(archive, messages, readName, sizeLimit);
    if (!size)
        return std::nullopt;
    InflatedEntry entry;
    entry.data.reset(new char[size_t{*size} + 1]);
    entry.data[*size] = '\0';
    entry.size = *size;

    OpenFirstEntry(archive, messages);
    const int count = unzReadCurrentFile(archive.Handle(), entry.data.get(), *size);
    // The CRC is compared only when the whole entry was read.
    if (unzCloseCurrentFile(archive.Handle()) != UNZ_OK)
        throw std::runtime_error(messages.crcMismatch);
    if (count < 0 || static_cast<uint32_t>(count) != *size)
        throw std::runtime_error(messages.shortRead);
    return entry;
}

const EntryMessages kPackageMessages{"Could not read file data",
                                     "Unable to get file info",
                                     "Could not read file data",
                                     "Could not close ZIP file handle",
                                     "Read bytes was not equal to the correct amount",
                                     ""};

// One piece of a streamed entry: small enough for any address space, large
// enough that the writes it feeds stay few.
constexpr unsigned kStreamPiece = 256 * 1024;
} // namespace

EntryTooLarge::EntryTooLarge(uint64_t size)
    : std::runtime_error(fmt::format("File data of {} bytes is 4 GiB or more", size)), size(size)
{
}

MemoryZipSource::MemoryZipSource(std::string_view bytes) : bytes_(bytes)
{
    functions_.zopen_file = &Open;
    functions_.zread_file = &Read;
    functions_.zwrite_file = &Write;
    functions_.ztell_file = &Tell;
    functions_.zseek_file = &Seek;
    functions_.zclose_file = &Close;
    functions_.zerror_file = &Error;
    functions_.opaque = this;
}

voidpf ZCALLBACK MemoryZipSource::Open(voidpf opaque, const char*, int mode)
{
    if (mode & ZLIB_FILEFUNC_MODE_WRITE)
        return nullptr;
    // minizip is C: nothing may throw through it.
    auto* stream = new (std::nothrow) MemoryStream;
    if (stream)
        ++static_cast<MemoryZipSource*>(opaque)->openStreams_;
    return stream;
}

uLong ZCALLBACK MemoryZipSource::Read(voidpf opaque, voidpf stream, void* buffer, uLong size)
{
    const std::string_view bytes = static_cast<MemoryZipSource*>(opaque)->bytes_;
    auto* memory = static_cast<MemoryStream*>(stream);
    const uint64_t left = bytes.size() - memory->position;
    const uint64_t count = std::min<uint64_t>(size, left);
    if (count > 0)
        std::memcpy(buffer, bytes.data() + memory->position, count);
    memory->position += count;
    return static_cast<uLong>(count);
}

uLong ZCALLBACK MemoryZipSource::Write(voidpf, voidpf, const void*, uLong)
{
    return 0;
}

long ZCALLBACK MemoryZipSource::Tell(voidpf, voidpf stream)
{
    const uint64_t position = static_cast<MemoryStream*>(stream)->position;
    return position > LONG_MAX ? -1 : static_cast<long>(position);
}

long ZCALLBACK MemoryZipSource::Seek(voidpf opaque, voidpf stream, uLong offset, int origin)
{
    const uint64_t length = static_cast<MemoryZipSource*>(opaque)->bytes_.size();
    auto* memory = static_cast<MemoryStream*>(stream);
    uint64_t base = 0;
    switch (origin)
    {
    case ZLIB_FILEFUNC_SEEK_SET:
        base = 0;
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        base = memory->position;
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        base = length;
        break;
    default:
        return -1;
    }
    // Both terms are at most 64 bits' worth of buffer, so no wrap below 2^64.
    if (offset > length || base + offset > length)
        return -1;
    memory->position = base + offset;
    return 0;
}

int ZCALLBACK MemoryZipSource::Close(voidpf opaque, voidpf stream)
{
    delete static_cast<MemoryStream*>(stream);
    --static_cast<MemoryZipSource*>(opaque)->openStreams_;
    return 0;
}

int ZCALLBACK MemoryZipSource::Error(voidpf, voidpf)
{
    return 0;
}

ZipArchive::ZipArchive(std::string_view bytes) : length_(bytes.size())
{
    memory_.emplace(bytes);
    handle_ = unzOpen2("", memory_->Functions());
}

ZipArchive::ZipArchive(zlib_filefunc64_def* functions, const void* name, uint64_t length)
    : length_(length)
{
    handle_ = unzOpen2_64(name, functions);
}

ZipArchive::~ZipArchive()
{
    if (handle_)
        unzClose(handle_);
}

std::optional<std::string> ReadSingleEntryPackage(std::string_view bytes,
                                                  const std::string& listName, bool overlay,
                                                  uint64_t sizeLimit)
{
    const std::string name = fmt::format("{}{}.zip", overlay ? "overlay " : "", listName);
    const std::string unreadable = fmt::format("Could not read {}", name);
    const EntryMessages messages{unreadable, fmt::format("Unable to get file info for {}", name),
                                 unreadable, fmt::format("Could not close handle for {}", name),
                                 unreadable, unreadable};
    const ZipArchive archive(bytes);
    std::optional<InflatedEntry> entry = ReadFirstEntry(archive, messages, true, sizeLimit);
    if (!entry)
        return std::nullopt;
    const char* begin = entry->data.get();
    return std::string(begin, std::find(begin, begin + entry->size, '\0'));
}

InflatedEntry ReadPackageData(std::string_view bytes, uint64_t sizeLimit)
{
    return ReadPackageData(ZipArchive(bytes), sizeLimit);
}

InflatedEntry ReadPackageData(const ZipArchive& archive, uint64_t sizeLimit)
{
    std::optional<InflatedEntry> entry =
        ReadFirstEntry(archive, kPackageMessages, false, sizeLimit);
    if (!entry)
        throw std::runtime_error(kPackageMessages.archiveUnreadable);
    return std::move(*entry);
}

uint64_t PackageDataSize(const ZipArchive& archive, uint64_t sizeLimit)
{
    const std::optional<uint32_t> size =
        CheckFirstEntry(archive, kPackageMessages, false, sizeLimit);
    if (!size)
        throw std::runtime_error(kPackageMessages.archiveUnreadable);
    return *size;
}

bool StreamPackageData(const ZipArchive& archive,
                       const std::function<bool(std::string_view piece)>& write)
{
    const uint64_t size = PackageDataSize(archive);
    OpenFirstEntry(archive, kPackageMessages);
    const std::unique_ptr<char[]> piece(new char[kStreamPiece]);
    uint64_t total = 0;
    int count = 0;
    while ((count = unzReadCurrentFile(archive.Handle(), piece.get(), kStreamPiece)) > 0)
    {
        total += static_cast<unsigned>(count);
        if (total > size)
            break;
        if (!write(std::string_view(piece.get(), static_cast<size_t>(count))))
        {
            unzCloseCurrentFile(archive.Handle());
            return false;
        }
    }
    // As in the whole read: the CRC first, then whether the length came out right.
    if (unzCloseCurrentFile(archive.Handle()) != UNZ_OK)
        throw std::runtime_error(kPackageMessages.crcMismatch);
    if (count < 0 || total != size)
        throw std::runtime_error(kPackageMessages.shortRead);
    return true;
}
