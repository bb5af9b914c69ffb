// The window's look in Win32: the skin and button bitmaps from the
// program's resources, and the window's shape cut from the skin.
#pragma once

#include "win32ui/win32.h"

namespace skin {

// Bitmap resource `id` (window/controls.h), as a device-independent bitmap;
// null when the program lacks it.
HBITMAP LoadSkinBitmap(int id);

// The window's outline (window::OpaqueRuns of the bitmap's pixels) as a
// region; null when the pixels cannot be read.
HRGN RegionFromSkin(HBITMAP skin);

}  // namespace skin
