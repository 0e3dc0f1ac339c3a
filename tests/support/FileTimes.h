// A real file's last-write time, read as the comparison reads it.
#pragma once

#include <windows.h>

#include <filesystem>

SYSTEMTIME LastWriteUtc(const std::filesystem::path& file);
FILETIME LastWriteTime(const std::filesystem::path& file);
