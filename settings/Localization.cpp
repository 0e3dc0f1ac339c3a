#include "settings/Localization.h"

#include "base/ModuleDirectory.h"
#include "base/TextEncoding.h"

#include <windows.h>

#include <spdlog/spdlog.h>
#include <system_error>
#include <toml++/toml.h>

const std::map<std::wstring, std::wstring> kLanguageNames = {
    {L"en", L"English"},
    {L"ja", L"日本語"},
};

namespace
{

std::wstring& CurrentLanguageStorage()
{
    static std::wstring language;
    return language;
}

std::wstring LanguageFromUi(LANGID uiLanguage)
{
    return PRIMARYLANGID(uiLanguage) == LANG_JAPANESE ? L"ja" : L"en";
}

LANGID UserUiLanguage()
{
    return GetUserDefaultUILanguage();
}

} // namespace

std::wstring SelectLanguage(const std::filesystem::path& tomlPath, LANGID uiLanguage)
{
    std::error_code ignored;
    if (!std::filesystem::exists(tomlPath, ignored))
        return LanguageFromUi(uiLanguage);

    toml::table document;
    try
    {
        document = toml::parse_file(ToUtf8(tomlPath.wstring()));
    }
    catch (const toml::parse_error& error)
    {
        spdlog::error("Could not parse norvik.toml: {}", error.description());
        return LanguageFromUi(uiLanguage);
    }

    // Once the file has a "localization" entry it decides alone, even when the
    // language inside is missing or not a string.
    if (!document.contains("localization"))
        return LanguageFromUi(uiLanguage);
    const std::string language =
        document["localization"]["language"].value_exact<std::string>().value_or("english");
    return language == "japanese" ? L"ja" : L"en";
}

const std::wstring& CurrentLanguage()
{
    std::wstring& language = CurrentLanguageStorage();
    if (language.empty())
        language = SelectLanguage(ModuleDirectory() + L"\\norvik.toml", UserUiLanguage());
    return language;
}

void SetCurrentLanguage(const std::wstring& languageCode)
{
    CurrentLanguageStorage() = languageCode;
}

const std::wstring& LookupText(const std::wstring& languageCode, const std::string& key)
{
    // Function statics: the references handed out must outlive every caller.
    static const std::wstring kNoLanguage = L"NOLANG";
    static const std::wstring kNoKey = L"NOKEY";

    const auto language = kLocalizedTexts.find(languageCode);
    if (language == kLocalizedTexts.end())
        return kNoLanguage;
    const auto text = language->second.find(key);
    if (text == language->second.end())
        return kNoKey;
    return text->second;
}

const std::wstring& LocalizedText(const std::string& key)
{
    return LookupText(CurrentLanguage(), key);
}

const wchar_t* LocalizedCStr(const std::string& key)
{
    return LocalizedText(key).c_str();
}
