// The launcher's main window: a fixed 532 x 558 picture window (at 96 DPI;
// scaled to its monitor's DPI) that paints the update controller's display
// state, carries the four picture buttons and the news browser, and forwards
// the user's requests to the update thread.
// Lives on the window thread; the update thread may call the public
// operations at any time, even before the window handle exists. Calls that
// touch window-thread objects (buttons, browser, message boxes) are carried
// over to the window thread in the order they were made.
#pragma once

#include "base/DisplayScale.h"
#include "ui/WindowThreadCalls.h"
#include "update/MessagePasser.h"
#include "update/UpdateWindow.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class UpdateManager;
class WebBrowser;
class ExitButton;
class StartButton;
class CheckFilesButton;
class SettingsButton;

// The WM_QUIT code that asks start-up for the settings dialog and a new window.
constexpr WPARAM kRestartExitCode = 100;

// Right edge of a progress bar: fraction x 383 truncated, at least 22 (both
// lengths at `scale`).
int ProgressBarRight(double fraction, const DisplayScale& scale = DisplayScale());

class LauncherDialog : public IUpdateWindow
{
  public:
    // Throws std::runtime_error("Could not initialize window instance."), or
    // the picture loader's error when the background or a face cannot be made.
    explicit LauncherDialog(HINSTANCE instance);
    ~LauncherDialog() override;

    LauncherDialog(const LauncherDialog&) = delete;
    LauncherDialog& operator=(const LauncherDialog&) = delete;

    HWND GetHwnd() override;
    msg::MessagePasser* GetMessagePasser() override;
    void HideButtons() override;
    void ShowButtons() override;
    void ShowSettingsLink() override;
    // Nothing happens before the window exists.
    void Invalidate(uint8_t flags) override;
    void SetNoticeUrl(const std::wstring& url) override;
    // The box is owned by the window and runs on its thread.
    int ShowMessage(const std::wstring& text) override;

    UpdateManager* Manager() const { return manager; }
    WebBrowser* Browser() const { return browser; }
    bool LinkVisible() const { return linkVisible; }
    bool LinkHovered() const { return linkHovered; }
    bool RestartRequested() const { return restartRequested; }
    bool Dragging() const { return dragging; }
    std::wstring NoticeUrl();
    ExitButton* GetExitButton() const { return exitButton.get(); }
    StartButton* GetStartButton() const { return startButton.get(); }
    CheckFilesButton* GetCheckFilesButton() const { return checkFilesButton.get(); }
    SettingsButton* GetSettingsButton() const { return settingsButton.get(); }
    // The layout's scale: the DPI of the monitor the window is on.
    DisplayScale Scale() const { return DisplayScale(dpi.load()); }

    // A text of the window with a fixed box, as it is drawn.
    struct PlacedText
    {
        std::wstring text;
        RECT box;
        HFONT font;
        UINT format;
    };
    // The settings link and the adapter panel, which long translations could
    // overrun; window thread.
    std::vector<PlacedText> BoxedTexts();

    // The dialog the window procedure serves (the newest), or null.
    static LauncherDialog* Current();

    // Window procedure entry; reaches the current dialog through the
    // process-wide pointer.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    // Fonts and the background for the current scale.
    void MakeScaledObjects();
    void ReleaseScaledObjects();
    void ReleaseGdiObjects();
    // Sizes the window so its client area is the design's at the current scale.
    void FitWindowToScale(const POINT* topLeft);
    void OnDpiChanged(UINT newDpi, const RECT& suggested);
    void CreateButtons();
    void CreateNewsBrowser();
    void NavigateNewsBrowser(const std::wstring& url);
    void SetButtonsVisible(bool visible);
    void OnPaint();
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnMouseMove(LPARAM lParam);
    void OnLeftButtonDown(LPARAM lParam);
    void OnLeftButtonUp();
    bool OnSetCursor(LPARAM lParam);
    void PaintTexts(HDC dc);
    void PaintSettingsLink(HDC dc);
    std::wstring AdapterPanelText();
    // The font the adapter panel's text fits in; made again when the text changes.
    HFONT AdapterFont(HDC dc, const std::wstring& text);

    bool dragging = false;
    POINT dragOffset{0, 0};
    HINSTANCE instance = nullptr;
    std::atomic<HWND> hwnd{nullptr};
    // Read by the update thread's invalidations too.
    std::atomic<UINT> dpi{kDesignDpi};
    HFONT boldFont = nullptr;
    HFONT baseFont = nullptr;
    // Smaller fonts for texts that do not fit their boxes in the usual one; null while they do.
    HFONT linkFont = nullptr;
    HFONT adapterFont = nullptr;
    std::wstring adapterFontText;
    // The news browser host; stays null with ".nobrowser".
    WebBrowser* browser = nullptr;
    bool browserCreated = false;
    // Written by the update thread, read when the browser is made.
    std::mutex noticeUrlMutex;
    std::wstring noticeUrl = L"about:blank";
    HBITMAP background = nullptr;
    std::unique_ptr<ExitButton> exitButton;
    std::unique_ptr<StartButton> startButton;
    std::unique_ptr<CheckFilesButton> checkFilesButton;
    std::unique_ptr<SettingsButton> settingsButton;
    // What the update thread last asked for, so a request made before the
    // buttons exist is not lost.
    std::atomic<bool> buttonsWanted{false};
    HBRUSH upperBarBrush = nullptr;
    HBRUSH lowerBarBrush = nullptr;
    std::atomic<bool> linkHovered{false};
    std::atomic<bool> linkVisible{false};
    bool restartRequested = false;
    // What made WM_CREATE fail, thrown on by the constructor.
    std::string createFailure;
    bool windowMade = false;
    // Made before the manager: its update thread asks for the queue as soon as
    // it reaches its message loop, which can be before this constructor ends.
    msg::MessagePasser* messagePasser = nullptr;
    UpdateManager* manager = nullptr;
    WindowThreadCalls windowCalls;
};
