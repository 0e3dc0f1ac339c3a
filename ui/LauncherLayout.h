// The launcher window's layout as designed at 96 DPI (the window scales it
// to its monitor), its colours and its text formats: the one place painting,
// hit-testing and invalidation read them from.
#pragma once

#include <windows.h>

namespace launcher_layout
{
inline constexpr int kEnglishBackground = 181;
inline constexpr int kJapaneseBackground = 168;
inline constexpr int kWindowWidth = 538;
inline constexpr int kWindowHeight = 564;
inline constexpr int kClientWidth = 532;
inline constexpr int kClientHeight = 558;
inline constexpr RECT kUpperBarRegion{22, 397, 383, 402};
inline constexpr RECT kLowerBarRegion{22, 410, 383, 419};
inline constexpr RECT kVersionRect{407, 8, 527, 24};
inline constexpr RECT kStatusRect{19, 375, 444, 390};
inline constexpr RECT kAdapterRect{210, 487, 510, 517};
inline constexpr RECT kSpeedRect{390, 375, 510, 390};
inline constexpr RECT kLinkRect{15, 3, 144, 23};
inline constexpr RECT kLinkTextRect{19, 3, 140, 23};
// The link's text keeps clear of its rounded border.
inline constexpr SIZE kLinkTextRoom{kLinkTextRect.right - kLinkTextRect.left - 4,
                                    kLinkTextRect.bottom - kLinkTextRect.top};
inline constexpr UINT kLinkFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
inline constexpr RECT kBrowserRect{13, 26, 519, 372};
inline constexpr UINT kWrapEllipsis = DT_WORDBREAK | DT_END_ELLIPSIS;
inline constexpr UINT kRightEllipsis = DT_RIGHT | DT_END_ELLIPSIS;
inline constexpr COLORREF kShadowColour = 0x22020201;
inline constexpr COLORREF kUpperBarColour = RGB(235, 242, 254);
inline constexpr COLORREF kLowerBarColour = RGB(133, 242, 254);
inline constexpr COLORREF kLinkColour = RGB(60, 110, 180);
inline constexpr COLORREF kLinkFill = RGB(220, 240, 255);
inline constexpr COLORREF kLinkHoverFill = RGB(200, 230, 250);
// Shown where no background picture could be made.
inline constexpr COLORREF kPlainBackground = RGB(24, 32, 48);
} // namespace launcher_layout
