// Turns a transport failure or an HTTP error status into the user's message:
// the localized text for `key` with its "{}" fields filled, as UTF-8.
#pragma once

#include "base/TextEncoding.h"
#include "settings/Localization.h"

#include <fmt/xchar.h>
#include <string>

template <typename... Args>
std::string FormatNetworkError(const std::string& key, const Args&... args)
{
    return ToUtf8(fmt::format(fmt::runtime(LocalizedText(key)), args...));
}

// The message for a reply's status: client and server errors only, else empty.
std::string StatusErrorText(long status);
