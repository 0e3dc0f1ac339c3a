// The one rule for which file-list names may be written under the game
// folder. A name passes only when, read as a Windows path relative to the
// game folder, it cannot leave that folder, reach a device or a stream, or
// name the folder itself. Both "/" and "\" separate components.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Why `name` must not be written (a short English phrase for a log line), or
// nothing when it is safe.
std::optional<std::string> UnsafeListNameReason(std::string_view name);

inline bool IsSafeListName(std::string_view name)
{
    return !UnsafeListNameReason(name).has_value();
}
