// Message pumping for tests that run a launcher window on the test thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

// Dispatches this thread's messages until WM_QUIT (its code) or the time runs out.
std::optional<WPARAM> PumpUntilQuit(int milliseconds = 10000);

// Dispatches messages until `done` holds or the time runs out; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000);
