#include "http/BodySink.h"

#include "http/NetworkError.h"

#include <spdlog/spdlog.h>

void StringBodySink::Begin(int64_t announcedLength)
{
    body_.clear();
    // One allocation for an announced length, instead of a doubling string
    // that copies a large body several times and holds up to twice its size.
    // A length too large to reserve is left to the appends, which report it
    // when they too fail.
    if (announcedLength <= 0 || static_cast<uint64_t>(announcedLength) > body_.max_size())
        return;
    try
    {
        body_.reserve(static_cast<size_t>(announcedLength));
    }
    catch (const std::exception&)
    {
    }
}

bool StringBodySink::Continue(uint64_t offset)
{
    if (offset > body_.size())
        return false;
    body_.resize(static_cast<size_t>(offset));
    return true;
}

bool StringBodySink::Append(const char* data, size_t size)
{
    try
    {
        body_.append(data, size);
        return true;
    }
    catch (const std::exception& error)
    {
        spdlog::error("Response body of {} bytes could not be stored: {}", body_.size() + size,
                      error.what());
        return false;
    }
}

std::string StringBodySink::FailureText() const
{
    return FormatNetworkError("network_error_memory");
}
