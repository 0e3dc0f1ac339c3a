#include "settings/SpeedLimitSetting.h"

#include "settings/Localization.h"
#include "settings/Registry.h"

#include <fmt/xchar.h>

namespace
{
bool InWholeMegabytes(uint32_t limitKB)
{
    return limitKB >= 1024 && limitKB % 1024 == 0;
}
} // namespace

uint32_t StoredSpeedLimitKB()
{
    uint32_t limit = 0;
    ReadRegistryDword(limit, kMaxSpeedValueName);
    return limit;
}

std::wstring FormatSpeedLimit(uint32_t limitKB)
{
    if (limitKB == 0)
        return LocalizedText("speed_limit_none");
    if (InWholeMegabytes(limitKB))
        return fmt::format(L"{} MB/s", limitKB / 1024);
    return fmt::format(L"{} KB/s", limitKB);
}

std::wstring FormatLimitedSpeed(double bytesPerSecond, uint32_t limitKB)
{
    if (limitKB < 1000)
        return fmt::format(L"{:.0f} / {} KB/s", bytesPerSecond / 1024, limitKB);
    // Four-digit kilobytes would not fit the speed box.
    const std::wstring limit = InWholeMegabytes(limitKB) ? std::to_wstring(limitKB / 1024)
                                                         : fmt::format(L"{:.1f}", limitKB / 1024.0);
    return fmt::format(L"{:.1f} / {} MB/s", bytesPerSecond / 1048576, limit);
}
