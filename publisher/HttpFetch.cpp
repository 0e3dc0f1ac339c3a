#include "publisher/HttpFetch.h"

#include <fmt/format.h>
#include <mutex>
#include <stdexcept>

void InitHttpFetchOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpFetch::HttpFetch(std::string caFile) : curl_(curl_easy_init()), caFile_(std::move(caFile))
{
    if (!curl_)
        throw std::runtime_error("libcurl could not start");
}

HttpFetch::~HttpFetch()
{
    curl_easy_cleanup(curl_);
}

size_t HttpFetch::Write(char* data, size_t size, size_t count, void* self)
{
    auto* fetch = static_cast<HttpFetch*>(self);
    try
    {
        (*fetch->sink_)(std::string_view(data, size * count));
        return size * count;
    }
    catch (const std::exception& e)
    {
        fetch->sinkError_ = e.what();
    }
    catch (...)
    {
        fetch->sinkError_ = "the body could not be taken";
    }
    return 0;
}

FetchOutcome HttpFetch::Get(const std::string& url,
                            const std::function<void(std::string_view)>& sink, long totalSeconds)
{
    curl_easy_reset(curl_);
    char error[CURL_ERROR_SIZE] = "";
    sink_ = &sink;
    sinkError_.clear();
    if (totalSeconds > 0)
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, totalSeconds);
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &HttpFetch::Write);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 20L);
    // A stalled mirror is reported, not waited on for ever.
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, 60L);
    if (!caFile_.empty())
        curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.c_str());
    const CURLcode code = curl_easy_perform(curl_);
    sink_ = nullptr;
    FetchOutcome outcome;
    if (code != CURLE_OK)
    {
        outcome.error = !sinkError_.empty() ? sinkError_
                        : error[0] != '\0'  ? error
                                            : curl_easy_strerror(code);
        return outcome;
    }
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &outcome.status);
    return outcome;
}

FetchOutcome HttpFetch::GetText(const std::string& url, std::string& body, size_t maxBytes)
{
    body.clear();
    // A version file or manifest is small; a server sending more is broken.
    return Get(
        url,
        [&](std::string_view piece)
        {
            if (body.size() + piece.size() > maxBytes)
                throw std::length_error(fmt::format("larger than {} bytes", maxBytes));
            body += piece;
        },
        60);
}
