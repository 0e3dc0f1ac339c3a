// The window at other display scales: a move to a monitor of another DPI
// (WM_DPICHANGED, sent here as the system would) and a screen whose DPI Wine
// takes from its registry (the display_dpi_* entries set it before the run).
#include "base/DisplayScale.h"
#include "base/TextEncoding.h"
#include "base/TextFit.h"
#include "support/WindowPicture.h"
#include "ui/ButtonBase.h"
#include "ui/CheckFilesButton.h"
#include "ui/ExitButton.h"
#include "ui/LauncherScene.h"
#include "ui/LauncherWindow.h"
#include "ui/PngBitmap.h"
#include "ui/SettingsButton.h"
#include "ui/StartButton.h"
#include "ui/WebBrowser.h"

#include <cstdlib>
#include <string>

namespace
{
// The 96-DPI design of every box the window lays out.
constexpr RECT kStartBox{396, 395, 514, 456};
constexpr RECT kCheckFilesBox{22, 429, 135, 456};
constexpr RECT kOptionBox{147, 429, 260, 456};
constexpr RECT kExitBox{271, 429, 384, 456};
constexpr RECT kBrowserBox{13, 26, 519, 372};
constexpr RECT kAdapterBox{210, 487, 510, 517};
constexpr SIZE kLinkTextRoom{117, 20};

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r)
{
    return "{" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + "}";
}

SIZE Client(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

WindowPicture Picture(int id)
{
    const HBITMAP bitmap = LoadPngBitmap(GetModuleHandleW(nullptr), id);
    WindowPicture picture = WindowPicture::FromBitmap(bitmap);
    if (bitmap)
        DeleteObject(bitmap);
    return picture;
}

class DisplayScaling : public LauncherWindowTest
{
  protected:
    // Every box of the layout where `scale` puts it.
    void ExpectLayoutAt(LauncherDialog& dialog, const DisplayScale& scale)
    {
        const HWND window = dialog.GetHwnd();
        const SIZE client = Client(window);
        EXPECT_EQ(client.cx, scale(532));
        EXPECT_EQ(client.cy, scale(558));
        const std::pair<ButtonBase*, RECT> buttons[] = {
            {dialog.GetStartButton(), kStartBox},
            {dialog.GetCheckFilesButton(), kCheckFilesBox},
            {dialog.GetSettingsButton(), kOptionBox},
            {dialog.GetExitButton(), kExitBox}};
        for (const auto& [button, box] : buttons)
        {
            const RECT placed = AreaOfChild(window, button->Window());
            EXPECT_TRUE(SameRect(placed, scale(box))) << Show(placed) << " for " << Show(box);
        }
        if (WebBrowser* browser = dialog.Browser(); browser && browser->GetControlWindow())
        {
            const RECT placed = AreaOfChild(window, browser->GetControlWindow());
            EXPECT_TRUE(SameRect(placed, scale(kBrowserBox))) << Show(placed);
        }
        const std::vector<LauncherDialog::PlacedText> texts = dialog.BoxedTexts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].box.right, scale(kLinkTextRoom.cx));
        EXPECT_EQ(texts[0].box.bottom, scale(kLinkTextRoom.cy));
        EXPECT_TRUE(SameRect(texts[1].box, scale(kAdapterBox))) << Show(texts[1].box);
    }

    // The link's hit area: its corner is in, one pixel past it is out.
    void ExpectLinkHitAreaAt(LauncherDialog& dialog, const DisplayScale& scale)
    {
        dialog.ShowSettingsLink();
        const HWND window = dialog.GetHwnd();
        const auto hoveredAt = [&](int x, int y)
        {
            SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
            return dialog.LinkHovered();
        };
        EXPECT_TRUE(hoveredAt(scale(15), scale(3)));
        EXPECT_TRUE(hoveredAt(scale(144) - 1, scale(23) - 1));
        EXPECT_FALSE(hoveredAt(scale(144), scale(10)));
        EXPECT_FALSE(hoveredAt(scale(15) - 1, scale(10)));
        hoveredAt(scale(300), scale(300));
    }

    // What the system sends when the window reaches a monitor of `dpi`.
    void MoveToMonitorOf(LauncherDialog& dialog, UINT dpi, POINT topLeft)
    {
        const DisplayScale scale(dpi);
        RECT suggested{topLeft.x, topLeft.y, topLeft.x + scale(538), topLeft.y + scale(564)};
        SendMessageW(dialog.GetHwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        PumpUntil([] { return false; }, 200);
    }
};
} // namespace

TEST_F(DisplayScaling, AtTheDesignDpiEveryBoxIsWhereItAlwaysWas)
{
    LauncherDialog& dialog = Open();
    if (dialog.Scale().Dpi() != kDesignDpi)
        GTEST_SKIP() << "the screen is at " << dialog.Scale().Dpi() << " DPI";
    RECT frame{};
    GetWindowRect(dialog.GetHwnd(), &frame);
    EXPECT_EQ(frame.right - frame.left, 538);
    EXPECT_EQ(frame.bottom - frame.top, 564);
    ExpectLayoutAt(dialog, DisplayScale());
    ExpectLinkHitAreaAt(dialog, DisplayScale());
    // The box of one design length is itself, whatever the rounding.
    EXPECT_TRUE(SameRect(DisplayScale()(kStartBox), kStartBox));
}

TEST_F(DisplayScaling, AMoveToAnotherDpiScalesEverythingAndMovingBackRestoresEveryPixel)
{
    for (const wchar_t* language : {L"en", L"ja"})
    {
        SCOPED_TRACE(ToUtf8(language));
        LauncherDialog& dialog = Open(language);
        const UINT startDpi = dialog.Scale().Dpi();
        const HWND window = dialog.GetHwnd();
        const auto quietPicture = [&]
        {
            dialog.HideButtons();
            SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(300, 300));
            {
                UpdateManager& manager = *dialog.Manager();
                std::lock_guard lock(manager.statusMutex);
                manager.upperProgress = 0;
                manager.lowerProgress = 0;
                manager.statusText.clear();
                manager.speedText.clear();
            }
            dialog.Invalidate(0);
            return WindowPicture::Capture(window);
        };
        const WindowPicture before = quietPicture();
        RECT startFrame{};
        GetWindowRect(window, &startFrame);

        for (const UINT dpi : {144u, 192u, kDesignDpi})
        {
            // The system tells of a change only.
            if (dpi == startDpi)
                continue;
            SCOPED_TRACE(dpi);
            const DisplayScale scale(dpi);
            MoveToMonitorOf(dialog, dpi, POINT{40, 30});
            ASSERT_EQ(dialog.Scale().Dpi(), dpi);
            RECT frame{};
            GetWindowRect(window, &frame);
            EXPECT_EQ(frame.left, 40);
            EXPECT_EQ(frame.top, 30);
            ExpectLayoutAt(dialog, scale);
            ExpectLinkHitAreaAt(dialog, scale);

            // The pictures come from the set drawn for this scale, pixel for pixel.
            dialog.HideButtons();
            const WindowPicture hidden = WindowPicture::Capture(window);
            const WindowPicture background =
                Picture(scale.PictureId(language == std::wstring(L"ja") ? 168 : 181));
            ASSERT_EQ(background.Width(), scale(532));
            const RECT logo = scale(RECT{0, 470, 200, 530});
            EXPECT_TRUE(hidden.SameArea(logo, background));

            const WindowPicture shown = StageScene(
                dialog, {language, L"[12/40] 'data/char/hero_model.pak' (1536 KB/4096 KB)",
                         L"2.4 MB/s", L"Ver 1.0.7"});
            EXPECT_TRUE(
                shown.SavePng(TestOutputFolder() / (L"launcher-" + std::to_wstring(dpi) + L"dpi-" +
                                                    std::wstring(language) + L".png")));
            const int pressedFace = scale.PictureId(language == std::wstring(L"ja") ? 179 : 162);
            const RECT start = scale(kStartBox);
            EXPECT_TRUE(shown.SameArea(start, Picture(pressedFace), -start.left, -start.top));
            // The bars end where the scaled fraction says, in their scaled rows.
            const int upperRight = ProgressBarRight(0.62, scale);
            EXPECT_EQ(upperRight, static_cast<int>(0.62 * scale(383)));
            EXPECT_EQ(shown.At(upperRight - 1, scale(399)), RGB(235, 242, 254));
            EXPECT_NE(shown.At(upperRight + 1, scale(399)), RGB(235, 242, 254));
            EXPECT_EQ(shown.At(ProgressBarRight(0.35, scale) - 1, scale(414)), RGB(133, 242, 254));
            // Texts are drawn in fonts of the scaled size and still fit their boxes.
            const HDC dc = CreateCompatibleDC(nullptr);
            for (const LauncherDialog::PlacedText& placed : dialog.BoxedTexts())
            {
                LOGFONTW look{};
                GetObjectW(placed.font, sizeof(look), &look);
                EXPECT_GE(std::abs(look.lfHeight), scale(kSmallestFittedHeight));
                EXPECT_LE(std::abs(look.lfHeight), scale(12));
                const SIZE box{placed.box.right - placed.box.left,
                               placed.box.bottom - placed.box.top};
                const SIZE size = MeasureText(dc, placed.font, placed.text, box.cx, placed.format);
                EXPECT_TRUE(size.cx <= box.cx && size.cy <= box.cy) << ToUtf8(placed.text);
            }
            DeleteDC(dc);
            ReleaseOutside(dialog);
        }

        MoveToMonitorOf(dialog, startDpi, POINT{startFrame.left, startFrame.top});
        ExpectLayoutAt(dialog, DisplayScale(startDpi));
        const WindowPicture after = quietPicture();
        // The news page may have drawn itself meanwhile; everything else is as it was.
        const RECT below = DisplayScale(startDpi)(RECT{0, 372, 532, 558});
        EXPECT_TRUE(after.SameArea(below, before));
        Close();
    }
}

// Runs only where the prefix's DPI was set before the process started.
TEST_F(DisplayScaling, TheWindowOpensAtTheDpiOfTheScreen)
{
    const char* expected = std::getenv("NORVIK_EXPECT_DPI");
    if (!expected)
        GTEST_SKIP() << "run by the display_dpi_* entries, which set the screen's DPI";
    const UINT dpi = static_cast<UINT>(std::atoi(expected));
    EXPECT_EQ(ScreenDpi(), dpi);
    for (const wchar_t* language : {L"en", L"ja"})
    {
        SCOPED_TRACE(ToUtf8(language));
        LauncherDialog& dialog = Open(language);
        ASSERT_EQ(dialog.Scale().Dpi(), dpi);
        ExpectLayoutAt(dialog, DisplayScale(dpi));
        ExpectLinkHitAreaAt(dialog, DisplayScale(dpi));
        const WindowPicture shown =
            StageScene(dialog, {language, L"[12/40] 'data/char/hero_model.pak' (1536 KB/4096 KB)",
                                L"2.4 MB/s", L"Ver 1.0.7"});
        EXPECT_TRUE(
            shown.SavePng(TestOutputFolder() / (L"launcher-" + std::wstring(language) + L".png")));
        ReleaseOutside(dialog);
        Close();
    }
}
