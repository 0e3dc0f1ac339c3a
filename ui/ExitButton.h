// The Exit button: ends the launcher process at once, whatever the update
// thread and the download workers are doing. Window thread.
#pragma once

#include "ui/ButtonBase.h"
#include "ui/ButtonPictures.h"

extern const ButtonArtwork kExitArtwork;

class ExitButton : public ButtonBase
{
  public:
    explicit ExitButton(HWND parent);

    void OnClick() override;
    HBITMAP GetNormalBitmap() override { return pictures.normal; }
    HBITMAP GetHoverBitmap() override { return pictures.hover; }
    HBITMAP GetPressedBitmap() override { return pictures.pressed; }
    int GetWidth() override { return 113; }
    int GetHeight() override { return 27; }

    const ButtonPictures& Pictures() const { return pictures; }

  protected:
    void ReloadPictures() override { pictures.Reload(Scale()); }

  private:
    ButtonPictures pictures;
};
