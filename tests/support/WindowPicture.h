// What a window shows, read back from its device context for pixel checks,
// and saved as PNG (GDI+) into the build's test-output folder for people to
// look at. Window thread of the captured window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <vector>

class WindowPicture
{
  public:
    // The client area as it is now, children included; paints pending
    // updates first.
    static WindowPicture Capture(HWND window);
    // A GDI bitmap's pixels (a loaded picture, to compare against).
    static WindowPicture FromBitmap(HBITMAP bitmap);

    int Width() const { return width_; }
    int Height() const { return height_; }
    COLORREF At(int x, int y) const;
    // True when every pixel of (left, top)-(right, bottom) equals `other`'s
    // pixel at the same place shifted by (dx, dy).
    bool SameArea(const RECT& area, const WindowPicture& other, int dx = 0, int dy = 0) const;
    // Pixels inside `area` for which `match(red, green, blue)` holds.
    template <typename Match> int Count(const RECT& area, Match match) const
    {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
            {
                const COLORREF pixel = At(x, y);
                if (pixel != CLR_INVALID &&
                    match(GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)))
                    ++count;
            }
        return count;
    }
    bool SavePng(const std::filesystem::path& file) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_; // 0x00RRGGBB, top row first
};

// Where `child` lies within the picture of `window`'s client area.
RECT AreaOfChild(HWND window, HWND child);

// NORVIK_TEST_OUTPUT_DIR (its dpiN folder on a screen of another DPI), made
// when missing.
std::filesystem::path TestOutputFolder();
