// The backend choice and the one place that knows both transports.
#include "http/HttpClient.h"
#include "http/HttpClientCurl.h"
#include "http/HttpClientWinInet.h"

#include <windows.h>

#include <stdexcept>

namespace
{
constexpr wchar_t kWinInetMarker[] = L".wininet";

// Files, folders, links: any entry by that name counts.
bool EntryExists(const wchar_t* name)
{
    return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(HttpBackend kind)
{
    switch (kind)
    {
    case HttpBackend::Curl:
        return std::make_unique<HttpClientCurl>();
    case HttpBackend::WinInet:
        return std::make_unique<HttpClientWinInet>();
    }
    throw std::invalid_argument("Unknown HTTP backend");
}

HttpBackend SelectHttpBackend()
{
    return EntryExists(kWinInetMarker) ? HttpBackend::WinInet : HttpBackend::Curl;
}

const char* HttpBackendName(HttpBackend kind)
{
    return kind == HttpBackend::WinInet ? "WinInet" : "libcurl";
}
