// norvik-publish: command-line entry. Exit status 0 on success, 1 when the
// folders cannot be published, writing fails or a verified mirror differs,
// 2 on a usage mistake.
#include "publisher/Ed25519Key.h"
#include "publisher/GameFolderScan.h"
#include "publisher/MirrorVerify.h"
#include "publisher/PublishOptions.h"
#include "publisher/PublishSummary.h"
#include "publisher/ServerTree.h"

#include <chrono>
#include <cstdio>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

namespace
{
ProgressStyle ProgressOnStandardError()
{
    return ::isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Periodic;
}

int Verify(const VerifyOptions& options)
{
    const VerifyReport report = VerifyMirror(options, ProgressOnStandardError());
    for (const VerifyProblem& problem : report.problems)
        fmt::print("{}: {}\n", problem.path, problem.what);
    if (!report.release.empty())
        fmt::print("signed release record: {}\n", report.release);
    fmt::print("verified {} package(s) at {}: {}\n", report.packagesChecked, options.url,
               report.problems.empty() ? "all as published"
                                       : fmt::format("{} problem(s)", report.problems.size()));
    return report.problems.empty() ? 0 : 1;
}

int Publish(const PublishOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    const PublishResult result = PublishServerTree(options, ProgressOnStandardError());
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    fmt::print("{}", options.json ? FormatPublishJson(options, result, seconds.count())
                                  : FormatPublishSummary(options, result, seconds.count()));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "keygen")
    {
        if (arguments.size() != 2 || arguments[1].starts_with("-"))
        {
            fmt::print(stderr, "norvik-publish: keygen takes one KEYFILE\n");
            return 2;
        }
        try
        {
            fmt::print("{}\n", Ed25519Key::Generate(arguments[1]).PublicKeyHex());
            return 0;
        }
        catch (const std::exception& e)
        {
            fmt::print(stderr, "norvik-publish: {}\n", e.what());
            return 1;
        }
    }
    const bool verify = !arguments.empty() && arguments.front() == "verify";
    if (verify)
        arguments.erase(arguments.begin());
    std::optional<PublishOptions> publishOptions;
    std::optional<VerifyOptions> verifyOptions;
    try
    {
        if (verify)
            verifyOptions = ParseVerifyArguments(arguments);
        else
            publishOptions = ParsePublishArguments(arguments);
    }
    catch (const UsageError& e)
    {
        fmt::print(stderr, "norvik-publish: {}\nTry norvik-publish --help.\n", e.what());
        return 2;
    }
    if (!publishOptions && !verifyOptions)
    {
        fmt::print("{}", PublishHelpText());
        return 0;
    }

    // The shared list code logs through spdlog; only its warnings matter here.
    spdlog::set_level(spdlog::level::warn);
    try
    {
        return verify ? Verify(*verifyOptions) : Publish(*publishOptions);
    }
    catch (const std::exception& e)
    {
        fmt::print(stderr, "norvik-publish: {}\n", e.what());
        return 1;
    }
}
