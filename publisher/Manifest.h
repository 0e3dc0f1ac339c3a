// The manifest beside the version file: every package of the published
// version (the lists included) with its size and SHA-256, so that a mirror
// can be checked against what was published. Launchers do not read it.
//   # comment lines
//   <sha256 hex> <size in bytes> <path under the base URL, as in the URL>
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

struct ManifestEntry
{
    uint64_t size = 0;
    std::string sha256;
};

// By URL path relative to the version file's "patch" value.
using Manifest = std::map<std::string, ManifestEntry>;

std::string FormatManifest(const Manifest& manifest);

// Throws std::runtime_error naming the first line that is not a manifest
// line.
Manifest ParseManifest(std::string_view text);

// Where it is served: beside version/version.
inline constexpr std::string_view kManifestPath = "version/manifest";
