// Shared by the fuzz targets: a quiet logger that still formats every line
// (so formatting of hostile bytes is exercised), and a check that turns a
// broken property into a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

inline void InstallQuietLogger()
{
    auto logger =
        std::make_shared<spdlog::logger>("fuzz", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(spdlog::level::trace);
    spdlog::set_default_logger(logger);
}

// Large enough for any real list or package; a bigger claim is refused as
// the launcher's allocation would be, instead of tripping the fuzzer's
// malloc limit.
inline constexpr uint64_t kFuzzSizeLimit = 64ull << 20;

#define FUZZ_CHECK(condition)                                                                      \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
        {                                                                                          \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
