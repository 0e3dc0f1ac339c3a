#include "http/RangeRequest.h"

#include <charconv>
#include <fmt/format.h>

namespace
{
std::string_view Trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The whole of `text` as a decimal number.
template <typename Number> std::optional<Number> WholeNumber(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}
} // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value)
{
    value = Trimmed(value);
    constexpr std::string_view unit = "bytes ";
    if (!value.starts_with(unit))
        return std::nullopt;
    value.remove_prefix(unit.size());
    const size_t dash = value.find('-');
    const size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash)
        return std::nullopt;
    const auto first = WholeNumber<uint64_t>(value.substr(0, dash));
    const auto last = WholeNumber<uint64_t>(value.substr(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first)
        return std::nullopt;
    ContentRange range{*first, *last, -1};
    const std::string_view total = value.substr(slash + 1);
    if (total != "*")
    {
        const auto length = WholeNumber<int64_t>(total);
        if (!length || *length <= static_cast<int64_t>(*last))
            return std::nullopt;
        range.total = *length;
    }
    return range;
}

std::string ChooseValidator(std::string_view etag, std::string_view lastModified)
{
    etag = Trimmed(etag);
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"')
        return std::string(etag);
    return std::string(Trimmed(lastModified));
}

std::string RangeHeader(const ResumePoint& resume)
{
    return fmt::format("Range: bytes={}-", resume.offset);
}

std::string IfRangeHeader(const ResumePoint& resume)
{
    return "If-Range: " + resume.validator;
}

bool IsRestOf(const ContentRange& range, const ResumePoint& resume)
{
    return range.first == resume.offset && range.total == resume.bodyLength &&
           range.last + 1 == static_cast<uint64_t>(resume.bodyLength);
}
