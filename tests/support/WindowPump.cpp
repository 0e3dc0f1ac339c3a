#include "support/WindowPump.h"

#include "support/LogCapture.h"
#include "update/MessagePasser.h"

#include <chrono>
#include <string>

namespace
{
constexpr uint8_t kProbe = 127;

using Clock = std::chrono::steady_clock;

DWORD RemainingMilliseconds(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}
} // namespace

std::optional<WPARAM> PumpUntilQuit(int milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;)
    {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            if (message.message == WM_QUIT)
                return message.wParam;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD left = RemainingMilliseconds(deadline);
        if (left == 0)
            return std::nullopt;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, int milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done())
    {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (RemainingMilliseconds(deadline) == 0)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

bool PumpUntilQueueServed(msg::MessagePasser& queue, const LogCapture& log, int milliseconds)
{
    const std::string probeLine = "unknown msgtype " + std::to_string(kProbe);
    const int before = log.Count(probeLine);
    queue.Post({kProbe, 0});
    return PumpUntil([&] { return log.Count(probeLine) > before; }, milliseconds);
}
