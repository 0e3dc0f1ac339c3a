#include "support/TestWindow.h"

void TestWindow::HideButtons()
{
    std::lock_guard lock(mutex_);
    buttonsVisible_ = false;
    linkVisible_ = false;
}

void TestWindow::ShowButtons()
{
    std::lock_guard lock(mutex_);
    buttonsVisible_ = true;
}

void TestWindow::ShowSettingsLink()
{
    std::lock_guard lock(mutex_);
    linkVisible_ = true;
}

void TestWindow::Invalidate(uint8_t flags)
{
    std::function<void(uint8_t)> hook;
    {
        std::lock_guard lock(mutex_);
        hook = onInvalidate_;
    }
    if (hook)
        hook(flags);
    std::lock_guard lock(mutex_);
    invalidations_.push_back(flags);
}

void TestWindow::SetNoticeUrl(const std::wstring& url)
{
    std::lock_guard lock(mutex_);
    noticeUrl_ = url;
}

int TestWindow::ShowMessage(const std::wstring& text)
{
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    return answer_;
}

void TestWindow::OnInvalidate(std::function<void(uint8_t)> hook)
{
    std::lock_guard lock(mutex_);
    onInvalidate_ = std::move(hook);
}

std::vector<std::wstring> TestWindow::Messages()
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<uint8_t> TestWindow::Invalidations()
{
    std::lock_guard lock(mutex_);
    return invalidations_;
}

std::wstring TestWindow::NoticeUrl()
{
    std::lock_guard lock(mutex_);
    return noticeUrl_;
}

bool TestWindow::ButtonsVisible()
{
    std::lock_guard lock(mutex_);
    return buttonsVisible_;
}

bool TestWindow::LinkVisible()
{
    std::lock_guard lock(mutex_);
    return linkVisible_;
}
