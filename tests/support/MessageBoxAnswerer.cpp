#include "support/MessageBoxAnswerer.h"

#include "support/DialogSearch.h"

#include <chrono>

namespace
{
// The static text of a message box carries this id.
constexpr int kMessageTextId = 0xFFFF;
} // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int button, DWORD processId)
    : button_(button), processId_(processId), thread_([this] { Run(); })
{
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    stop_ = true;
    thread_.join();
}

std::vector<AnsweredBox> MessageBoxAnswerer::Boxes()
{
    std::lock_guard lock(mutex_);
    return boxes_;
}

bool MessageBoxAnswerer::WaitForBoxes(size_t count, int milliseconds)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (Boxes().size() >= count)
            return true;
        Sleep(20);
    }
    return Boxes().size() >= count;
}

void MessageBoxAnswerer::Run()
{
    while (!stop_)
    {
        if (!AnswerOne())
            Sleep(20);
    }
}

bool MessageBoxAnswerer::AnswerOne()
{
    const HWND found = FindVisibleDialog(processId_, kMessageTextId);
    if (!found)
        return false;
    AnsweredBox box{WindowTextOf(found), WindowTextOf(GetDlgItem(found, kMessageTextId)),
                    GetWindow(found, GW_OWNER), GetWindowThreadProcessId(found, nullptr)};
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
    }
    // The box ends with the pressed button's id as its result.
    SendMessageW(found, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(found, button_)));
    // Let the box go away before looking again, so it is not counted twice.
    for (int i = 0; i < 100 && IsWindow(found); ++i)
        Sleep(10);
    return true;
}
