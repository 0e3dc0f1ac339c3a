#include "settings/Localization.h"
#include "support/LogCapture.h"
#include "support/TempFolder.h"

#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const LANGID kJapaneseUi = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);
const LANGID kEnglishUi = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Only error-level lines reach the capture, so a line seen was logged as an error.
struct ErrorLogCapture : LogCapture
{
    ErrorLogCapture() { spdlog::default_logger()->set_level(spdlog::level::err); }
};

// Each case gets a fresh folder; its name is not ASCII so the path has to reach the
// parser intact.
class SelectLanguageTest : public testing::Test
{
  protected:
    fs::path WriteToml(const std::string& content)
    {
        WriteWholeFile(MissingToml(), content);
        return MissingToml();
    }
    fs::path MissingToml() const { return folder_ / L"norvik.toml"; }

  private:
    TempFolder folder_{L"norvik-言語"};
};

TEST_F(SelectLanguageTest, LocalizationEntryDecidesRegardlessOfWindows)
{
    struct Case
    {
        const char* toml;
        LANGID ui;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"[localization]\nlanguage = \"japanese\"\n", kEnglishUi, L"ja"},
        {"[localization]\nlanguage = \"english\"\n", kJapaneseUi, L"en"},
        {"[localization]\nlanguage = \"Japanese\"\n", kJapaneseUi, L"en"},
        {"[localization]\nlanguage = \"japanese \"\n", kJapaneseUi, L"en"},
        {"[localization]\nlanguage = \"french\"\n", kJapaneseUi, L"en"},
        {"[localization]\n", kJapaneseUi, L"en"},
        {"[localization]\nlanguage = 1\n", kJapaneseUi, L"en"},
        {"[localization]\nlanguage = [\"japanese\"]\n", kJapaneseUi, L"en"},
        {"localization = \"japanese\"\n", kJapaneseUi, L"en"},
        {"[other]\n[localization]\nlanguage = \"japanese\"\n[more]\nx = 1\n", kEnglishUi, L"ja"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SelectLanguage(WriteToml(c.toml), c.ui), c.expected) << c.toml;
}

TEST_F(SelectLanguageTest, WindowsDecidesWithoutLocalizationEntry)
{
    const char* const contents[] = {
        "",
        "[other]\nlanguage = \"english\"\n",
        "language = \"english\"\n",
    };
    for (const char* content : contents)
    {
        const fs::path file = WriteToml(content);
        EXPECT_EQ(SelectLanguage(file, kJapaneseUi), L"ja") << content;
        EXPECT_EQ(SelectLanguage(file, kEnglishUi), L"en") << content;
    }
}

TEST_F(SelectLanguageTest, MissingFileFallsBackToWindowsSilently)
{
    ErrorLogCapture log;
    EXPECT_EQ(SelectLanguage(MissingToml(), kJapaneseUi), L"ja");
    EXPECT_EQ(SelectLanguage(MissingToml(), kEnglishUi), L"en");
    EXPECT_EQ(log.Text(), "");
}

TEST_F(SelectLanguageTest, OnlyThePrimaryLanguageOfWindowsCounts)
{
    EXPECT_EQ(SelectLanguage(MissingToml(), MAKELANGID(LANG_JAPANESE, SUBLANG_NEUTRAL)), L"ja");
    EXPECT_EQ(SelectLanguage(MissingToml(), MAKELANGID(LANG_JAPANESE, 0x3F)), L"ja");
    EXPECT_EQ(SelectLanguage(MissingToml(), MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)), L"en");
    EXPECT_EQ(SelectLanguage(MissingToml(), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)),
              L"en");
}

TEST_F(SelectLanguageTest, SyntaxErrorIsLoggedAndWindowsDecides)
{
    const fs::path broken = WriteToml("[localization\nlanguage = \"english\"\n");
    const std::string prefix = "Could not parse norvik.toml: ";
    for (const LANGID ui : {kJapaneseUi, kEnglishUi})
    {
        ErrorLogCapture log;
        EXPECT_EQ(SelectLanguage(broken, ui), ui == kJapaneseUi ? L"ja" : L"en");
        const std::string text = log.Text();
        EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
        // One line, and the parser's description after the prefix.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find_first_not_of("\r\n", prefix.size()), std::string::npos) << text;
    }
}

TEST(LookupTextTest, UnknownLanguageOrKeyGivesMarkers)
{
    EXPECT_EQ(LookupText(L"fr", "title"), L"NOLANG");
    EXPECT_EQ(LookupText(L"EN", "title"), L"NOLANG");
    EXPECT_EQ(LookupText(L"", "title"), L"NOLANG");
    // No fallback to the other language, and keys are case-sensitive.
    EXPECT_EQ(LookupText(L"en", "download_file_retry_initial"), L"NOKEY");
    EXPECT_EQ(LookupText(L"en", "Title"), L"NOKEY");
    EXPECT_EQ(LookupText(L"ja", ""), L"NOKEY");
}

TEST(LookupTextTest, FindsTextsOfBothLanguages)
{
    EXPECT_EQ(LookupText(L"en", "title"), L"Norvik Patcher");
    EXPECT_EQ(LookupText(L"en", "start_error_title"), L"Norvik Error");
    EXPECT_EQ(LookupText(L"ja", "title"), L"Norvik Patcher");
    EXPECT_EQ(LookupText(L"ja", "start_error_title"), L"Norvik エラー");
    EXPECT_EQ(LookupText(L"ja", "download_file_retry_initial"), L"[{}/{}] 「{}」（再試行 {}）");
    // Callers keep the reference, so it must point into the table, not a temporary.
    EXPECT_EQ(&LookupText(L"en", "title"), &LookupText(L"en", "title"));
}

TEST(CurrentLanguageTest, SwitchingChangesWhatLocalizedTextReturns)
{
    const std::wstring original = CurrentLanguage();
    EXPECT_TRUE(original == L"en" || original == L"ja");

    for (const wchar_t* code : {L"ja", L"en"})
    {
        SetCurrentLanguage(code);
        EXPECT_EQ(CurrentLanguage(), code);
        EXPECT_EQ(&LocalizedText("start_error_title"), &LookupText(code, "start_error_title"));
        EXPECT_EQ(LocalizedCStr("update_success"), LookupText(code, "update_success").c_str());
    }
    SetCurrentLanguage(original);
}

std::vector<std::string> Keys(std::span<const LocalizedEntry> list)
{
    std::vector<std::string> keys;
    for (const LocalizedEntry& entry : list)
        keys.emplace_back(entry.key);
    return keys;
}

TEST(TextTablesTest, JapaneseHasTheEnglishKeysInOrderPlusOne)
{
    EXPECT_EQ(kEnglishTextList.size(), 60u);
    EXPECT_EQ(kJapaneseTextList.size(), 61u);

    std::vector<std::string> japanese = Keys(kJapaneseTextList);
    const auto extra = std::find(japanese.begin(), japanese.end(), "download_file_retry_initial");
    ASSERT_NE(extra, japanese.end());
    ASSERT_NE(extra, japanese.begin());
    EXPECT_EQ(*(extra - 1), "download_file");
    japanese.erase(extra);
    EXPECT_EQ(japanese, Keys(kEnglishTextList));
}

TEST(TextTablesTest, MapsHoldEveryListEntry)
{
    // A duplicated key would silently collapse in the map.
    const std::pair<const wchar_t*, std::span<const LocalizedEntry>> languages[] = {
        {L"en", kEnglishTextList}, {L"ja", kJapaneseTextList}};
    ASSERT_EQ(kLocalizedTexts.size(), std::size(languages));
    for (const auto& [code, list] : languages)
    {
        const auto& table = kLocalizedTexts.at(code);
        EXPECT_EQ(table.size(), list.size());
        for (const LocalizedEntry& entry : list)
            EXPECT_EQ(table.at(entry.key), entry.text) << entry.key;
    }
}

std::vector<std::wstring> Placeholders(const std::wstring& text)
{
    std::vector<std::wstring> found;
    for (size_t open = text.find(L'{'); open != std::wstring::npos;
         open = text.find(L'{', open + 1))
    {
        const size_t close = text.find(L'}', open);
        found.push_back(text.substr(open, close == std::wstring::npos ? 1 : close - open + 1));
    }
    return found;
}

TEST(TextTablesTest, TranslationsKeepPlaceholdersAndLineBreaks)
{
    for (const LocalizedEntry& entry : kEnglishTextList)
    {
        const std::wstring english = entry.text;
        const std::wstring& japanese = LookupText(L"ja", entry.key);
        EXPECT_EQ(Placeholders(japanese), Placeholders(english)) << entry.key;
        EXPECT_EQ(std::count(japanese.begin(), japanese.end(), L'\n'),
                  std::count(english.begin(), english.end(), L'\n'))
            << entry.key;
    }
}

TEST(TextTablesTest, EveryListedLanguageHasATable)
{
    ASSERT_EQ(kLanguageNames.size(), kLocalizedTexts.size());
    auto name = kLanguageNames.begin();
    for (const auto& [code, table] : kLocalizedTexts)
    {
        EXPECT_EQ(name->first, code);
        ++name;
    }
    EXPECT_EQ(kLanguageNames.begin()->second, L"English");
    EXPECT_EQ(kLanguageNames.at(L"ja"), L"日本語");
}

} // namespace
