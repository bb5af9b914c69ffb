#include "ui/skin.h"

#include <QString>
#include <QVector>

#include "window/controls.h"

// The pictures live in a static library; make sure its resources are
// registered before the first use.
static void InitSkinResources() {
    Q_INIT_RESOURCE(launcher);
}

namespace skin {

QImage LoadBitmap(int id) {
    static const bool registered = (InitSkinResources(), true);
    (void)registered;
    return QImage(QStringLiteral(":/skin/%1.bmp").arg(id)).convertToFormat(QImage::Format_RGB32);
}

QRegion RegionFromSkin(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const std::vector<window::OpaqueRun> runs =
        window::OpaqueRuns(reinterpret_cast<const std::uint32_t*>(rgb.constBits()), rgb.width(),
                           rgb.height(), rgb.bytesPerLine() / 4);
    QVector<QRect> rects;
    rects.reserve(static_cast<qsizetype>(runs.size()));
    for (const window::OpaqueRun& r : runs) rects.append(QRect(r.x, r.y, r.width, 1));
    // One setRects is far cheaper than thousands of unions.
    QRegion region;
    region.setRects(rects.constData(), static_cast<int>(rects.size()));
    return region;
}

}  // namespace skin
