// The folder of the running executable; start-up makes it the current
// directory, so every relative path of the launcher resolves against it.
#pragma once

#include <string>

// GetModuleFileNameW cut before its last '\' or '/'; the whole path when it
// holds neither.
std::wstring ModuleDirectory();
