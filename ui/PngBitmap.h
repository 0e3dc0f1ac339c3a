// Turns a PNG resource of the program into a GDI bitmap for the window and its
// buttons. Starts and stops GDI+ around each call, so nothing is left running
// between loads; callable from the window thread at any time.
#pragma once

#include "base/DisplayScale.h"

#include <windows.h>

// Null when the resource ("PNG" type) is missing or empty, or the picture
// cannot be decoded. Throws std::runtime_error("Could not get handle to bitmap")
// when a decoded picture cannot become a bitmap. The caller owns the bitmap
// and deletes it with DeleteObject.
HBITMAP LoadPngBitmap(HINSTANCE instance, int resourceId);

// The same, drawn at `size` (resampled smoothly when the picture has another
// size); the picture's own size when `size` is zero.
HBITMAP LoadPngBitmap(HINSTANCE instance, int resourceId, SIZE size);

// Picture `id` (its 1x resource number; `designSize` is its 1x size) as the
// window shows it at `scale`: from the set drawn nearest, else from the 1x
// picture, at the scaled size. At 96 DPI it is the 1x picture as it is.
HBITMAP LoadScaledPicture(HINSTANCE instance, int id, const DisplayScale& scale, SIZE designSize);
