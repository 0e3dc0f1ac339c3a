#include "update/PackageBuffer.h"

#include "base/TextEncoding.h"
#include "update/PartFiles.h"

#include <windows.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

bool IsDiskFull(unsigned long code)
{
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
}

PackageBuffer::PackageBuffer(std::wstring spillPath, size_t memoryLimit)
    : spillPath_(std::move(spillPath)), memoryLimit_(memoryLimit)
{
}

PackageBuffer::~PackageBuffer()
{
    Clear();
}

void PackageBuffer::Clear()
{
    // The capacity stays for the next small package: one allocation a worker, not one a file.
    memory_.clear();
    size_ = 0;
    diskFull_ = false;
    lastError_ = 0;
    if (file_ || inFile_)
    {
        file_.Reset();
        if (!DeleteFileW(spillPath_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            NotePartFileLeft();
    }
    inFile_ = false;
}

void PackageBuffer::Begin(int64_t announcedLength)
{
    Clear();
    if (announcedLength > static_cast<int64_t>(memoryLimit_))
    {
        // Straight to the disk; a failure here shows at the first piece.
        SpillToFile();
        return;
    }
    if (announcedLength > 0)
    {
        try
        {
            memory_.reserve(static_cast<size_t>(announcedLength));
        }
        catch (const std::exception&)
        {
        }
    }
}

bool PackageBuffer::Continue(uint64_t offset)
{
    if (offset > size_ || diskFull_)
        return false;
    if (!inFile_)
    {
        memory_.resize(static_cast<size_t>(offset));
        size_ = offset;
        return true;
    }
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!file_ || !SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(file_.Get()))
    {
        lastError_ = GetLastError();
        spdlog::error("Could not continue the download in {} (error {})", ToUtf8(spillPath_),
                      lastError_);
        return false;
    }
    size_ = offset;
    return true;
}

bool PackageBuffer::Append(const char* data, size_t size)
{
    if (!inFile_ && size_ + size <= memoryLimit_)
    {
        try
        {
            memory_.append(data, size);
            size_ += size;
            return true;
        }
        catch (const std::exception& error)
        {
            // No room in the address space is no reason to fail: the disk takes it.
            spdlog::warn("A package of {} bytes went to the disk: {}", size_ + size, error.what());
        }
    }
    if (!inFile_ && !SpillToFile())
        return false;
    if (!WriteToFile(data, size))
        return false;
    size_ += size;
    return true;
}

bool PackageBuffer::SpillToFile()
{
    NotePartFile(spillPath_);
    inFile_ = true;
    file_.Reset(CreateFileW(spillPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_SEQUENTIAL_SCAN,
                            nullptr));
    if (!file_)
    {
        lastError_ = GetLastError();
        diskFull_ = IsDiskFull(lastError_);
        spdlog::error("Could not create {} for a download (error {})", ToUtf8(spillPath_),
                      lastError_);
        return false;
    }
    if (!WriteToFile(memory_.data(), memory_.size()))
        return false;
    std::string().swap(memory_);
    return true;
}

bool PackageBuffer::WriteToFile(const char* data, size_t size)
{
    if (!file_)
        return false;
    DWORD written = 0;
    if (WriteFile(file_.Get(), data, static_cast<DWORD>(size), &written, nullptr) &&
        written == size)
        return true;
    lastError_ = GetLastError();
    // A short write without a reason is the disk running out.
    if (lastError_ == ERROR_SUCCESS)
        lastError_ = ERROR_DISK_FULL;
    diskFull_ = IsDiskFull(lastError_);
    spdlog::error("Could not write a download to {} (error {})", ToUtf8(spillPath_), lastError_);
    return false;
}

std::string PackageBuffer::FailureText() const
{
    return fmt::format("The download could not be written to {} (error {})", ToUtf8(spillPath_),
                       lastError_);
}
