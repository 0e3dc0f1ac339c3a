// Game Start and Option against real programs: the recorder helper copied
// under the names the launcher starts, and the https handler of the Wine
// registry pointed at the recorder so that opening the help page is seen
// without a real browser.
#include "BuildConfig.h"
#include "launch/RunProcess.h"
#include "settings/Localization.h"
#include "support/DialogSearch.h"
#include "support/LauncherProcess.h"
#include "support/LogCapture.h"
#include "support/MessageBoxAnswerer.h"
#include "support/Registry.h"
#include "support/TempFolder.h"
#include "support/WindowPump.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace
{
// Copies the recorder under `name` into `folder`; its record lands beside it.
std::filesystem::path PlaceRecorder(const std::filesystem::path& folder, const std::wstring& name)
{
    const std::filesystem::path target = folder / name;
    std::filesystem::copy_file(NORVIK_START_RECORDER_EXE, target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
}

// The recorder's first line (its command line) once it has run.
std::optional<std::string> WaitForRecord(const std::filesystem::path& program, int milliseconds)
{
    std::filesystem::path record = program;
    record += ".started";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (std::filesystem::exists(record))
        {
            const std::string text = ReadWholeFile(record);
            return text.substr(0, text.find('\n'));
        }
        Sleep(50);
    }
    return std::nullopt;
}

// Points the machine's https handler at a program for the test's duration.
class HttpsHandler
{
  public:
    explicit HttpsHandler(const std::filesystem::path& program)
    {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr);
        wchar_t previous[1024] = {};
        DWORD size = sizeof(previous);
        if (RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                             &size) == ERROR_SUCCESS)
            previous_ = previous;
        const std::wstring command = L"\"" + program.wstring() + L"\" \"%1\"";
        RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~HttpsHandler()
    {
        if (previous_)
            RegSetValueExW(key_, nullptr, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(previous_->c_str()),
                           static_cast<DWORD>((previous_->size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_, nullptr);
        RegCloseKey(key_);
    }
    HttpsHandler(const HttpsHandler&) = delete;
    HttpsHandler& operator=(const HttpsHandler&) = delete;

  private:
    static constexpr wchar_t kKey[] = L"Software\\Classes\\https\\shell\\open\\command";
    HKEY key_ = nullptr;
    std::optional<std::wstring> previous_;
};

class ProgramStarts : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::filesystem::current_path(game_.Path());
        owner_ = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        std::filesystem::current_path(previousFolder_);
    }

    std::filesystem::path previousFolder_ = std::filesystem::current_path();
    TempFolder game_{L"game-start"};
    TempFolder browserFolder_{L"browser"};
    LogCapture log_;
    MessageBoxAnswerer answerer_;
    HWND owner_ = nullptr;
};

HWND FindChildByText(HWND parent, const std::wstring& text)
{
    struct Search
    {
        const std::wstring* text;
        HWND found;
    } search{&text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM context) -> BOOL
        {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t buffer[64] = {};
            GetWindowTextW(child, buffer, 64);
            if (*s->text == buffer)
            {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}
} // namespace

TEST_F(ProgramStarts, MissingGameShowsWhyThenOpensTheHelpPageAndTheLauncherGoesOn)
{
    const std::filesystem::path browser = PlaceRecorder(browserFolder_.Path(), L"browser.exe");
    HttpsHandler handler(browser);

    StartGameClient(owner_);

    EXPECT_TRUE(log_.Contains("GAMESTART - RunProcess() - Buffer copy done."));
    EXPECT_TRUE(log_.Contains("<<<GAME EXECUTE FAIL!>>>"));
    EXPECT_FALSE(log_.Contains("<<<GAME EXECUTE SUCCESS!>>>"));
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Norvik Error");
    EXPECT_EQ(boxes[0].text, LookupText(L"en", "game_start_error"));
    EXPECT_EQ(boxes[0].owner, owner_);

    const std::optional<std::string> opened = WaitForRecord(browser, 20000);
    ASSERT_TRUE(opened);
    EXPECT_NE(opened->find(NORVIK_HELP_SITE "/errors/failed-process-start"), std::string::npos)
        << *opened;
}

TEST_F(ProgramStarts, MissingSetupShowsItsTextAndOpensNothing)
{
    const std::filesystem::path browser = PlaceRecorder(browserFolder_.Path(), L"browser.exe");
    HttpsHandler handler(browser);

    StartSetupProgram(owner_);

    EXPECT_TRUE(log_.Contains("<<<SETTINGS EXECUTE FAIL!>>>"));
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Norvik Error");
    EXPECT_EQ(boxes[0].text, LookupText(L"en", "settings_start_error"));
    EXPECT_FALSE(WaitForRecord(browser, 2000));
}

TEST_F(ProgramStarts, PresentSetupStartsWithItsBareNameInTheLaunchersFolder)
{
    const std::filesystem::path setup = PlaceRecorder(game_.Path(), L"Setup.exe");

    StartSetupProgram(owner_);

    const std::optional<std::string> commandLine = WaitForRecord(setup, 20000);
    ASSERT_TRUE(commandLine);
    EXPECT_EQ(*commandLine, "Setup.exe");
    const std::string record = ReadWholeFile(setup.wstring() + L".started");
    EXPECT_NE(record.find(game_.Path().filename().string()), std::string::npos) << record;
    EXPECT_TRUE(answerer_.Boxes().empty());
    const std::vector<std::string> expected{"SETTINGS - RunProcess() - Buffer copy done.",
                                            "<<<SETTINGS EXECUTE SUCCESS!>>>",
                                            "SETTINGS - RunProcess() - process creation done.",
                                            "SETTINGS - RunProcess() - process handles closed."};
    for (const std::string& line : expected)
        EXPECT_EQ(log_.Count(line), 1) << line;
    EXPECT_LT(log_.Text().find(expected[0]), log_.Text().find(expected[3]));
}

namespace
{
// The real splash.exe in a game folder with saved settings (no first-launch
// dialog), so a test can press its buttons from outside.
class LauncherButtons : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kardun\\Galdervin_NK", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        const DWORD one = 1;
        RegSetValueExW(key, L"NRK_LauncherSettingsSet", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&one), sizeof(one));
        RegCloseKey(key);
    }

    // Presses and releases a button the way the mouse does.
    static void Click(HWND button)
    {
        PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    }

    TempFolder game_{L"launcher-buttons"};
};
} // namespace

TEST_F(LauncherButtons, GameStartRunsTheClientByItsBareNameAndTheLauncherExitsWithZero)
{
    const std::filesystem::path client = PlaceRecorder(game_.Path(), L"Galdervin.bin");
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND start = FindChildByText(window, L"GAME START");
    ASSERT_NE(start, nullptr);

    // Hidden until a version check succeeds (the test mirror has none), so
    // the press goes to the button window directly.
    Click(start);
    EXPECT_EQ(launcher.WaitForExit(30000), 0u);

    const std::optional<std::string> commandLine = WaitForRecord(client, 20000);
    ASSERT_TRUE(commandLine);
    EXPECT_EQ(*commandLine, "Galdervin.bin");
    const std::vector<std::string> lines = LogFileMessages(ReadWholeFile(game_ / "update.log"));
    const std::vector<std::string> expected{"GAMESTART - RunProcess() - Buffer copy done.",
                                            "<<<GAME EXECUTE SUCCESS!>>>",
                                            "GAMESTART - RunProcess() - process creation done.",
                                            "GAMESTART - RunProcess() - process handles closed."};
    const auto first = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(first, lines.end()) << ReadWholeFile(game_ / "update.log");
    ASSERT_GE(lines.end() - first, 4);
    EXPECT_EQ(std::vector<std::string>(first, first + 4), expected);
}

TEST_F(LauncherButtons, ExitEndsTheProcessWhileTheUpdateThreadIsBusy)
{
    LauncherProcess launcher(game_.Path());
    ASSERT_TRUE(launcher.Start(game_.Path()));
    const HWND window = launcher.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND exit = FindChildByText(window, L"EXIT");
    ASSERT_NE(exit, nullptr);
    EXPECT_TRUE(IsWindowVisible(exit));
    // The test mirror has no version file: the update thread waits in its
    // error report, the box still open.
    const auto boxOpen = [&] { return FindVisibleDialog(launcher.Id()) != nullptr; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!boxOpen() && std::chrono::steady_clock::now() < deadline)
        Sleep(50);
    ASSERT_TRUE(boxOpen());

    Click(exit);
    EXPECT_EQ(launcher.WaitForExit(30000), 0u);
}
