#include "publisher/HttpFetch.h"

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
    const auto* fetch = static_cast<HttpFetch*>(self);
    (*fetch->sink_)(std::string_view(data, size * count));
    return size * count;
}

FetchOutcome HttpFetch::Get(const std::string& url,
                            const std::function<void(std::string_view)>& sink)
{
    curl_easy_reset(curl_);
    char error[CURL_ERROR_SIZE] = "";
    sink_ = &sink;
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
        outcome.error = error[0] != '\0' ? error : curl_easy_strerror(code);
        return outcome;
    }
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &outcome.status);
    return outcome;
}

FetchOutcome HttpFetch::GetText(const std::string& url, std::string& body)
{
    body.clear();
    return Get(url, [&](std::string_view piece) { body += piece; });
}
