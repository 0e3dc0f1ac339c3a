#include "support/Registry.h"

#include "settings/Registry.h"

#include <windows.h>

void DeleteLauncherKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kLauncherRegistryKey);
}

bool LauncherKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kLauncherRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::optional<uint32_t> LauncherDword(const std::wstring& name)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kLauncherRegistryKey, name.c_str(), RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}
