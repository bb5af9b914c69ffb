// Draws the launcher's skin and button pictures and writes them as 24-bit
// uncompressed BMPs: 139 (skin), 140 (close), 142 (start), 143 (minimise),
// 144 (settings) and 146 (guide); given a second folder, also the desktop
// icon valdora-48.png, -128 and -256 from the skin's scene. Run by
// tools/make-skin.sh; edit the colours and shapes here and run it again to
// restyle the launcher.
//
// The skin's outline is where its pixels differ from RGB(255, 0, 127); the
// window cuts itself to exactly those pixels. Edges are therefore drawn
// hard (alpha thresholded), never blended into the transparent colour.

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QString>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 705;
const QRgb kTransparent = qRgb(255, 0, 127);

// Where the window's controls sit, in skin pixels (dialog units × 1.5 and
// × 13/8). Frames are drawn a few pixels around them.
const QRect kPromo1(277, 99, 302, 249);
const QRect kStatus(222, 373, 358, 44);
const QRect kBars(222, 422, 357, 47);
const QRect kList(40, 349, 134, 129);
const QRect kStart(39, 481, 136, 49);
const QRect kGuide(288, 41, 116, 27);
const QRect kSettings(426, 41, 70, 24);
const QRect kMinimise(519, 41, 26, 26);
const QRect kClose(555, 41, 26, 26);
const QRect kPromo2(61, 554, 250, 118);
const QRect kPromo3(341, 554, 250, 118);
const QRect kScene(30, 114, 228, 198);

const QColor kGold(214, 172, 76);
const QColor kGoldLight(250, 226, 150);
const QColor kGoldDark(120, 86, 28);
const QColor kBase(14, 15, 20);

QPainterPath outline() {
    QPainterPath body;
    // The body: cut corners, a tab at the bottom.
    body.moveTo(26, 30);
    body.lineTo(614, 30);
    body.lineTo(634, 50);
    body.lineTo(634, 676);
    body.lineTo(612, 698);
    body.lineTo(400, 698);
    body.lineTo(388, 702);
    body.lineTo(252, 702);
    body.lineTo(240, 698);
    body.lineTo(28, 698);
    body.lineTo(6, 676);
    body.lineTo(6, 50);
    body.closeSubpath();

    // Along the top edge: two towers, the crest behind the title, spikes
    // and a diamond, so a row up there holds up to six separate pieces.
    auto tower = [&](int x0, int x1) {
        QPainterPath p;
        p.moveTo(x0, 31);
        p.lineTo(x0, 14);
        p.lineTo((x0 + x1) / 2.0, 2);
        p.lineTo(x1, 14);
        p.lineTo(x1, 31);
        p.closeSubpath();
        body = body.united(p);
    };
    auto spike = [&](int x0, int x1, int top) {
        QPainterPath p;
        p.moveTo(x0, 31);
        p.lineTo((x0 + x1) / 2.0, top);
        p.lineTo(x1, 31);
        p.closeSubpath();
        body = body.united(p);
    };
    // Hinges on both sides reach the bitmap's edges.
    for (int top : {210, 450}) {
        QPainterPath hinges;
        hinges.addRect(0, top, 640, 56);
        body = body.united(hinges);
    }
    tower(20, 58);
    {
        QPainterPath crest;
        crest.moveTo(76, 31);
        crest.lineTo(76, 20);
        crest.lineTo(90, 10);
        crest.lineTo(236, 10);
        crest.lineTo(250, 20);
        crest.lineTo(250, 31);
        crest.closeSubpath();
        body = body.united(crest);
    }
    spike(270, 290, 12);
    {
        QPainterPath diamond;
        diamond.moveTo(346, 31);
        diamond.lineTo(330, 18);
        diamond.lineTo(346, 5);
        diamond.lineTo(362, 18);
        diamond.closeSubpath();
        body = body.united(diamond);
    }
    spike(500, 520, 12);
    tower(582, 620);
    return body;
}

void noise(QImage& image, int amount, quint32 seed) {
    QRandomGenerator rng(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(line[x]);
            if (a == 0) continue;
            const int d = static_cast<int>(rng.bounded(2 * amount + 1)) - amount;
            auto c = [&](int v) { return qBound(0, v + d * a / 255, a); };
            line[x] = qRgba(c(qRed(line[x])), c(qGreen(line[x])), c(qBlue(line[x])), a);
        }
    }
}

QLinearGradient goldGradient(QPointF from, QPointF to) {
    QLinearGradient g(from, to);
    g.setColorAt(0.0, kGoldLight);
    g.setColorAt(0.45, kGold);
    g.setColorAt(1.0, kGoldDark);
    return g;
}

// A recessed panel with a gold rim around `inner`.
void panel(QPainter& p, const QRect& inner, const QColor& fill, int margin = 5) {
    const QRectF outer = QRectF(inner).adjusted(-margin, -margin, margin, margin);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawRoundedRect(outer.translated(2, 3), 5, 5);
    p.setBrush(goldGradient(outer.topLeft(), outer.bottomRight()));
    p.drawRoundedRect(outer, 5, 5);
    p.setBrush(QColor(30, 24, 14));
    p.drawRoundedRect(outer.adjusted(2, 2, -2, -2), 4, 4);
    p.setBrush(fill);
    p.drawRect(QRectF(inner).adjusted(-1, -1, 1, 1));
    // Corner studs.
    p.setBrush(goldGradient(outer.topLeft(), outer.bottomRight()));
    for (QPointF c : {outer.topLeft(), outer.topRight(), outer.bottomLeft(), outer.bottomRight()}) {
        p.drawEllipse(c, 3.5, 3.5);
    }
}

void ornamentLine(QPainter& p, QPointF a, QPointF b) {
    p.setPen(QPen(QBrush(goldGradient(a, b)), 1.5));
    p.drawLine(a, b);
    const QPointF m = (a + b) / 2;
    QPainterPath d;
    d.moveTo(m.x() - 7, m.y());
    d.lineTo(m.x(), m.y() - 5);
    d.lineTo(m.x() + 7, m.y());
    d.lineTo(m.x(), m.y() + 5);
    d.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kGold);
    p.drawPath(d);
}

void title(QPainter& p) {
    QFont font("DejaVu Serif", 28, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    QPainterPath text;
    text.addText(40, 84, font, "VALDORA");
    p.setPen(QPen(QColor(0, 0, 0, 200), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(text.translated(1, 2));
    p.setPen(QPen(QColor(60, 40, 10), 2));
    p.setBrush(goldGradient(QPointF(0, 56), QPointF(0, 86)));
    p.drawPath(text);

    QFont small("DejaVu Sans", 8, QFont::Bold);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(small);
    p.setPen(QColor(190, 170, 120));
    p.drawText(QRect(40, 88, 220, 14), Qt::AlignHCenter, QString::fromUtf8("OYUN GÜNCELLEYİCİSİ"));
}

void scene(QPainter& p) {
    panel(p, kScene, Qt::black);
    p.save();
    p.setClipRect(kScene);
    QLinearGradient sky(kScene.topLeft(), kScene.bottomLeft());
    sky.setColorAt(0.0, QColor(10, 12, 40));
    sky.setColorAt(0.55, QColor(58, 34, 82));
    sky.setColorAt(0.8, QColor(150, 70, 60));
    sky.setColorAt(1.0, QColor(40, 20, 30));
    p.fillRect(kScene, sky);

    QRandomGenerator rng(7);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 70; ++i) {
        const double x = kScene.left() + rng.bounded(kScene.width());
        const double y = kScene.top() + rng.bounded(kScene.height() / 2);
        p.setBrush(QColor(255, 250, 230, 90 + static_cast<int>(rng.bounded(160))));
        const double r = 0.4 + rng.bounded(1.0);
        p.drawEllipse(QPointF(x, y), r, r);
    }
    const QPointF moon(kScene.left() + 165, kScene.top() + 52);
    QRadialGradient glow(moon, 60);
    glow.setColorAt(0, QColor(255, 240, 200, 120));
    glow.setColorAt(1, QColor(255, 240, 200, 0));
    p.setBrush(glow);
    p.drawEllipse(moon, 60, 60);
    p.setBrush(QColor(250, 240, 210));
    p.drawEllipse(moon, 18, 18);
    p.setBrush(QColor(58, 34, 82));
    p.drawEllipse(moon + QPointF(8, -5), 16, 16);

    auto ridge = [&](double base, double height, QColor colour, quint32 seed) {
        QRandomGenerator r(seed);
        QPainterPath m;
        m.moveTo(kScene.left(), kScene.bottom() + 1);
        double y = base;
        for (int x = kScene.left(); x <= kScene.right() + 12; x += 12) {
            y = qBound(base - height, y + (r.bounded(2.0) - 1.0) * height * 0.6, base);
            m.lineTo(x, y);
        }
        m.lineTo(kScene.right() + 1, kScene.bottom() + 1);
        m.closeSubpath();
        p.setBrush(colour);
        p.drawPath(m);
    };
    ridge(kScene.top() + 150, 60, QColor(40, 26, 58), 3);
    ridge(kScene.top() + 178, 40, QColor(26, 18, 36), 11);

    // A castle on the last ridge, windows lit.
    const double gx = kScene.left() + 60, gy = kScene.bottom() - 26;
    QPainterPath castle;
    castle.addRect(gx, gy - 40, 90, 50);
    castle.addRect(gx - 12, gy - 70, 24, 80);
    castle.addRect(gx + 78, gy - 62, 22, 72);
    castle.addRect(gx + 34, gy - 88, 22, 98);
    for (double tx : {gx - 12, gx + 78, gx + 34}) {
        const double w = tx == gx + 78 ? 22 : 24 - (tx == gx + 34 ? 2 : 0);
        const double top = tx == gx - 12 ? gy - 70 : tx == gx + 78 ? gy - 62 : gy - 88;
        QPainterPath roof;
        roof.moveTo(tx - 3, top);
        roof.lineTo(tx + w / 2, top - 22);
        roof.lineTo(tx + w + 3, top);
        roof.closeSubpath();
        castle.addPath(roof);
    }
    p.setBrush(QColor(8, 6, 12));
    p.drawPath(castle.simplified());
    p.setBrush(QColor(255, 196, 90));
    for (QPointF w :
         {QPointF(gx - 3, gy - 52), QPointF(gx + 42, gy - 70), QPointF(gx + 42, gy - 50),
          QPointF(gx + 86, gy - 44), QPointF(gx + 20, gy - 22), QPointF(gx + 60, gy - 22)}) {
        p.drawRect(QRectF(w, QSizeF(4, 7)));
    }
    QLinearGradient mist(kScene.bottomLeft() - QPointF(0, 40), kScene.bottomLeft());
    mist.setColorAt(0, QColor(120, 90, 140, 0));
    mist.setColorAt(1, QColor(120, 90, 140, 90));
    p.fillRect(kScene.adjusted(0, kScene.height() - 40, 0, 0), mist);
    p.restore();
}

void label(QPainter& p, const QRect& r, const char* utf8, bool plate = false) {
    QFont font("DejaVu Serif", 9, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(font);
    if (plate) {
        // A dark plate over the ornament line behind the text.
        const int w = QFontMetrics(font).horizontalAdvance(QString::fromUtf8(utf8)) + 24;
        const QRectF back(r.center().x() - w / 2.0, r.top(), w, r.height());
        p.setPen(QPen(kGoldDark, 1));
        p.setBrush(QColor(16, 16, 22));
        p.drawRoundedRect(back, 3, 3);
    }
    p.setPen(QColor(0, 0, 0, 180));
    p.drawText(r.translated(1, 1), Qt::AlignCenter, QString::fromUtf8(utf8));
    p.setPen(kGold);
    p.drawText(r, Qt::AlignCenter, QString::fromUtf8(utf8));
}

QImage drawSkin() {
    QImage art(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = outline();

    QLinearGradient stone(0, 0, 0, kHeight);
    stone.setColorAt(0.0, QColor(36, 38, 48));
    stone.setColorAt(0.5, QColor(22, 23, 30));
    stone.setColorAt(1.0, QColor(12, 12, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(stone);
    p.drawPath(shape);
    p.end();
    noise(art, 7, 42);

    p.begin(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(shape);
    // Soft light from the top, darker edges.
    QRadialGradient light(QPointF(kWidth / 2.0, 120), 520);
    light.setColorAt(0, QColor(120, 110, 160, 40));
    light.setColorAt(1, QColor(0, 0, 0, 90));
    p.fillRect(art.rect(), light);
    // Rim.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(goldGradient(QPointF(0, 0), QPointF(kWidth, kHeight))), 6));
    p.drawPath(shape);
    p.setPen(QPen(QColor(40, 28, 10), 2));
    p.drawPath(shape.translated(0, 0));
    p.setClipping(false);

    title(p);
    ornamentLine(p, QPointF(30, 104), QPointF(258, 104));
    scene(p);
    panel(p, kPromo1, Qt::black);
    panel(p, QRect(kStatus.left(), kStatus.top(), kStatus.width(), kBars.bottom() - kStatus.top()),
          Qt::black, 7);
    panel(p, kList, QColor(0x37, 0x37, 0x37));
    label(p, QRect(kList.left(), kList.top() - 22, kList.width(), 14), "SUNUCULAR");
    ornamentLine(p, QPointF(24, 542), QPointF(616, 542));
    label(p, QRect(kPromo2.left(), 534, kPromo2.width(), 16), "DUYURULAR", true);
    label(p, QRect(kPromo3.left(), 534, kPromo3.width(), 16), "ETKİNLİKLER", true);
    panel(p, kPromo2, Qt::black);
    panel(p, kPromo3, Qt::black);
    ornamentLine(p, QPointF(222, 496), QPointF(580, 496));
    p.end();
    return art;
}

// Button pictures: drawn over the skin beneath them, so their square edges
// blend in.
QImage buttonBase(const QImage& skin, const QRect& where) {
    return skin.copy(where).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage roundButton(const QImage& skin, const QRect& where, bool close) {
    QImage img = buttonBase(skin, where);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(where.width() / 2.0, where.height() / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(goldGradient(QPointF(0, 0), QPointF(0, where.height())));
    p.drawEllipse(c, 12, 12);
    QRadialGradient inner(c - QPointF(2, 3), 12);
    inner.setColorAt(0, close ? QColor(170, 40, 30) : QColor(70, 74, 92));
    inner.setColorAt(1, close ? QColor(70, 10, 8) : QColor(20, 22, 30));
    p.setBrush(inner);
    p.drawEllipse(c, 10, 10);
    p.setPen(QPen(kGoldLight, 2.2, Qt::SolidLine, Qt::RoundCap));
    if (close) {
        p.drawLine(c + QPointF(-4, -4), c + QPointF(4, 4));
        p.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
    } else {
        p.drawLine(c + QPointF(-5, 3), c + QPointF(5, 3));
    }
    return img;
}

QImage plateButton(const QImage& skin, const QRect& where, const char* utf8, int pointSize,
                   bool primary) {
    QImage img = buttonBase(skin, where);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(img.rect()).adjusted(1, 1, -1, -1);
    p.setPen(Qt::NoPen);
    p.setBrush(goldGradient(r.topLeft(), r.bottomLeft()));
    p.drawRoundedRect(r, 5, 5);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    if (primary) {
        fill.setColorAt(0, QColor(190, 52, 30));
        fill.setColorAt(0.5, QColor(130, 24, 14));
        fill.setColorAt(1, QColor(70, 10, 6));
    } else {
        fill.setColorAt(0, QColor(62, 60, 74));
        fill.setColorAt(1, QColor(22, 22, 30));
    }
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 4, 4);
    // Gloss on the upper half.
    QLinearGradient gloss(r.topLeft(), QPointF(r.left(), r.center().y()));
    gloss.setColorAt(0, QColor(255, 255, 255, 60));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRoundedRect(r.adjusted(3, 3, -3, -r.height() / 2), 3, 3);

    QFont font(primary ? "DejaVu Serif" : "DejaVu Sans", pointSize, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, primary ? 3 : 0.5);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 200));
    p.drawText(r.translated(1, 1), Qt::AlignCenter, QString::fromUtf8(utf8));
    p.setPen(primary ? kGoldLight : QColor(235, 215, 160));
    p.drawText(r, Qt::AlignCenter, QString::fromUtf8(utf8));
    return img;
}

// Opaque where at least half covered, the transparent colour elsewhere;
// partly covered edge pixels are finished over the base colour.
QImage flatten(const QImage& art) {
    QImage out(art.size(), QImage::Format_RGB888);
    for (int y = 0; y < art.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(art.constScanLine(y));
        for (int x = 0; x < art.width(); ++x) {
            const QRgb px = in[x];
            const int a = qAlpha(px);
            QRgb rgb = kTransparent;
            if (a >= 128) {
                const int inv = 255 - a;
                rgb =
                    qRgb(qRed(px) + kBase.red() * inv / 255, qGreen(px) + kBase.green() * inv / 255,
                         qBlue(px) + kBase.blue() * inv / 255);
                if (rgb == kTransparent) rgb = qRgb(254, 0, 127);
            }
            out.setPixel(x, y, rgb);
        }
    }
    return out;
}

// The desktop icon, `size` pixels square: the castle of the skin's scene in a
// gold-rimmed tile, drawn at each size rather than scaled.
QImage drawIcon(int size) {
    const double unit = size / 256.0;
    const QRectF tile(8, 8, 240, 240);
    const QRectF inner = tile.adjusted(10, 10, -10, -10);
    // The scene's square around the castle fills the tile.
    const QRectF from(kScene.left() + 15, kScene.top(), kScene.height(), kScene.height());
    QImage layer(size, size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter s(&layer);
    s.setRenderHint(QPainter::Antialiasing);
    s.scale(unit, unit);
    s.translate(inner.topLeft());
    s.scale(inner.width() / from.width(), inner.height() / from.height());
    s.translate(-from.topLeft());
    scene(s);
    s.end();

    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(unit, unit);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRoundedRect(tile.translated(0, 3), 36, 36);
    p.setBrush(goldGradient(tile.topLeft(), tile.bottomRight()));
    p.drawRoundedRect(tile, 36, 36);
    p.setBrush(QColor(40, 28, 10));
    p.drawRoundedRect(inner.adjusted(-2, -2, 2, 2), 29, 29);
    QPainterPath window;
    window.addRoundedRect(inner, 28, 28);
    p.setClipPath(window);
    p.resetTransform();
    p.drawImage(0, 0, layer);
    return icon;
}

bool savePng(const QImage& image, const QString& path) {
    const bool ok = image.save(path, "PNG");
    std::fprintf(ok ? stdout : stderr, "%s %s (%dx%d)\n", ok ? "wrote" : "could not write",
                 qPrintable(path), image.width(), image.height());
    return ok;
}

bool save(const QImage& image, const QString& dir, int id) {
    const QString path = QString("%1/%2.bmp").arg(dir).arg(id);
    const bool ok = image.convertToFormat(QImage::Format_RGB888).save(path, "BMP");
    std::fprintf(ok ? stdout : stderr, "%s %s (%dx%d)\n", ok ? "wrote" : "could not write",
                 qPrintable(path), image.width(), image.height());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s SKIN_DIR [ICON_DIR]\n", argv[0]);
        return 64;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QImage skin = flatten(drawSkin());
    bool ok = save(skin, dir, 139);
    ok &= save(flatten(roundButton(skin, kClose, true)), dir, 140);
    ok &= save(flatten(plateButton(skin, kStart, "OYNA", 20, true)), dir, 142);
    ok &= save(flatten(roundButton(skin, kMinimise, false)), dir, 143);
    ok &= save(flatten(plateButton(skin, kSettings, "Ayarlar", 8, false)), dir, 144);
    ok &= save(flatten(plateButton(skin, kGuide, "Oyun Rehberi", 8, false)), dir, 146);
    const QString icons = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (const int size : {48, 128, 256}) {
        if (!icons.isEmpty())
            ok &= savePng(drawIcon(size), QString("%1/valdora-%2.png").arg(icons).arg(size));
    }
    return ok ? 0 : 1;
}
