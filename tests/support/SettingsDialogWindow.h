// Finds the launcher settings dialog of a process (this one or a launcher
// child) and works its controls the way a player's clicks and keys would.
#pragma once

#include <windows.h>

#include <string>

// The visible settings dialog of `processId`, or null.
HWND FindSettingsDialog(DWORD processId);
// Waits up to `milliseconds`; gives up early once `process` (when given) has ended.
HWND WaitForSettingsDialog(DWORD processId, int milliseconds = 20000, HANDLE process = nullptr);

// A click on a push button or check box (works across processes).
void ClickButton(HWND dialog, int id);
// A press and release of the left button on a static label.
void ClickLabel(HWND dialog, int id);
// One key press sent to the control that has the focus in the dialog's thread,
// through the dialog's own message loop.
void PressKey(HWND dialog, WPARAM key);
HWND FocusedControl(HWND dialog);

std::wstring ControlText(HWND dialog, int id);
std::wstring SelectedListText(HWND dialog, int id);
// Entry `index` of a list, "" when it has none.
std::wstring ListEntryText(HWND dialog, int id, int index);
bool IsCheckedBox(HWND dialog, int id);
