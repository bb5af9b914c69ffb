// The window's look: the skin bitmap, the shape cut from it, and the
// button pictures, all compiled in as Qt resources.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRegion>

namespace skin {

// Pixels of exactly this colour lie outside the window.
inline constexpr QRgb kTransparent = 0xFFFF007F;  // RGB(255, 0, 127)

inline constexpr int kWidth = 640;
inline constexpr int kHeight = 705;

// Bitmap resources by number: 139 skin, 140 close, 142 start, 143 minimise,
// 144 settings, 146 guide.
QImage LoadBitmap(int id);

// The union of the opaque runs of every row: exactly the pixels of
// `image` (at most 640 × 705 of it) that differ from the transparent
// colour.
QRegion RegionFromSkin(const QImage& image);

}  // namespace skin
