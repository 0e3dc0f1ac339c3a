// Whether the tests run under Wine, for the few facts where Wine and Windows
// differ and a test can only show the Windows behaviour on Windows.
#pragma once

#include <windows.h>

inline bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
