#include "update/SameFileOnDisk.h"

#include "base/TextEncoding.h"

#include <windows.h>

#include <spdlog/spdlog.h>
#include <unordered_map>

namespace
{
std::wstring UpperCaseAsTheFileSystem(const std::wstring& text)
{
    if (text.empty())
        return text;
    std::wstring upper(text.size(), L'\0');
    const int written = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(),
                                      static_cast<int>(text.size()), upper.data(),
                                      static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (written <= 0)
        return text;
    upper.resize(static_cast<size_t>(written));
    return upper;
}
} // namespace

std::wstring OnDiskKey(std::string_view name)
{
    const std::wstring wide = ToWide(std::string(name));
    std::wstring key;
    size_t start = 0;
    while (start <= wide.size())
    {
        size_t end = wide.find_first_of(L"/\\", start);
        if (end == std::wstring::npos)
            end = wide.size();
        std::wstring component = wide.substr(start, end - start);
        while (!component.empty() && (component.back() == L'.' || component.back() == L' '))
            component.pop_back();
        if (!component.empty())
        {
            if (!key.empty())
                key += L'\\';
            key += component;
        }
        start = end + 1;
    }
    return UpperCaseAsTheFileSystem(key);
}

std::vector<bool> EntriesShadowedByLaterOnes(const std::vector<FileEntry>& entries)
{
    std::vector<std::wstring> keys;
    keys.reserve(entries.size());
    std::unordered_map<std::wstring, size_t> last;
    last.reserve(entries.size());
    for (size_t index = 0; index < entries.size(); ++index)
    {
        keys.push_back(OnDiskKey(entries[index].name));
        last[keys.back()] = index;
    }
    std::vector<bool> shadowed(entries.size(), false);
    for (size_t index = 0; index < entries.size(); ++index)
    {
        const size_t winner = last[keys[index]];
        if (winner == index)
            continue;
        shadowed[index] = true;
        spdlog::warn("Install - {} and {} are the same file on disk; only {} is written",
                     entries[index].name, entries[winner].name, entries[winner].name);
    }
    return shadowed;
}
