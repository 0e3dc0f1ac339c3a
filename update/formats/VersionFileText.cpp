#include "update/formats/VersionFileText.h"

namespace
{
constexpr std::string_view kWhitespace = " \t\n\v\f\r";
}

std::string TrimVersionText(std::string_view text)
{
    const size_t first = text.find_first_not_of(kWhitespace);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(kWhitespace);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<VersionFileLine> ReadVersionFileLines(std::string_view body)
{
    std::vector<VersionFileLine> lines;
    size_t start = 0;
    while (start < body.size())
    {
        size_t end = body.find('\n', start);
        if (end == std::string_view::npos)
            end = body.size();
        VersionFileLine line;
        line.rawLine = std::string(body.substr(start, end - start));
        const size_t equals = line.rawLine.find('=');
        if (equals == std::string::npos)
        {
            // An empty line has no "=" either.
            line.isMalformed = true;
        }
        else
        {
            line.key = TrimVersionText(std::string_view(line.rawLine).substr(0, equals));
            line.value = TrimVersionText(std::string_view(line.rawLine).substr(equals + 1));
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, start))
    {
        result.append(text.substr(start, hit - start));
        result.append(to);
        start = hit + from.size();
    }
    result.append(text.substr(start));
    return result;
}

std::vector<std::string> SplitOverlayList(std::string_view overlays)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (true)
    {
        const size_t comma = overlays.find(',', start);
        items.push_back(TrimVersionText(overlays.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return items;
}
