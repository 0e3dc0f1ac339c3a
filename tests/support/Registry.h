// Test access to the launcher's registry key in the test prefix's real registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Removes the launcher's key with everything under it.
void DeleteLauncherKey();
bool LauncherKeyExists();
std::optional<uint32_t> LauncherDword(const std::wstring& name);
