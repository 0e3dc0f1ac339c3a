#include "support/WindowPicture.h"

#include "base/DisplayScale.h"

// GDI+'s headers need the OLE types declared before them.
// clang-format off
#include <ole2.h>
#include <gdiplus.h>
// clang-format on

namespace
{
std::vector<uint32_t> ReadPixels(HDC dc, HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    for (uint32_t& pixel : pixels)
        pixel &= 0x00FFFFFF;
    return pixels;
}

bool PngEncoder(CLSID& encoder)
{
    UINT count = 0;
    UINT size = 0;
    Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::DllExports::GdipGetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i)
    {
        if (std::wstring(codecs[i].MimeType) == L"image/png")
        {
            encoder = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}
} // namespace

WindowPicture WindowPicture::Capture(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client{};
    GetClientRect(window, &client);
    WindowPicture picture;
    picture.width_ = client.right;
    picture.height_ = client.bottom;
    const HDC source = GetDC(window);
    const HDC memory = CreateCompatibleDC(source);
    const HBITMAP bitmap = CreateCompatibleBitmap(source, picture.width_, picture.height_);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, picture.width_, picture.height_, source, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    picture.pixels_ = ReadPixels(memory, bitmap, picture.width_, picture.height_);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return picture;
}

WindowPicture WindowPicture::FromBitmap(HBITMAP bitmap)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    WindowPicture picture;
    picture.width_ = info.bmWidth;
    picture.height_ = info.bmHeight;
    const HDC screen = GetDC(nullptr);
    picture.pixels_ = ReadPixels(screen, bitmap, picture.width_, picture.height_);
    ReleaseDC(nullptr, screen);
    return picture;
}

COLORREF WindowPicture::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    const uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

bool WindowPicture::SameArea(const RECT& area, const WindowPicture& other, int dx, int dy) const
{
    for (int y = area.top; y < area.bottom; ++y)
    {
        for (int x = area.left; x < area.right; ++x)
        {
            if (At(x, y) != other.At(x + dx, y + dy))
                return false;
        }
    }
    return true;
}

bool WindowPicture::SavePng(const std::filesystem::path& file) const
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return false;
    bool saved = false;
    CLSID encoder{};
    std::vector<uint32_t> argb(pixels_);
    for (uint32_t& pixel : argb)
        pixel |= 0xFF000000;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (PngEncoder(encoder) && Gdiplus::DllExports::GdipCreateBitmapFromScan0(
                                   width_, height_, width_ * 4, PixelFormat32bppARGB,
                                   reinterpret_cast<BYTE*>(argb.data()), &bitmap) == Gdiplus::Ok)
    {
        saved = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, file.c_str(), &encoder, nullptr) ==
                Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

RECT AreaOfChild(HWND window, HWND child)
{
    RECT area{};
    GetWindowRect(child, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    return area;
}

std::filesystem::path TestOutputFolder()
{
    // The build folder is a Unix path; Wine shows the Unix root as drive Z:,
    // whatever drive the test's working folder is on.
    std::filesystem::path folder = L"Z:" + std::filesystem::path(NORVIK_TEST_OUTPUT_DIR).wstring();
    // Runs at another screen DPI keep their pictures apart from the 96-DPI ones.
    if (const UINT dpi = ScreenDpi(); dpi != kDesignDpi)
        folder /= L"dpi" + std::to_wstring(dpi);
    std::filesystem::create_directories(folder);
    return folder;
}
