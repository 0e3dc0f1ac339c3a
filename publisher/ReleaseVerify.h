// Checking a served release record against the version file and the
// manifest served beside it: the signature (against the given public
// keys), the expiry, and that the record names the same version file,
// lists and packages as the manifest. The packages' bytes are then checked
// against the manifest, and so against the record.
#pragma once

#include "publisher/Manifest.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ReleaseCheck
{
    // Each thing wrong with the record; empty when it is sound.
    std::vector<std::string> problems;
    // What was found, for the report ("serial 3, expires ...").
    std::string summary;
};

// `now`: seconds since 1970 UTC. Without keys the signature is not checked,
// and the summary says so.
ReleaseCheck CheckReleaseRecord(std::string_view recordText, std::string_view versionFileText,
                                const Manifest& manifest,
                                const std::vector<std::string>& publicKeys, int64_t now);
