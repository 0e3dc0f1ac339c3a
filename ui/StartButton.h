// The Game Start button: starts the game client and ends the launcher, or
// tells the user why it could not. Window thread.
#pragma once

#include "ui/ButtonBase.h"
#include "ui/ButtonPictures.h"

extern const ButtonArtwork kStartArtwork;

class StartButton : public ButtonBase
{
  public:
    explicit StartButton(HWND parent);

    void OnClick() override;
    HBITMAP GetNormalBitmap() override { return pictures.normal; }
    HBITMAP GetHoverBitmap() override { return pictures.hover; }
    HBITMAP GetPressedBitmap() override { return pictures.pressed; }
    int GetWidth() override { return 118; }
    int GetHeight() override { return 61; }

    const ButtonPictures& Pictures() const { return pictures; }

  protected:
    void ReloadPictures() override { pictures.Reload(Scale()); }

  private:
    HWND ownerWindow;
    ButtonPictures pictures;
};
