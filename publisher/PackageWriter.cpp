#include "publisher/PackageWriter.h"

#include "update/formats/ListTime.h"

#include <algorithm>
#include <fcntl.h>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace
{
std::filesystem::path TemporaryBeside(const std::filesystem::path& target)
{
    return target.parent_path() / (target.filename().string() + std::string(kTemporarySuffix));
}

// A rename that reaches the disk before its file's bytes would leave an
// empty or cut file under the final name after a power loss.
void FlushThenRename(const std::filesystem::path& temporary, const std::filesystem::path& target)
{
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!flushed)
    {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw std::runtime_error(fmt::format("cannot flush {}", temporary.string()));
    }
    std::filesystem::rename(temporary, target);
}
} // namespace

PackageWriter::PackageWriter(std::filesystem::path target)
    : target_(std::move(target)), temporary_(TemporaryBeside(target_))
{
    std::filesystem::create_directories(target_.parent_path());
    zip_ = zipOpen64(temporary_.c_str(), APPEND_STATUS_CREATE);
    if (!zip_)
        throw std::runtime_error(fmt::format("cannot create {}", temporary_.string()));
}

PackageWriter::~PackageWriter()
{
    if (zip_)
    {
        if (entryOpen_)
            zipCloseFileInZip(zip_);
        zipClose(zip_, nullptr);
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void PackageWriter::BeginEntry(const std::string& entryName, uint64_t listTime, uint64_t size)
{
    const CalendarTime c = FileTimeToCalendar(listTime);
    zip_fileinfo info{};
    // DOS dates start in 1980; the launcher takes its times from the list anyway.
    const bool representable = c.year >= 1980 && c.year <= 2107;
    info.tmz_date.tm_year = representable ? c.year : 1980;
    info.tmz_date.tm_mon = representable ? c.month - 1 : 0;
    info.tmz_date.tm_mday = representable ? c.day : 1;
    info.tmz_date.tm_hour = representable ? c.hour : 0;
    info.tmz_date.tm_min = representable ? c.minute : 0;
    info.tmz_date.tm_sec = representable ? c.second : 0;
    if (zipOpenNewFileInZip64(zip_, entryName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, Z_BEST_COMPRESSION, size >= 0x7FFFFFFF ? 1 : 0) != ZIP_OK)
        throw std::runtime_error(fmt::format("cannot add an entry to {}", temporary_.string()));
    entryOpen_ = true;
}

void PackageWriter::Write(std::string_view bytes)
{
    // minizip takes an unsigned count; feed it in pieces it can hold.
    constexpr size_t kPiece = 1 << 30;
    while (!bytes.empty())
    {
        const size_t count = std::min(bytes.size(), kPiece);
        if (zipWriteInFileInZip(zip_, bytes.data(), static_cast<unsigned>(count)) != ZIP_OK)
            throw std::runtime_error(fmt::format("cannot write {}", temporary_.string()));
        bytes.remove_prefix(count);
    }
}

void PackageWriter::Commit()
{
    entryOpen_ = false;
    const int closedEntry = zipCloseFileInZip(zip_);
    const int closedArchive = zipClose(zip_, nullptr);
    zip_ = nullptr;
    if (closedEntry != ZIP_OK || closedArchive != ZIP_OK)
    {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
        throw std::runtime_error(fmt::format("cannot finish {}", temporary_.string()));
    }
    FlushThenRename(temporary_, target_);
}

void WriteFilePackage(const std::filesystem::path& source, const std::filesystem::path& target,
                      const std::string& entryName, uint64_t listTime,
                      const std::function<void(std::string_view)>& onPiece)
{
    std::ifstream input(source, std::ios::binary);
    if (!input)
        throw std::runtime_error(fmt::format("cannot read {}", source.string()));
    PackageWriter writer(target);
    writer.BeginEntry(entryName, listTime, std::filesystem::file_size(source));
    std::vector<char> buffer(1 << 20);
    while (input)
    {
        input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::string_view piece(buffer.data(), static_cast<size_t>(input.gcount()));
        writer.Write(piece);
        if (onPiece)
            onPiece(piece);
    }
    if (!input.eof())
        throw std::runtime_error(fmt::format("cannot read {}", source.string()));
    writer.Commit();
}

void WriteTextPackage(std::string_view text, const std::filesystem::path& target,
                      const std::string& entryName, uint64_t listTime)
{
    PackageWriter writer(target);
    writer.BeginEntry(entryName, listTime, text.size());
    writer.Write(text);
    writer.Commit();
}

void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes)
{
    std::filesystem::create_directories(target.parent_path());
    const std::filesystem::path temporary = TemporaryBeside(target);
    {
        std::ofstream output(temporary, std::ios::binary | std::ios::trunc);
        output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!output.flush())
            throw std::runtime_error(fmt::format("cannot write {}", temporary.string()));
    }
    FlushThenRename(temporary, target);
}
