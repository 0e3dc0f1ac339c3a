// The Option button: starts the game's own setup program; the launcher goes
// on running. Window thread.
#pragma once

#include "ui/ButtonBase.h"
#include "ui/ButtonPictures.h"

class LauncherDialog;

extern const ButtonArtwork kSettingsArtwork;

class SettingsButton : public ButtonBase
{
  public:
    explicit SettingsButton(LauncherDialog* dialog);

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
    LauncherDialog* dialog;
};
