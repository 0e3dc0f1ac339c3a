#include "http/HttpClientWinInet.h"

#include "http/NetworkError.h"
#include "http/RangeRequest.h"

#include <windows.h>

#include <fmt/format.h>
#include <new>
#include <spdlog/spdlog.h>
#include <stdexcept>
#include <wininet.h>

namespace
{
using InternetHandle = HttpClientWinInet::InternetHandle;

constexpr DWORD kHostBufferSize = 256;
constexpr DWORD kPathBufferSize = 2048;
constexpr DWORD kReadChunk = 8192;

// Windows reports an untrusted authority as 12045; Wine as 12057.
constexpr DWORD kWineUntrustedCertificate = ERROR_INTERNET_SEC_CERT_REV_FAILED;

InternetHandle OpenInternet(const std::string& userAgent)
{
    InternetHandle internet(
        InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (internet)
    {
        DWORD milliseconds = kConnectSeconds * 1000;
        InternetSetOptionA(internet.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &milliseconds,
                           sizeof(milliseconds));
    }
    return internet;
}

struct CrackedUrl
{
    char host[kHostBufferSize] = {};
    char path[kPathBufferSize] = {};
    INTERNET_PORT port = 0;
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
};

bool CrackUrl(const std::string& url, CrackedUrl& cracked)
{
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = cracked.host;
    parts.dwHostNameLength = kHostBufferSize;
    parts.lpszUrlPath = cracked.path;
    parts.dwUrlPathLength = kPathBufferSize;
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts))
        return false;
    cracked.port = parts.nPort;
    cracked.scheme = parts.nScheme;
    return true;
}

InternetHandle ConnectTo(HINTERNET internet, const CrackedUrl& url)
{
    return InternetHandle(InternetConnectA(internet, url.host, url.port, nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
}

InternetHandle OpenGetRequest(HINTERNET connection, const char* path, DWORD flags)
{
    return InternetHandle(
        HttpOpenRequestA(connection, "GET", path, "HTTP/1.1", nullptr, nullptr, flags, 0));
}

// `headers`: extra request lines, each ended by CR LF; may be empty.
bool SendWithoutBody(HINTERNET request, const std::string& headers)
{
    return HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0);
}

// The reply header `query` as text, or empty.
std::string QueryText(HINTERNET request, DWORD query)
{
    char text[1024] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, query, text, &size, nullptr))
        return {};
    return std::string(text, size);
}

bool QueryNumber(HINTERNET request, DWORD query, DWORD& value)
{
    DWORD size = sizeof(value);
    return HttpQueryInfoA(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
}

std::string SystemErrorText(DWORD code)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || !text)
        return fmt::format("WinInet error {}", code);
    std::string result(text, length);
    LocalFree(text);
    return result;
}

// The server's own last response text when WinInet kept one, else the
// system's text for the error.
std::string LastInternetErrorText()
{
    DWORD code = GetLastError();
    DWORD length = 0;
    InternetGetLastResponseInfoA(&code, nullptr, &length);
    if (length != 0)
    {
        std::string text(length + 1, '\0');
        DWORD capacity = length + 1;
        if (InternetGetLastResponseInfoA(&code, text.data(), &capacity))
        {
            text.resize(capacity);
            return text;
        }
    }
    return SystemErrorText(code);
}

HttpResponse Failure(std::string error)
{
    HttpResponse response;
    response.statusCode = -1;
    response.error = std::move(error);
    return response;
}

// A body that broke off: the failure keeps what a retry needs to continue it.
HttpResponse BrokenBody(DWORD code, int64_t bodyLength, std::string validator)
{
    HttpResponse response = Failure(FormatNetworkError(
        "network_error_generic", static_cast<int>(code), ToWide(SystemErrorText(code))));
    response.bodyLength = bodyLength;
    response.validator = std::move(validator);
    return response;
}
} // namespace

void HttpClientWinInet::HandleCloser::operator()(void* handle) const
{
    InternetCloseHandle(handle);
}

HttpClientWinInet::HttpClientWinInet()
{
    // In the body: `userAgent` is declared after the handle.
    internet = OpenInternet(userAgent);
    if (!internet)
        throw std::runtime_error("Failed to initialize WinInet");
}

HttpClientWinInet::~HttpClientWinInet() = default;

void HttpClientWinInet::SetUserAgent(const std::string& agent)
{
    userAgent = agent;
    internet.reset();
    internet = OpenInternet(userAgent);
    if (!internet)
        throw std::runtime_error("Failed to reinitialize WinInet");
}

HttpResponse HttpClientWinInet::Get(const std::string& url)
{
    return IHttpClient::Download(url, nullptr);
}

HttpResponse HttpClientWinInet::Download(const std::string& url, ProgressCallback progress,
                                         IBodySink& sink, const ResumePoint* resume)
{
    return SendRequest(url, progress, sink, resume);
}

HttpResponse HttpClientWinInet::SendRequest(const std::string& url,
                                            const ProgressCallback& progress, IBodySink& sink,
                                            const ResumePoint* resume)
{
    spdlog::trace("Get - URL={}", url);

    CrackedUrl cracked;
    if (!CrackUrl(url, cracked))
        return Failure("Failed to parse URL: " + LastInternetErrorText());

    // The version file names the addresses: nothing but the web is followed.
    if (cracked.scheme != INTERNET_SCHEME_HTTP && cracked.scheme != INTERNET_SCHEME_HTTPS)
        return Failure("Unsupported URL scheme: only http and https are allowed");

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (cracked.scheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;

    const InternetHandle connection = ConnectTo(internet.get(), cracked);
    if (!connection)
    {
        const DWORD code = GetLastError();
        if (code == ERROR_INTERNET_NAME_NOT_RESOLVED)
            return Failure(FormatNetworkError("network_error_host"));
        if (code == ERROR_INTERNET_CANNOT_CONNECT)
            return Failure(FormatNetworkError("network_error_connect"));
        return Failure("Connection failed: " + LastInternetErrorText());
    }

    const InternetHandle request = OpenGetRequest(connection.get(), cracked.path, flags);
    if (!request)
        return Failure("Failed to create request: " + LastInternetErrorText());

    if (resume && (resume->offset == 0 || resume->validator.empty()))
        resume = nullptr;
    const std::string headers =
        resume ? RangeHeader(*resume) + "\r\n" + IfRangeHeader(*resume) + "\r\n" : "";
    if (!SendWithoutBody(request.get(), headers))
    {
        const DWORD code = GetLastError();
        if (code == ERROR_INTERNET_INVALID_CA || code == kWineUntrustedCertificate ||
            code == ERROR_INTERNET_SEC_CERT_CN_INVALID)
            return Failure("SSL certificate error");
        return Failure("Request failed: " + LastInternetErrorText());
    }

    DWORD status = 0;
    if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status))
        return Failure("Failed to get status code");

    HttpResponse response;
    response.statusCode = static_cast<int32_t>(status);
    response.error = StatusErrorText(static_cast<long>(status));

    // Absent Content-Length leaves 0, which also silences progress.
    DWORD length = 0;
    const bool announced = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, length);

    // What a retry needs to ask for the rest; the bytes the sink holds count as received.
    uint64_t held = 0;
    double wholeLength = length;
    try
    {
        if (resume && status == 206)
        {
            const auto range =
                ParseContentRange(QueryText(request.get(), HTTP_QUERY_CONTENT_RANGE));
            if (!range || !IsRestOf(*range, *resume) || !sink.Continue(resume->offset))
                return BrokenBody(ERROR_HTTP_INVALID_SERVER_RESPONSE, -1, {});
            response.bodyLength = resume->bodyLength;
            response.validator = resume->validator;
            held = resume->offset;
            wholeLength = static_cast<double>(resume->bodyLength);
        }
        else
        {
            sink.Begin(announced ? static_cast<int64_t>(length) : -1);
            if (status >= 200 && status < 300)
            {
                response.bodyLength = announced ? static_cast<int64_t>(length) : -1;
                response.validator =
                    ChooseValidator(QueryText(request.get(), HTTP_QUERY_ETAG),
                                    QueryText(request.get(), HTTP_QUERY_LAST_MODIFIED));
            }
        }

        char chunk[kReadChunk];
        DWORD read = 0;
        uint64_t received = 0;
        for (;;)
        {
            if (!InternetReadFile(request.get(), chunk, kReadChunk, &read))
                return BrokenBody(GetLastError(), response.bodyLength, response.validator);
            if (read == 0)
                break;
            if (speedLimit)
                speedLimit->Take(read);
            if (!sink.Append(chunk, read))
                return Failure(sink.FailureText());
            received += read;
            if (progress && length != 0)
                progress(wholeLength, static_cast<double>(held + received));
        }
        // A connection closed before the announced end is no whole body.
        if (announced && received < length)
            return BrokenBody(ERROR_INTERNET_CONNECTION_ABORTED, response.bodyLength,
                              response.validator);
    }
    catch (const std::exception& error)
    {
        spdlog::error("Response body could not be stored: {}", error.what());
        return Failure(sink.FailureText());
    }
    return response;
}
