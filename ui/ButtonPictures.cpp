#include "ui/ButtonPictures.h"

#include "settings/Localization.h"
#include "ui/PngBitmap.h"

namespace
{
bool JapaneseFaces()
{
    return CurrentLanguage() == L"ja";
}

void DeleteBitmap(HBITMAP& bitmap)
{
    if (bitmap)
        DeleteObject(bitmap);
    bitmap = nullptr;
}
} // namespace

const ButtonFaceIds& FaceIdsForLanguage(const ButtonArtwork& artwork)
{
    return JapaneseFaces() ? artwork.japanese : artwork.english;
}

const wchar_t* CaptionForLanguage(const ButtonArtwork& artwork)
{
    return JapaneseFaces() ? artwork.japaneseCaption : artwork.englishCaption;
}

ButtonPictures::ButtonPictures(HINSTANCE instance, const ButtonFaceIds& ids,
                               const DisplayScale& scale, SIZE designSize)
    : ids(ids), instance(instance), designSize(designSize)
{
    Reload(scale);
}

void ButtonPictures::Reload(const DisplayScale& scale)
{
    const auto load = [&](int id)
    {
        if (designSize.cx > 0 && designSize.cy > 0)
            return LoadScaledPicture(instance, id, scale, designSize);
        return LoadPngBitmap(instance, id);
    };
    HBITMAP faces[3] = {nullptr, nullptr, nullptr};
    try
    {
        faces[0] = load(ids.normal);
        faces[1] = load(ids.hover);
        faces[2] = load(ids.pressed);
    }
    catch (...)
    {
        for (HBITMAP& face : faces)
            DeleteBitmap(face);
        throw;
    }
    DeleteBitmap(normal);
    DeleteBitmap(hover);
    DeleteBitmap(pressed);
    normal = faces[0];
    hover = faces[1];
    pressed = faces[2];
}

ButtonPictures::~ButtonPictures()
{
    DeleteBitmap(normal);
    DeleteBitmap(hover);
    DeleteBitmap(pressed);
}
