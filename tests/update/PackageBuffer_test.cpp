// Where a download's bytes wait for extraction: memory for small packages, a
// file of the game folder for large ones or when memory runs out.
#include "support/AllocationLimit.h"
#include "support/TempFolder.h"
#include "support/ZipBuilder.h"
#include "update/PackageBuffer.h"
#include "update/PartFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace
{
class PackageBufferTest : public ::testing::Test
{
  protected:
    void SetUp() override { std::filesystem::current_path(folder_.Path()); }
    void TearDown() override { std::filesystem::current_path(previous_); }

    std::filesystem::path previous_ = std::filesystem::current_path();
    TempFolder folder_{L"package-buffer"};
};

void Feed(PackageBuffer& buffer, const std::string& bytes, size_t piece)
{
    for (size_t at = 0; at < bytes.size(); at += piece)
        ASSERT_TRUE(buffer.Append(bytes.data() + at, std::min(piece, bytes.size() - at)));
}
} // namespace

TEST_F(PackageBufferTest, SmallDownloadsStayInMemoryLargeOnesGoToTheNotedFile)
{
    const std::string small = RandomBytes(3000, 1);
    const std::string large = RandomBytes(10000, 2);
    PackageBuffer buffer(L"spill.nrkpart", 4096);

    buffer.Begin(-1);
    Feed(buffer, small, 1000);
    EXPECT_FALSE(buffer.InFile());
    EXPECT_EQ(buffer.Bytes(), small);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "spill.nrkpart"));

    // Past the limit: what came before moves to the file with the rest.
    buffer.Begin(-1);
    Feed(buffer, large, 1000);
    ASSERT_TRUE(buffer.InFile());
    EXPECT_EQ(buffer.Size(), large.size());
    EXPECT_TRUE(buffer.Bytes().empty());
    EXPECT_EQ(ReadWholeFile(folder_ / "spill.nrkpart"), large);
    EXPECT_EQ(ReadWholeFile(folder_ / kPartFileJournal), "spill.nrkpart\n");

    // The next download starts empty, in memory again.
    buffer.Begin(-1);
    EXPECT_FALSE(buffer.InFile());
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "spill.nrkpart"));

    // An announced length over the limit goes to the file from the first byte.
    buffer.Begin(static_cast<int64_t>(large.size()));
    Feed(buffer, large.substr(0, 100), 100);
    EXPECT_TRUE(buffer.InFile());
    EXPECT_EQ(ReadWholeFile(folder_ / "spill.nrkpart"), large.substr(0, 100));
    buffer.Clear();
    EXPECT_FALSE(std::filesystem::exists(folder_ / "spill.nrkpart"));
}

TEST_F(PackageBufferTest, MemoryThatRunsOutSendsTheBytesToTheFile)
{
    const std::string bytes = RandomBytes(3 << 20, 3);
    PackageBuffer buffer(L"spill.nrkpart");
    {
        AllocationLimit limit(1 << 20);
        buffer.Begin(static_cast<int64_t>(bytes.size()));
        Feed(buffer, bytes, 64 * 1024);
        EXPECT_GT(AllocationLimit::Refused(), 0u);
    }
    ASSERT_TRUE(buffer.InFile());
    EXPECT_FALSE(buffer.DiskFull());
    EXPECT_EQ(ReadWholeFile(folder_ / "spill.nrkpart"), bytes);
}

TEST_F(PackageBufferTest, AFileThatCannotBeMadeFailsTheAppendWithItsReason)
{
    // A folder where the file would go.
    std::filesystem::create_directory(folder_ / "spill.nrkpart");
    PackageBuffer buffer(L"spill.nrkpart", 10);
    buffer.Begin(-1);
    EXPECT_FALSE(buffer.Append("0123456789abcdef", 16));
    EXPECT_FALSE(buffer.DiskFull());
    EXPECT_EQ(buffer.FailureText(), "The download could not be written to spill.nrkpart (error 5)");
    EXPECT_TRUE(std::filesystem::is_directory(folder_ / "spill.nrkpart"));
}

TEST_F(PackageBufferTest, AContinuedDownloadKeepsExactlyTheBytesAskedForInMemoryOrFile)
{
    const std::string bytes = RandomBytes(10000, 3);
    PackageBuffer buffer(L"spill.nrkpart", 4096);
    for (const size_t heldBefore : {size_t{3000}, size_t{9000}})
    {
        SCOPED_TRACE(heldBefore);
        buffer.Begin(-1);
        Feed(buffer, bytes.substr(0, heldBefore), 1000);
        const bool spilled = buffer.InFile();
        EXPECT_EQ(spilled, heldBefore > 4096);

        // More than is held cannot be continued; the bytes stay as they were.
        EXPECT_FALSE(buffer.Continue(heldBefore + 1));
        EXPECT_EQ(buffer.Size(), heldBefore);

        // The server resends from an earlier offset: what follows it is dropped.
        ASSERT_TRUE(buffer.Continue(2000));
        EXPECT_EQ(buffer.Size(), 2000u);
        Feed(buffer, bytes.substr(2000), 1000);
        ASSERT_EQ(buffer.Size(), bytes.size());
        EXPECT_TRUE(buffer.InFile());
        EXPECT_EQ(ReadWholeFile(folder_ / "spill.nrkpart"), bytes);
    }
}
