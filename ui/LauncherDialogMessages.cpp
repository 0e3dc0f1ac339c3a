// The window's messages: creation and destruction, commands, the settings
// link and dragging.
#include "ui/ButtonBase.h"
#include "ui/LauncherDialog.h"
#include "ui/LauncherLayout.h"
#include "ui/WebBrowser.h"
#include "ui/WindowSizes.h"

#include <stdexcept>

using namespace launcher_layout;

namespace
{
POINT PointFromLParam(LPARAM lParam)
{
    // Unsigned 16-bit halves, as the window reports them.
    return POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
}
} // namespace

LRESULT CALLBACK LauncherDialog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LauncherDialog* const dialog = Current();
    if (!dialog)
        return 0;
    return dialog->HandleMessage(window, message, wParam, lParam);
}

LRESULT LauncherDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (windowCalls.Dispatch(message))
        return 1;
    switch (message)
    {
    case WM_CREATE:
        hwnd = window;
        // An exception must not unwind through the system's frames; it is
        // carried out of CreateWindowExW instead, which fails on -1.
        try
        {
            OnCreate();
        }
        catch (const std::exception& failure)
        {
            createFailure = failure.what();
            return -1;
        }
        return 1;
    case WM_DESTROY:
        // Calls still queued for this window had only its objects to act on.
        windowCalls.Detach();
        if (browser)
            browser->Close();
        browser = nullptr;
        // A window whose creation failed leaves no quit behind: it would
        // close the box that reports the failure at once.
        if (!restartRequested && windowMade)
            PostQuitMessage(0);
        return 1;
    case WM_PAINT:
        OnPaint();
        return 1;
    case WM_CLOSE:
        DestroyWindow(window);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 1;
    case WM_SETCURSOR:
        // The class cursor would replace the hand on every move over the link.
        if (OnSetCursor(lParam))
            return TRUE;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_MOUSEMOVE:
        OnMouseMove(lParam);
        return 1;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(lParam);
        return 1;
    case WM_LBUTTONUP:
        OnLeftButtonUp();
        return 1;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case kQuitDoneMessage:
        DestroyWindow(window);
        PostQuitMessage(static_cast<int>(kRestartExitCode));
        return 1;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void LauncherDialog::OnCreate()
{
    dpi = WindowDpi(hwnd);
    upperBarBrush = CreateSolidBrush(kUpperBarColour);
    lowerBarBrush = CreateSolidBrush(kLowerBarColour);
    MakeScaledObjects();
    windowCalls.Attach(hwnd);
    CreateButtons();
    CreateNewsBrowser();
}

void LauncherDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) != BN_CLICKED)
        return;
    if (ButtonBase* button = FindButton(reinterpret_cast<HWND>(lParam)))
        button->OnClick();
}

bool LauncherDialog::OnSetCursor(LPARAM lParam)
{
    if (LOWORD(lParam) != HTCLIENT || !linkHovered)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

void LauncherDialog::OnMouseMove(LPARAM lParam)
{
    const POINT point = PointFromLParam(lParam);
    const RECT link = Scale()(kLinkRect);
    const bool hovered = linkVisible && PtInRect(&link, point);
    if (hovered != linkHovered)
    {
        linkHovered = hovered;
        SetCursor(LoadCursorW(nullptr, hovered ? IDC_HAND : IDC_ARROW));
        Invalidate(kInvalidateSettingsLink);
    }
    if (dragging)
    {
        POINT cursor{};
        GetCursorPos(&cursor);
        const SIZE size = WindowSize(hwnd);
        MoveWindow(hwnd, cursor.x - dragOffset.x, cursor.y - dragOffset.y, size.cx, size.cy, FALSE);
    }
}

void LauncherDialog::OnLeftButtonDown(LPARAM lParam)
{
    const POINT point = PointFromLParam(lParam);
    const RECT link = Scale()(kLinkRect);
    if (linkVisible && PtInRect(&link, point))
    {
        restartRequested = true;
        messagePasser->Post(Message{Quit, 0});
        return;
    }
    dragging = true;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT window{};
    GetWindowRect(hwnd, &window);
    dragOffset = POINT{cursor.x - window.left, cursor.y - window.top};
    SetCapture(hwnd);
}

void LauncherDialog::OnLeftButtonUp()
{
    dragging = false;
    ReleaseCapture();
}
