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

#include <atomic>
#include <thread>

TEST(ProgressBar, RightEdgeIsTruncatedFractionOf383RaisedTo22)
{
    EXPECT_EQ(ProgressBarRight(0.05), 22);
    EXPECT_EQ(ProgressBarRight(0.5), 191);
    EXPECT_EQ(ProgressBarRight(1.0), 383);
    EXPECT_EQ(ProgressBarRight(0.999), 382);
    // Not clamped above a full bar.
    EXPECT_EQ(ProgressBarRight(1.5), 574);
}

namespace
{
class DialogRegions : public LauncherWindowTest
{
  protected:
    // The region left to paint after `flags`, from a fully painted window.
    HRGN RegionAfter(LauncherDialog& dialog, uint8_t flags)
    {
        const HWND window = dialog.GetHwnd();
        UpdateWindow(window);
        ValidateRect(window, nullptr);
        dialog.Invalidate(flags);
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(window, region, FALSE);
        return region;
    }

    static HRGN Union(std::initializer_list<RECT> rects)
    {
        HRGN all = CreateRectRgn(0, 0, 0, 0);
        for (const RECT& rect : rects)
        {
            HRGN part = CreateRectRgnIndirect(&rect);
            CombineRgn(all, all, part, RGN_OR);
            DeleteObject(part);
        }
        return all;
    }
};

bool SameRegion(HRGN a, HRGN b)
{
    const bool same = EqualRgn(a, b);
    DeleteObject(a);
    DeleteObject(b);
    return same;
}

// A window of the test's own that must not be touched by a dialog that has
// no window yet (InvalidateRect with a null window repaints every window).
class Bystander
{
  public:
    Bystander()
    {
        window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        UpdateWindow(window_);
        ValidateRect(window_, nullptr);
    }
    ~Bystander() { DestroyWindow(window_); }
    bool Invalidated() const { return GetUpdateRect(window_, nullptr, FALSE) != FALSE; }

  private:
    HWND window_ = nullptr;
};

// What the update thread would call before the window exists, called from a
// hook that runs inside the constructor just before the window is made.
struct EarlyCalls
{
    bool ran = false;
    HWND hwndSeen = reinterpret_cast<HWND>(1);
    bool bystanderTouched = false;
    Bystander* bystander = nullptr;
};
EarlyCalls* earlyCalls = nullptr;

LRESULT CALLBACK BeforeWindowHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && earlyCalls && !earlyCalls->ran)
    {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        const bool launcher = !IS_INTRESOURCE(create->lpcs->lpszClass) &&
                              std::wstring(create->lpcs->lpszClass) == L"GALDERVINLAUNCHER";
        if (LauncherDialog* dialog = LauncherDialog::Current(); launcher && dialog)
        {
            earlyCalls->ran = true;
            earlyCalls->hwndSeen = dialog->GetHwnd();
            dialog->Invalidate(0);
            dialog->Invalidate(0x7F);
            dialog->HideButtons();
            dialog->ShowButtons();
            dialog->SetNoticeUrl(L"https://news.example.test/early");
            earlyCalls->bystanderTouched = earlyCalls->bystander->Invalidated();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST_F(DialogRegions, ZeroInvalidatesTheWholeClientArea)
{
    LauncherDialog& dialog = Open();
    EXPECT_TRUE(SameRegion(RegionAfter(dialog, 0), Union({{0, 0, 532, 558}})));
}

TEST_F(DialogRegions, FlagsInvalidateTheirOwnRectangles)
{
    LauncherDialog& dialog = Open();
    EXPECT_TRUE(SameRegion(RegionAfter(dialog, 0x2B), Union({{19, 375, 444, 390},
                                                             {390, 375, 510, 390},
                                                             {22, 397, 383, 402},
                                                             {22, 410, 383, 419}})));
    EXPECT_TRUE(SameRegion(RegionAfter(dialog, kInvalidateVersionText | kInvalidateSettingsLink),
                           Union({{407, 8, 527, 24}, {15, 3, 144, 23}})));
    EXPECT_TRUE(
        SameRegion(RegionAfter(dialog, kInvalidateAdapterText), Union({{210, 487, 510, 517}})));
    // 0x80 names no region.
    EXPECT_TRUE(SameRegion(RegionAfter(dialog, 0x80), Union({})));
}

TEST_F(DialogRegions, CallsBeforeTheWindowExistsTouchNothingAndButtonRequestsAreKept)
{
    Bystander bystander;
    EarlyCalls calls;
    calls.bystander = &bystander;
    earlyCalls = &calls;
    const HHOOK hook = SetWindowsHookExW(WH_CBT, &BeforeWindowHook, nullptr, GetCurrentThreadId());
    LauncherDialog& dialog = Open();
    UnhookWindowsHookEx(hook);
    earlyCalls = nullptr;

    ASSERT_TRUE(calls.ran);
    EXPECT_EQ(calls.hwndSeen, nullptr);
    EXPECT_FALSE(calls.bystanderTouched);
    EXPECT_EQ(dialog.NoticeUrl(), L"https://news.example.test/early");
    // The last request before the buttons existed was to show them.
    EXPECT_TRUE(IsWindowVisible(dialog.GetStartButton()->Window()));
    EXPECT_TRUE(IsWindowVisible(dialog.GetCheckFilesButton()->Window()));
    EXPECT_TRUE(IsWindowVisible(dialog.GetSettingsButton()->Window()));
}

TEST_F(DialogRegions, WindowIsAFixedPictureWindowWithItsIconAndLocalizedTitle)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 532);
    EXPECT_EQ(client.bottom, 558);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 538);
    EXPECT_EQ(outer.bottom - outer.top, 564);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Norvik Patcher");
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & 0x86000000u, 0x86000000u);
}

namespace
{
class SettingsLink : public LauncherWindowTest
{
};

constexpr LPARAM kOnLink = MAKELPARAM(20, 10);
} // namespace

TEST_F(SettingsLink, PressWhileHiddenStartsADragAndMovesTheWindow)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    dialog.HideButtons();
    ASSERT_FALSE(dialog.LinkVisible());

    RECT before{};
    GetWindowRect(window, &before);
    SetCursorPos(before.left + 23, before.top + 13);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, kOnLink);
    EXPECT_FALSE(dialog.RestartRequested());
    EXPECT_TRUE(dialog.Dragging());
    EXPECT_EQ(GetCapture(), window);

    SetCursorPos(before.left + 23 + 40, before.top + 13 + 25);
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 35));
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left - before.left, 40);
    EXPECT_EQ(after.top - before.top, 25);
    EXPECT_EQ(after.right - after.left, 538);

    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(60, 35));
    EXPECT_FALSE(dialog.Dragging());
    EXPECT_NE(GetCapture(), window);
}

TEST_F(SettingsLink, ClickWhileVisibleAsksToQuitAndTheWindowWaitsForTheAnswer)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    dialog.ShowSettingsLink();

    // A press elsewhere on the background is still a drag.
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 470));
    EXPECT_TRUE(dialog.Dragging());
    EXPECT_FALSE(dialog.RestartRequested());
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(300, 470));

    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, kOnLink);
    EXPECT_TRUE(dialog.RestartRequested());
    EXPECT_FALSE(dialog.Dragging());
    EXPECT_TRUE(IsWindow(window));
    // Only the update thread's WM_USER + 1 ends the life, with code 100.
    EXPECT_EQ(PumpUntilQuit(30000), kRestartExitCode);
    EXPECT_FALSE(IsWindow(window));
    dialog.Manager()->updateThread.join();
    EXPECT_TRUE(dialog.Manager()->stopRequested);
}

TEST_F(SettingsLink, HoverRepaintsOnceAndShowsTheHandCursor)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    dialog.ShowSettingsLink();
    UpdateWindow(window);

    SendMessageW(window, WM_MOUSEMOVE, 0, kOnLink);
    EXPECT_TRUE(dialog.LinkHovered());
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    RECT pending{};
    EXPECT_TRUE(GetUpdateRect(window, &pending, FALSE));
    EXPECT_EQ(pending.left, 15);
    EXPECT_EQ(pending.bottom, 23);
    UpdateWindow(window);

    // Moving within the link repaints nothing further.
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(100, 12));
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    // The class cursor must not take the hand away while over the link.
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));

    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(300, 300));
    EXPECT_FALSE(dialog.LinkHovered());
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));

    // A hidden link is never hovered.
    dialog.HideButtons();
    SendMessageW(window, WM_MOUSEMOVE, 0, kOnLink);
    EXPECT_FALSE(dialog.LinkHovered());
}

namespace
{
class WindowLives : public LauncherWindowTest
{
};
} // namespace

TEST_F(WindowLives, OnlyTheUpdateThreadsAnswerDestroysTheWindow)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    // Messages the window ignores or handles without ending.
    SendMessageW(window, WM_ERASEBKGND, 0, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), 0);
    EXPECT_TRUE(IsWindow(window));

    PostMessageW(window, kQuitDoneMessage, 0, 0);
    EXPECT_EQ(PumpUntilQuit(), kRestartExitCode);
    EXPECT_FALSE(IsWindow(window));
}

// Stands in for the launcher's window class so that a window's creation fails
// after the window's own WM_CREATE handling has run.
LRESULT CALLBACK RefusingCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = LauncherDialog::WindowProc(window, message, wParam, lParam);
    if (message == WM_CREATE)
        return -1;
    return message == WM_NCCREATE ? DefWindowProcW(window, message, wParam, lParam) : result;
}

TEST_F(WindowLives, AWindowThatCannotBeMadeStartsNoUpdateAndLeavesNoQuitBehind)
{
    wchar_t className[64] = {};
    GetClassNameW(Open().GetHwnd(), className, 64);
    Close();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(UnregisterClassW(className, instance));
    WNDCLASSEXW refusing{};
    refusing.cbSize = sizeof(refusing);
    refusing.lpfnWndProc = &RefusingCreate;
    refusing.hInstance = instance;
    refusing.lpszClassName = className;
    ASSERT_NE(RegisterClassExW(&refusing), 0);

    EXPECT_THROW(LauncherDialog failed(instance), std::runtime_error);
    EXPECT_EQ(LauncherDialog::Current(), nullptr);
    // A quit in the queue would close the box that reports the failure.
    MSG message{};
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // An update thread would have prepared its transport by now, for a
    // window object that no longer exists.
    const int transportsBefore = log_.Count("HTTP backend initialized: libcurl");
    Sleep(2000);
    EXPECT_EQ(log_.Count("HTTP backend initialized: libcurl"), transportsBefore) << log_.Text();

    // The next life registers the real class again and is whole.
    ASSERT_TRUE(UnregisterClassW(className, instance));
    EXPECT_TRUE(IsWindowVisible(Open().GetHwnd()));
}

TEST_F(WindowLives, PlainCloseEndsWithCodeZero)
{
    LauncherDialog& dialog = Open();
    PostMessageW(dialog.GetHwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(PumpUntilQuit(), 0u);
}

TEST_F(WindowLives, ASecondLifeRegistersTheClassAgainAndIsTheOneServed)
{
    LauncherDialog& first = Open();
    const HWND firstWindow = first.GetHwnd();
    first.ShowSettingsLink();
    SendMessageW(firstWindow, WM_LBUTTONDOWN, MK_LBUTTON, kOnLink);
    ASSERT_EQ(PumpUntilQuit(30000), kRestartExitCode);

    LauncherDialog& second = Open();
    EXPECT_EQ(LauncherDialog::Current(), &second);
    const HWND secondWindow = second.GetHwnd();
    ASSERT_NE(secondWindow, nullptr);
    EXPECT_NE(secondWindow, firstWindow);
    EXPECT_TRUE(IsWindowVisible(secondWindow));
    // The new life's own state answers the window's messages.
    EXPECT_FALSE(second.RestartRequested());
    second.ShowSettingsLink();
    SendMessageW(secondWindow, WM_MOUSEMOVE, 0, kOnLink);
    EXPECT_TRUE(second.LinkHovered());
    // Its buttons are its own, registered afresh.
    EXPECT_EQ(FindButton(second.GetExitButton()->Window()), second.GetExitButton());
}

TEST_F(WindowLives, RequestsFromAnotherThreadRunOnTheWindowThreadInOrder)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    const HWND start = dialog.GetStartButton()->Window();
    dialog.HideButtons();
    ASSERT_FALSE(IsWindowVisible(start));

    std::atomic<bool> done{false};
    bool visibleAfterBox = false;
    int boxResult = 0;
    std::thread updateLike(
        [&]
        {
            dialog.ShowButtons();
            dialog.HideButtons();
            dialog.ShowButtons();
            dialog.SetNoticeUrl(L"https://news.example.test/today");
            // The box comes after the requests made before it.
            boxResult = dialog.ShowMessage(L"order check");
            visibleAfterBox = IsWindowVisible(start) != FALSE;
            done = true;
        });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 20000));
    updateLike.join();

    EXPECT_TRUE(visibleAfterBox);
    EXPECT_EQ(boxResult, IDOK);
    EXPECT_EQ(dialog.NoticeUrl(), L"https://news.example.test/today");
    const std::vector<AnsweredBox> boxes = answerer_.Boxes();
    ASSERT_FALSE(boxes.empty());
    const AnsweredBox& box = boxes.back();
    EXPECT_EQ(box.text, L"order check");
    EXPECT_EQ(box.title, L"Norvik Launcher");
    EXPECT_EQ(box.owner, window);
    EXPECT_EQ(box.thread, GetCurrentThreadId());
}

namespace
{
// Painted pixels against the background picture itself.
class WindowPainting : public LauncherWindowTest
{
  protected:
    static constexpr COLORREF kUpperFill = RGB(235, 242, 254);
    static constexpr COLORREF kLowerFill = RGB(133, 242, 254);

    void SetDisplay(LauncherDialog& dialog, double upper, double lower, const std::wstring& status,
                    const std::wstring& speed, const std::wstring& version)
    {
        UpdateManager& manager = *dialog.Manager();
        {
            std::lock_guard lock(manager.statusMutex);
            manager.upperProgress = upper;
            manager.lowerProgress = lower;
            manager.statusText = status;
            manager.speedText = speed;
            manager.versionText = version;
        }
        dialog.Invalidate(0);
    }

    WindowPicture Background(const std::wstring& language)
    {
        const HBITMAP bitmap =
            LoadPngBitmap(GetModuleHandleW(nullptr), language == L"ja" ? 168 : 181);
        WindowPicture picture = WindowPicture::FromBitmap(bitmap);
        DeleteObject(bitmap);
        return picture;
    }
};
} // namespace

TEST_F(WindowPainting, BarsEndAtTheTruncatedFractionAndStartNoEarlierThan22)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    const WindowPicture background = Background(L"en");

    struct Case
    {
        double fraction;
        int right;
    };
    for (const Case& bar : {Case{0.5, 191}, Case{1.0, 383}})
    {
        SetDisplay(dialog, bar.fraction, bar.fraction, L"", L"", L"");
        const WindowPicture shown = WindowPicture::Capture(window);
        for (int y : {397, 399, 401})
        {
            EXPECT_EQ(shown.At(22, y), kUpperFill) << bar.fraction;
            EXPECT_EQ(shown.At(bar.right - 1, y), kUpperFill) << bar.fraction;
            EXPECT_EQ(shown.At(bar.right, y), background.At(bar.right, y)) << bar.fraction;
        }
        for (int y : {410, 414, 418})
        {
            EXPECT_EQ(shown.At(bar.right - 1, y), kLowerFill) << bar.fraction;
            EXPECT_EQ(shown.At(bar.right, y), background.At(bar.right, y)) << bar.fraction;
        }
        // Nothing above or below the bars' own rows.
        EXPECT_EQ(shown.At(100, 396), background.At(100, 396));
        EXPECT_EQ(shown.At(100, 402), background.At(100, 402));
        EXPECT_EQ(shown.At(100, 419), background.At(100, 419));
    }

    // 0.05 x 383 is 19, raised to 22: an empty bar. 0 draws nothing either.
    for (double fraction : {0.05, 0.0})
    {
        SetDisplay(dialog, fraction, fraction, L"", L"", L"");
        const WindowPicture shown = WindowPicture::Capture(window);
        EXPECT_TRUE(shown.SameArea({20, 395, 386, 421}, background)) << fraction;
    }
}

TEST_F(WindowPainting, EmptySpeedTextDrawsNothingAndAShortStatusStaysLeft)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    const WindowPicture background = Background(L"en");
    // Right of the status rectangle (and its shadow), the speed text alone draws.
    const RECT speedOnly{446, 375, 512, 392};

    SetDisplay(dialog, 0, 0, L"Checking version...", L"", L"");
    WindowPicture shown = WindowPicture::Capture(window);
    EXPECT_TRUE(shown.SameArea(speedOnly, background));
    EXPECT_FALSE(shown.SameArea({19, 375, 200, 391}, background));

    SetDisplay(dialog, 0, 0, L"Checking version...", L"1.5 MB/s", L"");
    shown = WindowPicture::Capture(window);
    EXPECT_FALSE(shown.SameArea(speedOnly, background));

    // An empty version text leaves its corner as the picture has it.
    EXPECT_TRUE(shown.SameArea({407, 8, 528, 25}, background));
    SetDisplay(dialog, 0, 0, L"Checking version...", L"1.5 MB/s", L"Ver 1.0.7");
    shown = WindowPicture::Capture(window);
    EXPECT_FALSE(shown.SameArea({407, 8, 528, 25}, background));
}

TEST_F(WindowPainting, LinkBoxTakesItsHoverColourOnlyWhileVisible)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    const WindowPicture background = Background(L"en");
    const RECT linkBox{15, 3, 144, 23};

    dialog.HideButtons();
    WindowPicture shown = WindowPicture::Capture(window);
    EXPECT_TRUE(shown.SameArea(linkBox, background));

    dialog.ShowSettingsLink();
    shown = WindowPicture::Capture(window);
    EXPECT_EQ(shown.At(17, 13), RGB(220, 240, 255));
    EXPECT_EQ(shown.At(15, 13), RGB(255, 255, 255)); // the white outline

    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    shown = WindowPicture::Capture(window);
    EXPECT_EQ(shown.At(17, 13), RGB(200, 230, 250));
}

TEST_F(WindowPainting, ButtonsShowTheirFacesAndHiddenOnesLeaveTheInactivePicture)
{
    LauncherDialog& dialog = Open();
    const HWND window = dialog.GetHwnd();
    const WindowPicture background = Background(L"en");
    dialog.HideButtons();
    WindowPicture shown = WindowPicture::Capture(window);
    // Hidden: the background's own inactive picture; Exit is always up.
    EXPECT_TRUE(shown.SameArea({396, 395, 514, 456}, background));
    EXPECT_TRUE(shown.SameArea({22, 429, 135, 456}, background));
    const HBITMAP exitFace = LoadPngBitmap(GetModuleHandleW(nullptr), 166);
    EXPECT_TRUE(
        shown.SameArea({271, 429, 384, 456}, WindowPicture::FromBitmap(exitFace), -271, -429));
    DeleteObject(exitFace);

    dialog.ShowButtons();
    shown = WindowPicture::Capture(window);
    const HBITMAP startFace = LoadPngBitmap(GetModuleHandleW(nullptr), 163);
    EXPECT_TRUE(
        shown.SameArea({396, 395, 514, 456}, WindowPicture::FromBitmap(startFace), -396, -395));
    DeleteObject(startFace);
}

TEST_F(WindowPainting, EnglishSceneIsWrittenForPeopleAndShowsEveryState)
{
    LauncherDialog& dialog = Open(L"en");
    const WindowPicture shown =
        StageScene(dialog, {L"en", L"[12/40] 'data/char/hero_model.pak' (1536 KB/4096 KB)",
                            L"2.4 MB/s", L"Ver 1.0.7"});
    EXPECT_TRUE(shown.SavePng(TestOutputFolder() / "launcher-en.png"));

    EXPECT_TRUE(dialog.GetStartButton()->Pressed());
    EXPECT_TRUE(dialog.GetCheckFilesButton()->Hovered());
    EXPECT_TRUE(dialog.LinkHovered());
    EXPECT_EQ(shown.At(17, 13), RGB(200, 230, 250));
    EXPECT_EQ(shown.At(ProgressBarRight(0.62) - 1, 399), RGB(235, 242, 254));
    EXPECT_EQ(shown.At(ProgressBarRight(0.35) - 1, 414), RGB(133, 242, 254));

    const HBITMAP pressed = LoadPngBitmap(GetModuleHandleW(nullptr), 162);
    EXPECT_TRUE(
        shown.SameArea({396, 395, 514, 456}, WindowPicture::FromBitmap(pressed), -396, -395));
    DeleteObject(pressed);
    const HBITMAP hover = LoadPngBitmap(GetModuleHandleW(nullptr), 167);
    EXPECT_TRUE(shown.SameArea({22, 429, 135, 456}, WindowPicture::FromBitmap(hover), -22, -429));
    DeleteObject(hover);
    ReleaseOutside(dialog);
}

TEST_F(WindowPainting, JapaneseSceneIsWrittenForPeopleWithTheJapanesePictures)
{
    LauncherDialog& dialog = Open(L"ja");
    const WindowPicture shown =
        StageScene(dialog, {L"ja", L"[12/40] 「data/char/hero_model.pak」（1536 KB/4096 KB）",
                            L"2.4 MB/s", L"Ver 1.0.7"});
    EXPECT_TRUE(shown.SavePng(TestOutputFolder() / "launcher-ja.png"));

    const HBITMAP pressed = LoadPngBitmap(GetModuleHandleW(nullptr), 179);
    EXPECT_TRUE(
        shown.SameArea({396, 395, 514, 456}, WindowPicture::FromBitmap(pressed), -396, -395));
    DeleteObject(pressed);
    const HBITMAP hover = LoadPngBitmap(GetModuleHandleW(nullptr), 174);
    EXPECT_TRUE(shown.SameArea({22, 429, 135, 456}, WindowPicture::FromBitmap(hover), -22, -429));
    DeleteObject(hover);
    ReleaseOutside(dialog);

    // Hidden, the buttons leave the Japanese background's inactive pictures.
    dialog.HideButtons();
    const WindowPicture hidden = WindowPicture::Capture(dialog.GetHwnd());
    EXPECT_TRUE(hidden.SameArea({22, 429, 135, 456}, Background(L"ja")));
    EXPECT_FALSE(hidden.SameArea({22, 429, 135, 456}, Background(L"en")));
}

TEST_F(WindowPainting, TheLinkAndTheAdapterPanelFitTheirBoxesInBothLanguages)
{
    for (const wchar_t* language : {L"en", L"ja"})
    {
        SCOPED_TRACE(ToUtf8(language));
        LauncherDialog& dialog = Open(language);
        const HDC dc = CreateCompatibleDC(nullptr);
        for (const LauncherDialog::PlacedText& placed : dialog.BoxedTexts())
        {
            const SIZE box{placed.box.right - placed.box.left, placed.box.bottom - placed.box.top};
            const SIZE size = MeasureText(dc, placed.font, placed.text, box.cx, placed.format);
            EXPECT_TRUE(size.cx <= box.cx && size.cy <= box.cy)
                << ToUtf8(placed.text) << ": " << size.cx << "x" << size.cy << " in " << box.cx
                << "x" << box.cy;
        }
        DeleteDC(dc);
        dialog.Invalidate(0);
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(WindowPicture::Capture(dialog.GetHwnd())
                        .SavePng(TestOutputFolder() /
                                 (L"launcher-fit-" + std::wstring(language) + L".png")));
        Close();
    }
}
