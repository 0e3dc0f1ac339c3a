#include "base/TextFit.h"

#include <cstdlib>

SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, int width, UINT format)
{
    const HGDIOBJ old = SelectObject(dc, font);
    RECT rect{0, 0, width, 0};
    const UINT layout = (format & DT_WORDBREAK) ? DT_WORDBREAK : DT_SINGLELINE;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | layout);
    SelectObject(dc, old);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

bool TextFits(HDC dc, HFONT font, const std::wstring& text, SIZE box, UINT format)
{
    const SIZE size = MeasureText(dc, font, text, box.cx, format);
    return size.cx <= box.cx && size.cy <= box.cy;
}

HFONT FittedFont(HDC dc, HFONT font, const std::wstring& text, SIZE box, UINT format, int smallest)
{
    if (!font || TextFits(dc, font, text, box, format))
        return nullptr;
    LOGFONTW look{};
    if (!GetObjectW(font, sizeof(look), &look))
        return nullptr;
    const int height = std::abs(look.lfHeight);
    for (int step = height - 1; step >= smallest; --step)
    {
        look.lfHeight = -step;
        look.lfWidth = 0;
        const HFONT smaller = CreateFontIndirectW(&look);
        if (!smaller)
            return nullptr;
        if (TextFits(dc, smaller, text, box, format) || step == smallest)
            return smaller;
        DeleteObject(smaller);
    }
    return nullptr;
}
