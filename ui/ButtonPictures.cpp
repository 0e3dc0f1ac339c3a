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

ButtonPictures::ButtonPictures(HINSTANCE instance, const ButtonFaceIds& ids) : ids(ids)
{
    try
    {
        normal = LoadPngBitmap(instance, ids.normal);
        hover = LoadPngBitmap(instance, ids.hover);
        pressed = LoadPngBitmap(instance, ids.pressed);
    }
    catch (...)
    {
        // The destructor does not run for a half-made object.
        DeleteBitmap(normal);
        DeleteBitmap(hover);
        DeleteBitmap(pressed);
        throw;
    }
}

ButtonPictures::~ButtonPictures()
{
    DeleteBitmap(normal);
    DeleteBitmap(hover);
    DeleteBitmap(pressed);
}
