#include "support/SettingsDialogWindow.h"

#include "settings/SettingsDialogIds.h"
#include "support/DialogSearch.h"

#include <chrono>

HWND FindSettingsDialog(DWORD processId)
{
    return FindVisibleDialog(processId, IDC_LANGUAGE_LIST);
}

HWND WaitForSettingsDialog(DWORD processId, int milliseconds, HANDLE process)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (const HWND dialog = FindSettingsDialog(processId))
            return dialog;
        if (process && WaitForSingleObject(process, 0) != WAIT_TIMEOUT)
            return nullptr;
        Sleep(50);
    }
    return nullptr;
}

void ClickButton(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ClickLabel(HWND dialog, int id)
{
    const HWND label = GetDlgItem(dialog, id);
    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

HWND FocusedControl(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

void PressKey(HWND dialog, WPARAM key)
{
    // Posted, not sent: only the dialog's message loop turns keys into commands.
    const HWND target = FocusedControl(dialog) ? FocusedControl(dialog) : dialog;
    const UINT scanCode = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (scanCode << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (scanCode << 16) | (3u << 30));
}

std::wstring ControlText(HWND dialog, int id)
{
    return WindowTextOf(GetDlgItem(dialog, id));
}

std::wstring SelectedListText(HWND dialog, int id)
{
    const HWND list = GetDlgItem(dialog, id);
    const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return L"";
    // The list's own text is the selected entry for a drop-down list.
    return WindowTextOf(list);
}

std::wstring ListEntryText(HWND dialog, int id, int index)
{
    const HWND list = GetDlgItem(dialog, id);
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR)
        return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

bool IsCheckedBox(HWND dialog, int id)
{
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
