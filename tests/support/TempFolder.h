// A fresh folder under the system's temporary folder, removed with its
// contents when the test ends.
#pragma once

#include <filesystem>
#include <string>

class TempFolder
{
  public:
    explicit TempFolder(const std::wstring& label = L"norvik");
    ~TempFolder();

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const
    {
        return path_ / name;
    }

  private:
    std::filesystem::path path_;
};

std::string ReadWholeFile(const std::filesystem::path& file);
void WriteWholeFile(const std::filesystem::path& file, const std::string& content);
