#include "base/DisplayScale.h"

namespace
{
constexpr int kHalfScalePictures = 1000;
constexpr int kDoubleScalePictures = 2000;

// Windows 10 1607 and later; looked up because the launcher still starts on 7.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

GetDpiForWindowFunction FindGetDpiForWindow()
{
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<GetDpiForWindowFunction>(
                      reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")))
                : nullptr;
}
} // namespace

int DisplayScale::PictureId(int id) const
{
    if (dpi_ < kDesignDpi * 5 / 4)
        return id;
    if (dpi_ < kDesignDpi * 7 / 4)
        return id + kHalfScalePictures;
    return id + kDoubleScalePictures;
}

UINT WindowDpi(HWND window)
{
    static const GetDpiForWindowFunction getDpiForWindow = FindGetDpiForWindow();
    if (getDpiForWindow && window)
    {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    return ScreenDpi();
}

UINT ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}
