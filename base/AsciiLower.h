// Folds the letters A-Z to a-z and leaves every other unit alone: for names
// and schemes compared as Windows and the web compare them in ASCII, whatever
// the user's locale.
#pragma once

#include <string>
#include <string_view>

inline std::wstring AsciiLower(std::wstring_view text)
{
    std::wstring folded(text);
    for (wchar_t& unit : folded)
    {
        if (unit >= L'A' && unit <= L'Z')
            unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
    return folded;
}
