// norvik-publish: command-line entry. Exit status 0 on success, 1 when the
// folders cannot be published or writing fails, 2 on a usage mistake.
#include "GameFolderScan.h"
#include "PublishOptions.h"
#include "PublishSummary.h"
#include "ServerTree.h"

#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

namespace
{
int Publish(const PublishOptions& options)
{
    const ProgressStyle progress =
        ::isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Periodic;
    const auto start = std::chrono::steady_clock::now();
    const PublishResult result = PublishServerTree(options, progress);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    fmt::print("{}", FormatPublishSummary(options, result, seconds.count()));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::optional<PublishOptions> options;
    try
    {
        options = ParsePublishArguments(arguments);
    }
    catch (const UsageError& e)
    {
        fmt::print(stderr, "norvik-publish: {}\nTry norvik-publish --help.\n", e.what());
        return 2;
    }
    if (!options)
    {
        fmt::print("{}", PublishHelpText());
        return 0;
    }

    // The shared list code logs through spdlog; only its warnings matter here.
    spdlog::set_level(spdlog::level::warn);
    try
    {
        return Publish(*options);
    }
    catch (const std::exception& e)
    {
        fmt::print(stderr, "norvik-publish: {}\n", e.what());
        return 1;
    }
}
