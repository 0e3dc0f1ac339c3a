// What a window shows on the (virtual) screen, as pixels a test can inspect
// and save as a PNG for a person to look at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <vector>

struct ScreenPicture
{
    int width = 0;
    int height = 0;
    // Top-down rows of 0x00RRGGBB.
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Pixels inside `area` (picture coordinates) for which `match(red, green, blue)` holds.
    template <typename Match> int Count(const RECT& area, Match match) const
    {
        int count = 0;
        for (int y = area.top; y < area.bottom && y < height; ++y)
            for (int x = area.left; x < area.right && x < width; ++x)
            {
                const uint32_t pixel = At(x, y);
                if (match((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF))
                    ++count;
            }
        return count;
    }
};

// The whole window with its frame, as drawn now. Empty on failure.
ScreenPicture CaptureWindow(HWND window);
// Where `child` lies within the picture of `window`.
RECT AreaOfChild(HWND window, HWND child);
bool SavePng(const ScreenPicture& picture, const std::filesystem::path& file);
