// The text layer of the server's version file: lines split into trimmed
// key/value pairs, plus the small string helpers the version check needs.
// Pure functions over bytes; deciding what a key means is the caller's job.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct VersionFileLine
{
    // The line as it stood in the body, without its LF (a CR stays).
    std::string rawLine;
    // Empty, or without "=": key and value are then empty.
    bool isMalformed = false;
    std::string key;
    std::string value;
};

// Every line of `body` in order. Lines end at LF; a last line without LF
// counts, an LF at the very end adds no empty line.
std::vector<VersionFileLine> ReadVersionFileLines(std::string_view body);

// Drops space, tab, LF, VT, FF and CR from both ends.
std::string TrimVersionText(std::string_view text);

// Every occurrence of `from`, left to right and non-overlapping, replaced by
// `to`; text inserted by a replacement is not searched again. An empty
// `from` matches nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The "overlays" value split at every "," with each item trimmed; n commas
// give n + 1 items, empty ones included.
std::vector<std::string> SplitOverlayList(std::string_view overlays);
