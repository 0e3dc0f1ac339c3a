// Checking a served tree against what was published: the version file, the
// manifest beside it, the lists and every package, fetched over HTTP(S) as a
// launcher would fetch them from that mirror; with --against, compared with
// the operator's own published tree rather than with the mirror's manifest.
#pragma once

#include "publisher/ProgressMeter.h"
#include "publisher/PublishOptions.h"

#include <string>
#include <vector>

struct VerifyProblem
{
    // Under the base URL, or "version/..." for the files beside the version file.
    std::string path;
    std::string what;
};

struct VerifyReport
{
    // Packages looked for (the lists included), found or not.
    size_t packagesChecked = 0;
    // The signed release record found, or why none was checked.
    std::string release;
    // Sorted by path; empty when the mirror serves what was published.
    std::vector<VerifyProblem> problems;
};

// Throws only when libcurl cannot start; whatever the mirror does is a problem.
VerifyReport VerifyMirror(const VerifyOptions& options,
                          ProgressStyle progress = ProgressStyle::Quiet);
