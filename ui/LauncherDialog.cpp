#include "ui/LauncherDialog.h"

#include "app/TextFit.h"
#include "settings/Localization.h"
#include "ui/CheckFilesButton.h"
#include "ui/ExitButton.h"
#include "ui/PngBitmap.h"
#include "ui/SettingsButton.h"
#include "ui/StartButton.h"
#include "ui/WebBrowser.h"
#include "update/UpdateManager.h"

#include <filesystem>
#include <optional>
#include <spdlog/spdlog.h>
#include <stdexcept>

namespace
{
constexpr wchar_t kWindowClass[] = L"GALDERVINLAUNCHER";
constexpr wchar_t kMessageBoxTitle[] = L"Norvik Launcher";
constexpr int kIconResource = 107;
constexpr int kEnglishBackground = 181;
constexpr int kJapaneseBackground = 168;
constexpr int kWindowWidth = 538;
constexpr int kWindowHeight = 564;
constexpr int kClientWidth = 532;
constexpr int kClientHeight = 558;

constexpr RECT kUpperBarRegion{22, 397, 383, 402};
constexpr RECT kLowerBarRegion{22, 410, 383, 419};
constexpr RECT kVersionRect{407, 8, 527, 24};
constexpr RECT kStatusRect{19, 375, 444, 390};
constexpr RECT kAdapterRect{210, 487, 510, 517};
constexpr RECT kSpeedRect{390, 375, 510, 390};
constexpr RECT kLinkRect{15, 3, 144, 23};
constexpr RECT kLinkTextRect{19, 3, 140, 23};
// The link's text keeps clear of its rounded border.
constexpr SIZE kLinkTextRoom{kLinkTextRect.right - kLinkTextRect.left - 4,
                             kLinkTextRect.bottom - kLinkTextRect.top};
constexpr UINT kLinkFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
constexpr RECT kBrowserRect{13, 26, 519, 372};

constexpr UINT kWrapEllipsis = DT_WORDBREAK | DT_END_ELLIPSIS;
constexpr UINT kRightEllipsis = DT_RIGHT | DT_END_ELLIPSIS;
constexpr COLORREF kShadowColour = 0x22020201;
constexpr COLORREF kUpperBarColour = RGB(235, 242, 254);
constexpr COLORREF kLowerBarColour = RGB(133, 242, 254);
constexpr COLORREF kLinkColour = RGB(60, 110, 180);
constexpr COLORREF kLinkFill = RGB(220, 240, 255);
constexpr COLORREF kLinkHoverFill = RGB(200, 230, 250);
// Shown where no background picture could be made.
constexpr COLORREF kPlainBackground = RGB(24, 32, 48);

// The window procedure reaches the live dialog only through this pointer.
LauncherDialog* currentDialog = nullptr;

struct RegionFlag
{
    uint8_t flag;
    RECT region;
};
constexpr RegionFlag kRegions[] = {
    {kInvalidateUpperBar, kUpperBarRegion}, {kInvalidateLowerBar, kLowerBarRegion},
    {kInvalidateVersionText, kVersionRect}, {kInvalidateStatusText, kStatusRect},
    {kInvalidateAdapterText, kAdapterRect}, {kInvalidateSpeedText, kSpeedRect},
    {kInvalidateSettingsLink, kLinkRect},
};

HFONT MakeFont(int weight, const std::wstring& face, const DisplayScale& scale)
{
    return CreateFontW(-scale(12), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_STRING_PRECIS, CLIP_STROKE_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_SWISS, face.c_str());
}

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

SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

SIZE WindowSize(HWND window)
{
    RECT outer{};
    GetWindowRect(window, &outer);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

POINT PointFromLParam(LPARAM lParam)
{
    // Unsigned 16-bit halves, as the window reports them.
    return POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
}
} // namespace

int ProgressBarRight(double fraction, const DisplayScale& scale)
{
    const int right = static_cast<int>(fraction * scale(383));
    return right < scale(22) ? scale(22) : right;
}

LauncherDialog::LauncherDialog(HINSTANCE instance)
{
    currentDialog = this;
    this->instance = instance;
    messagePasser = new msg::MessagePasser;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &LauncherDialog::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    // A second window life registers again; the failure is harmless.
    RegisterClassExW(&windowClass);

    // Made at the screen's scale; WM_CREATE learns the window's own.
    const DisplayScale screen(ScreenDpi());
    const HWND window = CreateWindowExW(
        WS_EX_APPWINDOW | WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME,
        kWindowClass, LookupText(CurrentLanguage(), "title").c_str(),
        WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, screen(kWindowWidth),
        screen(kWindowHeight), nullptr, nullptr, instance, nullptr);
    if (!window)
    {
        // Nothing may go on using this half-made life once the error is out.
        currentDialog = nullptr;
        ReleaseGdiObjects();
        delete messagePasser;
        messagePasser = nullptr;
        throw std::runtime_error(createFailure.empty() ? "Could not initialize window instance."
                                                       : createFailure);
    }
    windowMade = true;
    // The update thread reports to the window from its first step, so it
    // starts only once there is one.
    manager = new UpdateManager(this);

    FitWindowToScale(nullptr);
    const SIZE client = ClientSize(window);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - client.cx) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - client.cy) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

LauncherDialog::~LauncherDialog()
{
    if (currentDialog == this)
        currentDialog = nullptr;
    if (const HWND window = hwnd.load())
        CloseWindow(window);
    // The buttons go with their window life; a restart makes new ones.
    exitButton.reset();
    startButton.reset();
    checkFilesButton.reset();
    settingsButton.reset();
    ReleaseGdiObjects();
}

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

HWND LauncherDialog::GetHwnd()
{
    return hwnd;
}

msg::MessagePasser* LauncherDialog::GetMessagePasser()
{
    return messagePasser;
}

void LauncherDialog::HideButtons()
{
    SetButtonsVisible(false);
    linkHovered = false;
    linkVisible = false;
    Invalidate(kInvalidateSettingsLink);
}

void LauncherDialog::ShowButtons()
{
    SetButtonsVisible(true);
}

void LauncherDialog::SetButtonsVisible(bool visible)
{
    buttonsWanted = visible;
    windowCalls.Run(
        [this, visible]
        {
            for (ButtonBase* button : {static_cast<ButtonBase*>(startButton.get()),
                                       static_cast<ButtonBase*>(checkFilesButton.get()),
                                       static_cast<ButtonBase*>(settingsButton.get())})
            {
                if (!button)
                    continue;
                if (visible)
                    button->Show();
                else
                    button->Hide();
            }
        });
}

void LauncherDialog::ShowSettingsLink()
{
    linkVisible = true;
    Invalidate(kInvalidateSettingsLink);
}

void LauncherDialog::Invalidate(uint8_t flags)
{
    const HWND window = hwnd;
    if (!window)
        return;
    if (flags == 0)
    {
        InvalidateRect(window, nullptr, TRUE);
        return;
    }
    const DisplayScale scale = Scale();
    for (const RegionFlag& entry : kRegions)
    {
        if (!(flags & entry.flag))
            continue;
        const RECT region = scale(entry.region);
        InvalidateRect(window, &region, TRUE);
    }
}

void LauncherDialog::SetNoticeUrl(const std::wstring& url)
{
    {
        std::lock_guard lock(noticeUrlMutex);
        noticeUrl = url;
    }
    windowCalls.Run([this, url] { NavigateNewsBrowser(url); });
}

std::wstring LauncherDialog::NoticeUrl()
{
    std::lock_guard lock(noticeUrlMutex);
    return noticeUrl;
}

int LauncherDialog::ShowMessage(const std::wstring& text)
{
    int result = 0;
    const bool shown = windowCalls.RunAndWait(
        [&] { result = MessageBoxW(hwnd, text.c_str(), kMessageBoxTitle, MB_OK); });
    // No window to own it (not made yet, or already gone): the user still
    // has to see the message.
    if (!shown)
        result = MessageBoxW(nullptr, text.c_str(), kMessageBoxTitle, MB_OK);
    return result;
}

LauncherDialog* LauncherDialog::Current()
{
    return currentDialog;
}

LRESULT CALLBACK LauncherDialog::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!currentDialog)
        return 0;
    return currentDialog->HandleMessage(window, message, wParam, lParam);
}

LRESULT LauncherDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (windowCalls.Dispatch(message))
        return 1;
    switch (message)
    {
    case WM_CREATE:
        hwnd = window;
        // An exception must not unwind through the system's frames; it is
        // carried out of CreateWindowExW instead, which fails on -1.
        try
        {
            OnCreate();
        }
        catch (const std::exception& failure)
        {
            createFailure = failure.what();
            return -1;
        }
        return 1;
    case WM_DESTROY:
        // Calls still queued for this window had only its objects to act on.
        windowCalls.Detach();
        if (browser)
            browser->Close();
        browser = nullptr;
        // A window whose creation failed leaves no quit behind: it would
        // close the box that reports the failure at once.
        if (!restartRequested && windowMade)
            PostQuitMessage(0);
        return 1;
    case WM_PAINT:
        OnPaint();
        return 1;
    case WM_CLOSE:
        DestroyWindow(window);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 1;
    case WM_SETCURSOR:
        // The class cursor would replace the hand on every move over the link.
        if (OnSetCursor(lParam))
            return TRUE;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_MOUSEMOVE:
        OnMouseMove(lParam);
        return 1;
    case WM_LBUTTONDOWN:
        OnLeftButtonDown(lParam);
        return 1;
    case WM_LBUTTONUP:
        OnLeftButtonUp();
        return 1;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case kQuitDoneMessage:
        DestroyWindow(window);
        PostQuitMessage(static_cast<int>(kRestartExitCode));
        return 1;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void LauncherDialog::OnCreate()
{
    dpi = WindowDpi(hwnd);
    upperBarBrush = CreateSolidBrush(kUpperBarColour);
    lowerBarBrush = CreateSolidBrush(kLowerBarColour);
    MakeScaledObjects();
    windowCalls.Attach(hwnd);
    CreateButtons();
    CreateNewsBrowser();
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

void LauncherDialog::CreateButtons()
{
    startButton = std::make_unique<StartButton>(hwnd.load());
    startButton->Hide();
    exitButton = std::make_unique<ExitButton>(hwnd.load());
    exitButton->Show();
    checkFilesButton = std::make_unique<CheckFilesButton>(this);
    checkFilesButton->Hide();
    settingsButton = std::make_unique<SettingsButton>(this);
    settingsButton->Hide();
    // The update thread may have asked for them before they existed.
    if (buttonsWanted)
        SetButtonsVisible(true);
}

void LauncherDialog::CreateNewsBrowser()
{
    // The working directory is the launcher's folder (start-up makes it so).
    std::error_code error;
    if (std::filesystem::exists(L"./.nobrowser", error))
        return;
    browser = WebBrowser::Open(hwnd, Scale()(kBrowserRect), NoticeUrl());
    browserCreated = true;
}

void LauncherDialog::NavigateNewsBrowser(const std::wstring& url)
{
    if (!browserCreated || !browser)
        return;
    browser->Navigate(url);
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

void LauncherDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) != BN_CLICKED)
        return;
    if (ButtonBase* button = FindButton(reinterpret_cast<HWND>(lParam)))
        button->OnClick();
}

bool LauncherDialog::OnSetCursor(LPARAM lParam)
{
    if (LOWORD(lParam) != HTCLIENT || !linkHovered)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

void LauncherDialog::OnMouseMove(LPARAM lParam)
{
    const POINT point = PointFromLParam(lParam);
    const RECT link = Scale()(kLinkRect);
    const bool hovered = linkVisible && PtInRect(&link, point);
    if (hovered != linkHovered)
    {
        linkHovered = hovered;
        SetCursor(LoadCursorW(nullptr, hovered ? IDC_HAND : IDC_ARROW));
        Invalidate(kInvalidateSettingsLink);
    }
    if (dragging)
    {
        POINT cursor{};
        GetCursorPos(&cursor);
        const SIZE size = WindowSize(hwnd);
        MoveWindow(hwnd, cursor.x - dragOffset.x, cursor.y - dragOffset.y, size.cx, size.cy, FALSE);
    }
}

void LauncherDialog::OnLeftButtonDown(LPARAM lParam)
{
    const POINT point = PointFromLParam(lParam);
    const RECT link = Scale()(kLinkRect);
    if (linkVisible && PtInRect(&link, point))
    {
        restartRequested = true;
        messagePasser->Post(Message{Quit, 0});
        return;
    }
    dragging = true;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT window{};
    GetWindowRect(hwnd, &window);
    dragOffset = POINT{cursor.x - window.left, cursor.y - window.top};
    SetCapture(hwnd);
}

void LauncherDialog::OnLeftButtonUp()
{
    dragging = false;
    ReleaseCapture();
}
