#include "update/UpdateManager.h"
#include "update/formats/FileListText.h"
#include "update/formats/SafePath.h"
#include "update/formats/ZipPackage.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace
{
// A list names files relative to the game folder; a name that could reach
// outside it is never written.
void DropUnsafeNames(std::vector<FileEntry>& entries, const char* prefix)
{
    std::erase_if(entries,
                  [prefix](const FileEntry& entry)
                  {
                      const std::optional<std::string> reason = UnsafeListNameReason(entry.name);
                      if (!reason)
                          return false;
                      spdlog::warn("{}: Unsafe file name skipped {} ({})", prefix, entry.name,
                                   *reason);
                      return true;
                  });
}
} // namespace

bool UpdateManager::FetchFileList()
{
    remoteFiles.clear();
    const std::string url = fmt::format("{}/{}.zip", versionInfo.basePath, versionInfo.fileList);
    const std::string package = FetchText(url);
    const std::optional<std::string> text =
        ReadSingleEntryPackage(package, versionInfo.fileList, false);
    if (!text)
        return false;
    ParseFileListText(*text, false, "FileList", remoteFiles);
    DropUnsafeNames(remoteFiles, "FileList");
    return true;
}

bool UpdateManager::FetchOverlayFileList()
{
    if (versionInfo.overlayFileList.empty())
        return true;
    const std::string url =
        fmt::format("{}/{}.zip", versionInfo.basePath, versionInfo.overlayFileList);
    spdlog::info("Downloading overlay filelist from: {}", url);
    const std::string package = FetchText(url);
    const std::optional<std::string> text =
        ReadSingleEntryPackage(package, versionInfo.overlayFileList, true);
    if (!text)
        return false;
    std::vector<FileEntry> overlay = ParseFileListText(*text, true, "Overlay FileList");
    DropUnsafeNames(overlay, "Overlay FileList");
    spdlog::info("Parsed {} overlay files", overlay.size());
    MergeOverlay(overlay);
    return true;
}

void UpdateManager::MergeOverlay(const std::vector<FileEntry>& overlayEntries)
{
    MergeOverlayEntries(remoteFiles, overlayEntries);
}
