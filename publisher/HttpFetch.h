// One libcurl easy handle for fetching files one after another (its
// connection is kept between them). Not thread-safe: one per thread.
#pragma once

#include <curl/curl.h>
#include <functional>
#include <string>
#include <string_view>

struct FetchOutcome
{
    // 0 when no answer came; then `error` says why.
    long status = 0;
    std::string error;
};

class HttpFetch
{
  public:
    // `caFile`: PEM certificates to trust instead of the system's, or empty.
    explicit HttpFetch(std::string caFile);
    ~HttpFetch();
    HttpFetch(const HttpFetch&) = delete;
    HttpFetch& operator=(const HttpFetch&) = delete;

    // The body goes to `sink` piece by piece, whatever the status. A sink
    // that throws ends the transfer; its message becomes the error.
    FetchOutcome Get(const std::string& url, const std::function<void(std::string_view)>& sink,
                     long totalSeconds = 0);
    // The whole body of a small file: at most `maxBytes`, within 60 s.
    FetchOutcome GetText(const std::string& url, std::string& body, size_t maxBytes = 16 << 20);

  private:
    static size_t Write(char* data, size_t size, size_t count, void* self);

    CURL* curl_ = nullptr;
    std::string caFile_;
    const std::function<void(std::string_view)>* sink_ = nullptr;
    // What the sink threw: no exception may cross libcurl's C frames.
    std::string sinkError_;
};

// curl_global_init, once per process, before the first HttpFetch on any thread.
void InitHttpFetchOnce();
