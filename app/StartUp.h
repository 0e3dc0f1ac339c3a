// The start-up sequence and the window lives of the process: prepare the
// process, make sure the launcher settings exist, then one launcher window
// after another until one ends without asking for the settings dialog.
#pragma once

#include <windows.h>

// Whole process run; returns the exit code.
int RunLauncher(HINSTANCE instance);

// First-launch check: shows the settings dialog while "NRK_LauncherSettingsSet"
// is not 1, and writes the defaults when it is cancelled.
void EnsureLauncherSettings(HINSTANCE instance);

// One window life after another; returns the code of the last one.
int RunWindowLives(HINSTANCE instance);
