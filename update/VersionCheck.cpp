#include "base/TextEncoding.h"
#include "settings/Deployment.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "update/UpdateManager.h"
#include "update/UpdateWindow.h"
#include "update/formats/VersionFileText.h"

#include <map>
#include <optional>
#include <spdlog/spdlog.h>
#include <string_view>

std::string UpdateManager::FetchText(const std::string& url)
{
    HttpResponse response = httpClient->Get(url);
    if (!response.error.empty())
        throw http_error(response.error);
    return std::move(response.body);
}

namespace
{
// The language code of "overlay_" + code + suffix, if `key` has that shape.
std::optional<std::string> OverlayKeyLanguage(const std::string& key, std::string_view suffix)
{
    constexpr std::string_view kPrefix = "overlay_";
    if (key.size() < kPrefix.size() + suffix.size() || !key.starts_with(kPrefix) ||
        !key.ends_with(suffix))
        return std::nullopt;
    return key.substr(kPrefix.size(), key.size() - kPrefix.size() - suffix.size());
}
} // namespace

bool UpdateManager::CheckVersion()
{
    spdlog::trace(">>>>>>>>>>> CHECK VERSION : LocalDir[{}]", ToUtf8(localDir));
    SetStatus(LocalizedText("checking_version"));

    if (!ReadRegistryString(localVersion, kLauncherRegistryKey, L"UpdateVersion"))
    {
        if (!WriteRegistryString(kLauncherRegistryKey, L"UpdateVersion", L"First Version."))
        {
            spdlog::error("[ERROR] No VersionKey and can't make VersionKey.");
            ReportError(LocalizedText("version_check_failure"));
            return false;
        }
        localVersion = LocalizedText("first_version");
        spdlog::trace("Version set to {}", ToUtf8(localVersion));
    }
    {
        std::lock_guard lock(statusMutex);
        versionText = L"Ver " + localVersion;
    }
    spdlog::trace("Version at REG [{}]", ToUtf8(L"Ver " + localVersion));
    window->Invalidate(kInvalidateVersionText);

    const std::wstring& language = CurrentLanguage();
    if (ReadRegistryString(localOverlayVersion, kLauncherRegistryKey,
                           L"UpdateVersion_Overlay_" + language))
    {
        spdlog::trace("Overlay version at REG [{}]", ToUtf8(localOverlayVersion));
    }
    else
    {
        localOverlayVersion.clear();
        spdlog::trace("No overlay version in registry for language: {}", ToUtf8(language));
    }
    SetStatus(LocalizedText("updating_version_info"));

    try
    {
        uint32_t mirror = 0;
        ReadRegistryDword(mirror, L"NRK_LauncherMirrorIndex");
        const std::string host = ToUtf8(MirrorHostFor(mirror));
        const std::string url = "https://" + host + "/version/version";
        spdlog::info("Using mirror: {}", host);
        if (!ParseVersionInfo(FetchText(url), host))
            return false;
        spdlog::trace("Version at SERVER [{}]", versionInfo.version);
        return true;
    }
    catch (const std::exception& error)
    {
        ReportError(ToWide(error.what()));
        return false;
    }
}

bool UpdateManager::ParseVersionInfo(const std::string& body, const std::string& mirrorHost)
{
    const std::string primaryHost = ToUtf8(kMirrorHosts[0]);
    std::map<std::string, std::string> overlayVersions;
    std::map<std::string, std::string> overlayFileLists;

    for (const VersionFileLine& line : ReadVersionFileLines(body))
    {
        if (line.isMalformed)
        {
            spdlog::warn("VersionInfo: Malformed line {}", line.rawLine);
            continue;
        }
        const std::string& key = line.key;
        if (key == "version")
            versionInfo.version = line.value;
        else if (key == "filelist")
            versionInfo.fileList = line.value;
        else if (key == "patch")
            versionInfo.basePath = ReplaceAll(line.value, primaryHost, mirrorHost);
        else if (key == "notice")
            window->SetNoticeUrl(ToWide(line.value));
        else if (key == "overlays")
            versionInfo.overlays = line.value;
        else if (const auto code = OverlayKeyLanguage(key, "_version"))
            overlayVersions[*code] = line.value;
        else if (const auto code = OverlayKeyLanguage(key, "_filelist"))
            overlayFileLists[*code] = line.value;
        else
            spdlog::warn("VersionInfo: Unknown key {}", key);
    }

    if (versionInfo.version.empty() || versionInfo.fileList.empty() || versionInfo.basePath.empty())
    {
        spdlog::error("VersionInfo: Not enough information to continue");
        spdlog::trace("VersionInfo.version: {}", versionInfo.version);
        spdlog::trace("VersionInfo.fileList: {}", versionInfo.fileList);
        spdlog::trace("VersionInfo.basePath: {}", versionInfo.basePath);
        ReportError(LocalizedText("version_data_invalid"));
        return false;
    }

    const std::string code = ToUtf8(CurrentLanguage());
    if (versionInfo.overlays.empty())
        return true;
    for (const std::string& listed : SplitOverlayList(versionInfo.overlays))
    {
        if (listed != code)
            continue;
        const auto version = overlayVersions.find(code);
        const auto fileList = overlayFileLists.find(code);
        if (version == overlayVersions.end() || fileList == overlayFileLists.end())
        {
            ReportError(LocalizedText("version_data_invalid"));
            return false;
        }
        versionInfo.overlayVersion = version->second;
        versionInfo.overlayFileList = fileList->second;
        const size_t slash = versionInfo.overlayFileList.rfind('/');
        versionInfo.overlayBasePath = slash == std::string::npos
                                          ? "overlays/" + code + "/"
                                          : versionInfo.overlayFileList.substr(0, slash + 1);
        spdlog::info("VersionInfo: Using overlay for language '{}'", code);
        spdlog::trace("VersionInfo.overlayVersion: {}", versionInfo.overlayVersion);
        spdlog::trace("VersionInfo.overlayFileList: {}", versionInfo.overlayFileList);
        spdlog::trace("VersionInfo.overlayBasePath: {}", versionInfo.overlayBasePath);
        return true;
    }
    return true;
}
