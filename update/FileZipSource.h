// minizip's 64-bit file functions over a Win32 file, for a package kept on
// disk instead of in memory. Read-only; the name handed to unzOpen2_64 is the
// file's wide path (const wchar_t*).
#pragma once

#include <minizip/ioapi.h>

zlib_filefunc64_def Win32ReadFunctions();
