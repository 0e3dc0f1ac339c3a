#include "support/AllocationLimit.h"
#include "support/ZipBuilder.h"
#include "update/formats/ZipPackage.h"

#include <fmt/format.h>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <string>

using namespace std::string_literals;

namespace
{
// Binary content with NULs and every byte value, long enough to deflate.
std::string SampleContent()
{
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += static_cast<char>((i * 7) & 0xFF);
    return content + "\0tail"s;
}

std::string MessageOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "<no exception>";
}

std::string PackageError(const std::string& bytes)
{
    return MessageOf([&] { ReadPackageData(bytes); });
}

std::string ListError(const std::string& bytes, bool overlay)
{
    return MessageOf([&] { ReadSingleEntryPackage(bytes, "lists/main", overlay); });
}

struct Stream
{
    MemoryZipSource& source;
    voidpf handle;

    uLong Read(char* buffer, uLong size)
    {
        zlib_filefunc_def* f = source.Functions();
        return f->zread_file(f->opaque, handle, buffer, size);
    }
    long Seek(uLong offset, int origin)
    {
        zlib_filefunc_def* f = source.Functions();
        return f->zseek_file(f->opaque, handle, offset, origin);
    }
    long Tell()
    {
        zlib_filefunc_def* f = source.Functions();
        return f->ztell_file(f->opaque, handle);
    }
};
} // namespace

TEST(MemoryZipSource, ReadsTellsAndSeeksWithinTheBuffer)
{
    const std::string bytes = "0123456789";
    MemoryZipSource source(bytes);
    zlib_filefunc_def* f = source.Functions();
    Stream stream{source, f->zopen_file(f->opaque, "",
                                        ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING)};
    ASSERT_NE(stream.handle, nullptr);
    EXPECT_EQ(source.OpenStreams(), 1);
    EXPECT_EQ(stream.Tell(), 0);

    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(stream.Tell(), 4);
    EXPECT_EQ(stream.Read(buffer, 16), 6u) << "only what is left";
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(stream.Read(buffer, 16), 0u);
    EXPECT_EQ(bytes, "0123456789") << "the source is never written";

    EXPECT_EQ(stream.Seek(2, ZLIB_FILEFUNC_SEEK_SET), 0);
    EXPECT_EQ(stream.Seek(3, ZLIB_FILEFUNC_SEEK_CUR), 0);
    EXPECT_EQ(stream.Tell(), 5);
    EXPECT_EQ(stream.Seek(0, ZLIB_FILEFUNC_SEEK_END), 0);
    EXPECT_EQ(stream.Tell(), 10) << "the very end is a valid position";
    EXPECT_EQ(stream.Seek(10, ZLIB_FILEFUNC_SEEK_SET), 0);

    EXPECT_EQ(f->zerror_file(f->opaque, stream.handle), 0);
    EXPECT_EQ(f->zclose_file(f->opaque, stream.handle), 0);
    EXPECT_EQ(source.OpenStreams(), 0);
}

TEST(MemoryZipSource, FailedSeeksLeaveThePositionAlone)
{
    const std::string bytes = "0123456789";
    MemoryZipSource source(bytes);
    zlib_filefunc_def* f = source.Functions();
    Stream stream{source, f->zopen_file(f->opaque, "", ZLIB_FILEFUNC_MODE_READ)};
    ASSERT_EQ(stream.Seek(4, ZLIB_FILEFUNC_SEEK_SET), 0);
    EXPECT_EQ(stream.Seek(11, ZLIB_FILEFUNC_SEEK_SET), -1);
    EXPECT_EQ(stream.Seek(7, ZLIB_FILEFUNC_SEEK_CUR), -1);
    EXPECT_EQ(stream.Seek(1, ZLIB_FILEFUNC_SEEK_END), -1);
    EXPECT_EQ(stream.Seek(~uLong{0}, ZLIB_FILEFUNC_SEEK_CUR), -1) << "no wrap-around";
    EXPECT_EQ(stream.Seek(0, 3), -1) << "unknown origin";
    EXPECT_EQ(stream.Tell(), 4);
    char c = 0;
    EXPECT_EQ(stream.Read(&c, 1), 1u);
    EXPECT_EQ(c, '4');
    f->zclose_file(f->opaque, stream.handle);
}

TEST(MemoryZipSource, EveryStreamMinizipOpensIsClosed)
{
    const std::string bytes = "abc";
    MemoryZipSource source(bytes);
    zlib_filefunc_def* f = source.Functions();
    EXPECT_EQ(f->zopen_file(f->opaque, "", ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE),
              nullptr)
        << "read-only";
    EXPECT_EQ(source.OpenStreams(), 0);

    for (const std::string& package :
         {DeflatedPackage("x"), RandomBytes(300, 1), EmptyArchive(), ArchiveWithoutEntries(), ""s})
    {
        MemoryZipSource perPackage(package);
        unzFile handle = unzOpen2("", perPackage.Functions());
        if (handle)
        {
            EXPECT_EQ(perPackage.OpenStreams(), 1);
            unzClose(handle);
        }
        EXPECT_EQ(perPackage.OpenStreams(), 0);
    }
}

TEST(ZipArchive, OpensArchivesOnly)
{
    const std::string deflated = DeflatedPackage("x"), withoutEntries = ArchiveWithoutEntries(),
                      bare = EmptyArchive(), random = RandomBytes(1000, 2);
    EXPECT_TRUE(ZipArchive(deflated).IsOpen());
    EXPECT_TRUE(ZipArchive(withoutEntries).IsOpen());
    EXPECT_TRUE(ZipArchive(bare).IsOpen()) << "end record at offset 0";
    EXPECT_FALSE(ZipArchive(random).IsOpen());
    EXPECT_FALSE(ZipArchive(std::string_view()).IsOpen());
}

TEST(PackageData, StoredAndDeflatedEntriesGiveTheSameBytes)
{
    const std::string content = SampleContent();
    const std::string stored = StoredPackage(content);
    const std::string deflated = DeflatedPackage(content);
    ASSERT_EQ(FirstEntryFields(stored).method, 0);
    ASSERT_EQ(FirstEntryFields(deflated).method, Z_DEFLATED);
    ASSERT_LT(FirstEntryFields(deflated).compressedSize, content.size());

    const InflatedEntry fromStored = ReadPackageData(stored);
    const InflatedEntry fromDeflated = ReadPackageData(deflated);
    EXPECT_EQ(fromStored.View(), content);
    EXPECT_EQ(fromDeflated.View(), content);
    EXPECT_EQ(fromDeflated.data[fromDeflated.size], '\0') << "one NUL after the content";
}

TEST(PackageData, OnlyTheFirstEntryIsRead)
{
    EXPECT_EQ(ReadPackageData(TwoEntryPackage("first content", "second")).View(), "first content");
    EXPECT_EQ(ReadPackageData(BuildZip({{"z/last-by-name.txt", "one", false},
                                        {"a/first-by-name.txt", "two", true}}))
                  .View(),
              "one");
}

TEST(PackageData, EmptyEntryGivesNoBytes)
{
    const InflatedEntry stored = ReadPackageData(StoredPackage(""));
    EXPECT_EQ(stored.size, 0u);
    EXPECT_EQ(stored.data[0], '\0');
    EXPECT_EQ(ReadPackageData(DeflatedPackage("")).size, 0u);
}

TEST(PackageData, UnreadableArchivesAndEntries)
{
    EXPECT_EQ(PackageError(PackageWithMethod12(SampleContent())), "Could not read file data");
    std::string stored12 = StoredPackage(SampleContent());
    SetFirstEntryMethod(stored12, 12);
    EXPECT_EQ(PackageError(stored12), "Could not read file data")
        << "method 12 is refused even where minizip would copy it raw";
    std::string method9 = DeflatedPackage("data");
    SetFirstEntryMethod(method9, 9);
    EXPECT_EQ(PackageError(method9), "Could not read file data");
    EXPECT_EQ(PackageError(EmptyArchive()), "Could not read file data");
    EXPECT_EQ(PackageError(ArchiveWithoutEntries()), "Could not read file data");
    EXPECT_EQ(PackageError(RandomBytes(4096, 3)), "Could not read file data");
    EXPECT_EQ(PackageError(""), "Could not read file data");
    EXPECT_EQ(PackageError(DeflatedPackage("x").substr(0, 40)), "Could not read file data")
        << "cut before the directory";
    EXPECT_EQ(PackageError(PackageWithOverlongNameInDirectory("data")), "Could not read file data")
        << "headers disagree on the name length";
}

TEST(PackageData, CrcMismatchFailsAtTheEntryClose)
{
    EXPECT_EQ(PackageError(PackageWithWrongCrc(SampleContent())),
              "Could not close ZIP file handle");
    std::string storedBadCrc = StoredPackage("stored content");
    SetFirstEntryCrc(storedBadCrc, 0x12345678);
    EXPECT_EQ(PackageError(storedBadCrc), "Could not close ZIP file handle");
    // Claiming fewer bytes reads the claim to its end and checks the CRC of
    // those bytes only.
    EXPECT_EQ(PackageError(PackageClaimingSize(SampleContent(), 100)),
              "Could not close ZIP file handle");
}

TEST(PackageData, ShortReadsAreReported)
{
    EXPECT_EQ(PackageError(PackageClaimingSize("stored content", 1000, false)),
              "Read bytes was not equal to the correct amount");
    EXPECT_EQ(PackageError(PackageClaimingSize(SampleContent(), 6000)),
              "Read bytes was not equal to the correct amount");
    // Damaged deflate data: the reader's negative error count lands here too.
    std::string damaged = DeflatedPackage(SampleContent());
    const size_t dataStart = 30 + 8;
    for (size_t i = dataStart; i < dataStart + 16; ++i)
        damaged[i] = static_cast<char>(0xFF);
    EXPECT_EQ(PackageError(damaged), "Read bytes was not equal to the correct amount");
}

TEST(PackageData, HugeClaimedSizesEndInACatchableException)
{
    EXPECT_THROW(ReadPackageData(PackageClaimingSize("x", 0xFFFFFFF0u), 1 << 20), std::bad_alloc);
    EXPECT_THROW(ReadSingleEntryPackage(PackageClaimingSize("x", 2000000), "l", false, 1 << 20),
                 std::bad_alloc);
    EXPECT_EQ(ReadPackageData(DeflatedPackage("small"), 5).View(), "small")
        << "the limit is inclusive";
    // Without a limit the allocation either fails or succeeds and the read
    // comes up short; both are ordinary exceptions.
    EXPECT_THROW(ReadPackageData(PackageClaimingSize("x", 0xFFFFFFFFu)), std::exception);
}

TEST(PackageData, AClaimItsBytesCannotInflateToReservesNoMemory)
{
    // Several GiB claimed by a few bytes of data, stored or deflated.
    AllocationLimit limit(64 << 20);
    EXPECT_EQ(PackageError(PackageClaimingSize(SampleContent(), 3000000000u)),
              "Read bytes was not equal to the correct amount");
    EXPECT_EQ(PackageError(PackageClaimingSize("stored content", 0xFFFFFFFFu, false)),
              "Read bytes was not equal to the correct amount");
    try
    {
        ReadSingleEntryPackage(PackageClaimingSize("a\x03b\n", 4000000000u), "filelist", false);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "Could not read filelist.zip");
    }
    EXPECT_EQ(AllocationLimit::Refused(), 0u);
    // The most compressible data still reads.
    const std::string zeros(8 << 20, '\0');
    EXPECT_EQ(ReadPackageData(DeflatedPackage(zeros)).size, zeros.size());
}

TEST(PackageData, StreamedPiecesMakeTheSameBytesAndFailAsTheWholeRead)
{
    const std::string content = RandomBytes(700 * 1024, 9) + std::string(300 * 1024, 'a');
    const auto streamed = [](const std::string& zip)
    {
        std::string out;
        const ZipArchive archive(zip);
        EXPECT_TRUE(StreamPackageData(archive,
                                      [&](std::string_view piece)
                                      {
                                          EXPECT_LE(piece.size(), 256u * 1024);
                                          out += piece;
                                          return true;
                                      }));
        return out;
    };
    EXPECT_EQ(streamed(StoredPackage(content)), content);
    EXPECT_EQ(streamed(DeflatedPackage(content)), content);
    EXPECT_EQ(streamed(StoredPackage("")), "");

    // A writer that says stop gets no further piece.
    int pieces = 0;
    const std::string deflated = DeflatedPackage(content);
    const ZipArchive archive(deflated);
    EXPECT_FALSE(StreamPackageData(archive,
                                   [&](std::string_view)
                                   {
                                       ++pieces;
                                       return false;
                                   }));
    EXPECT_EQ(pieces, 1);

    const auto streamError = [](const std::string& zip)
    {
        return MessageOf(
            [&]
            {
                const ZipArchive archive(zip);
                StreamPackageData(archive, [](std::string_view) { return true; });
            });
    };
    const std::string damaged[] = {PackageWithWrongCrc(content),
                                   PackageWithMethod12(content),
                                   PackageClaimingSize(content, content.size() + 10, false),
                                   PackageClaimingSize(content, content.size() - 10),
                                   RandomBytes(2048, 4),
                                   ArchiveWithoutEntries(),
                                   PackageWithOverlongNameInDirectory(content)};
    for (const std::string& zip : damaged)
    {
        EXPECT_NE(streamError(zip), "<no exception>");
        EXPECT_EQ(streamError(zip), PackageError(zip));
    }
}

TEST(PackageData, EntriesOf4GiBOrMoreAreRefusedNotCut)
{
    // Cut to 32 bits, 4 GiB + 5 would read as the 5 bytes that are there.
    const uint64_t sizes[] = {(uint64_t{1} << 32) + 5, uint64_t{1} << 32, uint64_t{6} << 30};
    for (const uint64_t claimed : sizes)
    {
        try
        {
            ReadPackageData(PackageClaiming64BitSize("12345", claimed));
            ADD_FAILURE() << claimed << ": no exception";
        }
        catch (const EntryTooLarge& error)
        {
            EXPECT_EQ(error.size, claimed);
            EXPECT_EQ(error.what(), fmt::format("File data of {} bytes is 4 GiB or more", claimed));
        }
        EXPECT_EQ(ListError(PackageClaiming64BitSize("a\n", claimed), false),
                  "Could not read lists/main.zip");
    }
    // The same hand-made layout with an honest size reads, so the refusal is the size's.
    EXPECT_EQ(ReadPackageData(PackageClaiming64BitSize("12345", 5)).View(), "12345");
}

TEST(ListPackage, TextIsTheFirstEntryUpToItsFirstNul)
{
    const std::string listText = "a\x03" + "b\n"s;
    EXPECT_EQ(ReadSingleEntryPackage(DeflatedPackage(listText), "main", false), listText);
    EXPECT_EQ(ReadSingleEntryPackage(StoredPackage("line\n\0after\n"s), "main", false), "line\n");
    EXPECT_EQ(ReadSingleEntryPackage(TwoEntryPackage("first", "second"), "main", true), "first");
    EXPECT_EQ(ReadSingleEntryPackage(StoredPackage(""), "main", false), "");
}

TEST(ListPackage, ArchiveWithoutEntryIsNoEntryNotAnError)
{
    EXPECT_EQ(ReadSingleEntryPackage(ArchiveWithoutEntries(), "main", false), std::nullopt);
    EXPECT_EQ(ReadSingleEntryPackage(ArchiveWithoutEntries(), "main", true), std::nullopt);
    // The bare 22-byte form too: its end record sits at offset 0.
    EXPECT_EQ(ReadSingleEntryPackage(EmptyArchive(), "main", false), std::nullopt);
}

TEST(ListPackage, FailuresNameTheListAndTheOverlay)
{
    const std::string content = SampleContent();
    EXPECT_EQ(ListError(RandomBytes(2048, 4), false), "Could not read lists/main.zip");
    EXPECT_EQ(ListError(RandomBytes(2048, 4), true), "Could not read overlay lists/main.zip");
    EXPECT_EQ(ListError(PackageWithMethod12(content), false), "Could not read lists/main.zip");
    EXPECT_EQ(ListError(PackageWithOverlongNameInDirectory(content), false),
              "Unable to get file info for lists/main.zip");
    EXPECT_EQ(ListError(PackageWithOverlongNameInDirectory(content), true),
              "Unable to get file info for overlay lists/main.zip");
    EXPECT_EQ(ListError(PackageWithWrongCrc(content), false),
              "Could not close handle for lists/main.zip");
    EXPECT_EQ(ListError(PackageWithWrongCrc(content), true),
              "Could not close handle for overlay lists/main.zip");
    EXPECT_EQ(ListError(PackageClaimingSize(content, 9000), false),
              "Could not read lists/main.zip");
    EXPECT_EQ(ListError(PackageClaimingSize(content, 9000), true),
              "Could not read overlay lists/main.zip");
    // A wrong CRC is only seen when the whole claim was read; short of that
    // the short read is what fails.
    std::string both = PackageClaimingSize(content, 9000);
    SetFirstEntryCrc(both, 1);
    EXPECT_EQ(ListError(both, false), "Could not read lists/main.zip");
}
