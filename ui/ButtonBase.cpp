#include "ui/ButtonBase.h"

#include <commctrl.h>

std::unordered_map<HWND, ButtonBase*> buttonRegistry;

namespace
{
constexpr UINT_PTR kSubclassId = 0;

LRESULT CALLBACK ButtonSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR)
{
    if (ButtonBase* button = FindButton(hwnd))
    {
        if (button->HandleMessage(hwnd, message, wParam, lParam))
            return 1;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// Hover ends with WM_MOUSELEAVE, which Windows sends only when asked.
void TrackLeave(HWND hwnd)
{
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = hwnd;
    track.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&track);
}
} // namespace

ButtonBase* FindButton(HWND window)
{
    const auto found = buttonRegistry.find(window);
    return found == buttonRegistry.end() ? nullptr : found->second;
}

ButtonBase::ButtonBase(HWND parent, int x, int y, int width, int height,
                       const std::wstring& caption)
    : parent(parent), designBox{x, y, x + width, y + height}, scale(WindowDpi(parent))
{
    const RECT box = scale(designBox);
    const HWND made = CreateWindowExW(
        0, L"BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | BS_BITMAP, box.left, box.top,
        box.right - box.left, box.bottom - box.top, parent, nullptr, ParentInstance(), nullptr);
    if (!made)
        return;
    buttonRegistry[made] = this;
    SetWindowSubclass(made, &ButtonSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    window = made;
}

ButtonBase::~ButtonBase()
{
    if (!window)
        return;
    // Out of the registry first: the subclass must not reach a half-destroyed
    // object (its pictures are gone) while the window goes away.
    if (const auto found = buttonRegistry.find(window);
        found != buttonRegistry.end() && found->second == this)
        buttonRegistry.erase(found);
    ShowWindow(window, SW_HIDE);
    DestroyWindow(window);
}

HINSTANCE ButtonBase::ParentInstance() const
{
    return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
}

bool ButtonBase::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_ERASEBKGND:
        PaintFace(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_PAINT:
    {
        PAINTSTRUCT paint{};
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return true;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &ButtonSubclassProc, kSubclassId);
        return false;
    case WM_MOUSEMOVE:
        TrackLeave(hwnd);
        hovered = true;
        Redraw(hwnd);
        return false;
    case WM_LBUTTONDOWN:
        pressed = true;
        Redraw(hwnd);
        return false;
    case WM_LBUTTONUP:
        pressed = false;
        Redraw(hwnd);
        return false;
    case WM_CAPTURECHANGED:
        // Only the button's release ends the pressed face.
        Redraw(hwnd);
        return false;
    case WM_MOUSELEAVE:
        hovered = false;
        Redraw(hwnd);
        return false;
    default:
        return false;
    }
}

void ButtonBase::PaintFace(HDC dc)
{
    const HBITMAP picture =
        pressed ? GetPressedBitmap() : (hovered ? GetHoverBitmap() : GetNormalBitmap());
    if (!picture)
        return;
    const HDC memory = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(dc, 0, 0, scale(GetWidth()), scale(GetHeight()), memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void ButtonBase::Redraw(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

void ButtonBase::SetScale(const DisplayScale& newScale)
{
    scale = newScale;
    if (window)
    {
        const RECT box = scale(designBox);
        SetWindowPos(window, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        Redraw(window);
    }
    // Last, so a face that cannot be made leaves the button placed.
    ReloadPictures();
}

void ButtonBase::Hide()
{
    if (window)
        ShowWindow(window, SW_HIDE);
}

void ButtonBase::Show()
{
    if (window)
        ShowWindow(window, SW_SHOWNORMAL);
}
