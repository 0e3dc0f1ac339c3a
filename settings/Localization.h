// The user-visible texts in the two display languages ("en", "ja") and the choice of
// language for the process. The tables are immutable after static initialisation and
// may be read from any thread; lookups never fail, they return "NOLANG" or "NOKEY".
#pragma once

#include <windows.h>

#include <filesystem>
#include <map>
#include <span>
#include <string>

struct LocalizedEntry
{
    const char* key;
    const wchar_t* text;
};

// The tables as written, in their source order (a map would lose it).
extern const std::span<const LocalizedEntry> kEnglishTextList;
extern const std::span<const LocalizedEntry> kJapaneseTextList;

// Language code -> key -> text, built from the lists above.
extern const std::map<std::wstring, std::map<std::string, std::wstring>> kLocalizedTexts;

// Language code -> display name, in the order the settings dialog lists them.
extern const std::map<std::wstring, std::wstring> kLanguageNames;

// "ja" or "en" from the "localization"."language" entry of the TOML file when the file
// has a "localization" entry; otherwise from the primary language of `uiLanguage`.
// A file that fails to parse is logged and then ignored.
std::wstring SelectLanguage(const std::filesystem::path& tomlPath, LANGID uiLanguage);

// Decided on first use from norvik.toml next to the executable and the Windows UI
// language. Not locked: it is first called on the window thread before any other thread
// starts, and changed only between window lives.
const std::wstring& CurrentLanguage();
// Lets the settings dialog switch the language for the rest of the process.
void SetCurrentLanguage(const std::wstring& languageCode);

// The returned reference lives as long as the process.
const std::wstring& LookupText(const std::wstring& languageCode, const std::string& key);
const std::wstring& LocalizedText(const std::string& key);
// For direct use in Windows calls (message boxes, window texts).
const wchar_t* LocalizedCStr(const std::string& key);
