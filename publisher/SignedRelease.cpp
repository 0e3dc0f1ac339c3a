#include "publisher/SignedRelease.h"

#include "publisher/PackageWriter.h"
#include "publisher/Sha256.h"

#include <charconv>
#include <chrono>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace
{
constexpr std::string_view kSerialHeader = "norvik-publish release serial ";

fs::path SerialFile(const fs::path& outputFolder)
{
    return outputFolder / ".norvik-publish-serial";
}

std::string ReadWhole(const fs::path& file)
{
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), {}};
}
} // namespace

ReleaseRecord BuildReleaseRecord(const std::vector<Package>& files,
                                 const std::vector<Package>& lists,
                                 const std::string& versionFileText)
{
    ReleaseRecord record;
    record.versionFile = {versionFileText.size(), Sha256Hex(versionFileText)};
    for (const Package& list : lists)
        record.lists[list.urlPath] = {list.record.packageSize, list.record.packageSha256};
    std::map<std::string, ReleaseItem>& game = record.files["-"];
    std::map<std::string, std::map<std::string, ReleaseItem>> overlays;
    for (const Package& file : files)
    {
        record.packages[file.urlPath] = {file.record.packageSize, file.record.packageSha256};
        const ReleaseItem item{file.record.sourceSize, file.record.sourceSha256};
        if (file.list == "game")
            game[file.name] = item;
        else
            overlays[file.list.substr(std::string_view("overlay ").size())][file.name] = item;
    }
    for (auto& [code, changes] : overlays)
    {
        std::map<std::string, ReleaseItem> merged = game;
        for (auto& [name, item] : changes)
            merged[name] = item;
        record.files[code] = std::move(merged);
    }
    return record;
}

uint64_t LastReleaseSerial(const fs::path& outputFolder)
{
    uint64_t last = 0;
    std::error_code error;
    if (fs::exists(SerialFile(outputFolder), error))
    {
        const std::string text = ReadWhole(SerialFile(outputFolder));
        std::string_view number = text;
        bool good = number.starts_with(kSerialHeader) && number.ends_with('\n');
        if (good)
        {
            number.remove_prefix(kSerialHeader.size());
            number.remove_suffix(1);
            const auto [end, failure] =
                std::from_chars(number.data(), number.data() + number.size(), last);
            good = failure == std::errc() && end == number.data() + number.size();
        }
        if (!good)
            throw std::runtime_error(
                fmt::format("{} cannot be read; restore it (the release serial must only go up)",
                            SerialFile(outputFolder).string()));
    }
    // A lost or older serial file must not lead to a serial already served.
    for (const auto& item : fs::directory_iterator(outputFolder / "version", error))
    {
        if (!item.path().filename().string().starts_with("release.") ||
            item.path().filename().string().ends_with(kTemporarySuffix))
            continue;
        try
        {
            const std::string text = ReadWhole(item.path());
            last = std::max(last, ParseReleaseRecord(SplitSignedRelease(text).signedBytes).serial);
        }
        catch (const std::exception&)
        {
            // Not a record this publisher wrote; a launcher refuses it anyway.
        }
    }
    return last;
}

fs::path WriteSignedRelease(const fs::path& outputFolder, const Ed25519Key& key,
                            ReleaseRecord record, unsigned validDays)
{
    record.serial = LastReleaseSerial(outputFolder) + 1;
    const auto now = std::chrono::system_clock::now();
    record.expires =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count() +
        int64_t{validDays} * 86400;
    WriteFileAtomically(SerialFile(outputFolder),
                        fmt::format("{}{}\n", kSerialHeader, record.serial));
    const std::string signedBytes = FormatReleaseRecord(record);
    const fs::path path = outputFolder / ReleaseRecordPath(record.versionFile.sha256);
    WriteFileAtomically(path, AppendReleaseSignature(signedBytes, key.Sign(signedBytes)));
    return path;
}
