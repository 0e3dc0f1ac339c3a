#include "ui/SettingsButton.h"

#include "launch/RunProcess.h"
#include "ui/LauncherDialog.h"

const ButtonArtwork kSettingsArtwork{{146, 159, 160}, {175, 177, 176}, L"OPTION", L"設定"};

SettingsButton::SettingsButton(LauncherDialog* dialog)
    : ButtonBase(dialog->GetHwnd(), 147, 429, 113, 27, CaptionForLanguage(kSettingsArtwork)),
      pictures(ParentInstance(), FaceIdsForLanguage(kSettingsArtwork), Scale(), SIZE{113, 27}),
      dialog(dialog)
{
}

void SettingsButton::OnClick()
{
    StartSetupProgram(dialog->GetHwnd());
}
