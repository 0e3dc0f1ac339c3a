// The download speed limit as players set it: the registry value, the steps
// the settings dialog offers, and how a limit reads on screen.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// REG_DWORD, kilobytes (1024 bytes) per second; 0 or missing: no limit.
inline constexpr wchar_t kMaxSpeedValueName[] = L"NRK_LauncherMaxSpeedKB";

// The dialog's choices, no limit first.
inline constexpr std::array<uint32_t, 8> kSpeedLimitStepsKB{0,    256,  512,   1024,
                                                            2048, 5120, 10240, 20480};

// The stored limit; 0 when none or unreadable.
uint32_t StoredSpeedLimitKB();

// "512 KB/s", or "2 MB/s" for whole megabytes; the localized "no limit" for 0.
std::wstring FormatSpeedLimit(uint32_t limitKB);

// The speed text under a limit, both in one unit: "498 / 512 KB/s", "1.9 / 2 MB/s",
// "1.4 / 1.5 MB/s" (megabytes from 1000 KB/s on, so it fits the speed box).
std::wstring FormatLimitedSpeed(double bytesPerSecond, uint32_t limitKB);
