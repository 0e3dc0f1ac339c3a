// Reads a DIALOGEX template from a module's resources as the resource
// compiler wrote it, so tests can check a layout in dialog units and the
// styles exactly as stored, before any window exists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct DialogTemplateItem
{
    uint32_t id = 0;
    // Upper-case class name; the predefined classes stored by ordinal get their name.
    std::wstring className;
    std::wstring text;
    uint32_t style = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
};

struct DialogTemplate
{
    uint32_t style = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
    std::wstring caption;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    std::wstring typeface;
    std::vector<DialogTemplateItem> items;
};

// Empty when the module has no such dialog or it is not a DIALOGEX template.
std::optional<DialogTemplate> LoadDialogTemplate(HMODULE module, int id);
