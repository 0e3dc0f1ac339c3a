#include "support/ScreenPicture.h"

// The lean Windows headers leave out the property types GDI+ refers to, so
// they must come first.
// clang-format off
#include <objidl.h>
#include <propidl.h>
#include <gdiplus.h>
// clang-format on

namespace
{
// The PNG encoder's class id, as GDI+ lists it among its image encoders.
const CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

class GdiplusSession
{
  public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (ok_)
            Gdiplus::GdiplusShutdown(token_);
    }
    bool Ok() const { return ok_; }

  private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};
} // namespace

ScreenPicture CaptureWindow(HWND window)
{
    ScreenPicture picture;
    RECT frame{};
    if (!GetWindowRect(window, &frame))
        return picture;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits)
    {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        // What the screen shows there: the window is on top under the test display.
        if (BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY))
        {
            GdiFlush();
            const auto* pixels = static_cast<const uint32_t*>(bits);
            picture.width = width;
            picture.height = height;
            picture.pixels.reserve(static_cast<size_t>(width) * height);
            for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i)
                picture.pixels.push_back(pixels[i] & 0x00FFFFFF);
        }
        SelectObject(memory, previous);
    }
    if (bitmap)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

RECT AreaOfChild(HWND window, HWND child)
{
    RECT frame{};
    RECT area{};
    GetWindowRect(window, &frame);
    GetWindowRect(child, &area);
    OffsetRect(&area, -frame.left, -frame.top);
    return area;
}

bool SavePng(const ScreenPicture& picture, const std::filesystem::path& file)
{
    if (picture.pixels.empty())
        return false;
    GdiplusSession session;
    if (!session.Ok())
        return false;
    std::vector<uint32_t> pixels = picture.pixels;
    Gdiplus::Bitmap bitmap(picture.width, picture.height, picture.width * 4, PixelFormat32bppRGB,
                           reinterpret_cast<BYTE*>(pixels.data()));
    return bitmap.Save(file.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}
