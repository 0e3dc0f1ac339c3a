#include "publisher/OutputLock.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <unistd.h>

OutputLock::OutputLock(const std::filesystem::path& outputFolder)
{
    std::filesystem::create_directories(outputFolder);
    const std::filesystem::path file = outputFolder / ".norvik-publish-lock";
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw std::runtime_error(fmt::format("cannot open {}", file.string()));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
    {
        char pid[32] = "";
        const ssize_t got = ::pread(fd_, pid, sizeof pid - 1, 0);
        ::close(fd_);
        fd_ = -1;
        std::string holder(pid, got > 0 ? static_cast<size_t>(got) : 0);
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' '))
            holder.pop_back();
        throw std::runtime_error(fmt::format("{} is locked by PID {} (another norvik-publish run)",
                                             outputFolder.string(), holder.empty() ? "?" : holder));
    }
    const std::string pid = fmt::format("{}\n", ::getpid());
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) < 0)
    {
        // The lock holds without the PID; only the message of a second run loses it.
    }
}

OutputLock::~OutputLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}
