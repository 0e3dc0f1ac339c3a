// The launcher's main window: a fixed 532 x 558 picture window that paints the
// update controller's display state and forwards the user's requests to the
// update thread. Lives on the window thread; the update thread may call the
// public operations at any time, even before the window handle exists.
#pragma once

#include "update/MessagePasser.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class UpdateManager;
class WebBrowser;

// Redraw flags for Invalidate; 0 redraws the whole window.
constexpr uint8_t kInvalidateUpperBar = 0x01;
constexpr uint8_t kInvalidateLowerBar = 0x02;
constexpr uint8_t kInvalidateVersionText = 0x04;
constexpr uint8_t kInvalidateStatusText = 0x08;
constexpr uint8_t kInvalidateAdapterText = 0x10;
constexpr uint8_t kInvalidateSpeedText = 0x20;
constexpr uint8_t kInvalidateSettingsLink = 0x40;

// Posted by the update thread once it has carried out a quit request.
constexpr UINT kQuitDoneMessage = WM_USER + 1;
// The WM_QUIT code that asks start-up for the settings dialog and a new window.
constexpr WPARAM kRestartExitCode = 100;

// Right edge of a progress bar: fraction x 383 truncated, at least 22.
int ProgressBarRight(double fraction);

class LauncherDialog
{
  public:
    // Throws std::runtime_error("Could not initialize window instance.").
    explicit LauncherDialog(HINSTANCE instance);
    virtual ~LauncherDialog();

    LauncherDialog(const LauncherDialog&) = delete;
    LauncherDialog& operator=(const LauncherDialog&) = delete;

    virtual HWND GetHwnd();
    virtual msg::MessagePasser* GetMessagePasser();
    virtual void HideButtons();
    virtual void ShowButtons();

    void ShowSettingsLink();
    void Invalidate(uint8_t flags);
    void SetNoticeUrl(const std::wstring& url);
    int ShowMessage(const std::wstring& text);

    UpdateManager* Manager() const { return manager; }
    WebBrowser* Browser() const { return browser; }
    bool LinkVisible() const { return linkVisible; }
    bool RestartRequested() const { return restartRequested; }

    // Window procedure entry; reaches the current dialog through the
    // process-wide pointer.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    std::wstring NoticeUrl();
    void OnPaint();
    void OnMouseMove(LPARAM lParam);
    void OnLeftButtonDown(LPARAM lParam);
    void OnLeftButtonUp();
    void PaintTexts(HDC dc);
    void PaintSettingsLink(HDC dc);

    bool dragging = false;
    POINT dragOffset{0, 0};
    HINSTANCE instance = nullptr;
    std::atomic<HWND> hwnd{nullptr};
    HFONT boldFont = nullptr;
    HFONT baseFont = nullptr;
    WebBrowser* browser = nullptr;
    bool browserCreated = false;
    // Set by the update thread, loaded by the window thread.
    std::mutex noticeMutex;
    std::wstring noticeUrl = L"about:blank";
    HBITMAP background = nullptr;
    HBRUSH upperBarBrush = nullptr;
    HBRUSH lowerBarBrush = nullptr;
    std::atomic<bool> linkHovered{false};
    std::atomic<bool> linkVisible{false};
    bool restartRequested = false;
    // Made before the manager: its update thread asks for the queue as soon as
    // it reaches its message loop, which can be before this constructor ends.
    msg::MessagePasser* messagePasser = nullptr;
    UpdateManager* manager = nullptr;
};
