// Finds the dialogs another thread or process shows, and reads their texts
// the way that works across processes.
#pragma once

#include <windows.h>

#include <string>

// The first visible dialog (class "#32770") of `processId` that has a child
// with `controlId` (any dialog for 0), or null.
HWND FindVisibleDialog(DWORD processId, int controlId = 0);

// A window's text through WM_GETTEXT, which, unlike GetWindowTextW, asks the
// controls of other processes too; with a time-out, so a stuck window cannot
// hold the caller.
std::wstring WindowTextOf(HWND window);
