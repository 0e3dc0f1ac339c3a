#include "publisher/WindowsNames.h"

#include <array>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <vector>

namespace
{
// Calls `take` with each code point of `text`, a negative one for each
// byte sequence that is not UTF-8.
template <typename Take> void ForEachCodePoint(std::string_view text, Take take)
{
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    while (i < length)
    {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, length, c);
        take(c);
    }
}

bool IsValidUtf8(std::string_view text)
{
    bool valid = true;
    ForEachCodePoint(text, [&](UChar32 c) { valid = valid && c >= 0; });
    return valid;
}

// The device names the launcher's rule leaves to Windows: COM0, LPT0 and the
// superscript-digit ones, matched before the first dot as Windows does.
bool IsLesserKnownDeviceName(std::string_view component)
{
    std::string base(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
    {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    static constexpr std::array<std::string_view, 4> kSuffixes = {"0", "\xC2\xB9", "\xC2\xB2",
                                                                  "\xC2\xB3"};
    for (std::string_view prefix : {"COM", "LPT"})
    {
        for (std::string_view suffix : kSuffixes)
        {
            if (base == std::string(prefix) + std::string(suffix))
                return true;
        }
    }
    return false;
}

// Every "/"-separated component of `name`, in order.
std::vector<std::string_view> Components(std::string_view name)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= name.size())
    {
        const size_t end = std::min(name.find('/', start), name.size());
        parts.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}
} // namespace

std::string WindowsNameProblem(std::string_view name)
{
    if (!IsValidUtf8(name))
        return "not UTF-8 (the launcher reads names as UTF-8)";
    if (name.find_first_of("<>\"|?*") != std::string_view::npos)
        return "one of < > \" | ? * (Windows cannot hold it)";
    if (name.find('\\') != std::string_view::npos)
        return "a backslash (a folder separator on Windows)";
    for (std::string_view part : Components(name))
    {
        if (!part.empty() && (part.back() == '.' || part.back() == ' '))
            return "a part ending in a dot or a space (Windows drops them)";
        if (IsLesserKnownDeviceName(part))
            return "a device name on Windows";
    }
    return {};
}

std::string WindowsFoldedName(std::string_view name)
{
    std::string folded;
    folded.reserve(name.size());
    ForEachCodePoint(name,
                     [&](UChar32 c)
                     {
                         const UChar32 lower = u_foldCase(c < 0 ? 0xFFFD : c, U_FOLD_CASE_DEFAULT);
                         char bytes[U8_MAX_LENGTH];
                         int32_t count = 0;
                         U8_APPEND_UNSAFE(bytes, count, lower);
                         folded.append(bytes, static_cast<size_t>(count));
                     });
    return folded;
}

std::optional<std::string> WindowsNameSet::Conflict(std::string_view name) const
{
    const std::string folded = WindowsFoldedName(name);
    if (const auto file = files_.find(folded); file != files_.end() && file->second != name)
        return file->second;
    if (const auto folder = folders_.find(folded); folder != folders_.end())
        return folder->second;
    // Case folding keeps "/" where it is, so folder prefixes line up.
    for (size_t slash = folded.find('/'); slash != std::string::npos;
         slash = folded.find('/', slash + 1))
    {
        if (const auto file = files_.find(folded.substr(0, slash)); file != files_.end())
            return file->second;
    }
    return std::nullopt;
}

void WindowsNameSet::Add(std::string_view name)
{
    const std::string folded = WindowsFoldedName(name);
    files_.emplace(folded, std::string(name));
    for (size_t slash = folded.find('/'); slash != std::string::npos;
         slash = folded.find('/', slash + 1))
        folders_.emplace(folded.substr(0, slash), std::string(name));
}
