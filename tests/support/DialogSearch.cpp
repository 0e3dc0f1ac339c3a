#include "support/DialogSearch.h"

#include <vector>

namespace
{
struct Search
{
    DWORD process;
    int controlId;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == search->process && std::wstring(className) == L"#32770" &&
        IsWindowVisible(window) &&
        (search->controlId == 0 || GetDlgItem(window, search->controlId)))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

constexpr UINT kTextTimeoutMs = 2000;
} // namespace

HWND FindVisibleDialog(DWORD processId, int controlId)
{
    Search search{processId, controlId, nullptr};
    EnumWindows(&CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowTextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kTextTimeoutMs, &length))
        return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_NORMAL, kTextTimeoutMs, &ignored);
    return buffer.data();
}
