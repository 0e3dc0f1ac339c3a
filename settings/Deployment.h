// Deployment values fixed when the launcher is built: the three download
// mirrors (primary first, chosen by "NRK_LauncherMirrorIndex"), the two
// DNS-over-HTTPS resolvers and the project web site. Any subsystem may read
// them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

extern const std::array<std::wstring, 3> kMirrorHosts;

// The host for a stored index; 3 or more means the primary host.
const std::wstring& MirrorHostFor(uint32_t index);

// HTTPS addresses with an IPv4 literal host, tried in turn.
extern const std::array<const char*, 2> kDohResolvers;

// The project web site, without a trailing slash.
extern const wchar_t kHelpSite[];
