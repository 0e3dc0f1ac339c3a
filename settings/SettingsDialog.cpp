#include "settings/SettingsDialog.h"

#include "base/DisplayScale.h"
#include "base/TextEncoding.h"
#include "base/TextFit.h"
#include "settings/Deployment.h"
#include "settings/Localization.h"
#include "settings/Registry.h"
#include "settings/SettingsDialogIds.h"
#include "settings/SpeedLimitSetting.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <spdlog/spdlog.h>
#include <string>

namespace
{
constexpr uint32_t kDefaultConnections = 2;
constexpr uint32_t kMostConnections = 4;
constexpr COLORREF kWarningColour = RGB(255, 0, 0);
// Asks the dialog to fit its texts again once a change of DPI is done.
constexpr UINT kRefitTextsMessage = WM_APP + 1;

bool JapaneseSelected()
{
    return CurrentLanguage() == L"ja";
}

void AddListEntry(HWND list, const std::wstring& text)
{
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SelectListEntry(HWND list, WPARAM index)
{
    SendMessageW(list, CB_SETCURSEL, index, 0);
}

// CB_ERR (-1) when nothing is selected.
LRESULT SelectedListEntry(HWND list)
{
    return SendMessageW(list, CB_GETCURSEL, 0, 0);
}

void OpenDropDown(HWND list)
{
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    SetFocus(list);
}

bool IsChecked(HWND checkBox)
{
    return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND checkBox, bool checked)
{
    SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

uint32_t StoredDword(const wchar_t* name, uint32_t preset)
{
    uint32_t value = preset;
    ReadRegistryDword(value, name);
    return value;
}

void FillLanguageList(const SettingsDialog& record)
{
    WPARAM selected = 0;
    WPARAM index = 0;
    for (const auto& [code, name] : kLanguageNames)
    {
        AddListEntry(record.languageList, name);
        if (code == CurrentLanguage())
            selected = index;
        ++index;
    }
    SelectListEntry(record.languageList, selected);
}

void FillMirrorList(const SettingsDialog& record)
{
    for (const std::wstring& host : kMirrorHosts)
        AddListEntry(record.mirrorList, host);
    const uint32_t stored = StoredDword(L"NRK_LauncherMirrorIndex", 0);
    SelectListEntry(record.mirrorList, stored < kMirrorHosts.size() ? stored : 0);
}

void FillConnectionsList(const SettingsDialog& record)
{
    for (uint32_t count = 1; count <= kMostConnections; ++count)
        AddListEntry(record.connectionsList, std::to_wstring(count));
    uint32_t stored = StoredDword(L"NRK_LauncherMaxConnections", kDefaultConnections);
    if (stored == 0)
        stored = kDefaultConnections;
    if (stored > kMostConnections)
        stored = kMostConnections;
    SelectListEntry(record.connectionsList, stored - 1);
}

// The steps, and a stored limit that is none of them (set by an
// administrator) in its place, so that OK keeps it.
void FillSpeedLimitList(SettingsDialog& record)
{
    record.speedLimitChoices.assign(kSpeedLimitStepsKB.begin(), kSpeedLimitStepsKB.end());
    const uint32_t stored = StoredSpeedLimitKB();
    auto& choices = record.speedLimitChoices;
    if (std::find(choices.begin(), choices.end(), stored) == choices.end())
        choices.insert(std::upper_bound(choices.begin() + 1, choices.end(), stored), stored);
    SendMessageW(record.speedLimitList, CB_RESETCONTENT, 0, 0);
    for (const uint32_t limit : choices)
        AddListEntry(record.speedLimitList, FormatSpeedLimit(limit));
    const auto at = std::find(choices.begin(), choices.end(), stored) - choices.begin();
    SelectListEntry(record.speedLimitList, static_cast<WPARAM>(at));
}

// The "no limit" entry follows the language; the selection stays.
void RenameNoLimitEntry(const SettingsDialog& record)
{
    const LRESULT selected = SelectedListEntry(record.speedLimitList);
    SendMessageW(record.speedLimitList, CB_DELETESTRING, 0, 0);
    SendMessageW(record.speedLimitList, CB_INSERTSTRING, 0,
                 reinterpret_cast<LPARAM>(FormatSpeedLimit(0).c_str()));
    if (selected != CB_ERR)
        SelectListEntry(record.speedLimitList, static_cast<WPARAM>(selected));
}

void ApplyTexts(const SettingsDialog& record)
{
    const HWND dialog = record.dialog;
    SetWindowTextW(dialog, LocalizedCStr("first_launch_title"));
    SetDlgItemTextW(dialog, IDC_WELCOME, LocalizedCStr("first_launch_welcome"));
    SetDlgItemTextW(dialog, IDC_LANGUAGE_LABEL, LocalizedCStr("first_launch_language_label"));
    SetDlgItemTextW(dialog, IDC_MIRROR_LABEL, LocalizedCStr("first_launch_mirror_label"));
    SetDlgItemTextW(dialog, IDC_ECH_CHECKBOX, LocalizedCStr("first_launch_ech_checkbox"));
    SetDlgItemTextW(dialog, IDC_ECH_DESCRIPTION, LocalizedCStr("first_launch_ech_description"));
    SetDlgItemTextW(dialog, IDC_CONNECTIONS_LABEL,
                    LocalizedCStr("first_launch_max_connections_label"));
    SetDlgItemTextW(dialog, IDC_SPEED_LIMIT_LABEL, LocalizedCStr("first_launch_speed_limit_label"));
}

void ReleaseFittedFonts(SettingsDialog& record)
{
    for (const HFONT font : record.fittedFonts)
        DeleteObject(font);
    record.fittedFonts.clear();
}

// Each text in the dialog's font, or a step or two smaller where a
// translation would not fit its control.
void FitTexts(SettingsDialog& record)
{
    const HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(record.dialog, WM_GETFONT, 0, 0));
    const HDC dc = GetDC(record.dialog);
    if (!dialogFont || !dc)
        return;
    std::vector<HFONT> previous = std::move(record.fittedFonts);
    record.fittedFonts.clear();
    for (const TextBox& box : SettingsTextBoxes(record.dialog))
    {
        const int length = GetWindowTextLengthW(box.control);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(box.control, text.data(), length + 1)));
        const HFONT fitted =
            FittedFont(dc, dialogFont, text, box.room, box.format,
                       DisplayScale(WindowDpi(record.dialog))(kSmallestFittedHeight));
        if (fitted)
            record.fittedFonts.push_back(fitted);
        SendMessageW(box.control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(fitted ? fitted : dialogFont), TRUE);
    }
    ReleaseDC(record.dialog, dc);
    for (const HFONT font : previous)
        DeleteObject(font);
}

// The warning says the choice is not saved; only the Japanese texts carry it.
void ApplyLanguageWarning(const SettingsDialog& record)
{
    if (JapaneseSelected())
    {
        SetWindowTextW(record.languageWarning, LocalizedCStr("first_launch_language_warning"));
        InvalidateRect(record.languageWarning, nullptr, TRUE);
        ShowWindow(record.languageWarning, SW_SHOW);
    }
    else
    {
        SetWindowTextW(record.languageWarning, L"");
        ShowWindow(record.languageWarning, SW_HIDE);
    }
}

void CentreOnPrimaryScreen(HWND dialog)
{
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE);
}

void InitDialog(SettingsDialog& record, HWND dialog)
{
    record.dialog = dialog;
    record.mirrorList = GetDlgItem(dialog, IDC_MIRROR_LIST);
    record.echCheckBox = GetDlgItem(dialog, IDC_ECH_CHECKBOX);
    record.languageList = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
    record.languageWarning = GetDlgItem(dialog, IDC_LANGUAGE_WARNING);
    record.connectionsList = GetDlgItem(dialog, IDC_CONNECTIONS_LIST);
    record.connectionsLabel = GetDlgItem(dialog, IDC_CONNECTIONS_LABEL);
    record.speedLimitList = GetDlgItem(dialog, IDC_SPEED_LIMIT_LIST);
    record.speedLimitLabel = GetDlgItem(dialog, IDC_SPEED_LIMIT_LABEL);

    FillLanguageList(record);
    FillMirrorList(record);
    SetChecked(record.echCheckBox, StoredDword(L"NRK_LauncherEchEnabled", 0) != 0);
    FillConnectionsList(record);
    FillSpeedLimitList(record);
    ApplyTexts(record);
    ApplyLanguageWarning(record);
    FitTexts(record);
    CentreOnPrimaryScreen(dialog);
}

void SaveAndClose(const SettingsDialog& record)
{
    const LRESULT mirrorEntry = SelectedListEntry(record.mirrorList);
    const uint32_t mirror = mirrorEntry == CB_ERR ? 0 : static_cast<uint32_t>(mirrorEntry);
    const bool ech = IsChecked(record.echCheckBox);
    const LRESULT connectionsEntry = SelectedListEntry(record.connectionsList);
    const uint32_t connections = connectionsEntry == CB_ERR
                                     ? kDefaultConnections
                                     : static_cast<uint32_t>(connectionsEntry) + 1;
    const LRESULT limitEntry = SelectedListEntry(record.speedLimitList);
    const uint32_t speedLimit =
        limitEntry == CB_ERR || static_cast<size_t>(limitEntry) >= record.speedLimitChoices.size()
            ? 0
            : record.speedLimitChoices[static_cast<size_t>(limitEntry)];

    // Stored even when a write fails: the registry operations log it, and the
    // next start asks again if the flag itself did not land.
    WriteRegistryDword(L"NRK_LauncherSettingsSet", 1);
    WriteRegistryDword(L"NRK_LauncherMirrorIndex", mirror);
    WriteRegistryDword(L"NRK_LauncherEchEnabled", ech ? 1 : 0);
    WriteRegistryDword(L"NRK_LauncherMaxConnections", connections);
    WriteRegistryDword(kMaxSpeedValueName, speedLimit);
    spdlog::info("Saved first launch settings: Mirror={}, ECH={}, MaxConnections={}", mirror, ech,
                 connections);
    spdlog::info("Saved download speed limit: {} KB/s (0: none)", speedLimit);
    EndDialog(record.dialog, IDOK);
}

void SwitchLanguage(SettingsDialog& record)
{
    const LRESULT entry = SelectedListEntry(record.languageList);
    if (entry == CB_ERR || static_cast<size_t>(entry) >= kLanguageNames.size())
        return;
    const std::wstring& code = std::next(kLanguageNames.begin(), entry)->first;
    SetCurrentLanguage(code);
    spdlog::info("Language changed to: {}", ToUtf8(code));
    ApplyTexts(record);
    RenameNoLimitEntry(record);
    ApplyLanguageWarning(record);
    FitTexts(record);
}

INT_PTR OnCommand(SettingsDialog& record, WORD control, WORD notification)
{
    switch (control)
    {
    case IDOK:
        SaveAndClose(record);
        return TRUE;
    case IDCANCEL:
        EndDialog(record.dialog, IDCANCEL);
        return TRUE;
    case IDC_MIRROR_LABEL:
    case IDC_LANGUAGE_LABEL:
    case IDC_CONNECTIONS_LABEL:
    case IDC_SPEED_LIMIT_LABEL:
    case IDC_ECH_DESCRIPTION:
        if (notification != STN_CLICKED)
            return FALSE;
        if (control == IDC_MIRROR_LABEL)
            OpenDropDown(record.mirrorList);
        else if (control == IDC_LANGUAGE_LABEL)
            OpenDropDown(record.languageList);
        else if (control == IDC_CONNECTIONS_LABEL)
            OpenDropDown(record.connectionsList);
        else if (control == IDC_SPEED_LIMIT_LABEL)
            OpenDropDown(record.speedLimitList);
        else
            SetChecked(record.echCheckBox, !IsChecked(record.echCheckBox));
        return TRUE;
    case IDC_LANGUAGE_LIST:
        if (notification != CBN_SELCHANGE)
            return FALSE;
        SwitchLanguage(record);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR OnControlColour(const SettingsDialog& record, HDC context, HWND control)
{
    if (control != record.languageWarning || !JapaneseSelected())
        return FALSE;
    SetTextColor(context, kWarningColour);
    SetBkMode(context, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}
} // namespace

SettingsDialog* activeSettingsDialog = nullptr;

std::vector<TextBox> SettingsTextBoxes(HWND dialog)
{
    struct Kind
    {
        int id;
        UINT format;
    };
    constexpr Kind kTexts[] = {
        {IDC_WELCOME, DT_WORDBREAK},           {IDC_LANGUAGE_LABEL, DT_WORDBREAK},
        {IDC_MIRROR_LABEL, DT_WORDBREAK},      {IDC_ECH_CHECKBOX, DT_SINGLELINE},
        {IDC_ECH_DESCRIPTION, DT_WORDBREAK},   {IDC_CONNECTIONS_LABEL, DT_WORDBREAK},
        {IDC_SPEED_LIMIT_LABEL, DT_WORDBREAK}, {IDC_LANGUAGE_WARNING, DT_WORDBREAK},
    };
    std::vector<TextBox> boxes;
    for (const Kind& kind : kTexts)
    {
        const HWND control = GetDlgItem(dialog, kind.id);
        RECT client{};
        if (!control || !GetClientRect(control, &client))
            continue;
        SIZE room{client.right, client.bottom};
        // A check box draws its text beside the box and a gap.
        if (kind.id == IDC_ECH_CHECKBOX)
            room.cx -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2;
        boxes.push_back({control, room, kind.format});
    }
    return boxes;
}

bool ShowSettingsDialog(SettingsDialog& dialog)
{
    if (!FindResourceW(dialog.instance, MAKEINTRESOURCEW(IDD_LAUNCHER_SETTINGS), RT_DIALOG))
        return false;
    const INT_PTR result = DialogBoxParamW(dialog.instance, MAKEINTRESOURCEW(IDD_LAUNCHER_SETTINGS),
                                           nullptr, &SettingsDialogProc, 0);
    if (result == -1)
    {
        spdlog::error("DialogBoxParam failed with error {}", GetLastError());
        return false;
    }
    return result == IDOK;
}

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    SettingsDialog* record = activeSettingsDialog;
    if (!record)
        return FALSE;
    switch (message)
    {
    case WM_INITDIALOG:
        InitDialog(*record, window);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(*record, LOWORD(wParam), HIWORD(wParam));
    case WM_CTLCOLORSTATIC:
        return OnControlColour(*record, reinterpret_cast<HDC>(wParam),
                               reinterpret_cast<HWND>(lParam));
    case WM_CLOSE:
        EndDialog(window, IDCANCEL);
        return TRUE;
    case WM_DPICHANGED:
        // The system scales the dialog and its own font first; the smaller
        // fonts of long texts are made again after that.
        PostMessageW(window, kRefitTextsMessage, 0, 0);
        return FALSE;
    case kRefitTextsMessage:
        FitTexts(*record);
        return TRUE;
    case WM_DESTROY:
        ReleaseFittedFonts(*record);
        return FALSE;
    default:
        return FALSE;
    }
}
