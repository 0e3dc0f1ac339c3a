// The three faces of one picture button (normal, hover, pressed), loaded from
// the program's PNG resources in the display language's set. Owns the bitmaps
// and deletes them with itself. Window thread.
#pragma once

#include "base/DisplayScale.h"

#include <windows.h>

#include <string>

struct ButtonFaceIds
{
    int normal;
    int hover;
    int pressed;
};

// One button's resources and caption in both languages.
struct ButtonArtwork
{
    ButtonFaceIds english;
    ButtonFaceIds japanese;
    const wchar_t* englishCaption;
    const wchar_t* japaneseCaption;
};

// The set for the current display language ("ja" or anything else).
const ButtonFaceIds& FaceIdsForLanguage(const ButtonArtwork& artwork);
const wchar_t* CaptionForLanguage(const ButtonArtwork& artwork);

class ButtonPictures
{
  public:
    // A face that cannot be loaded stays null (the button then draws nothing
    // for it); a face that decodes but cannot be converted throws. With a
    // `designSize` (the 1x size) the faces are drawn for `scale`.
    ButtonPictures(HINSTANCE instance, const ButtonFaceIds& ids,
                   const DisplayScale& scale = DisplayScale(), SIZE designSize = SIZE{0, 0});
    ~ButtonPictures();

    ButtonPictures(const ButtonPictures&) = delete;
    ButtonPictures& operator=(const ButtonPictures&) = delete;

    // The faces again for another DPI; the old ones stay when this throws.
    void Reload(const DisplayScale& scale);

    HBITMAP normal = nullptr;
    HBITMAP hover = nullptr;
    HBITMAP pressed = nullptr;
    // The 1x resource numbers of the faces.
    ButtonFaceIds ids;

  private:
    HINSTANCE instance;
    SIZE designSize;
};
