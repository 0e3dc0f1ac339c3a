// The real splash.exe as a player starts it: from its game folder, or through
// a shortcut whose start folder is elsewhere.
#include "settings/SettingsDialogIds.h"
#include "support/LauncherProcess.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ProcessList.h"
#include "support/Registry.h"
#include "support/SettingsDialogWindow.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{
class StartUp : public ::testing::Test
{
  protected:
    void SetUp() override { DeleteLauncherKey(); }

    // Complete once the process has ended: the launcher flushes its log on the way out.
    std::string LogOf(const TempFolder& game) { return ReadWholeFile(game / "update.log"); }

    // The settings dialog of the launcher, answered with `button` once it shows.
    static bool AnswerSettingsDialog(LauncherProcess& launcher, int button)
    {
        const HWND dialog = launcher.WaitForSettingsDialog();
        if (!dialog)
            return false;
        ClickButton(dialog, button);
        return true;
    }

    // Ends a window life as a player does, through the "Launcher Settings"
    // link: the update thread stops before the window goes, so the next life
    // never races a thread still using the old window. The link shows once
    // the version check is over; until then a click only starts a drag.
    static bool ClickSettingsLinkUntilTheWindowGoes(HWND window)
    {
        const LPARAM linkCentre = MAKELPARAM(79, 13);
        return PumpUntil(
            [&]
            {
                if (!IsWindow(window))
                    return true;
                PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, linkCentre);
                PostMessageW(window, WM_LBUTTONUP, 0, linkCentre);
                Sleep(200);
                return !IsWindow(window);
            },
            60000);
    }

    TempFolder game_{L"game"};
    TempFolder elsewhere_{L"elsewhere"};
    MessageBoxAnswerer answerer_;
    ProcessesInFolderGuard leftovers_{game_.Path()};
};

} // namespace

TEST_F(StartUp, FirstStartFromAnotherFolderWritesDefaultsAndLogsInItsOwnFolder)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(elsewhere_.Path()));
    // The window waits for the first-launch dialog.
    ASSERT_TRUE(AnswerSettingsDialog(launcher, IDCANCEL));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);

    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 2u);

    EXPECT_FALSE(std::filesystem::exists(elsewhere_ / "update.log"));
    EXPECT_FALSE(std::filesystem::exists(elsewhere_ / "splash.dmy"));
    EXPECT_TRUE(std::filesystem::exists(game_ / "splash.dmy"));
    const std::vector<std::string> lines = LogFileMessages(LogOf(game_));
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
    ASSERT_TRUE(AnswerSettingsDialog(launcher, IDCANCEL));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);
    EXPECT_NE(LogOf(game_).find("Showing first launch dialog"), std::string::npos);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
}

TEST_F(StartUp, FirstLaunchOkStoresTheChosenSettings)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    // Whatever the update thread has to say is answered.
    MessageBoxAnswerer boxes(IDOK, launcher.Id());
    const HWND dialog = launcher.WaitForSettingsDialog();
    ASSERT_NE(dialog, nullptr);
    // No window before the settings are known.
    EXPECT_EQ(LauncherWindowOf(launcher.Id()), nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_MIRROR_LIST), CB_SETCURSEL, 2, 0);
    SendMessageW(GetDlgItem(dialog, IDC_CONNECTIONS_LIST), CB_SETCURSEL, 3, 0);
    ClickButton(dialog, IDC_ECH_CHECKBOX);
    PressKey(dialog, VK_RETURN);

    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);

    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 2u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 4u);
    const std::vector<std::string> lines = LogFileMessages(LogOf(game_));
    ASSERT_GE(lines.size(), 2u) << LogOf(game_);
    EXPECT_EQ(lines[0], "Showing first launch dialog");
    EXPECT_EQ(lines[1], "Saved first launch settings: Mirror=2, ECH=true, MaxConnections=4");
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "User cancelled first launch dialog, writing default settings"),
              0);
}

TEST_F(StartUp, RestartCodeOpensTheSettingsDialogThenANewWindow)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    ASSERT_TRUE(AnswerSettingsDialog(launcher, IDCANCEL));
    const HWND first = launcher.WaitForMainWindow();
    ASSERT_NE(first, nullptr);

    answerer_.Watch(launcher.Id());

    // The update thread's answer to the link's quit request ends the life
    // with code 100; the dialog shows once the window is gone.
    ASSERT_TRUE(ClickSettingsLinkUntilTheWindowGoes(first));
    ASSERT_TRUE(AnswerSettingsDialog(launcher, IDCANCEL));
    EXPECT_FALSE(IsWindow(first));
    const HWND second = launcher.WaitForMainWindow(20000, first);
    ASSERT_NE(second, nullptr);

    // Once more, now choosing another mirror.
    ASSERT_TRUE(ClickSettingsLinkUntilTheWindowGoes(second));
    const HWND dialog = launcher.WaitForSettingsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SelectedListText(dialog, IDC_CONNECTIONS_LIST), L"2");
    SendMessageW(GetDlgItem(dialog, IDC_MIRROR_LIST), CB_SETCURSEL, 1, 0);
    ClickButton(dialog, IDOK);
    const HWND third = launcher.WaitForMainWindow(20000, second);
    ASSERT_NE(third, nullptr);

    PostMessageW(third, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.WaitForExit(), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 1u);
    const std::vector<std::string> lines = LogFileMessages(LogOf(game_));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "User cancelled settings dialog, continuing"),
              1)
        << LogOf(game_);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Saved first launch settings: Mirror=1, ECH=false, MaxConnections=2"),
              1);
    // The restart found the settings saved: no second first-launch dialog.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Showing first launch dialog"), 1);
}
