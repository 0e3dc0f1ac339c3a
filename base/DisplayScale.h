// The window's 96-DPI layout at the DPI of the monitor it is on: every length
// of the design goes through one of these, and pictures come from the set
// drawn nearest that DPI. At 96 DPI every length is the design's own.
#pragma once

#include <windows.h>

inline constexpr UINT kDesignDpi = 96;

class DisplayScale
{
  public:
    explicit DisplayScale(UINT dpi = kDesignDpi) : dpi_(dpi ? dpi : kDesignDpi) {}

    UINT Dpi() const { return dpi_; }
    // Rounded as MulDiv rounds, which the artwork's boxes follow too.
    int operator()(int length) const { return MulDiv(length, static_cast<int>(dpi_), kDesignDpi); }
    RECT operator()(const RECT& rect) const
    {
        return RECT{(*this)(rect.left), (*this)(rect.top), (*this)(rect.right),
                    (*this)(rect.bottom)};
    }
    SIZE operator()(const SIZE& size) const { return SIZE{(*this)(size.cx), (*this)(size.cy)}; }

    // The resource number of picture `id` in the set nearest this DPI: the
    // number itself at 1x, +1000 at 1.5x, +2000 at 2x. Halfway goes up, so a
    // picture is reduced rather than enlarged.
    int PictureId(int id) const;

  private:
    UINT dpi_;
};

// The DPI `window` is shown at: its monitor's on systems that scale per
// monitor, else the screen's.
UINT WindowDpi(HWND window);
// The screen's DPI, for what is sized before its window exists.
UINT ScreenDpi();
