#include "settings/Registry.h"

#include <windows.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <spdlog/spdlog.h>
#include <type_traits>

namespace
{

struct KeyCloser
{
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// RegCreateKeyExW rather than RegOpenKeyExW: the launcher's key may not exist yet on a
// fresh machine, and every access is allowed to create it.
UniqueKey CreateUserKey(const std::wstring& subKey, REGSAM access)
{
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, access,
                                           nullptr, &key, nullptr);
    return UniqueKey(status == ERROR_SUCCESS ? key : nullptr);
}

LSTATUS QueryValue(HKEY key, const std::wstring& valueName, DWORD& type, void* data, DWORD& size)
{
    return RegQueryValueExW(key, valueName.c_str(), nullptr, &type, static_cast<BYTE*>(data),
                            &size);
}

bool SetValue(HKEY key, const std::wstring& valueName, DWORD type, const void* data, DWORD size)
{
    return RegSetValueExW(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

} // namespace

bool ReadRegistryString(std::wstring& out, const std::wstring& subKey,
                        const std::wstring& valueName)
{
    const UniqueKey key = CreateUserKey(subKey, KEY_READ);
    if (!key)
        return false;

    // 260 characters and a terminator; zeroed so an oversized value that reports
    // ERROR_MORE_DATA still yields a terminated (empty or truncated) text.
    wchar_t buffer[261] = {};
    DWORD size = sizeof(buffer);
    DWORD type = REG_SZ;
    const LSTATUS status = QueryValue(key.get(), valueName, type, buffer, size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return false;

    out.assign(buffer, wcsnlen(buffer, std::size(buffer)));
    return true;
}

bool WriteRegistryString(const std::wstring& subKey, const std::wstring& valueName,
                         const std::wstring& value)
{
    const UniqueKey key = CreateUserKey(subKey, KEY_ALL_ACCESS);
    if (!key)
    {
        spdlog::error("[ERROR] Can't open key with full access");
        return false;
    }
    const DWORD size = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (!SetValue(key.get(), valueName, REG_SZ, value.c_str(), size))
    {
        spdlog::error("[ERROR] Can't set key value");
        return false;
    }
    return true;
}

bool ReadRegistryDword(uint32_t& out, const std::wstring& valueName)
{
    const UniqueKey key = CreateUserKey(kLauncherRegistryKey, KEY_READ);
    if (!key)
        return false;

    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = REG_DWORD;
    if (QueryValue(key.get(), valueName, type, &value, size) != ERROR_SUCCESS || type != REG_DWORD)
        return false;

    out = value;
    return true;
}

bool WriteRegistryDword(const std::wstring& valueName, uint32_t value)
{
    const UniqueKey key = CreateUserKey(kLauncherRegistryKey, KEY_ALL_ACCESS);
    if (!key)
    {
        spdlog::error("[ERROR] Can't open key with full access");
        return false;
    }
    const DWORD data = value;
    if (!SetValue(key.get(), valueName, REG_DWORD, &data, sizeof(data)))
    {
        spdlog::error("[ERROR] Can't set DWORD key value");
        return false;
    }
    return true;
}
