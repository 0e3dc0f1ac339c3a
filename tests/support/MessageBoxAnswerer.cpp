#include "support/MessageBoxAnswerer.h"

#include <chrono>
#include <iterator>

namespace
{
// The static text of a message box carries this id.
constexpr int kMessageTextId = 0xFFFF;

// WM_GETTEXT rather than GetWindowTextW, which does not ask the controls of
// another process; with a time-out, so a stuck box cannot hold the answerer.
std::wstring WindowText(HWND window)
{
    wchar_t buffer[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                        SMTO_NORMAL, 2000, &ignored);
    return buffer;
}

struct Search
{
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == search->process && std::wstring(className) == L"#32770" &&
        IsWindowVisible(window) && GetDlgItem(window, kMessageTextId))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
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
    Search search{processId_, nullptr};
    EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;
    AnsweredBox box{WindowText(search.found), WindowText(GetDlgItem(search.found, kMessageTextId)),
                    GetWindow(search.found, GW_OWNER),
                    GetWindowThreadProcessId(search.found, nullptr)};
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
    }
    // The box ends with the pressed button's id as its result.
    SendMessageW(search.found, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(search.found, button_)));
    // Let the box go away before looking again, so it is not counted twice.
    for (int i = 0; i < 100 && IsWindow(search.found); ++i)
        Sleep(10);
    return true;
}
