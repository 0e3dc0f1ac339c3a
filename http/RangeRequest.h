// Continuing a broken-off body with an HTTP range request: the request's
// header lines, and the checks that what the server sent is the rest that was
// asked for. Shared by both transports.
#pragma once

#include "http/HttpClient.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A 206 reply's "bytes FIRST-LAST/TOTAL"; TOTAL is -1 when the server sent "*".
struct ContentRange
{
    uint64_t first = 0;
    uint64_t last = 0;
    int64_t total = -1;
};

std::optional<ContentRange> ParseContentRange(std::string_view value);

// The validator an If-Range may carry: a strong ETag, else Last-Modified
// (a weak ETag never matches there). Empty when neither is usable.
std::string ChooseValidator(std::string_view etag, std::string_view lastModified);

// "Range: bytes=OFFSET-" and "If-Range: VALIDATOR", without line ends.
std::string RangeHeader(const ResumePoint& resume);
std::string IfRangeHeader(const ResumePoint& resume);

// The range is the rest of the very body `resume` broke off in.
bool IsRestOf(const ContentRange& range, const ResumePoint& resume);
