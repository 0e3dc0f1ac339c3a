// The window's outer and client sizes in pixels, as the system reports them.
#pragma once

#include <windows.h>

inline SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

inline SIZE WindowSize(HWND window)
{
    RECT outer{};
    GetWindowRect(window, &outer);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}
