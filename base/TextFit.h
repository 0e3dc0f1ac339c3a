// Texts that must fit their boxes: a long translation steps its font down a
// size or two instead of running out of its place or losing letters at the
// edges. Measured with the font and layout the text is drawn with.
#pragma once

#include <windows.h>

#include <string>

// The smallest step a fitted text goes down to, in pixels of character height.
inline constexpr int kSmallestFittedHeight = 9;

// The extent of `text` laid out in `width` pixels: wrapped with DT_WORDBREAK,
// else on one line.
SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, int width, UINT format);

bool TextFits(HDC dc, HFONT font, const std::wstring& text, SIZE box, UINT format);

// A font like `font` at the largest character height from its own down to
// `smallest` (kSmallestFittedHeight at 96 DPI) at which `text` fits `box`;
// the caller deletes it. Null when the text already fits in `font` itself.
HFONT FittedFont(HDC dc, HFONT font, const std::wstring& text, SIZE box, UINT format,
                 int smallest = kSmallestFittedHeight);
