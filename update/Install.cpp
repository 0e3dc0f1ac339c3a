#include "ui/LauncherDialog.h"
#include "update/UpdateManager.h"

// The pass proper (file lists, comparison, workers) joins here with the update
// engine; until then a check request hands the buttons back and records nothing.
bool UpdateManager::Install()
{
    dialog->HideButtons();
    dialog->ShowButtons();
    dialog->ShowSettingsLink();
    return false;
}
