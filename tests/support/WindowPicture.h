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
    bool SavePng(const std::filesystem::path& file) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_; // 0x00RRGGBB, top row first
};

// NORVIK_TEST_OUTPUT_DIR, made when missing.
std::filesystem::path TestOutputFolder();
