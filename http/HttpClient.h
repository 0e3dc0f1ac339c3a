// The one request interface of the launcher: synchronous HTTP GETs, the body
// collected in memory or handed to a sink, with a libcurl backend (default)
// and a WinInet backend. One client per thread; a request never throws,
// success is an empty `error`.
#pragma once

#include "http/BodySink.h"
#include "http/SpeedLimit.h"

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
    // Of a 2xx body, also one whose transfer broke off: the whole body's
    // length (-1 when unknown) and the server's validator of it, its ETag or
    // else its Last-Modified (empty when it sent neither).
    int64_t bodyLength = -1;
    std::string validator;
};

// Where a transfer that broke off stopped, so that a request asks only for
// the rest. The server sends the rest only while the body is the one it
// was: the same validator and the same whole length.
struct ResumePoint
{
    uint64_t offset = 0;
    int64_t bodyLength = -1;
    std::string validator;
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
    // The body goes to `sink`, error statuses' too. With `resume`, whose
    // offset is what the sink holds, the server is asked for the rest: the
    // sink is continued when it sends that, and begun afresh when it sends
    // the whole body. Progress counts the bytes held as received.
    virtual HttpResponse Download(const std::string& url, ProgressCallback progress,
                                  IBodySink& sink, const ResumePoint* resume) = 0;
    HttpResponse Download(const std::string& url, ProgressCallback progress, IBodySink& sink)
    {
        return Download(url, std::move(progress), sink, nullptr);
    }
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
    // Downloads share `limit` (which outlives the client) from now on; null: none.
    virtual void SetSpeedLimit(SpeedLimit* limit) = 0;
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
