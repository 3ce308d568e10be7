// The bezel and the emblem of the face, drawn with QPainter.

#include "facebitmaps.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QRadialGradient>

#include <cmath>

namespace quellix::face {

namespace {

void drawScrew(QPainter &p, QPointF c, qreal r, qreal slotAngleDeg)
{
    QRadialGradient head(c + QPointF(-r * 0.35, -r * 0.35), r * 1.4);
    head.setColorAt(0, QColor(0xe4, 0xe7, 0xeb));
    head.setColorAt(0.6, QColor(0x9a, 0xa0, 0xa7));
    head.setColorAt(1, QColor(0x55, 0x5a, 0x61));
    p.setPen(QPen(QColor(0x1c, 0x1f, 0x23), 0.8));
    p.setBrush(head);
    p.drawEllipse(c, r, r);

    const qreal a = qDegreesToRadians(slotAngleDeg);
    const QPointF d(std::cos(a) * r * 0.7, std::sin(a) * r * 0.7);
    p.setPen(QPen(QColor(0x2e, 0x32, 0x37), 1.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(c - d, c + d);
}

QImage drawBorder()
{
    const int w = kBorderBitmapSize.width();
    const int h = kBorderBitmapSize.height();
    QImage img(kBorderBitmapSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Brushed-metal frame: a diagonal sweep with a bright band across it.
    QLinearGradient metal(0, 0, w, h);
    metal.setColorAt(0.00, QColor(0xee, 0xf0, 0xf3));
    metal.setColorAt(0.30, QColor(0xa4, 0xaa, 0xb2));
    metal.setColorAt(0.50, QColor(0xd6, 0xda, 0xdf));
    metal.setColorAt(0.72, QColor(0x8a, 0x90, 0x98));
    metal.setColorAt(1.00, QColor(0x50, 0x55, 0x5c));
    const QRectF outer(0.5, 0.5, w - 1.0, h - 1.0);
    p.setPen(QPen(QColor(0x22, 0x25, 0x29), 1.0));
    p.setBrush(metal);
    p.drawRoundedRect(outer, 5, 5);

    // Fine horizontal brushing over the frame.
    p.setPen(Qt::NoPen);
    for (int y = 1; y < h - 1; y += 2) {
        const int shade = ((y * 37) % 11) - 5; // a fixed, irregular pattern
        p.setBrush(shade >= 0 ? QColor(255, 255, 255, 6 + shade * 3) : QColor(0, 0, 0, 6 - shade * 3));
        p.drawRect(QRectF(1, y, w - 2.0, 1));
    }

    // The recessed panel: dark at the top edge, a light lip at the bottom.
    const QRectF panel(6, 6, w - 12.0, h - 12.0);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(panel.adjusted(-0.5, 0.5, 0.5, 1.0), 4, 4);

    QLinearGradient face(panel.topLeft(), panel.bottomLeft());
    face.setColorAt(0.0, QColor(0x33, 0x39, 0x42));
    face.setColorAt(0.45, QColor(0x1f, 0x23, 0x29));
    face.setColorAt(1.0, QColor(0x13, 0x15, 0x19));
    p.setPen(QPen(QColor(0x08, 0x09, 0x0b), 1.0));
    p.setBrush(face);
    p.drawRoundedRect(panel, 4, 4);

    // A faint sheen across the upper part of the glass.
    QLinearGradient sheen(panel.topLeft(), QPointF(panel.left(), panel.top() + panel.height() * 0.4));
    sheen.setColorAt(0, QColor(255, 255, 255, 22));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(panel.adjusted(1, 1, -1, -panel.height() * 0.6), 3, 3);

    // Four screws in the panel's corners, clear of every element.
    const qreal r = 3.2;
    drawScrew(p, QPointF(13, 13), r, 35);
    drawScrew(p, QPointF(w - 13.0, 13), r, 110);
    drawScrew(p, QPointF(13, h - 13.0), r, 160);
    drawScrew(p, QPointF(w - 13.0, h - 13.0), r, 70);
    p.end();
    return img;
}

QImage drawLogo()
{
    QImage img(kLogoBitmapSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Designed on a 32 × 32 square and stretched to the bitmap's height, so
    // that the dial is round again when the face shows it square.
    p.scale(kLogoBitmapSize.width() / 32.0, kLogoBitmapSize.height() / 32.0);
    const QPointF c(16, 16);

    QRadialGradient rim(c + QPointF(-5, -5), 20);
    rim.setColorAt(0, QColor(0xf2, 0xf4, 0xf6));
    rim.setColorAt(0.7, QColor(0x9c, 0xa3, 0xab));
    rim.setColorAt(1, QColor(0x4c, 0x52, 0x59));
    p.setPen(QPen(QColor(0x1d, 0x20, 0x24), 0.8));
    p.setBrush(rim);
    p.drawEllipse(c, 15.2, 15.2);

    QLinearGradient dial(0, 4, 0, 28);
    dial.setColorAt(0, QColor(0x23, 0x4a, 0x70));
    dial.setColorAt(1, QColor(0x0b, 0x1a, 0x2b));
    p.setPen(Qt::NoPen);
    p.setBrush(dial);
    p.drawEllipse(c, 12.6, 12.6);

    // The scale: normal, caution and warning bands, 270 degrees in all.
    const QRectF arc(c.x() - 9, c.y() - 9, 18, 18);
    const auto band = [&](const QColor &colour, int startDeg, int spanDeg) {
        p.setPen(QPen(colour, 3.0, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(arc, startDeg * 16, spanDeg * 16);
    };
    band(QColor(0x2e, 0xd1, 0x4b), 225, -150);
    band(QColor(0xf5, 0xd3, 0x1c), 75, -60);
    band(QColor(0xe8, 0x2c, 0x2c), 15, -60);

    // The needle, resting in the normal band, and its hub.
    const qreal a = qDegreesToRadians(-60.0); // up and to the right, y grows downwards
    const QPointF tip = c + QPointF(std::cos(a) * 10.5, std::sin(a) * 10.5);
    p.setPen(QPen(QColor(0xff, 0xff, 0xff), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, tip);
    p.setPen(QPen(QColor(0x1d, 0x20, 0x24), 0.6));
    p.setBrush(QColor(0xd8, 0xdc, 0xe0));
    p.drawEllipse(c, 2.4, 2.4);
    p.end();
    return img;
}

QPixmap cachedPixmap(const QString &key, const QImage &image)
{
    QPixmap pm;
    if (!QPixmapCache::find(key, &pm)) {
        pm = QPixmap::fromImage(image);
        QPixmapCache::insert(key, pm);
    }
    return pm;
}

} // namespace

const QImage &borderImage()
{
    static const QImage image = drawBorder();
    return image;
}

const QImage &logoImage()
{
    static const QImage image = drawLogo();
    return image;
}

QPixmap borderPixmap()
{
    return cachedPixmap(QStringLiteral("quellix.face.i_BORDER"), borderImage());
}

QPixmap logoPixmap()
{
    return cachedPixmap(QStringLiteral("quellix.face.LOGO"), logoImage());
}

} // namespace quellix::face
