// The launcher window staged for pictures: every state a player can see at
// once (texts, bars, the link hovered, one button under the cursor and one
// held down), at whatever scale the window is shown.
#pragma once

#include "support/WindowPicture.h"
#include "support/WindowPump.h"
#include "ui/CheckFilesButton.h"
#include "ui/LauncherDialog.h"
#include "ui/StartButton.h"
#include "update/UpdateManager.h"

#include <mutex>
#include <string>

struct Scene
{
    std::wstring language;
    std::wstring status;
    std::wstring speed;
    std::wstring version;
};

inline WindowPicture StageScene(LauncherDialog& dialog, const Scene& scene)
{
    const HWND window = dialog.GetHwnd();
    const DisplayScale scale = dialog.Scale();
    UpdateManager& manager = *dialog.Manager();
    {
        std::lock_guard lock(manager.statusMutex);
        manager.upperProgress = 0.62;
        manager.lowerProgress = 0.35;
        manager.statusText = scene.status;
        manager.speedText = scene.speed;
        manager.versionText = scene.version;
    }
    dialog.ShowButtons();
    dialog.ShowSettingsLink();
    dialog.Invalidate(0);

    const HWND start = dialog.GetStartButton()->Window();
    SendMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(scale(30), scale(30)));
    // Losing the capture keeps the pressed face; it lets the mouse reach
    // the other button, which could not be hovered while Start held it.
    ReleaseCapture();

    const HWND check = dialog.GetCheckFilesButton()->Window();
    RECT checkRect{};
    GetWindowRect(check, &checkRect);
    SetCursorPos(checkRect.left + scale(20), checkRect.top + scale(10));
    SendMessageW(check, WM_MOUSEMOVE, 0, MAKELPARAM(scale(20), scale(10)));
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(scale(20), scale(10)));
    PumpUntil([] { return false; }, 300);
    return WindowPicture::Capture(window);
}

// Lets go of the held button away from it: no click.
inline void ReleaseOutside(LauncherDialog& dialog)
{
    SendMessageW(dialog.GetStartButton()->Window(), WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
}
