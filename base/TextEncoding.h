// UTF-8 <-> UTF-16 conversion for texts crossing between the wide Windows
// interface and the narrow network, list and log data. Invalid input is
// replaced, never thrown on.
#pragma once

#include <string>
#include <string_view>

std::string ToUtf8(std::wstring_view wide);
std::wstring ToWide(std::string_view utf8);
