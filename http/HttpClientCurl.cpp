#include "http/HttpClientCurl.h"

#include "base/TextEncoding.h"
#include "http/NetworkError.h"
#include "http/RangeRequest.h"
#include "settings/Deployment.h"

#include <windows.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <stdexcept>

// The progress callback of the older four-double form is the one registered;
// libcurl marks it deprecated but keeps it.
#define CURL_DISABLE_DEPRECATION
#include <curl/curl.h>

namespace
{
constexpr int kCaBundleResource = 193;
// Under Wine each socket read is a costly trip through the server process;
// libcurl's 16 KiB default makes a large package thousands of them.
constexpr long kReceiveBufferBytes = 512 * 1024;
// Under a speed limit the pieces stay small, so the waits between them and
// the progress shown stay smooth.
constexpr long kLimitedReceiveBufferBytes = 16 * 1024;

// The module this code was linked into, whichever executable loaded it.
HMODULE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

std::string EscapeSpaces(const std::string& url)
{
    std::string escaped;
    escaped.reserve(url.size());
    for (const char c : url)
    {
        if (c == ' ')
            escaped += "%20";
        else
            escaped += c;
    }
    return escaped;
}

bool IsLadderFailure(CURLcode rc)
{
    return rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_SSL_CONNECT_ERROR ||
           rc == CURLE_SSL_CERTPROBLEM || rc == CURLE_PEER_FAILED_VERIFICATION;
}

bool Connected(CURL* easy)
{
    curl_off_t connectTime = 0;
    return curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
           connectTime > 0;
}

// The value of the last reply's header `name`, or empty.
std::string HeaderValue(CURL* easy, const char* name)
{
    curl_header* header = nullptr;
    if (curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header ||
        !header->value)
        return {};
    return header->value;
}

std::string TransportErrorText(CURLcode rc)
{
    switch (rc)
    {
    case CURLE_COULDNT_RESOLVE_PROXY:
        return FormatNetworkError("network_error_proxy");
    case CURLE_COULDNT_RESOLVE_HOST:
        return FormatNetworkError("network_error_host");
    case CURLE_COULDNT_CONNECT:
        return FormatNetworkError("network_error_connect");
    default:
        return FormatNetworkError("network_error_generic", static_cast<int>(rc),
                                  ToWide(curl_easy_strerror(rc)));
    }
}
} // namespace

void HttpClientCurl::EasyCleanup::operator()(void* easy) const
{
    curl_easy_cleanup(easy);
}

void HttpClientCurl::HeaderListCleanup::operator()(curl_slist* list) const
{
    curl_slist_free_all(list);
}

HttpClientCurl::HttpClientCurl() : handle(curl_easy_init())
{
    if (!handle)
        throw std::runtime_error("Failed to initialize CURL");
}

HttpClientCurl::~HttpClientCurl() = default;

void HttpClientCurl::Reset()
{
    if (handle)
        curl_easy_reset(handle.get());
}

void HttpClientCurl::SetUserAgent(const std::string& agent)
{
    userAgent = agent;
}

void HttpClientCurl::SetEch(bool enabled)
{
    const bool wasEch = echEnabledForClient;
    const int wasLevel = dohLevel;
    echEnabledForClient = enabled;
    if (enabled)
    {
        dohLevel = 0;
        LoadCaBundle();
    }
    if (wasEch != echEnabledForClient || wasLevel != dohLevel)
        RenewHandle();
}

void HttpClientCurl::RenewHandle()
{
    if (CURL* fresh = curl_easy_init())
        handle.reset(fresh);
    else
        curl_easy_reset(handle.get());
}

bool HttpClientCurl::LoadCaBundle()
{
    if (!caBundle.empty())
        return true;

    const HMODULE module = OwnModule();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(kCaBundleResource), RT_RCDATA);
    if (!resource)
    {
        spdlog::error("Failed to find CA bundle resource");
        return false;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
    {
        spdlog::error("Failed to load CA bundle resource");
        return false;
    }
    const DWORD size = SizeofResource(module, resource);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (!bytes || size == 0)
    {
        spdlog::error("Failed to lock CA bundle resource");
        return false;
    }
    caBundle.assign(bytes, bytes + size);
    spdlog::trace("Loaded embedded CA bundle ({} bytes)", size);
    return true;
}

void HttpClientCurl::ApplyRequestOptions(const std::string& url)
{
    CURL* easy = handle.get();
    const std::string escaped = EscapeSpaces(url);

    if (echEnabledForClient && dohLevel != kDohLevelWithoutEch)
    {
        curl_easy_setopt(easy, CURLOPT_DOH_URL, kDohResolvers[dohLevel % 2]);
        curl_easy_setopt(easy, CURLOPT_ECH, "true");
        if (dohLevel < 2)
        {
            if (!caBundle.empty())
            {
                curl_blob blob{caBundle.data(), caBundle.size(), CURL_BLOB_NOCOPY};
                curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
            }
        }
        else
        {
            curl_easy_setopt(easy, CURLOPT_DOH_SSL_VERIFYPEER, 0L);
            // This libcurl has no CA file or path of its own, so "its default
            // store" would trust nothing: these rungs use the system's.
            curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
        }
    }
    else
    {
        curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
    }

    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(easy, CURLOPT_URL, escaped.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE,
                     speedLimit ? kLimitedReceiveBufferBytes : kReceiveBufferBytes);
    // The version file names the addresses: nothing but the web is followed.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    sinkBegun = false;
    sinkFailed = false;
    rangeRefused = false;
    progressOffset = 0;
    bodyLength = -1;
    validator.clear();
}

void HttpClientCurl::RequestRest(const ResumePoint& rest)
{
    CURL* easy = handle.get();
    const std::string range = fmt::format("{}-", rest.offset);
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    curl_slist* list = curl_slist_append(nullptr, IfRangeHeader(rest).c_str());
    requestHeaders.reset(list);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    // Until the reply shows whether the rest comes, the bytes held count.
    progressOffset = rest.offset;
}

bool HttpClientCurl::StartBody()
{
    CURL* easy = handle.get();
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        length = -1;
    sinkBegun = true;
    if (resume && status == 206)
    {
        const auto range = ParseContentRange(HeaderValue(easy, "Content-Range"));
        if (!range || !IsRestOf(*range, *resume) || !sink->Continue(resume->offset))
        {
            spdlog::warn("The server did not send the rest asked for (Content-Range: {})",
                         HeaderValue(easy, "Content-Range"));
            rangeRefused = true;
            return false;
        }
        bodyLength = resume->bodyLength;
        validator = resume->validator;
        return true;
    }
    progressOffset = 0;
    sink->Begin(length);
    if (status >= 200 && status < 300)
    {
        bodyLength = length;
        validator = ChooseValidator(HeaderValue(easy, "ETag"), HeaderValue(easy, "Last-Modified"));
    }
    return true;
}

void HttpClientCurl::UseSink(IBodySink& target)
{
    CURL* easy = handle.get();
    sink = &target;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpClientCurl::WriteToSink);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
}

// Neither callback may let an exception into libcurl's C frames: a sink that
// cannot take a piece ends the transfer (a write error) instead.
size_t HttpClientCurl::WriteToSink(char* data, size_t size, size_t count, void* client)
{
    auto* self = static_cast<HttpClientCurl*>(client);
    try
    {
        if (!self->sinkBegun && !self->StartBody())
            return 0;
        if (self->speedLimit)
            self->speedLimit->Take(size * count);
        if (self->sink->Append(data, size * count))
            return size * count;
    }
    catch (const std::exception& error)
    {
        spdlog::error("Response body could not be stored: {}", error.what());
    }
    self->sinkFailed = true;
    return 0;
}

int HttpClientCurl::ProgressTrampoline(void* client, double downloadTotal, double downloadNow,
                                       double, double)
{
    auto* self = static_cast<HttpClientCurl*>(client);
    const ProgressCallback& progress = self->progress;
    if (!progress)
        return 0;
    try
    {
        const double held = static_cast<double>(self->progressOffset);
        // Before the reply's first piece the totals are not yet the body's.
        if (self->resume && !self->sinkBegun)
            return progress(static_cast<double>(self->resume->bodyLength), held);
        return progress(downloadTotal > 0 ? downloadTotal + held : 0, downloadNow + held);
    }
    catch (const std::exception& error)
    {
        spdlog::error("Progress report failed, transfer aborted: {}", error.what());
        return 1;
    }
}

bool HttpClientCurl::PerformAndMap(HttpResponse& response)
{
    CURL* easy = handle.get();
    const CURLcode rc = curl_easy_perform(easy);

    if (rc == CURLE_OK)
    {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        response.statusCode = static_cast<int32_t>(status);
        response.error = StatusErrorText(status);
        return false;
    }
    if (rc == CURLE_ECH_REQUIRED && echEnabledForClient)
    {
        echEnabledForClient = false;
        dohLevel = kDohLevelWithoutEch;
        spdlog::trace("Curl: ECH required but failed, disabling ECH");
        RenewHandle();
        return true;
    }
    if (IsLadderFailure(rc) && echEnabledForClient && dohLevel != kDohLevelWithoutEch)
    {
        StepDownLadder(rc);
        RenewHandle();
        return true;
    }
    response.statusCode = -1;
    if (rc == CURLE_WRITE_ERROR && rangeRefused)
        response.error = TransportErrorText(CURLE_RANGE_ERROR);
    else if (rc == CURLE_WRITE_ERROR && sinkFailed)
        response.error = sink->FailureText();
    else if (rc == CURLE_OPERATION_TIMEDOUT && !Connected(easy))
        // A host that never answered: the player can try another mirror.
        response.error = FormatNetworkError("network_error_connect");
    else
        response.error = TransportErrorText(rc);
    return false;
}

void HttpClientCurl::StepDownLadder(int rc)
{
    ++dohLevel;
    if (dohLevel == kDohLevelWithoutEch)
    {
        echEnabledForClient = false;
        spdlog::warn("All DoH servers failed, disabling ECH for this session");
    }
    spdlog::trace("Curl: DoH failed ({}), trying fallback level {}",
                  curl_easy_strerror(static_cast<CURLcode>(rc)), dohLevel);
}

HttpResponse HttpClientCurl::Get(const std::string& url)
{
    spdlog::trace("Get (ech: {}) - URL={}", echEnabledForClient, url);
    HttpResponse response;

    ApplyRequestOptions(url);
    CURL* easy = handle.get();
    StringBodySink bodySink(response.body);
    UseSink(bodySink);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);

    // A rung given up: the next attempt runs on the new one.
    if (PerformAndMap(response))
        return Get(url);

    sink = nullptr;
    curl_easy_reset(easy);
    return response;
}

HttpResponse HttpClientCurl::Download(const std::string& url, ProgressCallback callback,
                                      IBodySink& target, const ResumePoint* rest)
{
    spdlog::trace("Download (ech: {}) - URL={}", echEnabledForClient, url);
    HttpResponse response;
    progress = std::move(callback);

    ApplyRequestOptions(url);
    CURL* easy = handle.get();
    UseSink(target);
    resume = rest && rest->offset > 0 && !rest->validator.empty() ? rest : nullptr;
    if (resume)
        RequestRest(*resume);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_PROGRESSDATA, this);
    curl_easy_setopt(easy, CURLOPT_PROGRESSFUNCTION, &HttpClientCurl::ProgressTrampoline);

    const bool again = PerformAndMap(response);
    response.bodyLength = bodyLength;
    response.validator = validator;
    resume = nullptr;
    if (again)
        return Download(url, progress, target, rest);

    progress = nullptr;
    sink = nullptr;
    curl_easy_reset(easy);
    requestHeaders.reset();
    return response;
}
