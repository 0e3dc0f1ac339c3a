#include "ui/PngBitmap.h"

// GDI+'s headers need the OLE types declared before them.
// clang-format off
#include <ole2.h>
#include <gdiplus.h>
// clang-format on

#include <cstring>
#include <span>
#include <stdexcept>

namespace
{
using namespace Gdiplus::DllExports;

// The resource's bytes, or an empty span when any step fails.
std::span<const BYTE> FindPngResource(HINSTANCE instance, int resourceId)
{
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), L"PNG");
    if (!found)
        return {};
    const DWORD size = SizeofResource(instance, found);
    const HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return {};
    return {static_cast<const BYTE*>(bytes), size};
}

// GDI+ running for one load.
class GdiplusSession
{
  public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        input.GdiplusVersion = 1;
        input.DebugEventCallback = nullptr;
        input.SuppressBackgroundThread = FALSE;
        input.SuppressExternalCodecs = FALSE;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (started_)
            Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

  private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

// A movable global block holding a copy of the bytes, freed on the way out;
// the stream made over it must not free it.
class GlobalCopy
{
  public:
    explicit GlobalCopy(std::span<const BYTE> bytes)
    {
        block_ = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (!block_)
            return;
        data_ = GlobalLock(block_);
        if (data_)
            std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~GlobalCopy()
    {
        if (data_)
            GlobalUnlock(block_);
        if (block_)
            GlobalFree(block_);
    }
    GlobalCopy(const GlobalCopy&) = delete;
    GlobalCopy& operator=(const GlobalCopy&) = delete;

    HGLOBAL Block() const { return data_ ? block_ : nullptr; }

  private:
    HGLOBAL block_ = nullptr;
    void* data_ = nullptr;
};

Gdiplus::GpBitmap* DecodeFromBlock(HGLOBAL block)
{
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, FALSE, &stream)) || !stream)
        return nullptr;
    Gdiplus::GpBitmap* picture = nullptr;
    if (GdipCreateBitmapFromStream(stream, &picture) != Gdiplus::Ok)
        picture = nullptr;
    stream->Release();
    return picture;
}
SIZE PictureSize(Gdiplus::GpBitmap* picture)
{
    UINT width = 0;
    UINT height = 0;
    GdipGetImageWidth(picture, &width);
    GdipGetImageHeight(picture, &height);
    return SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
}

// `picture` drawn at `size` with bicubic resampling; null when GDI+ fails.
Gdiplus::GpBitmap* Resampled(Gdiplus::GpBitmap* picture, SIZE size)
{
    const SIZE own = PictureSize(picture);
    Gdiplus::GpBitmap* scaled = nullptr;
    if (GdipCreateBitmapFromScan0(size.cx, size.cy, 0, PixelFormat32bppARGB, nullptr, &scaled) !=
        Gdiplus::Ok)
        return nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::GpImageAttributes* attributes = nullptr;
    bool drawn = GdipGetImageGraphicsContext(scaled, &graphics) == Gdiplus::Ok &&
                 GdipCreateImageAttributes(&attributes) == Gdiplus::Ok;
    if (drawn)
    {
        GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
        GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHighQuality);
        // Mirrored edges keep the border pixels from fading into nothing.
        GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
        drawn =
            GdipDrawImageRectRectI(graphics, picture, 0, 0, size.cx, size.cy, 0, 0, own.cx, own.cy,
                                   Gdiplus::UnitPixel, attributes, nullptr, nullptr) == Gdiplus::Ok;
    }
    if (attributes)
        GdipDisposeImageAttributes(attributes);
    if (graphics)
        GdipDeleteGraphics(graphics);
    if (!drawn)
    {
        GdipDisposeImage(scaled);
        return nullptr;
    }
    return scaled;
}

} // namespace

HBITMAP LoadPngBitmap(HINSTANCE instance, int resourceId)
{
    return LoadPngBitmap(instance, resourceId, SIZE{0, 0});
}

HBITMAP LoadPngBitmap(HINSTANCE instance, int resourceId, SIZE size)
{
    const std::span<const BYTE> png = FindPngResource(instance, resourceId);
    if (png.empty())
        return nullptr;

    GdiplusSession session;
    GlobalCopy copy(png);
    if (!copy.Block())
        return nullptr;
    Gdiplus::GpBitmap* picture = DecodeFromBlock(copy.Block());
    if (!picture)
        return nullptr;
    const SIZE own = PictureSize(picture);
    if (size.cx > 0 && size.cy > 0 && (own.cx != size.cx || own.cy != size.cy))
    {
        Gdiplus::GpBitmap* scaled = Resampled(picture, size);
        GdipDisposeImage(picture);
        if (!scaled)
            throw std::runtime_error("Could not get handle to bitmap");
        picture = scaled;
    }

    HBITMAP bitmap = nullptr;
    const Gdiplus::GpStatus converted = GdipCreateHBITMAPFromBitmap(picture, &bitmap, 0xFFFFFFFF);
    GdipDisposeImage(picture);
    if (converted != Gdiplus::Ok || !bitmap)
        throw std::runtime_error("Could not get handle to bitmap");
    return bitmap;
}

HBITMAP LoadScaledPicture(HINSTANCE instance, int id, const DisplayScale& scale, SIZE designSize)
{
    const SIZE size = scale(designSize);
    const int nearestId = scale.PictureId(id);
    if (nearestId != id)
    {
        if (const HBITMAP nearest = LoadPngBitmap(instance, nearestId, size))
            return nearest;
    }
    return LoadPngBitmap(instance, id, size);
}
