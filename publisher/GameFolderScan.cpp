#include "publisher/GameFolderScan.h"

#include "publisher/WindowsNames.h"
#include "update/formats/FileListWriter.h"
#include "update/formats/SafePath.h"

#include <algorithm>
#include <fmt/format.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

namespace
{
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr int64_t kListZoneSeconds = 9 * 3600;
// Beyond this the launcher's 32-bit size field wraps.
constexpr uint64_t kLargestFile = 0xFFFFFFFFull;

int32_t SizeInKiB(uint64_t size)
{
    return static_cast<int32_t>((size + 1023) / 1024);
}

// Windows counts a path in UTF-16 units; the launcher gives up its whole
// pass at 260.
constexpr size_t kWindowsPathLimit = 260;
// ".0123456789abcdef.zip" after the file's own name.
constexpr size_t kPackageSuffixBytes = 21;
constexpr size_t kLongestServerName = 255;

size_t Utf16Length(std::string_view utf8)
{
    size_t units = 0;
    for (const char c : utf8)
    {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

std::string FoldedAscii(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// A published name the player's machine could not install, or empty.
std::string InstallProblem(const std::string& name, size_t installFolderBudget)
{
    const size_t length = Utf16Length(name);
    if (installFolderBudget + 1 + length >= kWindowsPathLimit)
        return fmt::format("{} characters: under an install folder of {} (--max-install-path) "
                           "the path reaches Windows' {}",
                           length, installFolderBudget, kWindowsPathLimit);
    const std::string base = name.substr(name.rfind('/') + 1);
    if (base.size() + kPackageSuffixBytes > kLongestServerName)
        return fmt::format("its package's name would be longer than {} bytes", kLongestServerName);
    const std::string folded = FoldedAscii(name);
    if (folded == "update.nrkpart" || folded == "splash.dmy" || folded.ends_with(".nrkpart"))
        return "a name the launcher itself uses while it updates";
    return "";
}

bool IsNfc(std::string_view utf8)
{
    UErrorCode status = U_ZERO_ERROR;
    std::u16string text(utf8.size(), u'\0');
    int32_t length = 0;
    u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()), &length,
                  utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return true;
    const UBool normal =
        unorm2_isNormalized(nfc, reinterpret_cast<const UChar*>(text.data()), length, &status);
    return U_FAILURE(status) || normal;
}

bool IsExcluded(const std::string& name, const std::vector<std::string>& excludes)
{
    const std::string base = name.substr(name.rfind('/') + 1);
    return std::any_of(excludes.begin(), excludes.end(),
                       [&](const std::string& glob)
                       {
                           const bool wholePath = glob.find('/') != std::string::npos;
                           return ::fnmatch(glob.c_str(), wholePath ? name.c_str() : base.c_str(),
                                            FNM_CASEFOLD | (wholePath ? FNM_PATHNAME : 0)) == 0;
                       });
}

bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& folder)
{
    const auto [end, at] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

// A link is published as what it points to, if that is inside the game
// folder and is no folder holding the link itself.
std::string LinkProblem(const std::filesystem::path& link, const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    if (error)
        return "a link to nothing (dangling)";
    if (!IsWithin(target, root))
        return fmt::format("a link to {}, outside the game folder", target.string());
    if (fs::is_directory(target) && IsWithin(fs::canonical(link.parent_path()), target))
        return "a link to a folder that holds it (a loop)";
    return "";
}

// All of a folder's problems in one message, so one run shows every one.
void RefuseProblems(const std::filesystem::path& folder, std::vector<std::string> problems)
{
    if (problems.empty())
        return;
    std::sort(problems.begin(), problems.end());
    std::string text = fmt::format("{} cannot be published:", folder.string());
    for (const std::string& problem : problems)
        text += "\n  " + problem;
    throw FolderRefused(text);
}
} // namespace

uint64_t ListTimeOfUnixTime(int64_t seconds, uint32_t nanoseconds)
{
    const int64_t since1601 = seconds + kSecondsFrom1601To1970 + kListZoneSeconds;
    if (since1601 < 0)
        throw std::out_of_range("time before 1601");
    return static_cast<uint64_t>(since1601) * kTicksPerSecond + nanoseconds / 100;
}

std::string PercentEncodePath(std::string_view path)
{
    std::string encoded;
    for (char c : path)
    {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/')
            encoded += c;
        else
            encoded += fmt::format("%{:02X}", byte);
    }
    return encoded;
}

std::vector<PublishedFile> ScanGameFolder(const std::filesystem::path& folder,
                                          const ScanRules& rules,
                                          std::vector<std::string>* warnings)
{
    namespace fs = std::filesystem;
    if (!fs::is_directory(folder))
        throw FolderRefused(fmt::format("{} is not a folder", folder.string()));

    std::vector<PublishedFile> files;
    std::vector<std::string> problems;
    WindowsNameSet windowsNames;
    const fs::path root = fs::canonical(folder);
    for (auto it = fs::recursive_directory_iterator(
             folder, fs::directory_options::follow_directory_symlink);
         it != fs::recursive_directory_iterator(); ++it)
    {
        // The link's own name, not its target's: players get the file where
        // the link is.
        const std::string name = it->path().lexically_relative(folder).generic_string();
        if (it->is_symlink())
        {
            if (const std::string problem = LinkProblem(it->path(), root); !problem.empty())
            {
                problems.push_back(fmt::format("{}: {}", name, problem));
                it.disable_recursion_pending();
                continue;
            }
        }
        if (it->is_directory() || IsExcluded(name, rules.excludes))
            continue;
        if (!it->is_regular_file())
        {
            problems.push_back(fmt::format("{}: not a regular file", name));
            continue;
        }
        if (const auto reason = UnsafeListNameReason(name))
        {
            problems.push_back(fmt::format("{}: {}", name, *reason));
            continue;
        }
        if (const std::string problem = WindowsNameProblem(name); !problem.empty())
        {
            problems.push_back(fmt::format("{}: {}", name, problem));
            continue;
        }
        if (const std::string problem = InstallProblem(name, rules.installFolderBudget);
            !problem.empty())
        {
            problems.push_back(fmt::format("{}: {}", name, problem));
            continue;
        }
        if (warnings && !IsNfc(name))
            warnings->push_back(fmt::format("{}: not in Unicode normal form C; a file of the same "
                                            "name made on another system would not replace it",
                                            name));
        if (const auto earlier = windowsNames.Conflict(name))
        {
            problems.push_back(fmt::format("{}: same name as {} on Windows", name, *earlier));
            continue;
        }
        windowsNames.Add(name);

        struct stat info
        {
        };
        if (::stat(it->path().c_str(), &info) != 0)
        {
            problems.push_back(fmt::format("{}: cannot read its time", name));
            continue;
        }
        PublishedFile file;
        file.source = it->path();
        file.size = static_cast<uint64_t>(info.st_size);
        file.modifiedNs = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
        file.changedNs = int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec;
        if (file.size > kLargestFile)
        {
            problems.push_back(fmt::format("{}: 4 GiB or more", name));
            continue;
        }
        try
        {
            file.entry.time = ListTimeOfUnixTime(info.st_mtim.tv_sec,
                                                 static_cast<uint32_t>(info.st_mtim.tv_nsec));
            FormatListDate(file.entry.time);
        }
        catch (const std::out_of_range&)
        {
            problems.push_back(fmt::format("{}: time before 1601 or after 9999", name));
            continue;
        }
        file.entry.name = name;
        file.entry.column3 = SizeInKiB(file.size);
        file.entry.column4 = 0;
        file.entry.packagePath = "files/" + PercentEncodePath(name) + ".zip";
        files.push_back(std::move(file));
    }
    RefuseProblems(folder, std::move(problems));
    std::sort(files.begin(), files.end(),
              [](const PublishedFile& a, const PublishedFile& b)
              { return a.entry.name < b.entry.name; });
    return files;
}

void RefuseOverlayClashes(const std::vector<PublishedFile>& game,
                          const std::vector<PublishedFile>& overlay,
                          const std::filesystem::path& overlayFolder)
{
    WindowsNameSet gameNames;
    for (const PublishedFile& file : game)
        gameNames.Add(file.entry.name);
    std::vector<std::string> problems;
    for (const PublishedFile& file : overlay)
    {
        if (const auto earlier = gameNames.Conflict(file.entry.name))
            problems.push_back(fmt::format("{}: same name as the game's {} on Windows",
                                           file.entry.name, *earlier));
    }
    RefuseProblems(overlayFolder, std::move(problems));
}
