// The one request interface of the launcher: synchronous HTTP GETs, the body
// collected in memory or handed to a sink, with a libcurl backend (default)
// and a WinInet backend. One client per thread; a request never throws,
// success is an empty `error`.
#pragma once

#include "http/BodySink.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

struct HttpResponse
{
    int32_t statusCode = 0; // -1 when no reply was obtained
    std::string body;       // kept for error statuses too; empty when a sink took it
    std::string error;      // UTF-8 text for the user; empty on success
};

// (total bytes expected, bytes so far) -> non-zero asks to abort (libcurl only).
using ProgressCallback = std::function<int(double total, double now)>;

enum class HttpBackend
{
    Curl = 0,
    WinInet = 1,
};

// Thrown by callers (never by the transports) with a response's `error`.
struct http_error : std::exception
{
    explicit http_error(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};

class IHttpClient
{
  public:
    virtual ~IHttpClient() = default;
    virtual HttpResponse Get(const std::string& url) = 0;
    // The body goes to `sink`, error statuses' too.
    virtual HttpResponse Download(const std::string& url, ProgressCallback progress,
                                  IBodySink& sink) = 0;
    // The body in the response.
    HttpResponse Download(const std::string& url, ProgressCallback progress)
    {
        std::string body;
        StringBodySink sink(body);
        HttpResponse response = Download(url, std::move(progress), sink);
        response.body = std::move(body);
        return response;
    }
    virtual void Reset() = 0;
    virtual void SetUserAgent(const std::string& userAgent) = 0;
    virtual void SetEch(bool enabled) = 0;
};

inline constexpr char kNetworkUserAgent[] = "Norvik/2.0 (Launcher)";

// A connection attempt that gets no answer is given up after this long, so a
// dead mirror or resolver is reported in well under a minute even when every
// rung of the encrypted-hello ladder meets it.
inline constexpr long kConnectSeconds = 10;

// Throws std::invalid_argument("Unknown HTTP backend") for an unknown kind and
// std::runtime_error when the backend cannot start.
std::unique_ptr<IHttpClient> CreateHttpClient(HttpBackend kind);

// WinInet when anything named ".wininet" exists in the current directory.
HttpBackend SelectHttpBackend();

// "WinInet" or "libcurl", as the log names them.
const char* HttpBackendName(HttpBackend kind);
