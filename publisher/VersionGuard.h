// Launchers compare only the version texts: content changed under a version
// they have already installed would never reach them, so such a run is
// refused before anything is written.
#pragma once

#include "publisher/PackageChanges.h"
#include "publisher/PublishOptions.h"
#include "publisher/PublishState.h"
#include "publisher/ServerTree.h"

#include <string>
#include <vector>

// `lists`: the main list's package, then each overlay's, in --overlay order.
// Throws std::runtime_error naming the changed files of each list whose text
// changed while its version stayed that of `oldVersionFile`.
void RefuseChangesUnderAnOldVersion(const PublishOptions& options, const PublishResult& result,
                                    const std::vector<Package>& lists, const PublishState& state,
                                    const std::string& oldVersionFile);
