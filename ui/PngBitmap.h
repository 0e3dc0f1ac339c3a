// Turns a PNG resource of the program into a GDI bitmap for the window and its
// buttons. Starts and stops GDI+ around each call, so nothing is left running
// between loads; callable from the window thread at any time.
#pragma once

#include <windows.h>

// Null when the resource ("PNG" type) is missing or empty, or the picture
// cannot be decoded. Throws std::runtime_error("Could not get handle to bitmap")
// when a decoded picture cannot become a bitmap. The caller owns the bitmap
// and deletes it with DeleteObject.
HBITMAP LoadPngBitmap(HINSTANCE instance, int resourceId);
