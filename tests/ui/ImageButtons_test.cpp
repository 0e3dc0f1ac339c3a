#include "support/DialogSearch.h"
#include "support/WindowPicture.h"
#include "ui/ButtonBase.h"
#include "ui/CheckFilesButton.h"
#include "ui/ExitButton.h"
#include "ui/LauncherWindow.h"
#include "ui/PngBitmap.h"
#include "ui/SettingsButton.h"
#include "ui/StartButton.h"

#include <memory>

namespace
{
struct PictureSize
{
    int id;
    int width;
    int height;
};

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

// Every picture at 96 DPI: the two backgrounds and the 24 faces.
std::vector<PictureSize> DesignPictures()
{
    std::vector<PictureSize> pictures{{181, 532, 558}, {168, 532, 558}};
    for (int id :
         {146, 157, 158, 159, 160, 164, 165, 166, 167, 169, 170, 171, 172, 173, 174, 175, 176, 177})
        pictures.push_back({id, 113, 27});
    for (int id : {161, 162, 163, 178, 179, 180})
        pictures.push_back({id, 118, 61});
    return pictures;
}
} // namespace

TEST(PngBitmap, EveryPictureDecodesAtItsButtonsOrTheWindowsSize)
{
    const std::vector<PictureSize> pictures = DesignPictures();
    ASSERT_EQ(pictures.size(), 26u);

    for (const PictureSize& expected : pictures)
    {
        const HBITMAP bitmap = LoadPngBitmap(GetModuleHandleW(nullptr), expected.id);
        ASSERT_NE(bitmap, nullptr) << expected.id;
        const SIZE size = BitmapSize(bitmap);
        EXPECT_EQ(size.cx, expected.width) << expected.id;
        EXPECT_EQ(size.cy, expected.height) << expected.id;
        DeleteObject(bitmap);
    }
}

TEST(PngBitmap, EveryPictureHasHighDpiSetsDrawnAtExactlyTheWindowsScaledBoxes)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const auto& [dpi, offset] : {std::pair{144u, 1000}, std::pair{192u, 2000}})
    {
        const DisplayScale scale(dpi);
        for (const PictureSize& design : DesignPictures())
        {
            const HBITMAP bitmap = LoadPngBitmap(instance, design.id + offset);
            ASSERT_NE(bitmap, nullptr) << design.id + offset;
            const SIZE size = BitmapSize(bitmap);
            const SIZE wanted = scale(SIZE{design.width, design.height});
            EXPECT_EQ(size.cx, wanted.cx) << design.id + offset;
            EXPECT_EQ(size.cy, wanted.cy) << design.id + offset;
            DeleteObject(bitmap);
        }
    }

    // Between the sets the nearest one is resampled to the scaled size.
    for (const UINT dpi : {108u, 120u, 168u, 240u})
    {
        const DisplayScale scale(dpi);
        const HBITMAP bitmap = LoadScaledPicture(instance, 163, scale, SIZE{118, 61});
        ASSERT_NE(bitmap, nullptr) << dpi;
        EXPECT_EQ(BitmapSize(bitmap).cx, scale(118)) << dpi;
        EXPECT_EQ(BitmapSize(bitmap).cy, scale(61)) << dpi;
        DeleteObject(bitmap);
    }
    // At 96 DPI it is the design picture itself, pixel for pixel.
    const HBITMAP design = LoadPngBitmap(instance, 181);
    const HBITMAP loaded = LoadScaledPicture(instance, 181, DisplayScale(), SIZE{532, 558});
    EXPECT_TRUE(WindowPicture::FromBitmap(loaded).SameArea({0, 0, 532, 558},
                                                           WindowPicture::FromBitmap(design)));
    DeleteObject(design);
    DeleteObject(loaded);
    // A number with no picture in any set gives none.
    EXPECT_EQ(LoadScaledPicture(instance, 999, DisplayScale(192), SIZE{10, 10}), nullptr);
}

TEST(PngBitmap, MissingResourcesGiveNoBitmap)
{
    // 107 exists, but as an icon, not a "PNG" resource.
    for (int id : {0, 107, 147, 182, 999})
        EXPECT_EQ(LoadPngBitmap(GetModuleHandleW(nullptr), id), nullptr) << id;
}

TEST(PngBitmap, PicturesAreOpaqueAndTheFacesDiffer)
{
    const auto load = [](int id)
    {
        const HBITMAP bitmap = LoadPngBitmap(GetModuleHandleW(nullptr), id);
        WindowPicture picture = WindowPicture::FromBitmap(bitmap);
        DeleteObject(bitmap);
        return picture;
    };
    const WindowPicture normal = load(157);
    const WindowPicture hover = load(167);
    const WindowPicture pressed = load(158);
    const RECT middle{30, 8, 80, 20};
    EXPECT_FALSE(normal.SameArea(middle, hover));
    EXPECT_FALSE(hover.SameArea(middle, pressed));
    // Blue face, orange faces: the colour's balance shows it at a caption-free spot.
    const COLORREF blue = normal.At(4, 20);
    const COLORREF orange = hover.At(4, 20);
    EXPECT_GT(GetBValue(blue), GetRValue(blue));
    EXPECT_GT(GetRValue(orange), GetBValue(orange));
}

namespace
{
// A plain parent window of the test's own, on the test thread.
class ButtonParent : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        parent_ =
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 532,
                            558, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(parent_);
        SetCurrentLanguage(previousLanguage_);
    }

    HWND parent_ = nullptr;
    std::wstring previousLanguage_ = CurrentLanguage();
};

bool SameIds(const ButtonFaceIds& a, const ButtonFaceIds& b)
{
    return a.normal == b.normal && a.hover == b.hover && a.pressed == b.pressed;
}

// A member of the button family whose action only counts, to watch the
// window's click dispatch.
class CountingButton : public ButtonBase
{
  public:
    explicit CountingButton(HWND parent)
        : ButtonBase(parent, 10, 10, 113, 27, L"COUNT"),
          pictures(ParentInstance(), FaceIdsForLanguage(kExitArtwork))
    {
    }
    void OnClick() override { ++clicks; }
    HBITMAP GetNormalBitmap() override { return pictures.normal; }
    HBITMAP GetHoverBitmap() override { return pictures.hover; }
    HBITMAP GetPressedBitmap() override { return pictures.pressed; }
    int GetWidth() override { return 113; }
    int GetHeight() override { return 27; }

    int clicks = 0;
    ButtonPictures pictures;
};
} // namespace

TEST_F(ButtonParent, LanguagePicksThePictureSetAndTheSpokenCaption)
{
    SetCurrentLanguage(L"ja");
    {
        StartButton start(parent_);
        ExitButton exit(parent_);
        EXPECT_TRUE(SameIds(start.Pictures().ids, {178, 180, 179}));
        EXPECT_TRUE(SameIds(exit.Pictures().ids, {169, 171, 170}));
        EXPECT_EQ(WindowTextOf(start.Window()), L"ゲーム開始");
        EXPECT_EQ(WindowTextOf(exit.Window()), L"終了");
        EXPECT_NE(start.GetNormalBitmap(), nullptr);
        EXPECT_NE(start.GetHoverBitmap(), nullptr);
        EXPECT_NE(start.GetPressedBitmap(), nullptr);
    }
    SetCurrentLanguage(L"en");
    {
        StartButton start(parent_);
        ExitButton exit(parent_);
        EXPECT_TRUE(SameIds(start.Pictures().ids, {163, 161, 162}));
        EXPECT_TRUE(SameIds(exit.Pictures().ids, {166, 164, 165}));
        EXPECT_EQ(WindowTextOf(start.Window()), L"GAME START");
        EXPECT_EQ(WindowTextOf(exit.Window()), L"EXIT");
    }
}

TEST_F(ButtonParent, ButtonsArePlacedAtTheirSpotsAndRegisteredForTheirLife)
{
    const size_t before = buttonRegistry.size();
    HWND startWindow = nullptr;
    {
        StartButton start(parent_);
        ExitButton exit(parent_);
        startWindow = start.Window();
        EXPECT_EQ(FindButton(start.Window()), &start);
        EXPECT_EQ(FindButton(exit.Window()), &exit);
        EXPECT_EQ(buttonRegistry.size(), before + 2);

        RECT rect{};
        GetWindowRect(start.Window(), &rect);
        MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 396);
        EXPECT_EQ(rect.top, 395);
        EXPECT_EQ(rect.right - rect.left, 118);
        EXPECT_EQ(rect.bottom - rect.top, 61);
        GetWindowRect(exit.Window(), &rect);
        MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 271);
        EXPECT_EQ(rect.top, 429);
        EXPECT_EQ(GetWindowLongPtrW(exit.Window(), GWL_STYLE) & 0x50000080, 0x50000080);

        exit.Hide();
        EXPECT_FALSE(IsWindowVisible(exit.Window()));
        exit.Show();
        EXPECT_TRUE(IsWindowVisible(exit.Window()));
    }
    EXPECT_EQ(buttonRegistry.size(), before);
    EXPECT_EQ(FindButton(startWindow), nullptr);
    EXPECT_FALSE(IsWindow(startWindow));
}

TEST_F(ButtonParent, PressedLastsThroughACaptureChangeAndHoverEndsWithMouseLeave)
{
    CountingButton button(parent_);
    const HWND window = button.Window();
    RECT rect{};
    GetWindowRect(window, &rect);
    SetCursorPos(rect.left + 20, rect.top + 10);

    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    EXPECT_TRUE(button.Hovered());
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_TRUE(button.Pressed());

    SendMessageW(window, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(parent_));
    EXPECT_TRUE(button.Pressed());
    // The pressed face is what the button shows meanwhile.
    WindowPicture shown = WindowPicture::Capture(parent_);
    EXPECT_TRUE(shown.SameArea({10, 10, 123, 37},
                               WindowPicture::FromBitmap(button.pictures.pressed), -10, -10));

    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(300, 300));
    EXPECT_FALSE(button.Pressed());
    EXPECT_TRUE(button.Hovered());
    shown = WindowPicture::Capture(parent_);
    EXPECT_TRUE(shown.SameArea({10, 10, 123, 37}, WindowPicture::FromBitmap(button.pictures.hover),
                               -10, -10));

    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(button.Hovered());
    shown = WindowPicture::Capture(parent_);
    EXPECT_TRUE(shown.SameArea({10, 10, 123, 37}, WindowPicture::FromBitmap(button.pictures.normal),
                               -10, -10));
}

TEST_F(ButtonParent, AButtonWithoutAWindowIgnoresHideAndShow)
{
    const size_t before = buttonRegistry.size();
    const HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(gone);
    CountingButton orphan(gone);
    EXPECT_EQ(orphan.Window(), nullptr);
    orphan.Hide();
    orphan.Show();
    EXPECT_EQ(buttonRegistry.size(), before);
}

namespace
{
class ButtonClicks : public LauncherWindowTest
{
};
} // namespace

TEST_F(ButtonClicks, OnlyARegisteredButtonsClickNotificationRunsItsAction)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    auto counting = std::make_unique<CountingButton>(window);
    const HWND countingWindow = counting->Window();

    // A real press and release over the button: the standard button reports
    // the click to the launcher window, which runs the action.
    PostMessageW(countingWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    PostMessageW(countingWindow, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    EXPECT_TRUE(PumpUntil([&] { return counting->clicks == 1; }, 5000));

    // Other notifications of the same button run nothing.
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_DOUBLECLICKED),
                 reinterpret_cast<LPARAM>(countingWindow));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_SETFOCUS),
                 reinterpret_cast<LPARAM>(countingWindow));
    EXPECT_EQ(counting->clicks, 1);

    // A button window nobody registered runs nothing either.
    const HWND stranger = CreateWindowExW(0, L"BUTTON", L"stranger", WS_CHILD, 0, 0, 10, 10, window,
                                          nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(stranger));
    DestroyWindow(stranger);
    EXPECT_EQ(counting->clicks, 1);

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(countingWindow));
    EXPECT_EQ(counting->clicks, 2);

    // Once destroyed, its old handle is a stranger too.
    counting.reset();
    EXPECT_EQ(FindButton(countingWindow), nullptr);
    EXPECT_FALSE(IsWindow(countingWindow));
}

TEST_F(ButtonClicks, CheckFilesAsksTheUpdateThreadForAnotherPass)
{
    LauncherDialog& dialog = Open();
    dialog.ShowButtons();
    const HWND check = dialog.GetCheckFilesButton()->Window();
    EXPECT_TRUE(SameIds(dialog.GetCheckFilesButton()->Pictures().ids, {157, 167, 158}));
    EXPECT_EQ(WindowTextOf(check), L"CHECK FILES");
    ASSERT_TRUE(IsWindowVisible(check));

    PostMessageW(check, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    PostMessageW(check, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    // The pass starts by hiding the buttons (through the window thread).
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(check); }, 30000));
    EXPECT_TRUE(IsWindowVisible(dialog.GetExitButton()->Window()));
}

TEST_F(ButtonClicks, JapaneseCheckFilesAndOptionLoadTheirJapaneseNumbers)
{
    LauncherDialog& dialog = Open(L"ja");
    EXPECT_TRUE(SameIds(dialog.GetCheckFilesButton()->Pictures().ids, {172, 174, 173}));
    EXPECT_TRUE(SameIds(dialog.GetSettingsButton()->Pictures().ids, {175, 177, 176}));
    EXPECT_EQ(WindowTextOf(dialog.GetCheckFilesButton()->Window()), L"ファイルを検証");
    EXPECT_EQ(WindowTextOf(dialog.GetSettingsButton()->Window()), L"設定");
}
