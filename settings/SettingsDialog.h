// The launcher settings dialog (template 182): mirror, ECH, parallel
// downloads and the display language. Modal and ownerless, on the window
// thread, shown on first launch and between window lives while no update
// thread runs; OK stores the three transfer settings, the language holds for
// the rest of the process only.
#pragma once

#include <windows.h>

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
};

// The record of the run in progress; the dialog procedure does nothing while
// it is null. Set by the caller before ShowSettingsDialog, cleared after.
extern SettingsDialog* activeSettingsDialog;

// True only when the user pressed OK. A missing template or a failed
// DialogBoxParamW counts as a cancel.
bool ShowSettingsDialog(SettingsDialog& dialog);

INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
