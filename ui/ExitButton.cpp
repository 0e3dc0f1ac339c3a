#include "ui/ExitButton.h"

#include <spdlog/spdlog.h>

const ButtonArtwork kExitArtwork{{166, 164, 165}, {169, 171, 170}, L"EXIT", L"終了"};

ExitButton::ExitButton(HWND parent)
    : ButtonBase(parent, 271, 429, 113, 27, CaptionForLanguage(kExitArtwork)),
      pictures(ParentInstance(), FaceIdsForLanguage(kExitArtwork), Scale(), SIZE{113, 27})
{
}

void ExitButton::OnClick()
{
    // Nothing is stopped or saved; only the asynchronous log is written out.
    spdlog::default_logger()->flush();
    ExitProcess(0);
}
