#include "settings/SettingsDialog.h"

#include <spdlog/spdlog.h>

namespace
{
constexpr int kSettingsDialogTemplate = 182;
} // namespace

SettingsDialog* activeSettingsDialog = nullptr;

bool ShowSettingsDialog(SettingsDialog& dialog)
{
    if (!FindResourceW(dialog.instance, MAKEINTRESOURCEW(kSettingsDialogTemplate), RT_DIALOG))
        return false;
    const INT_PTR result =
        DialogBoxParamW(dialog.instance, MAKEINTRESOURCEW(kSettingsDialogTemplate), nullptr,
                        &SettingsDialogProc, 0);
    if (result == -1)
    {
        spdlog::error("DialogBoxParam failed with error {}", GetLastError());
        return false;
    }
    return result == IDOK;
}

// The controls' handling lands with the dialog template; until then the
// template is absent and the dialog is never shown.
INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!activeSettingsDialog)
        return FALSE;
    switch (message)
    {
    case WM_CLOSE:
        EndDialog(window, IDCANCEL);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
        {
            EndDialog(window, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
