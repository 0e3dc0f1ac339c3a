#include "ui/CheckFilesButton.h"

#include "ui/LauncherDialog.h"
#include "update/MessagePasser.h"

const ButtonArtwork kCheckFilesArtwork{
    {157, 167, 158}, {172, 174, 173}, L"CHECK FILES", L"ファイルを検証"};

CheckFilesButton::CheckFilesButton(LauncherDialog* dialog)
    : ButtonBase(dialog->GetHwnd(), 22, 429, 113, 27, CaptionForLanguage(kCheckFilesArtwork)),
      pictures(ParentInstance(), FaceIdsForLanguage(kCheckFilesArtwork), Scale(), SIZE{113, 27}),
      dialog(dialog)
{
}

void CheckFilesButton::OnClick()
{
    dialog->GetMessagePasser()->Post(Message{CheckFiles, 0});
}
