// The launcher's persistent settings and the installed versions, kept as REG_SZ and
// REG_DWORD values under the current user's game key. Callable from any thread; every
// call opens and closes the key itself, never throws, and reports success as a bool.
#pragma once

#include <cstdint>
#include <string>

// Under HKEY_CURRENT_USER; opening it for a read creates it when missing.
inline constexpr wchar_t kLauncherRegistryKey[] = L"Software\\Kardun\\Galdervin_NK";

// Reads up to 260 characters whatever the stored type; `out` is untouched on failure.
bool ReadRegistryString(std::wstring& out, const std::wstring& subKey,
                        const std::wstring& valueName);
// Stores a REG_SZ including its terminator; failures are logged.
bool WriteRegistryString(const std::wstring& subKey, const std::wstring& valueName,
                         const std::wstring& value);

// Succeeds only for a stored REG_DWORD, so a caller's preset `out` survives a wrong type.
bool ReadRegistryDword(uint32_t& out, const std::wstring& valueName);
bool WriteRegistryDword(const std::wstring& valueName, uint32_t value);
