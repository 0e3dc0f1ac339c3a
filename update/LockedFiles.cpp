#include "update/UpdateManager.h"

// Finding and closing the processes that hold a file lands with the locked-file
// handling; until then a sharing violation is retried after the usual pause.
bool UpdateManager::ResolveLockedFile(const std::wstring&, int)
{
    return false;
}
