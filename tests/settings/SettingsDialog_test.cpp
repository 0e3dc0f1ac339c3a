// The settings dialog from the test executable's own copy of the template,
// run on a thread of its own (as the window thread would run it) while the
// test works it from outside with clicks, keys and list choices.
#include "base/TextEncoding.h"
#include "base/TextFit.h"
#include "settings/Deployment.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsDialogIds.h"
#include "support/DialogTemplate.h"
#include "support/LogCapture.h"
#include "support/Registry.h"
#include "support/SettingsDialogWindow.h"
#include "support/WindowPicture.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <tuple>

namespace
{
// One modal run of the dialog on its own thread. The destructor closes a
// dialog the test left open, so no run can outlive its test.
class DialogRun
{
  public:
    explicit DialogRun(HINSTANCE instance = GetModuleHandleW(nullptr))
        : thread_([this, instance] { Run(instance); })
    {
        dialog_ = WaitForSettingsDialog(GetCurrentProcessId(), 10000);
    }

    ~DialogRun()
    {
        while (!done_)
        {
            if (const HWND open = FindSettingsDialog(GetCurrentProcessId()))
                PostMessageW(open, WM_CLOSE, 0, 0);
            Sleep(20);
        }
        thread_.join();
    }

    HWND Dialog() const { return dialog_; }

    // How the run ended (true for OK), or nothing while it is still open.
    std::optional<bool> Result(int milliseconds = 10000)
    {
        for (int waited = 0; !done_ && waited < milliseconds; waited += 10)
            Sleep(10);
        if (!done_)
            return std::nullopt;
        return accepted_;
    }

    // The record as the run left it; read only after Result.
    const SettingsDialog& Record() const { return record_; }

  private:
    void Run(HINSTANCE instance)
    {
        record_.instance = instance;
        activeSettingsDialog = &record_;
        accepted_ = ShowSettingsDialog(record_);
        activeSettingsDialog = nullptr;
        done_ = true;
    }

    SettingsDialog record_;
    bool accepted_ = false;
    std::atomic<bool> done_{false};
    HWND dialog_ = nullptr;
    std::thread thread_;
};

std::vector<std::wstring> ListEntries(HWND dialog, int id)
{
    const HWND list = GetDlgItem(dialog, id);
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
    {
        std::wstring text(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)), L'\0');
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        entries.push_back(text);
    }
    return entries;
}

LRESULT Selection(HWND dialog, int id)
{
    return SendMessageW(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0);
}

bool DroppedDown(HWND dialog, int id)
{
    return SendMessageW(GetDlgItem(dialog, id), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

std::wstring Caption(HWND dialog)
{
    wchar_t text[256] = {};
    GetWindowTextW(dialog, text, 256);
    return text;
}

// The label texts as the dialog shows them, against one language's table.
void ExpectTextsOf(HWND dialog, const std::wstring& language)
{
    EXPECT_EQ(Caption(dialog), LookupText(language, "first_launch_title"));
    const std::pair<int, const char*> labels[] = {
        {IDC_WELCOME, "first_launch_welcome"},
        {IDC_LANGUAGE_LABEL, "first_launch_language_label"},
        {IDC_MIRROR_LABEL, "first_launch_mirror_label"},
        {IDC_ECH_CHECKBOX, "first_launch_ech_checkbox"},
        {IDC_ECH_DESCRIPTION, "first_launch_ech_description"},
        {IDC_CONNECTIONS_LABEL, "first_launch_max_connections_label"},
        {IDC_SPEED_LIMIT_LABEL, "first_launch_speed_limit_label"},
    };
    for (const auto& [id, key] : labels)
        EXPECT_EQ(ControlText(dialog, id), LookupText(language, key)) << key;
    // The limit list's first entry is the only one in words.
    EXPECT_EQ(ListEntryText(dialog, IDC_SPEED_LIMIT_LIST, 0),
              LookupText(language, "speed_limit_none"));
}

// Gives the dialog's thread time to repaint what changed.
void LetItPaint(HWND dialog)
{
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
}

bool Red(uint32_t red, uint32_t green, uint32_t blue)
{
    return red >= 200 && green <= 90 && blue <= 90;
}

void StoreDword(const wchar_t* name, uint32_t value)
{
    ASSERT_TRUE(WriteRegistryDword(name, value));
}

class SettingsDialogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        DeleteLauncherKey();
        SetCurrentLanguage(L"en");
    }
    void TearDown() override
    {
        SetCurrentLanguage(previousLanguage_);
        DeleteLauncherKey();
    }

    const std::wstring previousLanguage_ = CurrentLanguage();
    LogCapture log_;
};
} // namespace

TEST(SettingsDialogTemplate, IsLaidOutAsDesigned)
{
    const auto dialog = LoadDialogTemplate(GetModuleHandleW(nullptr), IDD_LAUNCHER_SETTINGS);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->style, static_cast<uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU |
                                                   DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(dialog->width, 300);
    EXPECT_EQ(dialog->height, 240);
    EXPECT_EQ(dialog->caption, L"");
    EXPECT_EQ(dialog->typeface, L"MS Shell Dlg");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 400);

    constexpr uint32_t kBase = WS_CHILD | WS_VISIBLE;
    constexpr uint32_t kLabel = kBase | SS_LEFT | SS_NOTIFY | WS_GROUP;
    constexpr uint32_t kList = kBase | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    const DialogTemplateItem expected[] = {
        {IDC_WELCOME, L"STATIC", L"", kBase | SS_LEFT | WS_GROUP, 10, 10, 280, 16},
        {IDC_LANGUAGE_LABEL, L"STATIC", L"", kLabel, 10, 30, 100, 8},
        {IDC_LANGUAGE_LIST, L"COMBOBOX", L"", kList, 10, 45, 200, 100},
        {IDC_MIRROR_LABEL, L"STATIC", L"", kLabel, 10, 70, 100, 8},
        {IDC_MIRROR_LIST, L"COMBOBOX", L"", kList, 10, 85, 200, 100},
        {IDC_ECH_CHECKBOX, L"BUTTON", L"", kBase | BS_AUTOCHECKBOX | WS_TABSTOP, 10, 110, 200, 10},
        {IDC_ECH_DESCRIPTION, L"STATIC", L"", kLabel, 20, 125, 260, 40},
        {IDC_CONNECTIONS_LABEL, L"STATIC", L"", kLabel, 10, 170, 100, 8},
        {IDC_CONNECTIONS_LIST, L"COMBOBOX", L"", kList, 10, 185, 50, 100},
        {IDC_SPEED_LIMIT_LABEL, L"STATIC", L"", kLabel, 120, 170, 170, 8},
        {IDC_SPEED_LIMIT_LIST, L"COMBOBOX", L"", kList, 120, 185, 90, 100},
        {IDC_LANGUAGE_WARNING, L"STATIC", L"", kLabel, 10, 209, 170, 20},
        {IDOK, L"BUTTON", L"OK", kBase | BS_DEFPUSHBUTTON | WS_TABSTOP, 190, 215, 50, 14},
        {IDCANCEL, L"BUTTON", L"Cancel", kBase | BS_PUSHBUTTON | WS_TABSTOP, 245, 215, 50, 14},
    };
    ASSERT_EQ(dialog->items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i)
    {
        const DialogTemplateItem& item = dialog->items[i];
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.className, expected[i].className);
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(std::tie(item.x, item.y, item.width, item.height),
                  std::tie(expected[i].x, expected[i].y, expected[i].width, expected[i].height));
    }
}

TEST(SettingsDialogTemplate, ShipsInTheLauncherExecutable)
{
    const HMODULE launcher = LoadLibraryExW((L"Z:" + ToWide(NORVIK_SPLASH_EXE)).c_str(), nullptr,
                                            LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(launcher, nullptr);
    const auto shipped = LoadDialogTemplate(launcher, IDD_LAUNCHER_SETTINGS);
    const auto own = LoadDialogTemplate(GetModuleHandleW(nullptr), IDD_LAUNCHER_SETTINGS);
    FreeLibrary(launcher);
    ASSERT_TRUE(shipped);
    ASSERT_TRUE(own);
    EXPECT_EQ(shipped->items.size(), own->items.size());
    EXPECT_EQ(shipped->style, own->style);
}

TEST_F(SettingsDialogTest, MissingTemplateCountsAsCancel)
{
    // A module without dialog 182: no window, nothing stored.
    SettingsDialog record;
    record.instance = GetModuleHandleW(L"kernel32.dll");
    activeSettingsDialog = &record;
    EXPECT_FALSE(ShowSettingsDialog(record));
    activeSettingsDialog = nullptr;
    EXPECT_EQ(record.dialog, nullptr);
    EXPECT_FALSE(LauncherDword(L"NRK_LauncherSettingsSet"));
    // Without an active record the procedure handles nothing.
    EXPECT_EQ(SettingsDialogProc(nullptr, WM_CLOSE, 0, 0), FALSE);
}

TEST_F(SettingsDialogTest, OpensCentredWithTheListsAndTextsOfTheCurrentLanguage)
{
    DialogRun run;
    const HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);

    ExpectTextsOf(dialog, L"en");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_LANGUAGE_WARNING)));
    EXPECT_EQ(ControlText(dialog, IDC_LANGUAGE_WARNING), L"");
    EXPECT_EQ(ControlText(dialog, IDOK), L"OK");
    EXPECT_EQ(ControlText(dialog, IDCANCEL), L"Cancel");

    EXPECT_EQ(ListEntries(dialog, IDC_LANGUAGE_LIST),
              (std::vector<std::wstring>{L"English", L"日本語"}));
    EXPECT_EQ(Selection(dialog, IDC_LANGUAGE_LIST), 0);
    EXPECT_EQ(ListEntries(dialog, IDC_MIRROR_LIST),
              std::vector<std::wstring>(kMirrorHosts.begin(), kMirrorHosts.end()));
    EXPECT_EQ(ListEntries(dialog, IDC_CONNECTIONS_LIST),
              (std::vector<std::wstring>{L"1", L"2", L"3", L"4"}));
    // Nothing stored yet: the first mirror, two connections, ECH off.
    EXPECT_EQ(Selection(dialog, IDC_MIRROR_LIST), 0);
    EXPECT_EQ(SelectedListText(dialog, IDC_CONNECTIONS_LIST), L"2");
    EXPECT_FALSE(IsCheckedBox(dialog, IDC_ECH_CHECKBOX));

    RECT frame{};
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);

    // The controls sit where the template's dialog units put them. The
    // dialog manager maps position and size each on their own, so the far
    // edge may not be where mapping it as a point would put it.
    RECT place{190, 215, 50, 14};
    MapDialogRect(dialog, &place);
    RECT okOnScreen{};
    GetWindowRect(GetDlgItem(dialog, IDOK), &okOnScreen);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okOnScreen), 2);
    EXPECT_EQ(okOnScreen.left, place.left);
    EXPECT_EQ(okOnScreen.top, place.top);
    EXPECT_EQ(okOnScreen.right - okOnScreen.left, place.right);
    EXPECT_EQ(okOnScreen.bottom - okOnScreen.top, place.bottom);

    const HWND connectionsLabel = GetDlgItem(dialog, IDC_CONNECTIONS_LABEL);
    PressKey(dialog, VK_ESCAPE);
    EXPECT_EQ(run.Result(), false);
    EXPECT_EQ(run.Record().dialog, dialog);
    EXPECT_EQ(run.Record().connectionsLabel, connectionsLabel);
    EXPECT_EQ(activeSettingsDialog, nullptr);
    EXPECT_FALSE(LauncherDword(L"NRK_LauncherSettingsSet"));
}

TEST_F(SettingsDialogTest, StoredSettingsPickTheSelections)
{
    struct Case
    {
        uint32_t mirror, ech, connections;
        LRESULT mirrorShown;
        bool echShown;
        const wchar_t* connectionsShown;
    };
    const Case cases[] = {
        {7, 0, 0, 0, false, L"2"},
        {2, 5, 9, 2, true, L"4"},
        {1, 1, 1, 1, true, L"1"},
        {3, 0, 4, 0, false, L"4"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.mirror << "/" << c.ech << "/" << c.connections);
        StoreDword(L"NRK_LauncherMirrorIndex", c.mirror);
        StoreDword(L"NRK_LauncherEchEnabled", c.ech);
        StoreDword(L"NRK_LauncherMaxConnections", c.connections);
        DialogRun run;
        const HWND dialog = run.Dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(Selection(dialog, IDC_MIRROR_LIST), c.mirrorShown);
        EXPECT_EQ(IsCheckedBox(dialog, IDC_ECH_CHECKBOX), c.echShown);
        EXPECT_EQ(SelectedListText(dialog, IDC_CONNECTIONS_LIST), c.connectionsShown);
        ClickButton(dialog, IDCANCEL);
        EXPECT_EQ(run.Result(), false);
        // Cancel leaves the stored values as they were.
        EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), c.mirror);
        EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), c.connections);
    }
}

TEST_F(SettingsDialogTest, TheSpeedLimitOffersItsStepsAndKeepsAnyStoredLimit)
{
    struct Case
    {
        std::optional<uint32_t> stored;
        const wchar_t* shown;
        int choose; // the entry chosen before OK; -1 keeps the shown one
        uint32_t storedOnOk;
    };
    const Case cases[] = {
        {std::nullopt, L"No limit", -1, 0},
        {512, L"512 KB/s", -1, 512},
        {2048, L"2 MB/s", 1, 256},
        // A limit an administrator set that is none of the steps stays on OK.
        {700, L"700 KB/s", -1, 700},
        {700, L"700 KB/s", 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << (c.stored ? *c.stored : 99999) << " " << c.choose);
        if (c.stored)
            StoreDword(L"NRK_LauncherMaxSpeedKB", *c.stored);
        DialogRun run;
        const HWND dialog = run.Dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(SelectedListText(dialog, IDC_SPEED_LIMIT_LIST), c.shown);
        const LRESULT entries =
            SendMessageW(GetDlgItem(dialog, IDC_SPEED_LIMIT_LIST), CB_GETCOUNT, 0, 0);
        EXPECT_EQ(entries, c.stored == 700u ? 9 : 8);
        if (c.choose >= 0)
            SendMessageW(GetDlgItem(dialog, IDC_SPEED_LIMIT_LIST), CB_SETCURSEL, c.choose, 0);
        ClickButton(dialog, IDOK);
        EXPECT_EQ(run.Result(), true);
        EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxSpeedKB"), c.storedOnOk);
    }
    EXPECT_EQ(log_.Count("Saved download speed limit: 700 KB/s (0: none)"), 1) << log_.Text();
}

TEST_F(SettingsDialogTest, OutOfRangeMirrorIsStoredAsTheFirstOnOk)
{
    StoreDword(L"NRK_LauncherMirrorIndex", 7);
    StoreDword(L"NRK_LauncherMaxConnections", 0);
    DialogRun run;
    ASSERT_NE(run.Dialog(), nullptr);
    // Enter goes to the default button.
    PressKey(run.Dialog(), VK_RETURN);
    EXPECT_EQ(run.Result(), true);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 0u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 2u);
    EXPECT_EQ(log_.Count("Saved first launch settings: Mirror=0, ECH=false, MaxConnections=2"), 1)
        << log_.Text();
}

TEST_F(SettingsDialogTest, OkStoresTheChoicesEscapeAndTheCloseBoxStoreNothing)
{
    {
        DialogRun run;
        const HWND dialog = run.Dialog();
        ASSERT_NE(dialog, nullptr);
        SendMessageW(GetDlgItem(dialog, IDC_MIRROR_LIST), CB_SETCURSEL, 2, 0);
        SendMessageW(GetDlgItem(dialog, IDC_CONNECTIONS_LIST), CB_SETCURSEL, 2, 0);
        ClickButton(dialog, IDC_ECH_CHECKBOX);
        EXPECT_TRUE(IsCheckedBox(dialog, IDC_ECH_CHECKBOX));
        ClickButton(dialog, IDOK);
        EXPECT_EQ(run.Result(), true);
    }
    EXPECT_EQ(LauncherDword(L"NRK_LauncherSettingsSet"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 2u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 3u);
    EXPECT_EQ(log_.Count("Saved first launch settings: Mirror=2, ECH=true, MaxConnections=3"), 1)
        << log_.Text();

    const auto changeThenLeave = [](const std::function<void(HWND)>& leave)
    {
        DialogRun run;
        const HWND dialog = run.Dialog();
        if (!dialog)
            return std::optional<bool>();
        SendMessageW(GetDlgItem(dialog, IDC_MIRROR_LIST), CB_SETCURSEL, 1, 0);
        ClickButton(dialog, IDC_ECH_CHECKBOX);
        leave(dialog);
        return run.Result();
    };
    EXPECT_EQ(changeThenLeave([](HWND dialog) { PressKey(dialog, VK_ESCAPE); }), false);
    EXPECT_EQ(
        changeThenLeave([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }),
        false);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 2u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 1u);
    EXPECT_EQ(log_.Count("Saved first launch settings: Mirror=2, ECH=true, MaxConnections=3"), 1);
}

TEST_F(SettingsDialogTest, LabelsOpenTheirListsAndTheEchTextTogglesTheBox)
{
    DialogRun run;
    const HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    const std::pair<int, int> labelledLists[] = {{IDC_MIRROR_LABEL, IDC_MIRROR_LIST},
                                                 {IDC_LANGUAGE_LABEL, IDC_LANGUAGE_LIST},
                                                 {IDC_CONNECTIONS_LABEL, IDC_CONNECTIONS_LIST},
                                                 {IDC_SPEED_LIMIT_LABEL, IDC_SPEED_LIMIT_LIST}};
    for (const auto& [label, list] : labelledLists)
    {
        SCOPED_TRACE(label);
        EXPECT_FALSE(DroppedDown(dialog, list));
        ClickLabel(dialog, label);
        EXPECT_TRUE(DroppedDown(dialog, list));
        EXPECT_EQ(FocusedControl(dialog), GetDlgItem(dialog, list));
        SendMessageW(GetDlgItem(dialog, list), CB_SHOWDROPDOWN, FALSE, 0);
    }

    ClickLabel(dialog, IDC_ECH_DESCRIPTION);
    EXPECT_TRUE(IsCheckedBox(dialog, IDC_ECH_CHECKBOX));
    ClickLabel(dialog, IDC_ECH_DESCRIPTION);
    EXPECT_FALSE(IsCheckedBox(dialog, IDC_ECH_CHECKBOX));
    // The welcome line is no control of anything.
    ClickLabel(dialog, IDC_WELCOME);
    EXPECT_FALSE(IsCheckedBox(dialog, IDC_ECH_CHECKBOX));
    EXPECT_EQ(FindSettingsDialog(GetCurrentProcessId()), dialog);
    // Nothing of this changed the language.
    EXPECT_EQ(log_.Count("Language changed to: en"), 0);
    ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(run.Result(), false);
}

TEST_F(SettingsDialogTest, JapaneseSwitchesEveryLabelAndShowsTheRedWarning)
{
    DialogRun run;
    const HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    const HWND warning = GetDlgItem(dialog, IDC_LANGUAGE_WARNING);

    LetItPaint(dialog);
    const WindowPicture english = WindowPicture::Capture(dialog);
    ASSERT_GT(english.Width() * english.Height(), 0);
    EXPECT_TRUE(english.SavePng(TestOutputFolder() / L"settings-en.png"));
    const RECT whole{0, 0, english.Width(), english.Height()};
    EXPECT_EQ(english.Count(whole, Red), 0);

    // The language list has the first focus; one step down is 日本語.
    ASSERT_EQ(FocusedControl(dialog), GetDlgItem(dialog, IDC_LANGUAGE_LIST));
    PressKey(dialog, VK_DOWN);
    for (int i = 0; i < 100 && !IsWindowVisible(warning); ++i)
        Sleep(20);
    EXPECT_EQ(SelectedListText(dialog, IDC_LANGUAGE_LIST), L"日本語");
    ExpectTextsOf(dialog, L"ja");
    EXPECT_EQ(Caption(dialog), L"Norvik ランチャー設定");
    EXPECT_TRUE(IsWindowVisible(warning));
    EXPECT_EQ(ControlText(dialog, IDC_LANGUAGE_WARNING),
              LookupText(L"ja", "first_launch_language_warning"));
    EXPECT_EQ(log_.Count("Language changed to: ja"), 1) << log_.Text();

    LetItPaint(dialog);
    const WindowPicture japanese = WindowPicture::Capture(dialog);
    EXPECT_TRUE(japanese.SavePng(TestOutputFolder() / L"settings-ja.png"));
    // The red lies in the warning, and only there.
    const RECT warningArea = AreaOfChild(dialog, warning);
    const int redInWarning = japanese.Count(warningArea, Red);
    EXPECT_GT(redInWarning, 20);
    EXPECT_EQ(japanese.Count(whole, Red), redInWarning);

    PressKey(dialog, VK_UP);
    for (int i = 0; i < 100 && IsWindowVisible(warning); ++i)
        Sleep(20);
    EXPECT_FALSE(IsWindowVisible(warning));
    EXPECT_EQ(ControlText(dialog, IDC_LANGUAGE_WARNING), L"");
    ExpectTextsOf(dialog, L"en");
    EXPECT_EQ(log_.Count("Language changed to: en"), 1);

    ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(run.Result(), false);
    EXPECT_EQ(CurrentLanguage(), L"en");
}

TEST_F(SettingsDialogTest, EveryTextFitsItsControlInBothLanguages)
{
    DialogRun run;
    const HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    const auto expectAllFit = [dialog]
    {
        const HDC dc = GetDC(dialog);
        for (const TextBox& box : SettingsTextBoxes(dialog))
        {
            const std::wstring text = ControlText(dialog, GetDlgCtrlID(box.control));
            const HFONT font = reinterpret_cast<HFONT>(SendMessageW(box.control, WM_GETFONT, 0, 0));
            const SIZE size = MeasureText(dc, font, text, box.room.cx, box.format);
            EXPECT_TRUE(size.cx <= box.room.cx && size.cy <= box.room.cy)
                << ToUtf8(text) << ": " << size.cx << "x" << size.cy << " in " << box.room.cx << "x"
                << box.room.cy;
        }
        ReleaseDC(dialog, dc);
    };
    ASSERT_EQ(SettingsTextBoxes(dialog).size(), 8u);
    expectAllFit();
    PressKey(dialog, VK_DOWN);
    for (int i = 0; i < 100 && Caption(dialog) == LookupText(L"en", "first_launch_title"); ++i)
        Sleep(20);
    ASSERT_EQ(Caption(dialog), LookupText(L"ja", "first_launch_title"));
    expectAllFit();
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.Result(), false);
}

TEST_F(SettingsDialogTest, CancelAfterALanguageChangeKeepsTheLanguageAndTheRegistry)
{
    StoreDword(L"NRK_LauncherSettingsSet", 1);
    StoreDword(L"NRK_LauncherMirrorIndex", 1);
    StoreDword(L"NRK_LauncherEchEnabled", 1);
    StoreDword(L"NRK_LauncherMaxConnections", 3);
    {
        DialogRun run;
        const HWND dialog = run.Dialog();
        ASSERT_NE(dialog, nullptr);
        PressKey(dialog, VK_DOWN);
        for (int i = 0; i < 100 && Caption(dialog) == LookupText(L"en", "first_launch_title"); ++i)
            Sleep(20);
        SendMessageW(GetDlgItem(dialog, IDC_MIRROR_LIST), CB_SETCURSEL, 0, 0);
        ClickButton(dialog, IDCANCEL);
        EXPECT_EQ(run.Result(), false);
    }
    EXPECT_EQ(CurrentLanguage(), L"ja");
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMirrorIndex"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherEchEnabled"), 1u);
    EXPECT_EQ(LauncherDword(L"NRK_LauncherMaxConnections"), 3u);
    EXPECT_EQ(log_.Count("Saved first launch settings: Mirror=0, ECH=true, MaxConnections=3"), 0);

    // The next run opens in the language chosen before.
    DialogRun next;
    const HWND dialog = next.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SelectedListText(dialog, IDC_LANGUAGE_LIST), L"日本語");
    ExpectTextsOf(dialog, L"ja");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_LANGUAGE_WARNING)));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(next.Result(), false);
}
