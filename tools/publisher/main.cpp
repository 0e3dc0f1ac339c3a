// norvik-publish: command-line entry. Exit status 0 on success, 1 when the
// folders cannot be published or writing fails, 2 on a usage mistake.
#include "GameFolderScan.h"
#include "PublishOptions.h"
#include "ServerTree.h"

#include <cstdio>
#include <fmt/format.h>
#include <spdlog/spdlog.h>

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

    // The shared list code logs through spdlog; the publisher only writes lists.
    spdlog::set_level(spdlog::level::warn);
    try
    {
        const PublishResult result = PublishServerTree(*options);
        fmt::print("published version {}: {} files in {}.zip\n", options->version,
                   result.main.entries.size(), result.main.listName);
        for (const auto& [code, list] : result.overlays)
            fmt::print("  overlay {}: {} files in {}.zip\n", code, list.entries.size(),
                       list.listName);
        fmt::print("version file: {}\n", (options->outputFolder / "version" / "version").string());
        return 0;
    }
    catch (const std::exception& e)
    {
        fmt::print(stderr, "norvik-publish: {}\n", e.what());
        return 1;
    }
}
