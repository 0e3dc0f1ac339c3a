// The default transport: one libcurl easy handle driven synchronously, HTTP/2
// over TLS when offered. With ECH on, names are resolved over DNS-over-HTTPS and
// a failing request walks down a per-client fallback ladder, retrying at once,
// until ECH is given up for the rest of the client's life. One thread only.
#pragma once

#include "BuildConfig.h"
#include "http/HttpClient.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct curl_slist;

// A transfer slower than 1 byte/s for this long is given up, so a stalled
// server cannot hold a worker forever.
inline constexpr long kStallSeconds = NORVIK_STALL_SECONDS;

// The rung at which ECH has been given up: system resolver and system store.
inline constexpr int32_t kDohLevelWithoutEch = 4;

class HttpClientCurl : public IHttpClient
{
  public:
    // Throws std::runtime_error("Failed to initialize CURL") without a handle.
    HttpClientCurl();
    ~HttpClientCurl() override;

    HttpClientCurl(const HttpClientCurl&) = delete;
    HttpClientCurl& operator=(const HttpClientCurl&) = delete;

    HttpResponse Get(const std::string& url) override;
    using IHttpClient::Download;
    HttpResponse Download(const std::string& url, ProgressCallback progress, IBodySink& sink,
                          const ResumePoint* resume) override;
    void Reset() override;
    void SetUserAgent(const std::string& userAgent) override;
    void SetEch(bool enabled) override;
    void SetSpeedLimit(SpeedLimit* limit) override { speedLimit = limit; }

    bool EchEnabled() const { return echEnabledForClient; }
    int32_t DohLevel() const { return dohLevel; }

  private:
    struct EasyCleanup
    {
        void operator()(void* handle) const;
    };
    struct HeaderListCleanup
    {
        void operator()(curl_slist* list) const;
    };

    bool LoadCaBundle();
    // A new easy handle, and with it an empty DNS cache: when the resolver
    // changes, neither its answers nor the failures libcurl remembers may carry over.
    void RenewHandle();
    void ApplyRequestOptions(const std::string& url);
    // True when a rung of the ladder was given up: the request runs again.
    bool PerformAndMap(HttpResponse& response);
    void StepDownLadder(int rc);

    // Asks for the rest of the body after `resume`'s offset, unless it changed.
    void RequestRest(const ResumePoint& resume);
    // At the first piece of a body: the sink continued or begun, and what the
    // server says of the body noted; false when a range came that was not asked for.
    bool StartBody();
    static size_t WriteToSink(char* data, size_t size, size_t count, void* client);
    // Points `sink` at `target` for the next perform.
    void UseSink(IBodySink& target);
    static int ProgressTrampoline(void* client, double downloadTotal, double downloadNow,
                                  double uploadTotal, double uploadNow);

    std::unique_ptr<void, EasyCleanup> handle;
    SpeedLimit* speedLimit = nullptr;
    std::string userAgent = "Norvik/2.0 (Launcher; cURL)";
    bool echEnabledForClient = false;
    int32_t dohLevel = 0;
    ProgressCallback progress;
    // Where the body of the request in progress goes; whether it has had its
    // Begin, and whether it refused a piece.
    IBodySink* sink = nullptr;
    bool sinkBegun = false;
    bool sinkFailed = false;
    // The request in progress continues a body; whether the server sent the
    // rest that was asked for, or another part of it.
    const ResumePoint* resume = nullptr;
    uint64_t progressOffset = 0;
    bool rangeRefused = false;
    std::unique_ptr<curl_slist, HeaderListCleanup> requestHeaders;
    // Of the body in progress, for HttpResponse.
    int64_t bodyLength = -1;
    std::string validator;
    // Handed to libcurl without a copy: filled once, never changed afterwards.
    std::vector<unsigned char> caBundle;
};
