// Loading the built-in pictures as bitmaps: PNG decoding, and the transparent key colour
// with which the skin library marks the parts of a skin or face that let the window behind
// show through.
#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>

#include "vendor/ui/colorref.h"

// The picture of resource `id` decoded; an invalid image when there is none.
wxImage LoadArtImage(int id);

// The picture of resource `id` as a bitmap with an alpha channel, in which every pixel of
// exactly the key colour is transparent (pictures may also carry transparency of their own).
// An invalid bitmap when there is no such picture.
wxBitmap LoadKeyedBitmap(int id, COLORREF key);

// The bitmap of the program icon (resource 128) at a square size.
wxBitmap LoadIconBitmap(int size);
