#include "update/formats/SafePath.h"

#include <array>

namespace
{
bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Win32 path handling drops trailing dots and spaces from a component, so
// ". ." or "..." can end up as ".." or as nothing.
std::string_view TrimTrailingDotsAndSpaces(std::string_view component)
{
    while (!component.empty() && (component.back() == '.' || component.back() == ' '))
        component.remove_suffix(1);
    return component;
}

// CON, NUL, COM1... open a device whatever the folder and extension.
bool IsReservedDeviceName(std::string_view component)
{
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    std::string upper;
    for (char c : base)
        upper += Upper(c);
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view reserved : kPlain)
    {
        if (upper == reserved)
            return true;
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}
} // namespace

std::optional<std::string> UnsafeListNameReason(std::string_view name)
{
    if (name.empty())
        return "empty name";
    for (char c : name)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "control character";
    }
    // Drive letters ("C:", "C:foo") and streams ("name:stream") both need one.
    if (name.find(':') != std::string_view::npos)
        return "colon (drive letter or stream)";
    // Covers "\x", "/x", "\\server\share", "//server", "\\?\" and "\\.\".
    if (IsSeparator(name.front()))
        return "rooted path";

    size_t start = 0;
    while (true)
    {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        const std::string_view component = name.substr(start, end - start);
        const bool last = end == name.size();
        if (component == "..")
            return "parent folder component";
        if (!component.empty() && component != "." && TrimTrailingDotsAndSpaces(component).empty())
            return "component of dots and spaces";
        if (IsReservedDeviceName(component))
            return "device name";
        if (last)
        {
            if (component.empty() || component == ".")
                return "no file name";
            break;
        }
        start = end + 1;
    }
    return std::nullopt;
}
