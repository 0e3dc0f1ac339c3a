// The alternative transport over the Windows Internet API: follows the system's
// proxy settings and certificate store, no ECH. Each request is one GET on a
// fresh connection, the body collected in memory. One thread only.
#pragma once

#include "http/HttpClient.h"

#include <memory>
#include <string>

class HttpClientWinInet : public IHttpClient
{
  public:
    // Throws std::runtime_error("Failed to initialize WinInet").
    HttpClientWinInet();
    ~HttpClientWinInet() override;

    HttpClientWinInet(const HttpClientWinInet&) = delete;
    HttpClientWinInet& operator=(const HttpClientWinInet&) = delete;

    HttpResponse Get(const std::string& url) override;
    using IHttpClient::Download;
    HttpResponse Download(const std::string& url, ProgressCallback progress, IBodySink& sink,
                          const ResumePoint* resume) override;
    void Reset() override {}
    // Reopens the session with the new agent; throws std::runtime_error
    // ("Failed to reinitialize WinInet") and keeps no session when that fails.
    void SetUserAgent(const std::string& userAgent) override;
    void SetEch(bool) override {}
    void SetSpeedLimit(SpeedLimit* limit) override { speedLimit = limit; }

    struct HandleCloser
    {
        void operator()(void* handle) const;
    };
    using InternetHandle = std::unique_ptr<void, HandleCloser>;

  private:
    HttpResponse SendRequest(const std::string& url, const ProgressCallback& progress,
                             IBodySink& sink, const ResumePoint* resume);

    InternetHandle internet;
    SpeedLimit* speedLimit = nullptr;
    std::string userAgent = "Norvik/2.0 (Launcher; WinInet)";
};
