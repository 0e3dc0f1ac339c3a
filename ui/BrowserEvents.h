// What the news page may do, decided from the browser control's events on the
// window thread: only the page the launcher asked for loads inside; http and https
// addresses open in the user's browser; any other address is refused and logged,
// so a page can never start a local file or a protocol handler. The page's
// frames load web addresses inside, so a frame never opens the user's browser
// by itself.
#pragma once

#include <windows.h>

#include <functional>
#include <oaidl.h>
#include <string>
#include <string_view>

enum class NavigationVerdict
{
    LoadInside,
    OpenOutside,
    Refuse,
};

// A navigation of the control (link, frame, script) while `currentUrl` is the page.
NavigationVerdict JudgeNavigation(std::wstring_view url, std::wstring_view currentUrl);
// A navigation of one of the page's frames: web addresses and about:blank load
// in the frame, anything else is refused.
NavigationVerdict JudgeFrameNavigation(std::wstring_view url);
// A window the page wants to open: never inside.
NavigationVerdict JudgeNewWindow(std::wstring_view url);

// DWebBrowserEvents2 as IDispatch::Invoke receives them: BeforeNavigate2 and
// NewWindow3 are judged (the cancel flag set unless loaded inside), every other
// event is E_NOTIMPL. `control` is the control the events come from; a
// BeforeNavigate2 naming another browser object is a frame's. Without it every
// navigation is judged as the control's own.
HRESULT HandleBrowserEvent(DISPID event, DISPPARAMS* params, const std::wstring& currentUrl,
                           IUnknown* control = nullptr);

// ShellExecuteW "open". Tests watch the addresses through a function of their own
// instead of starting a browser; an empty function restores the real call.
using OpenInUserBrowserFunction = std::function<void(const std::wstring& url)>;
void SetOpenInUserBrowserForTesting(OpenInUserBrowserFunction open);
