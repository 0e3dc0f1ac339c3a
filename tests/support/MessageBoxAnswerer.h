// Answers the message boxes a process opens (this one unless told another),
// from a thread of its own, so no test ever waits on a modal box. Records
// each box's title and text.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AnsweredBox
{
    std::wstring title;
    std::wstring text;
    HWND owner = nullptr; // the window the box belonged to
    DWORD thread = 0;     // the thread that ran the box
};

class MessageBoxAnswerer
{
  public:
    // `button` is the control id pressed: IDOK, IDYES, IDNO, IDCANCEL...
    explicit MessageBoxAnswerer(int button = IDOK, DWORD processId = GetCurrentProcessId());
    ~MessageBoxAnswerer();

    // Answers the boxes of that process (a launcher the test started) instead
    // of this one's.
    void Watch(DWORD processId) { processId_ = processId; }

    std::vector<AnsweredBox> Boxes();
    // Waits up to `milliseconds` for at least `count` answered boxes.
    bool WaitForBoxes(size_t count, int milliseconds = 10000);

  private:
    void Run();
    bool AnswerOne();

    int button_;
    std::atomic<DWORD> processId_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<AnsweredBox> boxes_;
    std::thread thread_;
};
