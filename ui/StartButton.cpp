#include "ui/StartButton.h"

#include "launch/RunProcess.h"

const ButtonArtwork kStartArtwork{{163, 161, 162}, {178, 180, 179}, L"GAME START", L"ゲーム開始"};

StartButton::StartButton(HWND parent)
    : ButtonBase(parent, 396, 395, 118, 61, CaptionForLanguage(kStartArtwork)), ownerWindow(parent),
      pictures(ParentInstance(), FaceIdsForLanguage(kStartArtwork), Scale(), SIZE{118, 61})
{
}

void StartButton::OnClick()
{
    StartGameClient(ownerWindow);
}
