// The window at its monitor's scale: fonts and background made for the DPI,
// the window sized to the layout, and the move to a monitor of another DPI.
#include "base/TextFit.h"
#include "settings/Localization.h"
#include "ui/CheckFilesButton.h"
#include "ui/ExitButton.h"
#include "ui/LauncherDialog.h"
#include "ui/LauncherLayout.h"
#include "ui/PngBitmap.h"
#include "ui/SettingsButton.h"
#include "ui/StartButton.h"
#include "ui/WebBrowser.h"
#include "ui/WindowSizes.h"

#include <spdlog/spdlog.h>
#include <stdexcept>

using namespace launcher_layout;

namespace
{
HFONT MakeFont(int weight, const std::wstring& face, const DisplayScale& scale)
{
    return CreateFontW(-scale(12), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_STRING_PRECIS, CLIP_STROKE_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_SWISS, face.c_str());
}
} // namespace

void LauncherDialog::ReleaseScaledObjects()
{
    const auto release = [](auto& object)
    {
        if (object)
            DeleteObject(object);
        object = nullptr;
    };
    release(background);
    release(boldFont);
    release(baseFont);
    release(linkFont);
    release(adapterFont);
    adapterFontText.clear();
}

void LauncherDialog::ReleaseGdiObjects()
{
    ReleaseScaledObjects();
    for (HGDIOBJ object :
         {static_cast<HGDIOBJ>(upperBarBrush), static_cast<HGDIOBJ>(lowerBarBrush)})
    {
        if (object)
            DeleteObject(object);
    }
}

void LauncherDialog::FitWindowToScale(const POINT* topLeft)
{
    const HWND window = hwnd;
    const DisplayScale scale = Scale();
    const SIZE wanted{scale(kClientWidth), scale(kClientHeight)};
    // The frame is the system's; it may itself change with the DPI, so the
    // size is checked once more after the move.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const SIZE client = ClientSize(window);
        if (client.cx == wanted.cx && client.cy == wanted.cy && !topLeft)
            return;
        const SIZE outer = WindowSize(window);
        const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (topLeft ? 0 : SWP_NOMOVE);
        SetWindowPos(window, nullptr, topLeft ? topLeft->x : 0, topLeft ? topLeft->y : 0,
                     outer.cx + wanted.cx - client.cx, outer.cy + wanted.cy - client.cy, flags);
        topLeft = nullptr;
    }
}

void LauncherDialog::MakeScaledObjects()
{
    const DisplayScale scale = Scale();
    const std::wstring& language = CurrentLanguage();
    boldFont = MakeFont(FW_BOLD, LookupText(language, "bold_font"), scale);
    baseFont = MakeFont(FW_DONTCARE, LookupText(language, "base_font"), scale);
    if (const HDC measuring = CreateCompatibleDC(nullptr))
    {
        linkFont = FittedFont(measuring, boldFont, LookupText(language, "launcher_settings"),
                              scale(kLinkTextRoom), kLinkFormat, scale(kSmallestFittedHeight));
        DeleteDC(measuring);
    }
    background =
        LoadScaledPicture(instance, language == L"ja" ? kJapaneseBackground : kEnglishBackground,
                          scale, SIZE{kClientWidth, kClientHeight});
}

void LauncherDialog::OnDpiChanged(UINT newDpi, const RECT& suggested)
{
    if (newDpi == 0 || newDpi == dpi)
        return;
    dpi = newDpi;
    const DisplayScale scale = Scale();
    // Unlike at creation, a picture that cannot be made ends nothing here:
    // the window goes on with what it has, plain where a picture is missing.
    const auto tryTo = [newDpi](auto step)
    {
        try
        {
            step();
        }
        catch (const std::exception& failure)
        {
            spdlog::error("Could not redraw the window for {} DPI: {}", newDpi, failure.what());
        }
    };
    ReleaseScaledObjects();
    tryTo([this] { MakeScaledObjects(); });
    for (ButtonBase* button :
         {static_cast<ButtonBase*>(startButton.get()), static_cast<ButtonBase*>(exitButton.get()),
          static_cast<ButtonBase*>(checkFilesButton.get()),
          static_cast<ButtonBase*>(settingsButton.get())})
    {
        if (button)
            tryTo([button, &scale] { button->SetScale(scale); });
    }
    // Where the system suggests, at the size the layout needs.
    const POINT topLeft{suggested.left, suggested.top};
    FitWindowToScale(&topLeft);
    if (browser)
        browser->SetBounds(scale(kBrowserRect));
    InvalidateRect(hwnd, nullptr, TRUE);
}
