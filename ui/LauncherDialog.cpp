#include "ui/LauncherDialog.h"

#include "settings/Localization.h"
#include "ui/CheckFilesButton.h"
#include "ui/ExitButton.h"
#include "ui/LauncherLayout.h"
#include "ui/SettingsButton.h"
#include "ui/StartButton.h"
#include "ui/WebBrowser.h"
#include "ui/WindowSizes.h"
#include "update/UpdateManager.h"

#include <filesystem>
#include <stdexcept>

using namespace launcher_layout;

namespace
{
constexpr wchar_t kWindowClass[] = L"GALDERVINLAUNCHER";
constexpr wchar_t kMessageBoxTitle[] = L"Norvik Launcher";
constexpr int kIconResource = 107;

// The window procedure reaches the live dialog only through this pointer.
LauncherDialog* currentDialog = nullptr;

struct RegionFlag
{
    uint8_t flag;
    RECT region;
};
constexpr RegionFlag kRegions[] = {
    {kInvalidateUpperBar, kUpperBarRegion}, {kInvalidateLowerBar, kLowerBarRegion},
    {kInvalidateVersionText, kVersionRect}, {kInvalidateStatusText, kStatusRect},
    {kInvalidateAdapterText, kAdapterRect}, {kInvalidateSpeedText, kSpeedRect},
    {kInvalidateSettingsLink, kLinkRect},
};
} // namespace

LauncherDialog::LauncherDialog(HINSTANCE instance)
{
    currentDialog = this;
    this->instance = instance;
    messagePasser = new msg::MessagePasser;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &LauncherDialog::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    // A second window life registers again; the failure is harmless.
    RegisterClassExW(&windowClass);

    // Made at the screen's scale; WM_CREATE learns the window's own.
    const DisplayScale screen(ScreenDpi());
    const HWND window = CreateWindowExW(
        WS_EX_APPWINDOW | WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME,
        kWindowClass, LookupText(CurrentLanguage(), "title").c_str(),
        WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, screen(kWindowWidth),
        screen(kWindowHeight), nullptr, nullptr, instance, nullptr);
    if (!window)
    {
        // Nothing may go on using this half-made life once the error is out.
        currentDialog = nullptr;
        ReleaseGdiObjects();
        delete messagePasser;
        messagePasser = nullptr;
        throw std::runtime_error(createFailure.empty() ? "Could not initialize window instance."
                                                       : createFailure);
    }
    windowMade = true;
    // The update thread reports to the window from its first step, so it
    // starts only once there is one.
    manager = new UpdateManager(this);

    FitWindowToScale(nullptr);
    const SIZE client = ClientSize(window);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - client.cx) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - client.cy) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

LauncherDialog::~LauncherDialog()
{
    if (currentDialog == this)
        currentDialog = nullptr;
    if (const HWND window = hwnd.load())
        CloseWindow(window);
    // The buttons go with their window life; a restart makes new ones.
    exitButton.reset();
    startButton.reset();
    checkFilesButton.reset();
    settingsButton.reset();
    ReleaseGdiObjects();
}

HWND LauncherDialog::GetHwnd()
{
    return hwnd;
}

msg::MessagePasser* LauncherDialog::GetMessagePasser()
{
    return messagePasser;
}

void LauncherDialog::HideButtons()
{
    SetButtonsVisible(false);
    linkHovered = false;
    linkVisible = false;
    Invalidate(kInvalidateSettingsLink);
}

void LauncherDialog::ShowButtons()
{
    SetButtonsVisible(true);
}

void LauncherDialog::SetButtonsVisible(bool visible)
{
    buttonsWanted = visible;
    windowCalls.Run(
        [this, visible]
        {
            for (ButtonBase* button : {static_cast<ButtonBase*>(startButton.get()),
                                       static_cast<ButtonBase*>(checkFilesButton.get()),
                                       static_cast<ButtonBase*>(settingsButton.get())})
            {
                if (!button)
                    continue;
                if (visible)
                    button->Show();
                else
                    button->Hide();
            }
        });
}

void LauncherDialog::ShowSettingsLink()
{
    linkVisible = true;
    Invalidate(kInvalidateSettingsLink);
}

void LauncherDialog::Invalidate(uint8_t flags)
{
    const HWND window = hwnd;
    if (!window)
        return;
    if (flags == 0)
    {
        InvalidateRect(window, nullptr, TRUE);
        return;
    }
    const DisplayScale scale = Scale();
    for (const RegionFlag& entry : kRegions)
    {
        if (!(flags & entry.flag))
            continue;
        const RECT region = scale(entry.region);
        InvalidateRect(window, &region, TRUE);
    }
}

void LauncherDialog::SetNoticeUrl(const std::wstring& url)
{
    {
        std::lock_guard lock(noticeUrlMutex);
        noticeUrl = url;
    }
    windowCalls.Run([this, url] { NavigateNewsBrowser(url); });
}

std::wstring LauncherDialog::NoticeUrl()
{
    std::lock_guard lock(noticeUrlMutex);
    return noticeUrl;
}

int LauncherDialog::ShowMessage(const std::wstring& text)
{
    int result = 0;
    const bool shown = windowCalls.RunAndWait(
        [&] { result = MessageBoxW(hwnd, text.c_str(), kMessageBoxTitle, MB_OK); });
    // No window to own it (not made yet, or already gone): the user still
    // has to see the message.
    if (!shown)
        result = MessageBoxW(nullptr, text.c_str(), kMessageBoxTitle, MB_OK);
    return result;
}

LauncherDialog* LauncherDialog::Current()
{
    return currentDialog;
}

void LauncherDialog::CreateButtons()
{
    startButton = std::make_unique<StartButton>(hwnd.load());
    startButton->Hide();
    exitButton = std::make_unique<ExitButton>(hwnd.load());
    exitButton->Show();
    checkFilesButton = std::make_unique<CheckFilesButton>(this);
    checkFilesButton->Hide();
    settingsButton = std::make_unique<SettingsButton>(this);
    settingsButton->Hide();
    // The update thread may have asked for them before they existed.
    if (buttonsWanted)
        SetButtonsVisible(true);
}

void LauncherDialog::CreateNewsBrowser()
{
    // The working directory is the launcher's folder (start-up makes it so).
    std::error_code error;
    if (std::filesystem::exists(L"./.nobrowser", error))
        return;
    browser = WebBrowser::Open(hwnd, Scale()(kBrowserRect), NoticeUrl());
    browserCreated = true;
}

void LauncherDialog::NavigateNewsBrowser(const std::wstring& url)
{
    if (!browserCreated || !browser)
        return;
    browser->Navigate(url);
}
