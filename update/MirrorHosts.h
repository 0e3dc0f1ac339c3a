// The three download mirrors (primary first), chosen by
// "NRK_LauncherMirrorIndex"; deployment values from the build.
#pragma once

#include <array>
#include <string>

extern const std::array<std::wstring, 3> kMirrorHosts;

// The host for a stored index; 3 or more means the primary host.
const std::wstring& MirrorHostFor(uint32_t index);
