#include "publisher/Manifest.h"

#include <charconv>
#include <fmt/format.h>

std::string FormatManifest(const Manifest& manifest)
{
    std::string text = "# norvik-publish manifest: SHA-256, size in bytes, path under the base "
                       "URL of every package\n";
    for (const auto& [path, entry] : manifest)
        text += fmt::format("{} {} {}\n", entry.sha256, entry.size, path);
    return text;
}

Manifest ParseManifest(std::string_view text)
{
    Manifest manifest;
    size_t lineNumber = 0;
    while (!text.empty())
    {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const size_t first = line.find(' ');
        const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        ManifestEntry entry;
        bool good = second != std::string_view::npos && first == 64 && second + 1 < line.size();
        if (good)
        {
            const std::string_view size = line.substr(first + 1, second - first - 1);
            const auto [at, error] =
                std::from_chars(size.data(), size.data() + size.size(), entry.size);
            good = error == std::errc() && at == size.data() + size.size();
        }
        if (!good)
            throw std::runtime_error(
                fmt::format("manifest line {} is not \"SHA-256 size path\"", lineNumber));
        entry.sha256 = line.substr(0, first);
        manifest[std::string(line.substr(second + 1))] = std::move(entry);
    }
    return manifest;
}
