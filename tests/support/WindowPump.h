// Message pumping for tests that run a launcher window on the test thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

class LogCapture;
namespace msg
{
class MessagePasser;
}

// Dispatches this thread's messages until WM_QUIT (its code) or the time runs out.
std::optional<WPARAM> PumpUntilQuit(int milliseconds = 10000);

// Dispatches messages until `done` holds or the time runs out; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000);

// Posts a request the update thread does not know to `queue` and pumps until
// `log` shows the update thread's line for it: every request posted before
// has then been carried out.
bool PumpUntilQueueServed(msg::MessagePasser& queue, const LogCapture& log,
                          int milliseconds = 60000);
