#include "support/FileTimes.h"

FILETIME LastWriteTime(const std::filesystem::path& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

SYSTEMTIME LastWriteUtc(const std::filesystem::path& file)
{
    const FILETIME time = LastWriteTime(file);
    SYSTEMTIME utc{};
    FileTimeToSystemTime(&time, &utc);
    return utc;
}
