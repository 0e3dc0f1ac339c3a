#include "ui/BrowserEvents.h"

#include "base/AsciiLower.h"
#include "base/TextEncoding.h"

#include <exdispid.h>
#include <mutex>
#include <optional>
#include <shellapi.h>
#include <spdlog/spdlog.h>

namespace
{
// Argument positions: DISPPARAMS lists the arguments last first.
constexpr UINT kBeforeNavigateArguments = 7;
constexpr UINT kBeforeNavigateObject = 6;
constexpr UINT kBeforeNavigateUrl = 5;
constexpr UINT kBeforeNavigateCancel = 0;
constexpr UINT kNewWindowArguments = 5;
constexpr UINT kNewWindowUrl = 0;
constexpr UINT kNewWindowCancel = 3;

std::mutex openOverrideMutex;
OpenInUserBrowserFunction openOverride;

void OpenInUserBrowser(const std::wstring& url)
{
    OpenInUserBrowserFunction open;
    {
        std::lock_guard lock(openOverrideMutex);
        open = openOverride;
    }
    if (open)
        open(url);
    else
        ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

bool IsWebAddress(std::wstring_view url)
{
    return StartsWithNoCase(url, L"http:") || StartsWithNoCase(url, L"https:");
}

// A page chooses these addresses: keep them to one log line.
std::string ForLog(std::wstring_view url)
{
    std::string text = ToUtf8(url);
    for (char& unit : text)
    {
        if (static_cast<unsigned char>(unit) < 0x20 || unit == 0x7F)
            unit = '?';
    }
    return text;
}

// The string an argument carries, directly or by reference; nothing for any other type.
std::optional<std::wstring> StringArgument(const VARIANT& argument)
{
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT))
    {
        value = V_VARIANTREF(value);
        if (!value)
            return std::nullopt;
    }
    BSTR text = nullptr;
    if (V_VT(value) == VT_BSTR)
        text = V_BSTR(value);
    else if (V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value))
        text = *V_BSTRREF(value);
    else
        return std::nullopt;
    // A null BSTR is the empty string; a BSTR may hold NULs, so its length counts.
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

bool SameObject(IUnknown* one, IUnknown* other)
{
    // COM identity: the IUnknown each hands out, not the pointers as passed.
    IUnknown* oneIdentity = nullptr;
    IUnknown* otherIdentity = nullptr;
    const bool same =
        SUCCEEDED(one->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&oneIdentity))) &&
        SUCCEEDED(other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&otherIdentity))) &&
        oneIdentity == otherIdentity;
    if (oneIdentity)
        oneIdentity->Release();
    if (otherIdentity)
        otherIdentity->Release();
    return same;
}

// BeforeNavigate2 names the browser that navigates: the control itself, or
// the browser of one of the page's frames.
bool IsFrameNavigation(const VARIANT& argument, IUnknown* control)
{
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_BYREF | VT_VARIANT))
        value = V_VARIANTREF(value);
    if (!control || !value)
        return false;
    IUnknown* navigating = nullptr;
    if (V_VT(value) == VT_DISPATCH)
        navigating = V_DISPATCH(value);
    else if (V_VT(value) == VT_UNKNOWN)
        navigating = V_UNKNOWN(value);
    return navigating && !SameObject(navigating, control);
}

void SetCancel(const VARIANT& argument, bool cancel)
{
    if (V_VT(&argument) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&argument))
        *V_BOOLREF(&argument) = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

void Carry(NavigationVerdict verdict, const std::wstring& url, const VARIANT& cancel,
           const char* refusal)
{
    switch (verdict)
    {
    case NavigationVerdict::LoadInside:
        return;
    case NavigationVerdict::OpenOutside:
        OpenInUserBrowser(url);
        break;
    case NavigationVerdict::Refuse:
        spdlog::warn("{}{}", refusal, ForLog(url));
        break;
    }
    SetCancel(cancel, true);
}
} // namespace

NavigationVerdict JudgeNavigation(std::wstring_view url, std::wstring_view currentUrl)
{
    if (url == currentUrl)
        return NavigationVerdict::LoadInside;
    return IsWebAddress(url) ? NavigationVerdict::OpenOutside : NavigationVerdict::Refuse;
}

NavigationVerdict JudgeFrameNavigation(std::wstring_view url)
{
    if (IsWebAddress(url) || url == L"about:blank")
        return NavigationVerdict::LoadInside;
    return NavigationVerdict::Refuse;
}

NavigationVerdict JudgeNewWindow(std::wstring_view url)
{
    return IsWebAddress(url) ? NavigationVerdict::OpenOutside : NavigationVerdict::Refuse;
}

HRESULT HandleBrowserEvent(DISPID event, DISPPARAMS* params, const std::wstring& currentUrl,
                           IUnknown* control)
{
    switch (event)
    {
    case DISPID_BEFORENAVIGATE2:
    {
        if (!params || !params->rgvarg || params->cArgs < kBeforeNavigateArguments)
            return S_OK;
        // An address that is no string is let through, as the control gives no other.
        const std::optional<std::wstring> url = StringArgument(params->rgvarg[kBeforeNavigateUrl]);
        if (!url)
            return S_OK;
        const NavigationVerdict verdict =
            IsFrameNavigation(params->rgvarg[kBeforeNavigateObject], control)
                ? JudgeFrameNavigation(*url)
                : JudgeNavigation(*url, currentUrl);
        Carry(verdict, *url, params->rgvarg[kBeforeNavigateCancel],
              "news browser: blocked navigation to ");
        return S_OK;
    }
    case DISPID_NEWWINDOW3:
    {
        if (!params || !params->rgvarg || params->cArgs < kNewWindowArguments)
            return S_OK;
        const VARIANT& cancel = params->rgvarg[kNewWindowCancel];
        const std::optional<std::wstring> url = StringArgument(params->rgvarg[kNewWindowUrl]);
        if (url)
            Carry(JudgeNewWindow(*url), *url, cancel, "news browser: blocked new window for ");
        else
            SetCancel(cancel, true);
        return S_OK;
    }
    default:
        return E_NOTIMPL;
    }
}

void SetOpenInUserBrowserForTesting(OpenInUserBrowserFunction open)
{
    std::lock_guard lock(openOverrideMutex);
    openOverride = std::move(open);
}
