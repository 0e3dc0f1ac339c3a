// What the operator reads after a run: for a dry run every file that would
// be added, changed or removed and the bytes a mirror would have to take;
// for a real run the counts, what was pruned, and where the tree is.
#pragma once

#include "publisher/PublishOptions.h"
#include "publisher/ServerTree.h"

#include <string>

std::string FormatPublishSummary(const PublishOptions& options, const PublishResult& result,
                                 double seconds);

// The same as one JSON object, for CI: the version, the counts, the files
// added, changed and removed, the bytes to upload and what a player on the
// previous release downloads.
std::string FormatPublishJson(const PublishOptions& options, const PublishResult& result,
                              double seconds);
