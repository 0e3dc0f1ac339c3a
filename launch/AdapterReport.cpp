#include "launch/AdapterReport.h"

#include "base/TextEncoding.h"
#include "base/UniqueHandle.h"
#include "settings/Localization.h"

#include <d3d8.h>
#include <fmt/xchar.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <spdlog/spdlog.h>

namespace
{
constexpr UINT kDirect3DSdkVersion = 120;
constexpr wchar_t kNoDirect3D8[] = L"Unable to initialize DX8. The game may not run properly.";
constexpr wchar_t kNoDefaultAdapter[] =
    L"Unable to obtain default D3D8 graphics adapter. The game may not run properly.";
constexpr wchar_t kNoAdapterDetails[] = L"Couldn't detect primary display adapter details.";

// Loaded at run time: a system without Direct3D 8 must still start the
// launcher and get the sentence above, not a loader error.
class Direct3D8
{
  public:
    Direct3D8()
    {
        module_ = LoadLibraryW(L"d3d8.dll");
        if (!module_)
            return;
        using CreateFunction = IDirect3D8*(WINAPI*)(UINT);
        const auto create =
            reinterpret_cast<CreateFunction>(GetProcAddress(module_, "Direct3DCreate8"));
        if (create)
            object_ = create(kDirect3DSdkVersion);
    }
    ~Direct3D8()
    {
        if (object_)
            object_->Release();
        if (module_)
            FreeLibrary(module_);
    }
    Direct3D8(const Direct3D8&) = delete;
    Direct3D8& operator=(const Direct3D8&) = delete;

    IDirect3D8* Get() const { return object_; }

  private:
    HMODULE module_ = nullptr;
    IDirect3D8* object_ = nullptr;
};

// The identifier's fixed-size 8-bit text, read as UTF-8 up to its terminator.
std::wstring IdentifierText(const char (&field)[MAX_DEVICE_IDENTIFIER_STRING])
{
    size_t length = 0;
    while (length < MAX_DEVICE_IDENTIFIER_STRING && field[length] != '\0')
        ++length;
    return ToWide(std::string_view(field, length));
}

std::optional<std::wstring> SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::nullopt;
    return std::wstring(folder);
}

} // namespace

std::wstring FormatDriverVersion(LARGE_INTEGER driverVersion)
{
    const auto high = static_cast<uint32_t>(driverVersion.HighPart);
    const uint32_t low = driverVersion.LowPart;
    return fmt::format(L"{}/{}.{}.{}", high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF);
}

std::wstring FormatDriverDate(const SYSTEMTIME& date)
{
    return fmt::format(L"{}-{}-{}", date.wYear, date.wMonth, date.wDay);
}

std::optional<std::wstring> ReadDriverFileDate(const std::wstring& path)
{
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return std::nullopt;
    FILETIME created{};
    FILETIME local{};
    SYSTEMTIME date{};
    // A time that cannot be read is no date at all; the version says more
    // than a made-up 0-0-0.
    if (!GetFileTime(file.Get(), &created, nullptr, nullptr) ||
        !FileTimeToLocalFileTime(&created, &local) || !FileTimeToSystemTime(&local, &date))
        return std::nullopt;
    return FormatDriverDate(date);
}

namespace
{
// The panel's text for the primary adapter, from the first outcome that applies.
std::wstring QueryAdapterText()
{
    const Direct3D8 direct3d;
    if (!direct3d.Get())
        return kNoDirect3D8;

    D3DADAPTER_IDENTIFIER8 identifier{};
    if (FAILED(direct3d.Get()->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier)))
        return kNoDefaultAdapter;

    const std::wstring description = IdentifierText(identifier.Description);
    const std::wstring driver = IdentifierText(identifier.Driver);
    const std::wstring& language = CurrentLanguage();
    const auto versionText = [&]
    {
        return fmt::format(fmt::runtime(LookupText(language, "primary_adapter_ver")), description,
                           FormatDriverVersion(identifier.DriverVersion));
    };

    const std::optional<std::wstring> folder = SystemFolder();
    if (!folder)
        return versionText();
    if (driver.size() + 1 + folder->size() >= MAX_PATH)
    {
        spdlog::error("AppendPath failed because the size was greater than the max path size");
        return kNoAdapterDetails;
    }
    wchar_t path[MAX_PATH] = {};
    folder->copy(path, folder->size());
    if (!PathAppendW(path, driver.c_str()))
        return kNoAdapterDetails;

    if (const std::optional<std::wstring> date = ReadDriverFileDate(path))
        return fmt::format(fmt::runtime(LookupText(language, "primary_adapter_date")), description,
                           *date);
    return versionText();
}
} // namespace

AdapterReport::AdapterReport() : text(QueryAdapterText()) {}
