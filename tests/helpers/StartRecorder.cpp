// Stands in for the programs the launcher starts (the game client, the setup
// program, the browser that opens help pages): writes its command line and
// its current directory, UTF-8, one per line, to its own path + ".started",
// then exits. A copy is placed under the name the launcher looks for.
#include <windows.h>

#include <string>

namespace
{
std::string Utf8(const std::wstring& wide)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size,
                        nullptr, nullptr);
    return narrow;
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::string record = Utf8(GetCommandLineW()) + "\n" + Utf8(folder) + "\n";

    // Written under a temporary name and renamed, so a reader never sees half of it.
    const std::wstring target = std::wstring(self) + L".started";
    const std::wstring partial = target + L".partial";
    const HANDLE file =
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
