#include "ui/skin.h"

#include <QString>
#include <QVector>

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
    const int width = qMin(rgb.width(), kWidth);
    const int height = qMin(rgb.height(), kHeight);
    QVector<QRect> runs;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        int x = 0;
        while (x < width) {
            while (x < width && (line[x] | 0xFF000000) == kTransparent) ++x;
            const int start = x;
            while (x < width && (line[x] | 0xFF000000) != kTransparent) ++x;
            if (x > start) runs.append(QRect(start, y, x - start, 1));
        }
    }
    // One setRects is far cheaper than thousands of unions.
    QRegion region;
    region.setRects(runs.constData(), static_cast<int>(runs.size()));
    return region;
}

}  // namespace skin
