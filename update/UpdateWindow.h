// What the window offers the update engine: the engine's only way to show
// anything. The launcher window implements it; tests may stand in for it.
// Every operation may be called from any engine thread, also before the
// window handle exists (it then does nothing, or is carried out later).
#pragma once

#include "update/MessagePasser.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Redraw flags for Invalidate; 0 redraws the whole window.
constexpr uint8_t kInvalidateUpperBar = 0x01;
constexpr uint8_t kInvalidateLowerBar = 0x02;
constexpr uint8_t kInvalidateVersionText = 0x04;
constexpr uint8_t kInvalidateStatusText = 0x08;
constexpr uint8_t kInvalidateAdapterText = 0x10;
constexpr uint8_t kInvalidateSpeedText = 0x20;
constexpr uint8_t kInvalidateSettingsLink = 0x40;

// Posted to the window by the update thread once it has carried out a quit request.
constexpr UINT kQuitDoneMessage = WM_USER + 1;

class IUpdateWindow
{
  public:
    virtual ~IUpdateWindow() = default;

    // The four slots after the destructor keep this order.
    virtual HWND GetHwnd() = 0;
    virtual msg::MessagePasser* GetMessagePasser() = 0;
    // Start, Check Files and Option (Exit stays), and the settings link.
    virtual void HideButtons() = 0;
    // The same three buttons; the link is shown separately.
    virtual void ShowButtons() = 0;

    virtual void ShowSettingsLink() = 0;
    virtual void Invalidate(uint8_t flags) = 0;
    // The news browser follows on the window thread.
    virtual void SetNoticeUrl(const std::wstring& url) = 0;
    // Blocks the caller until the user answers; returns the box's result.
    virtual int ShowMessage(const std::wstring& text) = 0;
};
