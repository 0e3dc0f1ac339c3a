// The launcher settings dialog (template 182): mirror, ECH, parallel
// downloads, the download speed limit and the display language. Modal and
// ownerless, on the window thread, shown on first launch and between window
// lives while no update thread runs; OK stores the transfer settings, the
// language holds for the rest of the process only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

struct SettingsDialog
{
    HINSTANCE instance = nullptr;
    HWND dialog = nullptr;
    HWND mirrorList = nullptr;
    HWND echCheckBox = nullptr;
    HWND languageList = nullptr;
    HWND languageWarning = nullptr;
    HWND connectionsList = nullptr;
    HWND connectionsLabel = nullptr;
    HWND speedLimitList = nullptr;
    HWND speedLimitLabel = nullptr;
    // The limit of each entry of the speed limit list, in kilobytes per second.
    std::vector<uint32_t> speedLimitChoices;
    // Smaller fonts given to texts that do not fit their controls in the dialog's own.
    std::vector<HFONT> fittedFonts;
};

// A control's text and the room it has there, laid out as the control draws it.
struct TextBox
{
    HWND control;
    SIZE room;
    UINT format; // DT_WORDBREAK or DT_SINGLELINE
};

// Every control of the dialog whose text comes from the language tables.
std::vector<TextBox> SettingsTextBoxes(HWND dialog);

// The record of the run in progress; the dialog procedure does nothing while
// it is null. Set by the caller before ShowSettingsDialog, cleared after.
extern SettingsDialog* activeSettingsDialog;

// True only when the user pressed OK. A missing template or a failed
// DialogBoxParamW counts as a cancel.
bool ShowSettingsDialog(SettingsDialog& dialog);

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
