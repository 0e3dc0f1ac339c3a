// The server's version file, parsed: UTF-8 texts exactly as published (the
// base path after mirror substitution).
#pragma once

#include <string>

struct VersionInfo
{
    std::string version;
    std::string fileList;
    std::string basePath;
    std::string overlays;
    std::string overlayVersion;
    std::string overlayFileList;
    std::string overlayBasePath;
};
