// A stand-in for the launcher window in engine tests that need no real one:
// it records what the engine asks of the window and answers message boxes at
// once. Safe to call from every engine thread.
#pragma once

#include "update/UpdateWindow.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TestWindow : public IUpdateWindow
{
  public:
    // `answer` is what every message box returns (IDOK, IDYES, ...).
    explicit TestWindow(int answer = IDOK) : answer_(answer) {}

    HWND GetHwnd() override { return nullptr; }
    msg::MessagePasser* GetMessagePasser() override { return &queue_; }
    void HideButtons() override;
    void ShowButtons() override;
    void ShowSettingsLink() override;
    void Invalidate(uint8_t flags) override;
    void SetNoticeUrl(const std::wstring& url) override;
    int ShowMessage(const std::wstring& text) override;

    // Called on the engine's thread with each redraw request, before it is recorded.
    void OnInvalidate(std::function<void(uint8_t)> hook);

    std::vector<std::wstring> Messages();
    std::vector<uint8_t> Invalidations();
    std::wstring NoticeUrl();
    bool ButtonsVisible();
    bool LinkVisible();

  private:
    const int answer_;
    msg::MessagePasser queue_;
    std::mutex mutex_;
    std::function<void(uint8_t)> onInvalidate_;
    std::vector<std::wstring> messages_;
    std::vector<uint8_t> invalidations_;
    std::wstring noticeUrl_;
    bool buttonsVisible_ = false;
    bool linkVisible_ = false;
};
