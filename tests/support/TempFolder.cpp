#include "support/TempFolder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace
{
std::atomic<int> serial{0};
}

TempFolder::TempFolder(const std::wstring& label)
{
    path_ =
        std::filesystem::temp_directory_path() /
        (label + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(const std::filesystem::path& file, const std::string& content)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}
