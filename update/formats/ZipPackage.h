// Zip packages read in place from memory (or through file functions given
// from outside): the in-memory source for minizip's unzip API, an owning
// archive handle, and the readers of the first entry (file lists and file
// packages, whole or piece by piece) with their user-facing messages. Only
// the first entry in central-directory order is read, its name ignored.
// Every handle and buffer is released on every way out; a claimed
// size too big to allocate ends in std::bad_alloc, never in a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <minizip/unzip.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// minizip's file functions over a borrowed byte buffer, which must outlive
// every archive opened through it. Each open makes a stream at position 0
// that close frees; reads copy, seeks beyond the end fail without moving.
class MemoryZipSource
{
  public:
    explicit MemoryZipSource(std::string_view bytes);
    // The bytes are borrowed: a temporary would be gone before the reading.
    explicit MemoryZipSource(std::string&&) = delete;
    MemoryZipSource(const MemoryZipSource&) = delete;
    MemoryZipSource& operator=(const MemoryZipSource&) = delete;

    // For unzOpen2; points back at this object.
    zlib_filefunc_def* Functions() { return &functions_; }
    // Streams opened and not yet closed.
    int OpenStreams() const { return openStreams_; }

  private:
    std::string_view bytes_;
    zlib_filefunc_def functions_{};
    int openStreams_ = 0;

    static voidpf ZCALLBACK Open(voidpf opaque, const char* name, int mode);
    static uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buffer, uLong size);
    static uLong ZCALLBACK Write(voidpf opaque, voidpf stream, const void* buffer, uLong size);
    static long ZCALLBACK Tell(voidpf opaque, voidpf stream);
    static long ZCALLBACK Seek(voidpf opaque, voidpf stream, uLong offset, int origin);
    static int ZCALLBACK Close(voidpf opaque, voidpf stream);
    static int ZCALLBACK Error(voidpf opaque, voidpf stream);
};

// An unzFile opened over a MemoryZipSource of borrowed bytes, or over the
// 64-bit file functions of a package kept outside memory; closed (with any
// open entry) on destruction. Not movable: minizip keeps a pointer to the
// source inside.
class ZipArchive
{
  public:
    explicit ZipArchive(std::string_view bytes);
    explicit ZipArchive(std::string&&) = delete;
    // `name` goes to the functions' open; `length` is the package's size.
    ZipArchive(zlib_filefunc64_def* functions, const void* name, uint64_t length);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // False when the bytes are no zip archive minizip accepts. minizip takes
    // an end record found at offset 0 for none found, so the bare 22-byte
    // archive without entries does not open; one with its end record further
    // in (after a preamble, or behind a ZIP64 end record) does.
    bool IsOpen() const { return handle_ != nullptr; }
    unzFile Handle() const { return handle_; }
    uint64_t Length() const { return length_; }

  private:
    std::optional<MemoryZipSource> memory_;
    uint64_t length_ = 0;
    unzFile handle_ = nullptr;
};

// An inflated entry: `size` bytes followed by one NUL.
struct InflatedEntry
{
    std::unique_ptr<char[]> data;
    size_t size = 0;

    std::string_view View() const { return {data.get(), size}; }
};

// Entries claiming more than `sizeLimit` bytes are refused with std::bad_alloc
// as if the allocation had failed; fuzzing sets it, the launcher does not.
inline constexpr uint64_t kNoSizeLimit = std::numeric_limits<uint64_t>::max();

// A file list's text: the first entry up to its first NUL, or nothing when
// the archive opens and has no entry. Throws std::runtime_error "Could not read {}.zip",
// "Unable to get file info for {}.zip" or "Could not close handle for {}.zip"
// (a CRC mismatch, tested before a short read), with "overlay " before the
// name for the overlay list; an entry of 4 GiB or more is "Could not read {}.zip".
std::optional<std::string> ReadSingleEntryPackage(std::string_view bytes,
                                                  const std::string& listName, bool overlay,
                                                  uint64_t sizeLimit = kNoSizeLimit);

// A package entry of 4 GiB or more: this reader's sizes are 32 bits, and
// cutting them would write a short file and stamp it as current.
struct EntryTooLarge : std::runtime_error
{
    explicit EntryTooLarge(uint64_t size);
    uint64_t size;
};

// A file package's content. Throws std::runtime_error "Could not read file
// data" (no archive, no entry, entry not openable), "Unable to get file info",
// "Could not close ZIP file handle" (CRC mismatch) or "Read bytes was not equal
// to the correct amount", and EntryTooLarge.
InflatedEntry ReadPackageData(std::string_view bytes, uint64_t sizeLimit = kNoSizeLimit);
// The same from an archive already open.
InflatedEntry ReadPackageData(const ZipArchive& archive, uint64_t sizeLimit = kNoSizeLimit);

// The size of a file package's content, checked as ReadPackageData checks it
// (the same exceptions), before anything is inflated.
uint64_t PackageDataSize(const ZipArchive& archive, uint64_t sizeLimit = kNoSizeLimit);

// Inflates a file package's content piece by piece into `write`, so no more
// than one piece is held. False when `write` asked to stop (nothing more is
// read then); otherwise the exceptions of ReadPackageData, a CRC mismatch
// coming only after every piece was handed over.
bool StreamPackageData(const ZipArchive& archive,
                       const std::function<bool(std::string_view piece)>& write);
