// The window's look in Qt: the skin bitmap, the shape cut from it, and the
// button pictures, all compiled in as Qt resources.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRegion>

namespace skin {

// Bitmap resources by number (window/controls.h).
QImage LoadBitmap(int id);

// The window's outline (window::OpaqueRuns) as a region: exactly the pixels
// of `image` (at most 640 × 705 of it) that differ from the transparent
// colour.
QRegion RegionFromSkin(const QImage& image);

}  // namespace skin
