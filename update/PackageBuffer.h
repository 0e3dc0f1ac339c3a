// A downloaded package on its way to extraction: in memory up to a size, and
// beyond it (or when memory runs out) in a file of the game folder, noted in
// the part-file journal, so a worker never holds a large package whole. One
// per worker, reused for each of its downloads.
#pragma once

#include "base/UniqueHandle.h"
#include "http/BodySink.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Packages up to this size stay in memory: four workers then hold at most
// 16 MiB of packages, and the many small ones never touch the disk twice.
inline constexpr size_t kPackageMemoryBytes = 4 << 20;

// The codes Windows gives for a write to a full disk.
bool IsDiskFull(unsigned long code);

class PackageBuffer : public IBodySink
{
  public:
    // `spillPath` relative to the game folder, ending in the part-file suffix.
    explicit PackageBuffer(std::wstring spillPath, size_t memoryLimit = kPackageMemoryBytes);
    ~PackageBuffer() override;
    PackageBuffer(const PackageBuffer&) = delete;
    PackageBuffer& operator=(const PackageBuffer&) = delete;

    void Begin(int64_t announcedLength) override;
    bool Continue(uint64_t offset) override;
    bool Append(const char* data, size_t size) override;
    std::string FailureText() const override;

    // Where the bytes of the last download are.
    bool InFile() const { return inFile_; }
    std::string_view Bytes() const { return memory_; }
    const std::wstring& SpillPath() const { return spillPath_; }
    uint64_t Size() const { return size_; }
    // The last download stopped because the disk holding the file is full.
    bool DiskFull() const { return diskFull_; }

    // Frees the memory and deletes the file.
    void Clear();

  private:
    bool SpillToFile();
    bool WriteToFile(const char* data, size_t size);

    const std::wstring spillPath_;
    const size_t memoryLimit_;
    std::string memory_;
    UniqueHandle file_;
    bool inFile_ = false;
    uint64_t size_ = 0;
    bool diskFull_ = false;
    unsigned long lastError_ = 0;
};
