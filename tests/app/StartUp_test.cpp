// The real splash.exe as a player starts it: from its game folder, or through
// a shortcut whose start folder is elsewhere.
#include "support/LauncherProcess.h"
#include "support/Registry.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>

namespace
{
class StartUp : public ::testing::Test
{
  protected:
    void SetUp() override { DeleteLauncherKey(); }

    // Complete once the process has ended: the launcher flushes its log on the way out.
    std::string LogOf(const TempFolder& game) { return ReadWholeFile(game / "update.log"); }

    TempFolder game_{L"game"};
    TempFolder elsewhere_{L"elsewhere"};
};

// The message lines of a log, without their time stamps.
std::vector<std::string> Messages(const std::string& log)
{
    std::vector<std::string> lines;
    const std::regex line("\\d{8}-\\d{2}:\\d{2}:\\d{2} ([^\r]*)\r\n");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it)
        lines.push_back((*it)[1]);
    return lines;
}
} // namespace

TEST_F(StartUp, FirstStartFromAnotherFolderWritesDefaultsAndLogsInItsOwnFolder)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(elsewhere_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);

    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 2u);

    EXPECT_FALSE(std::filesystem::exists(elsewhere_ / "update.log"));
    const std::vector<std::string> lines = Messages(LogOf(game_));
    const std::vector<std::string> expected{
        "Showing first launch dialog",
        "User cancelled first launch dialog, writing default settings",
        "Wrote default first launch settings: Mirror=0, ECH=false, MaxConnections=2",
    };
    ASSERT_GE(lines.size(), expected.size()) << LogOf(game_);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), expected);
}

TEST_F(StartUp, SavedSettingsSkipTheFirstLaunchDialog)
{
    // Stored settings, including a type the launcher must treat as absent.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kardun\\Galdervin_NK", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(key, L"NRK_LauncherSettingsSet", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&one), sizeof(one));
    const DWORD three = 3;
    RegSetValueExW(key, L"NRK_LauncherMaxConnections", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&three), sizeof(three));
    RegCloseKey(key);

    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);

    EXPECT_EQ(LogOf(game_).find("Showing first launch dialog"), std::string::npos);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 3u);
}

TEST_F(StartUp, SettingsFlagOfTheWrongTypeShowsTheFirstLaunchDialogAgain)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kardun\\Galdervin_NK", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t text[] = L"1";
    RegSetValueExW(key, L"NRK_LauncherSettingsSet", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   sizeof(text));
    RegCloseKey(key);

    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);
    EXPECT_NE(LogOf(game_).find("Showing first launch dialog"), std::string::npos);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
}

TEST_F(StartUp, RestartCodeOpensTheSettingsDialogThenANewWindow)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND first = launcher.WaitForMainWindow();
    ASSERT_NE(first, nullptr);

    // The update thread's answer to a quit request ends the life with code 100.
    PostMessageW(first, WM_USER + 1, 0, 0);
    const HWND second = launcher.WaitForMainWindow(20000, first);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));

    PostMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);
    const std::vector<std::string> lines = Messages(LogOf(game_));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "User cancelled settings dialog, continuing"),
              1)
        << LogOf(game_);
    // The restart found the settings saved: no second first-launch dialog.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Showing first launch dialog"), 1);
}
