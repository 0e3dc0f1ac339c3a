// CTest runs this suite a second time under a Japanese locale (see
// tests/CMakeLists.txt); Wine then reports a Japanese user-interface language.
#include "settings/Localization.h"

#include <cstdlib>
#include <gtest/gtest.h>

TEST(JapaneseUi, LanguageFollowsTheWindowsUiLanguageWithoutNorvikToml)
{
    if (!std::getenv("NORVIK_EXPECT_JAPANESE_UI"))
        GTEST_SKIP() << "runs only under the Japanese locale";
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_JAPANESE);
    EXPECT_EQ(CurrentLanguage(), L"ja");
    EXPECT_EQ(LocalizedText("first_version"), L"最初");
    EXPECT_EQ(LocalizedText("start_error_title"), L"Norvik エラー");
}
