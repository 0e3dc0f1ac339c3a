#include "PublisherTestFiles.h"

#include "publisher/PublishState.h"
#include "publisher/Sha256.h"
#include "update/formats/FileListText.h"
#include "update/formats/VersionFileText.h"
#include "update/formats/ZipPackage.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "norvik-publish-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream input(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), {}};
}

void MakeFile(const fs::path& file, const std::string& content, int64_t utcSeconds)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    const timespec times[2] = {{utcSeconds, 0}, {utcSeconds, 0}};
    if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + file.string());
}

PublishOptions TestPublishOptions(const fs::path& game, const fs::path& out,
                                  const std::string& patchFolder)
{
    PublishOptions options;
    options.gameFolder = game;
    options.outputFolder = out;
    options.version = "1";
    options.baseUrl = "https://patch.example.com/" + patchFolder;
    options.patchFolder = patchFolder;
    return options;
}

fs::path PackageOf(const fs::path& out, const std::string& key)
{
    return out / LoadPublishState(out).packages.at(key).packagePath;
}

std::map<std::string, std::string> ServedRelease(const fs::path& out)
{
    std::map<std::string, std::string> served;
    auto take = [&](const std::string& path)
    {
        std::string decoded;
        for (size_t i = 0; i < path.size(); ++i)
        {
            if (path[i] == '%' && i + 2 < path.size())
            {
                decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
                i += 2;
            }
            else
                decoded += path[i];
        }
        const std::string bytes = ReadAll(out / decoded);
        served[decoded] = Sha256Hex(bytes);
        return bytes;
    };
    std::map<std::string, std::string> values;
    for (const VersionFileLine& line : ReadVersionFileLines(take("version/version")))
        values[line.key] = line.value;
    const std::string patch = values["patch"];
    const std::string folder = patch.substr(patch.find('/', patch.find("://") + 3) + 1) + "/";
    auto list = [&](const std::string& name, const std::string& base, bool overlay)
    {
        const auto text = ReadSingleEntryPackage(take(folder + name + ".zip"), name, overlay);
        for (const FileEntry& entry : ParseFileListText(text.value_or(""), overlay, "FileList"))
            take(folder + base + entry.packagePath);
    };
    list(values["filelist"], "", false);
    if (!values["overlays"].empty())
    {
        for (const std::string& code : SplitOverlayList(values["overlays"]))
        {
            const std::string name = values["overlay_" + code + "_filelist"];
            list(name, name.substr(0, name.rfind('/') + 1), true);
        }
    }
    return served;
}

std::map<std::string, std::string> SnapshotTree(const fs::path& folder)
{
    std::map<std::string, std::string> snapshot;
    auto take = [&](const fs::path& file)
    {
        struct stat info
        {
        };
        if (::stat(file.c_str(), &info) == 0)
            snapshot[file.lexically_relative(folder).generic_string()] =
                fmt::format("{}.{} ", info.st_mtim.tv_sec, info.st_mtim.tv_nsec) + ReadAll(file);
    };
    if (fs::is_regular_file(folder))
        take(folder);
    else if (fs::is_directory(folder))
    {
        for (const auto& item : fs::recursive_directory_iterator(folder))
        {
            if (item.is_regular_file())
                take(item.path());
        }
    }
    return snapshot;
}
