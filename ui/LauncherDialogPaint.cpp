// Painting the window: background, progress bars, texts and the settings link,
// drawn off screen and copied at once.
#include "base/TextFit.h"
#include "settings/Localization.h"
#include "ui/LauncherDialog.h"
#include "ui/LauncherLayout.h"
#include "update/UpdateManager.h"

#include <optional>

using namespace launcher_layout;

namespace
{
void DrawShadowedText(HDC dc, const std::wstring& text, RECT rect, HFONT font, UINT format,
                      const DisplayScale& scale)
{
    const HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    const int drop = scale(1);
    RECT shadow{rect.left + drop, rect.top + drop, rect.right + drop, rect.bottom + drop};
    SetTextColor(dc, kShadowColour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shadow, format);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    SelectObject(dc, oldFont);
}

void FillBar(HDC dc, double fraction, RECT region, HBRUSH brush, const DisplayScale& scale)
{
    if (fraction == 0.0)
        return;
    RECT bar = scale(region);
    bar.right = ProgressBarRight(fraction, scale);
    FillRect(dc, &bar, brush);
}
} // namespace

int ProgressBarRight(double fraction, const DisplayScale& scale)
{
    const int right = static_cast<int>(fraction * scale(383));
    return right < scale(22) ? scale(22) : right;
}

void LauncherDialog::OnPaint()
{
    PAINTSTRUCT paint{};
    const HDC screen = BeginPaint(hwnd, &paint);
    RECT client{};
    GetClientRect(hwnd, &client);
    const int width = client.right;
    const int height = client.bottom;

    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ oldCanvas = SelectObject(memory, canvas);

    if (background)
    {
        const HDC picture = CreateCompatibleDC(screen);
        const HGDIOBJ oldPicture = SelectObject(picture, background);
        BitBlt(memory, 0, 0, Scale()(kClientWidth), Scale()(kClientHeight), picture, 0, 0, SRCCOPY);
        SelectObject(picture, oldPicture);
        DeleteDC(picture);
    }
    else
    {
        const HBRUSH plain = CreateSolidBrush(kPlainBackground);
        FillRect(memory, &client, plain);
        DeleteObject(plain);
    }

    const DisplayScale scale = Scale();
    FillBar(memory, manager->UpperProgress(), kUpperBarRegion, upperBarBrush, scale);
    FillBar(memory, manager->LowerProgress(), kLowerBarRegion, lowerBarBrush, scale);
    PaintTexts(memory);
    PaintSettingsLink(memory);

    BitBlt(screen, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldCanvas);
    DeleteObject(canvas);
    DeleteDC(memory);
    EndPaint(hwnd, &paint);
}

void LauncherDialog::PaintTexts(HDC dc)
{
    const DisplayScale scale = Scale();
    DrawShadowedText(dc, manager->StatusText(), scale(kStatusRect), boldFont, kWrapEllipsis, scale);

    const std::wstring speed = manager->SpeedText();
    if (!speed.empty())
        DrawShadowedText(dc, speed, scale(kSpeedRect), boldFont, kRightEllipsis, scale);

    const std::wstring adapter = AdapterPanelText();
    DrawShadowedText(dc, adapter, scale(kAdapterRect), AdapterFont(dc, adapter), kWrapEllipsis,
                     scale);
    DrawShadowedText(dc, manager->VersionText(), scale(kVersionRect), boldFont, kWrapEllipsis,
                     scale);
}

void LauncherDialog::PaintSettingsLink(HDC dc)
{
    if (!linkVisible)
        return;
    const DisplayScale scale = Scale();
    const HBRUSH brush = CreateSolidBrush(linkHovered ? kLinkHoverFill : kLinkFill);
    const HPEN pen = CreatePen(PS_SOLID, scale(1), RGB(255, 255, 255));
    const HGDIOBJ oldBrush = SelectObject(dc, brush);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    const RECT link = scale(kLinkRect);
    RoundRect(dc, link.left, link.top, link.right, link.bottom, scale(6), scale(6));
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);

    const std::wstring& text = LookupText(CurrentLanguage(), "launcher_settings");
    const HGDIOBJ oldFont = SelectObject(dc, linkFont ? linkFont : boldFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLinkColour);
    RECT rect = scale(kLinkTextRect);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, kLinkFormat);
    SelectObject(dc, oldFont);
}

std::wstring LauncherDialog::AdapterPanelText()
{
    const std::optional<std::wstring> adapter = manager->AdapterText();
    return adapter ? *adapter : LookupText(CurrentLanguage(), "initializing");
}

HFONT LauncherDialog::AdapterFont(HDC dc, const std::wstring& text)
{
    if (text != adapterFontText)
    {
        if (adapterFont)
            DeleteObject(adapterFont);
        const DisplayScale scale = Scale();
        const RECT box = scale(kAdapterRect);
        const SIZE room{box.right - box.left, box.bottom - box.top};
        adapterFont =
            FittedFont(dc, baseFont, text, room, kWrapEllipsis, scale(kSmallestFittedHeight));
        adapterFontText = text;
    }
    return adapterFont ? adapterFont : baseFont;
}

std::vector<LauncherDialog::PlacedText> LauncherDialog::BoxedTexts()
{
    const DisplayScale scale = Scale();
    std::vector<PlacedText> texts;
    const SIZE linkRoom = scale(kLinkTextRoom);
    texts.push_back({LookupText(CurrentLanguage(), "launcher_settings"),
                     RECT{0, 0, linkRoom.cx, linkRoom.cy}, linkFont ? linkFont : boldFont,
                     kLinkFormat});
    const std::wstring adapter = AdapterPanelText();
    if (const HDC measuring = CreateCompatibleDC(nullptr))
    {
        AdapterFont(measuring, adapter);
        DeleteDC(measuring);
    }
    texts.push_back(
        {adapter, scale(kAdapterRect), adapterFont ? adapterFont : baseFont, kWrapEllipsis});
    return texts;
}
