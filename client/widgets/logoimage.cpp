#include "client/widgets/logoimage.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {

// Bar widths of the small barcode mark, in units; gaps are one unit.
constexpr std::array<int, 15> kBars = {2, 1, 1, 3, 1, 2, 1, 1, 3, 2, 1, 1, 2, 1, 2};

void paintBarcode(QPainter& painter, const QRectF& area, const QColor& colour)
{
    int units = 0;
    for (int bar : kBars)
        units += bar + 1;
    const qreal unit = area.width() / units;
    qreal x = area.left();
    for (int bar : kBars) {
        painter.fillRect(QRectF(x, area.top(), bar * unit, area.height()), colour);
        x += (bar + 1) * unit;
    }
}

} // namespace

QPixmap LogoImage::paint(const QSize& size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF frame(1, 1, size.width() - 2, size.height() - 2);
    QLinearGradient sky(frame.topLeft(), frame.bottomLeft());
    sky.setColorAt(0.0, QColor(0xFF, 0xFF, 0xFF));
    sky.setColorAt(1.0, QColor(0xD8, 0xEE, 0xFC));
    painter.setPen(QPen(QColor(0x4A, 0x73, 0x96), 1.5));
    painter.setBrush(sky);
    painter.drawRoundedRect(frame, 10, 10);

    const QColor ink(0x1B, 0x4F, 0x7A);
    const qreal h = frame.height();
    // The mark: a barcode under a scan line.
    const QRectF mark(frame.left() + h * 0.16, frame.top() + h * 0.16, h * 0.62, h * 0.48);
    paintBarcode(painter, mark, ink);
    painter.setPen(QPen(QColor(0xE0, 0x3A, 0x2E), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(mark.left() - 6, mark.center().y()),
                     QPointF(mark.right() + 6, mark.center().y()));

    // The name and what the program is for.
    const QRectF words(mark.right() + h * 0.14, frame.top() + h * 0.10,
                       frame.right() - mark.right() - h * 0.2, h * 0.42);
    QFont name;
    name.setPixelSize(int(h * 0.30));
    name.setBold(true);
    name.setLetterSpacing(QFont::PercentageSpacing, 106);
    // The name fills the width beside the mark in whatever font is at hand.
    while (name.pixelSize() > 8 &&
           QFontMetricsF(name).horizontalAdvance(QStringLiteral("NORVALK")) > words.width())
        name.setPixelSize(name.pixelSize() - 1);
    painter.setFont(name);
    painter.setPen(ink);
    painter.drawText(words, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("NORVALK"));

    QFont motto;
    motto.setPixelSize(int(h * 0.11));
    painter.setFont(motto);
    painter.setPen(QColor(0x2F, 0x5E, 0x86));
    painter.drawText(QRectF(words.left(), words.bottom() + 2, words.width(), h * 0.16),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Noliktavas terminālis"));
    painter.end();
    return pixmap;
}
