#include "support/PatchServer.h"

#include "support/TempFolder.h"
#include "support/TestServers.h"
#include "support/ZipBuilder.h"
#include "update/formats/FileListWriter.h"
#include "update/formats/ListTime.h"

#include <cctype>
#include <stdexcept>

namespace
{
std::filesystem::path WwwFolder()
{
    return testenv::Dir() / "www";
}

void WriteCreatingFolders(const std::filesystem::path& file, const std::string& bytes)
{
    std::filesystem::create_directories(file.parent_path());
    WriteWholeFile(file, bytes);
}

// As a server would list it: anything but unreserved characters and "/" encoded.
std::string PercentEncoded(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path)
    {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            out += static_cast<char>(c);
        else
            out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    return out;
}

std::string DefaultPackagePath(const std::string& name)
{
    const std::string path = name.starts_with("./") ? name.substr(2) : name;
    return "files/" + PercentEncoded(path) + ".zip";
}

// Where the server keeps the package of a (percent-encoded) package path.
std::string DecodedPath(const std::string& packagePath)
{
    std::string out;
    for (size_t i = 0; i < packagePath.size(); ++i)
    {
        if (packagePath[i] == '%' && i + 2 < packagePath.size())
        {
            out += static_cast<char>(std::stoi(packagePath.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        else
            out += packagePath[i];
    }
    return out.starts_with("./") ? out.substr(2) : out;
}

FileEntry ListEntry(const PublishedFile& file, bool fromOverlay)
{
    FileEntry entry;
    entry.name = file.name;
    entry.time = file.time;
    entry.column3 = static_cast<int32_t>((file.content.size() + 1023) / 1024);
    entry.packagePath = file.packagePath.empty() ? DefaultPackagePath(file.name) : file.packagePath;
    entry.fromOverlay = fromOverlay;
    return entry;
}
} // namespace

uint64_t ListClock(int year, int month, int day, int hour, int minute, int second)
{
    const auto time = CalendarToFileTime(year, month, day, hour, minute, second);
    if (!time)
        throw std::invalid_argument("no calendar time");
    return *time;
}

PatchServer::PatchServer(const std::string& name)
    : name_(name), folder_(WwwFolder() / "patch" / name)
{
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
}

PatchServer::~PatchServer()
{
    WithdrawVersionFile();
}

std::string PatchServer::BaseUrl() const
{
    return testenv::HttpsUrl(RelativeUrlPath());
}

void PatchServer::AddFile(const PublishedFile& file)
{
    const FileEntry entry = ListEntry(file, false);
    WriteRaw(DecodedPath(entry.packagePath), DeflatedPackage(file.content));
    mainList_.push_back(entry);
}

void PatchServer::AddOverlayFile(const std::string& language, const PublishedFile& file)
{
    const FileEntry entry = ListEntry(file, true);
    WriteRaw("overlays/" + language + "/" + DecodedPath(entry.packagePath),
             DeflatedPackage(file.content));
    for (auto& [code, entries] : overlays_)
        if (code == language)
        {
            entries.push_back(entry);
            return;
        }
    overlays_.push_back({language, {entry}});
}

void PatchServer::AddListLine(const std::string& line)
{
    rawLines_ += line + "\n";
}

void PatchServer::WriteRaw(const std::string& relativePath, const std::string& bytes)
{
    WriteCreatingFolders(folder_ / std::filesystem::u8path(relativePath), bytes);
}

void PatchServer::Remove(const std::string& relativePath)
{
    std::filesystem::remove(folder_ / std::filesystem::u8path(relativePath));
}

std::string PatchServer::ListText(const std::vector<FileEntry>& entries,
                                  const std::string& raw) const
{
    std::string text;
    for (const FileEntry& entry : entries)
        text += FormatFileListLine(entry);
    return text + raw;
}

void PatchServer::Publish(const std::string& version, const std::string& overlayVersion,
                          const std::string& extraLines)
{
    WriteRaw("filelist.zip", DeflatedPackage(ListText(mainList_, rawLines_), "filelist.txt"));
    std::string text = "version=" + version + "\nfilelist=filelist\npatch=" + BaseUrl() + "\n";
    std::string codes;
    for (const auto& [code, entries] : overlays_)
    {
        WriteRaw("overlays/" + code + "/filelist.zip",
                 DeflatedPackage(ListText(entries, ""), "filelist.txt"));
        codes += (codes.empty() ? "" : ",") + code;
        text += "overlay_" + code + "_version=" + overlayVersion + "\noverlay_" + code +
                "_filelist=overlays/" + code + "/filelist\n";
    }
    if (!codes.empty())
        text += "overlays=" + codes + "\n";
    PublishVersionFile(text + extraLines);
}

void PatchServer::PublishVersionFile(const std::string& text)
{
    WriteCreatingFolders(WwwFolder() / "version" / "version", text);
}

void PatchServer::WithdrawVersionFile()
{
    std::error_code ignored;
    std::filesystem::remove(WwwFolder() / "version" / "version", ignored);
}
